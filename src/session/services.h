#pragma once
// The session's capabilities, one small service each: the controller link, table operations,
// output tests, tally files, live changes, the history and the input watch, and the read-only
// installation. Only the session builds them; each has its own operations and signals, and
// every operation that changes the controller writes its own undo step and journal entry.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "changes/journal.h"
#include "changes/lamp_state.h"
#include "changes/live_changes.h"
#include "config/enabled_units.h"
#include "config/kavro_config.h"
#include "link/command_exchange.h"
#include "link/error_report.h"
#include "mapping/mapping_tables.h"
#include "mapping/progress.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"

namespace vendra {

class ConsoleSession;
class Dialogs;
class InputPoll;
class MappingCommands;
class OnlineState;
class OutputTest;
class SerialPort;
class UndoHistory;
class UnitStatus;

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

// The line to the controller: the port, the online state, the busy state and the stop, raw
// commands and the reply deadline.
class ControllerLink : public QObject {
    Q_OBJECT
public:
    // Opens the port; false, with the reason in PortFailure(), when it cannot be.
    bool OpenPort();
    // Closes the port and lets the line go (the program ends, the operator closes the window,
    // or a tool has read what it needs).
    void ClosePort();
    // The device the port talks through ("/dev/ttyS0", "host:port").
    QString DeviceName() const;
    // The line whose lock the port takes (the device or HOST:PORT); empty for a port of this
    // process alone.
    QString LineName() const;
    // The "Port Conflict" text for the port that could not be opened.
    QString PortConflictText() const;
    // Why the port could not be opened: the device and the reason (the line's lock held by
    // another program, or the system's reason with the dialout hint).
    QString PortFailure() const;

    // GoOnline probes the controller and, when it answers, asks its version; ToggleOnline is
    // the "Online"/"Offline" label's click.
    bool GoOnline();
    void ToggleOnline();
    bool IsOnline() const;

    // A read-back, a load, a save or a flow of the compare window runs: the operator's commands
    // wait for it to end.
    bool IsBusy() const;
    // Holds the console busy while it lives, for a flow that asks the operator between its steps.
    [[nodiscard]] BusyState::Scope Hold();
    // The stop the program's end or Ctrl+C asks for: a read-back, a load or an apply ends at
    // its next step.
    void RequestStop();
    bool StopRequested() const;

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

Q_SIGNALS:
    // A command goes out (TX lamp); characters have arrived (RX lamp).
    void CommandStarted();
    void DataReceived();
    // The console went online or offline.
    void OnlineChanged(bool online);
    // The tooltips of the information and version labels.
    void InfoTexts(const QString& mainInfoTip, const QString& versionTip);
    // The console window's new receive text (while CopyRepliesToConsole is on).
    void ConsoleText(const QString& text);
    // A read-back, a load or an apply began or ended.
    void BusyChanged(bool busy);
    // The error line: cleared as a command goes out, a failed command, a refusal's words, the
    // controller's version after start-up.
    void ErrorReported(const ErrorReport& error);

private:
    friend class ConsoleSession;
    friend class SessionInternals;
    ControllerLink(SerialPort& port, CommandExchange& exchange, OnlineState& online,
                   ReadBack& readBack, Journal& journal, const InstallationConfig& config);
    // The start-up's own words for the error line (cleared, the controller's version).
    void Tell(const ErrorReport& error) { Q_EMIT ErrorReported(error); }

    SerialPort& port_;
    CommandExchange& exchange_;
    OnlineState& online_;
    ReadBack& readBack_;
    Journal& journal_;
    const InstallationConfig& config_;
};

// The controller's table: reading it whole, "Refresh", "Clear All", one output's row, and the
// editor's mappings (each journalled and one step to undo).
class TableOperations : public QObject {
    Q_OBJECT
public:
    // Reads every mapping back and has the output list rebuilt ("Refresh", start-up).
    ReadBackResult ReadControllerTable();
    // "Refresh": ends every test, asks the controller to refresh, compacts its table, then
    // reads it back.
    ReadBackResult Refresh();
    // "Clear All", after the operator's confirmation.
    void ResetAndClearAll();
    // The whole table for a backup: holes removed first (the read-back ends at a hole), then
    // read back. Incomplete unless result.Complete().
    TableRead ReadWholeTable();
    // The read-back's "Cancel" button.
    void CancelReadBack();

    // The row text of output o in the output list (name, input, operator, second input).
    QString OutputRow(int o) const;
    // The input row the operator picked: its unit and channel become the current input.
    void SelectInput(int input);
    // Maps output o to input row `input` (0, "Unassigned", clears it); journalled, one step to
    // undo. False when it was not made: refused or not answered (the row keeps what it
    // showed), or, online, an output with no address (nothing is sent).
    bool MapOutput(int o, int input);
    // Maps output o to `first` AND or OR `second`; one step to undo. The second input is sent
    // only when the controller made the first. True when the output's mapping changed, if
    // only to `first` alone.
    bool MapOutputBoolean(int o, int first, int second, BoolOp op);

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // How far a read-back has come (whoever started it).
    void Progressed(const ProgressReport& progress);
    // False while a read-back runs: the mapping controls are disabled meanwhile.
    void ControlsEnabled(bool enabled);
    // The read-back's "Cancel" button.
    void CancelVisible(bool visible);
    // A mapping command goes out ("Map Tally" flashes).
    void MapFlash();
    // "Clear All" emptied the controller: no file is shown as loaded.
    void FileNameShown(const QString& name);
    // A refusal's words, a failed command, an output without an address.
    void ErrorReported(const ErrorReport& error);

private:
    friend class ConsoleSession;
    struct Parts {
        MappingTables& tables;
        CommandExchange& exchange;
        OnlineState& online;
        ReadBack& readBack;
        MappingCommands& commands;
        OutputTest& outputTest;
        LiveChanges& changes;
        Journal& journal;
        UndoHistory& history;
        const EnabledUnits& units;
        Dialogs& dialogs;
    };
    explicit TableOperations(Parts parts);
    // One output mapped to one input; nothing when no command could be made for it.
    std::optional<ChangeOutcome> MapSingle(int o, int input);
    void JournalMapping(const QString& operation, int o, const QString& before,
                        ChangeOutcome outcome);

    Parts p_;
};

// Output tests: "Test" held or Space, its release, and "Latch" (journalled). A test is shown as
// on only when the controller made it.
class OutputTesting : public QObject {
    Q_OBJECT
public:
    void TestOn(int o);
    void TestOff(int o);
    void TestLatchChange(int o);
    // The console is closing: every test it holds ends (journalled), so that no lamp stays
    // forced on with no console left to show it. Online and with the line free only; it stops
    // at the first end the controller does not answer.
    void EndTests();

Q_SIGNALS:
    // Row = output - 1: under test or not.
    void RowTest(int row, bool underTest);
    // A test the "Test" button started is on or over.
    void TestActive(bool on);
    // The "Latch" box is ticked or cleared.
    void LatchShown(bool ticked);
    // A refusal's words, a failed command, an output without an address.
    void ErrorReported(const ErrorReport& error);

private:
    friend class ConsoleSession;
    OutputTesting(MappingTables& tables, OutputTest& outputTest, OnlineState& online,
                  ReadBack& readBack, Journal& journal);

    MappingTables& tables_;
    OutputTest& outputTest_;
    OnlineState& online_;
    ReadBack& readBack_;
    Journal& journal_;
};

// Tally files: "Save", "Load" (one step to undo), a tool's load and a whole restore.
class TallyFileService : public QObject {
    Q_OBJECT
public:
    // "Save": the operator chooses a file and the console's table goes into it. False when
    // another save, load or read-back was running and the click was left alone.
    bool SaveMatrix();
    // "Load": the operator chooses a file and it goes into the controller; one step to undo.
    // False as for SaveMatrix.
    bool LoadMatrix();
    // A file the caller names into the controller as "Load" sends it, without the file box,
    // the file name label or a step to undo: a tool's load.
    TallyFiles::LoadOutcome LoadMatrixFile(const QString& path);
    // A whole tally file into the controller (the load: Init, the units, every line; no
    // question about an empty file, the caller has decided), then, with `verify`, the whole
    // table read back and compared with the file, entry by entry.
    RestoreResult Restore(const QString& path, const QList<TallyItem>& mappings, bool verify);

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // False while a load runs.
    void ControlsEnabled(bool enabled);
    // How far a load has come.
    void Progressed(const ProgressReport& progress);
    // The name of the file last saved or loaded.
    void FileNameShown(const QString& name);

private:
    friend class ConsoleSession;
    TallyFileService(TallyFiles& files, LiveChanges& changes, OnlineState& online,
                     UndoHistory& history, Journal& journal);
    // A new start: no file is shown as loaded.
    void ShowNoFile() { Q_EMIT FileNameShown(QString()); }

    TallyFiles& files_;
    LiveChanges& changes_;
    OnlineState& online_;
    UndoHistory& history_;
    Journal& journal_;
};

// Live changes against the controller's table: a file checked, compared with the controller
// (or the console's copy of it), the changes only applied and verified.
class LiveChangeService : public QObject {
    Q_OBJECT
public:
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

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // False while an apply or a verification runs.
    void ControlsEnabled(bool enabled);
    // How far an apply or a verification has come.
    void Progressed(const ProgressReport& progress);

private:
    friend class ConsoleSession;
    class UndoableQuestions;
    LiveChangeService(LiveChanges& changes, UndoHistory& history);

    LiveChanges& changes_;
    UndoHistory& history_;
};

// Undo and redo of the operator's steps, and the journal every change is written to.
class ChangeHistory : public QObject {
    Q_OBJECT
public:
    void Undo();
    void Redo();
    // Everything the journal records until the operation ends is named `name`.
    std::unique_ptr<Journal::Operation> JournalOperation(const QString& name);
    // The installation's journal file.
    QString JournalPath() const;

Q_SIGNALS:
    // Nothing to undo or redo, an undo cut short, a journal record that could not be written.
    void ErrorReported(const ErrorReport& error);

private:
    friend class ConsoleSession;
    ChangeHistory(UndoHistory& history, Journal& journal);

    UndoHistory& history_;
    Journal& journal_;
};

// The units' input bits and status: the shared poll, one unit asked now, and the lamp watch
// (every configured output's lamp, live, from the console's copy of the table and the bits).
class InputWatch : public QObject {
    Q_OBJECT
public:
    // The poll asks the units in cycles while the list is not empty; the extra unit is the unit
    // status window's, asked in the same cycles.
    void PollUnits(const QList<int>& units);
    void PollExtraUnit(int unit);
    bool Polling() const;
    // One unit asked now: its bits (reported by LampsChanged) / without reporting / its
    // status.
    std::optional<quint32> UpdateUnitBits(int unit);
    std::optional<quint32> ReadUnitBits(int unit);
    QString UnitStat(int unit);

    // The lamp watch. While at least one watcher is on, the units that carry a configured
    // input are polled and LampRowsChanged follows every change; a watcher is on only while it
    // wants the line's traffic (the overview shown and online, the publisher online).
    void WatchLamps(const QObject* watcher, bool on);
    bool WatchingLamps() const { return !lampWatchers_.isEmpty(); }
    // The lamp watch also asks each unit that drives a configured output for its status line,
    // one a cycle, and settles the rows with their counts of outputs on: an output forced on is
    // lit, and a dark lamp a count cannot place is unknown (changes/lamp_state.h). Off by default:
    // the console's own traffic stays the inputs' bits.
    void SettleWithUnitCounts(bool on);
    // Every such unit's first count has been read and checked against the inputs.
    bool UnitCountsChecked() const { return counts_.Checked(); }
    // Every configured output's lamp now (the table as it is, the last bits, settled as above);
    // a change since the last report is reported too. A caller whose table changed calls it.
    QList<LampRow> Lamps();
    // Each unit that carries a configured input asked once, now, without the poll, then each
    // unit that drives an output for its status line; the lamps settled with those counts.
    QList<LampRow> ReadLampsOnce();
    // The watched units that were asked and gave no bits, ascending.
    QList<int> SilentUnits() const { return bits_.SilentUnits(); }

Q_SIGNALS:
    // After each "BITS" of the poll: the unit's 32 bits, or none.
    void UnitRead(int unit, std::optional<quint32> bits);
    // A poll cycle over `units` units took `ms` milliseconds.
    void CycleEnded(int units, qint64 ms);
    // The unit asked by UpdateUnitBits answered these lamps.
    void LampsChanged(quint32 lamps);
    // The lamp watch: every row, and the outputs whose row changed since the last report.
    void LampRowsChanged(const QList<LampRow>& rows, const QList<int>& changedOutputs);

private:
    friend class ConsoleSession;
    InputWatch(InputPoll& poll, UnitStatus& status, const MappingTables& tables);
    void FollowLampWatchers();

    InputPoll& poll_;
    UnitStatus& status_;
    const MappingTables& tables_;
    QList<const QObject*> lampWatchers_;
    InputBits bits_;
    bool settle_ = false;
    UnitCounts counts_;
    QList<LampRow> rows_;  // as last reported
};

// What the installation holds, to read: change it only through the services.
class InstallationView {
public:
    const InstallationConfig& Config() const { return config_; }
    const MappingTables& Tables() const { return tables_; }
    // The units Kavro.ini enables, in its order; empty until the configuration is read.
    const EnabledUnits& Enabled() const { return units_; }

private:
    friend class ConsoleSession;
    InstallationView(const InstallationConfig& config, const MappingTables& tables,
                     const EnabledUnits& units)
        : config_(config), tables_(tables), units_(units) {}

    const InstallationConfig& config_;
    const MappingTables& tables_;
    const EnabledUnits& units_;
};

}  // namespace vendra
