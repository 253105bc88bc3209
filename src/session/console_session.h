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

#include "changes/journal.h"
#include "changes/live_changes.h"
#include "config/enabled_units.h"
#include "config/kavro_config.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"

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
    // "Refresh": ends every test, asks the controller to refresh, compacts its table, then
    // SyncWithVendra.
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

    // Closes the port and lets the line go (the program ends, the operator closes the window,
    // or a tool has read what it needs).
    void ClosePort();
    // The device the port talks through ("/dev/ttyS0", "host:port").
    QString DeviceName() const;

    // The online state. GoOnline probes the controller and, when it answers, asks its version;
    // ToggleOnline is the "Online"/"Offline" label's click.
    bool GoOnline();
    void ToggleOnline();
    bool IsOnline() const { return online_->Online; }
    bool IsPortOpen() const;
    // The controller's version line, as the last probe left it (empty when it gave none).
    QString ControllerVersion() const;

    // A read-back, a load or an apply runs: the operator's commands wait for it to end.
    bool IsBusy() const;
    // The stop the program's end or Ctrl+C asks for: a read-back, a load or an apply ends at
    // its next step.
    void RequestStop();
    bool StopRequested() const;
    // The read-back's "Cancel" button.
    void CancelReadBack();

    // What the console holds: read them, change them only through the operations here.
    const InstallationConfig& Config() const { return config_; }
    const MappingTables& Tables() const { return tables_; }
    // The units Kavro.ini enables, in its order; empty until the configuration is read.
    const EnabledUnits& Enabled() const { return units_; }
    // The parts whose own signals a window watches: the output tests (rows under test, the
    // "Test" and "Latch" look), the input poll (UnitRead, CycleEnded), the unit status
    // (LampsChanged), the exchange (ConsoleText, the console window's copy of each reply) and
    // the journal (its path, ErrorLine when a record cannot be written).
    const OutputTest& OutputTests() const { return *outputTest_; }
    const InputPoll& InputPoller() const { return *inputPoll_; }
    const UnitStatus& UnitStatusReader() const { return *unitStatus_; }
    const CommandExchange& Exchange() const { return *exchange_; }
    const Journal& ChangeJournal() const { return *journal_; }

    // "Save": the operator chooses a file and the console's table goes into it.
    void SaveMatrix();
    // "Load": the operator chooses a file and it goes into the controller; one step to undo.
    void LoadMatrix();
    // A file the caller names into the controller as "Load" sends it, without the file box,
    // the file name label or a step to undo: a tool's load.
    TallyFiles::LoadOutcome LoadMatrixFile(const QString& path);
    // Lines of the last load that name no configured output.
    QStringList LoadLeftOut() const;
    // Loads write to the journal (the default), or not: for a measure of the journal's cost.
    void JournalLoads(bool on);

    // The row text of output o in the output list (name, input, operator, second input).
    QString OutputRow(int o);
    // The input row the operator picked: its unit and channel become the current input.
    void SelectInput(int input);
    // Maps output o to input row `input` (0, "Unassigned", clears it); journalled, one step to
    // undo. False when it was not made: refused or not answered (the row keeps what it
    // showed), or, online, an output with no address (nothing is sent).
    bool MapOutput(int o, int input);
    // Maps output o to `first` AND (BoolOp 1) or OR `second`; one step to undo. The second
    // input is sent only when the controller made the first. True when the output's mapping
    // changed, if only to `first` alone.
    bool MapOutputBoolean(int o, int first, int second, int BoolOp);

    // Output tests: "Test" held or Space, its release, and "Latch" (journalled). A test is
    // shown as on only when the controller made it (see OutputTest).
    void TestOn(int o);
    void TestOff(int o);
    void TestLatchChange(int o);
    // The console is closing: every test it holds ends (journalled), so that no lamp stays
    // forced on with no console left to show it. Online and with the line free only; it stops
    // at the first end the controller does not answer.
    void EndTests();

    // Live changes against the controller's table: a file checked, compared with the
    // controller (or the console's copy of it), the changes only applied and verified.
    FileCheck CheckFile(const QString& path);
    Comparison Compare(const QList<TallyItem>& mappings);
    Comparison CompareWithCopy(const QList<TallyItem>& mappings);
    QList<TallyItem> ConsoleCopyItems() const;
    // Online, the copy may differ from the controller's table: no whole read-back yet, the
    // last one ended short, or a change since was not answered.
    bool CopyMayBeStale() const;
    // The whole flow; the changes, from the confirmation on, are one step to undo.
    ChangeReport ApplyChanges(const ChangeSource& source, const ChangeOptions& options,
                              ChangeQuestions& questions);
    // Asks every output of the console's copy back from the controller.
    VerifyResult VerifyCopy();

    // Undo and redo of the operator's steps, and the journal they are written to.
    void Undo();
    void Redo();
    bool CanUndo() const;
    // Everything the journal records until the operation ends is named `name`.
    std::unique_ptr<Journal::Operation> JournalOperation(const QString& name);

    // A command the operator types (the console window, "vendractl send"): sent as it is,
    // journalled as it went, its reply answered. One that may have changed the table leaves
    // the copy possibly stale.
    Reply SendRaw(const QString& text, const QString& operation);
    // What the last exchange brought.
    Reply LastReply() const;
    // Every reply is copied to the console window while this is on (ConsoleText).
    void CopyRepliesToConsole(bool on);
    int DeadlineMs() const;
    void SetDeadlineMs(int ms);

    // Input bits. The poll asks the units in cycles while the list is not empty; the extra
    // unit is the unit status window's, asked in the same cycles.
    void PollUnits(const QList<int>& units);
    void PollExtraUnit(int unit);
    bool Polling() const;
    // One unit asked now: its bits (reported by the unit status' LampsChanged) / without
    // reporting / its status.
    std::optional<quint32> UpdateUnitBits(int unit);
    std::optional<quint32> ReadUnitBits(int unit);
    QString UnitStat(int unit);

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
    class UndoableQuestions;
    // What became of a change, by the one rule (OutcomeOf): a refusal's words go to the error
    // line, a failure leaves the copy possibly stale.
    ChangeOutcome Judge(bool online, const Reply& reply);
    // Online, an output with no address (unit 0) is sent nothing: false, and the error line
    // says why.
    bool Addressed(int o);
    // One output mapped to one input; nothing when no command could be made for it.
    std::optional<ChangeOutcome> MapSingle(int o, int input);
    void JournalMapping(const QString& operation, int o, const QString& before,
                        ChangeOutcome outcome);
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
};

}  // namespace vendra
