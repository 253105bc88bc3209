#pragma once
// The console session: the installation, the port, the exchange with its busy state, the online
// state and every operation on the controller's table, with no window in it. The main window, the
// command-line tool and the tests drive the same session; it asks and tells the operator only
// through Dialogs and reports everything a face shows through its signals.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "changes/live_changes.h"

#include "config/enabled_units.h"
#include "config/kavro_config.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"

class QLockFile;

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

// The controller's whole table as read back, in the controller's order.
struct TableRead {
    ReadBackResult result;
    QStringList lines;
};

// How a whole file went into the controller, and what reading the table back then proved.
struct RestoreResult {
    TallyFiles::LoadOutcome load = TallyFiles::LoadOutcome::Refused;
    TallyFiles::LoadProgress progress;
    std::optional<VerifyResult> verified;
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
    // Opens the port; false, with the reason in the port's ErrorText(), when it cannot be.
    bool OpenPort();
    // The "Port Conflict" text for the port that could not be opened.
    QString PortConflictText() const;
    // Why the port could not be opened: the device and the reason (the line's lock held by
    // another program, or the system's reason with the dialout hint).
    QString PortFailure() const;

    // Reads every mapping back and has the output list rebuilt ("Refresh", start-up).
    ReadBackResult SyncWithVendra();
    // "Refresh": ends every test, asks the controller to refresh, then SyncWithVendra.
    ReadBackResult Refresh();
    // "Clear All", after the operator's confirmation.
    void ResetAndClearAll();
    // The whole table for a backup: holes removed first (the read-back ends at a hole), then
    // read back. Incomplete unless result.Complete().
    TableRead ReadWholeTable();
    // A whole tally file into the controller (the load: Init, the units, every line; no
    // question about an empty file, the caller has decided), then, with `verify`, the whole
    // table read back and compared with the file, entry by entry.
    RestoreResult Restore(const QString& path, const QList<TallyItem>& mappings, bool verify);

    // The pieces, for the windows and the tool that work with them.
    const InstallationConfig& Config() const { return config_; }
    MappingTables& Tables() { return tables_; }
    SerialPort& Port();
    CommandExchange& Exchange() { return *exchange_; }
    BusyState& Busy() { return exchange_->Busy(); }
    OnlineState& Online() { return *online_; }
    bool IsOnline() const { return online_->Online; }
    ReadBack& Reader() { return *readBack_; }
    MappingCommands& Commands() { return *commands_; }
    OutputTest& Tests() { return *outputTest_; }
    TallyFiles& Files() { return *files_; }
    UnitStatus& Units() { return *unitStatus_; }
    // The input bits of the watched units, polled for the overview and the unit status window.
    InputPoll& Poll() { return *inputPoll_; }
    LiveChanges& Changes() { return *changes_; }
    Journal& ChangeJournal() { return *journal_; }
    UndoHistory& History() { return *history_; }
    // The units Kavro.ini enables, in its order; empty until the configuration is read.
    const EnabledUnits& Enabled() const { return units_; }
    Dialogs& Boxes() { return dialogs_; }

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // The progress label's new text ("Downloading  n", "Mapping  k", ...).
    void ProgressText(const QString& text);
    // False while a read-back or a load runs: the mapping controls are disabled meanwhile.
    void ControlsEnabled(bool enabled);
    // The read-back's "Cancel" button.
    void CancelVisible(bool visible);
    // The file name label's new text.
    void FileNameShown(const QString& name);
    // The error line's new text.
    void ErrorLine(const QString& text);
    // A command goes out (TX lamp); characters have arrived (RX lamp).
    void CommandStarted();
    void DataReceived();
    // A mapping command goes out ("Map Tally" flashes).
    void MapFlash();
    // The online or offline look.
    void LookChanged(bool online);
    // The tooltips of the information and version labels.
    void InfoTexts(const QString& mainInfoTip, const QString& versionTip);
    // The keyboard focus goes back to the output list.
    void FocusToList();

private:
    class SessionPort;
    void WireJournal();
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
    std::unique_ptr<QLockFile> lineLock_;
    QString lineHeld_;  // the lock path another program holds, after a refused open
};

}  // namespace vendra
