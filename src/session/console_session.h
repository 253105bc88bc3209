#pragma once
// The console session: the composition root. It owns the installation, the port and every part
// that talks to the controller, runs the start-up and wires the undo history and the journal, and
// offers one service per capability (services.h). The main window, the command-line tool and the
// tests drive the same services; the session asks and tells the operator only through Dialogs.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "changes/journal.h"
#include "changes/live_changes.h"
#include "config/enabled_units.h"
#include "config/kavro_config.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"
#include "session/services.h"
#include "session/tally_files.h"
#include "session/tally_publisher.h"

namespace vendra {

class Dialogs;
class InputPoll;
class Journal;
class LiveChanges;
class MappingCommands;
class OutputTest;
class SerialPort;
class TallyFiles;
class UndoHistory;
class UnitStatus;

// Makes the port the configuration names (a device, or a port number).
using PortFactory = std::function<std::unique_ptr<SerialPort>(const InstallationConfig&)>;
// The serial port of the real system.
PortFactory SerialPortFactory();

// Waits the session makes; the program's values unless a test or a tool chooses others.
struct SessionTimings {
    int deadlineMs = CommandExchange::kDeadlineMs;  // whole reply of one command
    int readBackPauseMs = ReadBack::kPauseMs;       // before the first entry of a read-back
    int settleMs = OnlineState::kSettleMs;          // after the first answer of a probe
};

class ConsoleSession : public QObject {
    Q_OBJECT
public:
    ConsoleSession(Dialogs& dialogs, PortFactory makePort = SerialPortFactory(),
                   SessionTimings timings = {}, QObject* parent = nullptr);
    ~ConsoleSession() override;  // closes the port

    // Start-up, first half: the state a start begins with, then the installation file (Kavro.ini
    // beside the program, or the one the command line names). On failure the operator has been
    // told ("File Missing", with the path looked for) and the program must end. The port is made
    // from the configuration but not opened yet.
    bool LoadConfiguration(const QString& iniPath);
    // The same without a box: for a caller that reports the result itself.
    IniReadResult ReadConfiguration(const IniFile& ini);
    // Start-up, second half, once the window is shown: the port opened ("Port Conflict" and
    // offline when it cannot be), the online attempt and, online, the first read-back with the
    // controller's version left in the error line. True when online.
    bool Connect();

    // The services.
    ControllerLink& Link() { return *link_; }
    TableOperations& Table() { return *table_; }
    OutputTesting& Tests() { return *tests_; }
    TallyFileService& Files() { return *filesService_; }
    LiveChangeService& Changes() { return *changesService_; }
    ChangeHistory& History() { return *historyService_; }
    InputWatch& Inputs() { return *inputs_; }
    const InstallationView& Installation() const { return *installation_; }
    // The tally sent on to UMD receivers; idle unless Kavro.ini names destinations and the
    // owner of the line starts it.
    TallyPublisher& Publisher() { return *publisher_; }

private:
    class SessionPort;
    friend class SessionInternals;  // the tests' and benches' way to the parts
    void WireJournal();
    void MakeServices();
    void FeedLampsToService();
    void SetJournalPath(const QString& iniPath);

    Dialogs& dialogs_;
    PortFactory makePort_;
    SessionTimings timings_;
    MappingTables tables_;
    InstallationConfig config_;
    EnabledUnits units_;
    std::unique_ptr<SessionPort> port_;
    std::unique_ptr<CommandExchange> exchange_;
    std::unique_ptr<OnlineState> online_;
    std::unique_ptr<ReadBack> readBack_;
    std::unique_ptr<MappingCommands> commands_;
    std::unique_ptr<OutputTest> outputTest_;
    std::unique_ptr<TallyFiles> files_;
    std::unique_ptr<UnitStatus> unitStatus_;
    std::unique_ptr<InputPoll> inputPoll_;
    std::unique_ptr<LiveChanges> changes_;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<UndoHistory> history_;

    std::unique_ptr<ControllerLink> link_;
    std::unique_ptr<TableOperations> table_;
    std::unique_ptr<OutputTesting> tests_;
    std::unique_ptr<TallyFileService> filesService_;
    std::unique_ptr<LiveChangeService> changesService_;
    std::unique_ptr<ChangeHistory> historyService_;
    std::unique_ptr<InputWatch> inputs_;
    std::unique_ptr<InstallationView> installation_;
    std::unique_ptr<TallyPublisher> publisher_;
};

}  // namespace vendra
