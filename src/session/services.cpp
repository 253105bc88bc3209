#include "session/services.h"

#include "link/input_poll.h"
#include "link/online_state.h"
#include "link/unit_status.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_commands.h"
#include "mapping/output_rows.h"
#include "mapping/output_test.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"
#include "platform/serial_port.h"
#include "session/undo_history.h"

namespace vendra {

namespace {

using Tell = std::function<void(const ErrorReport&)>;

// Made (answered, not refused); offline, made in the console's copy.
bool Took(ChangeOutcome o) {
    return o == ChangeOutcome::Made || o == ChangeOutcome::Offline;
}

// A command that only asks: whatever its answer, the controller's table is as it was.
bool ReadsOnly(const QString& command) {
    static const QStringList kQuestions = {"ver", "bits", "gstat", "getmap", "rawmap"};
    const QString word = command.simplified().section(QLatin1Char(' '), 0, 0).toLower();
    return word.isEmpty() || kQuestions.contains(word);
}

// What became of a change, by the one rule (OutcomeOf): a refusal's words go to the error
// line, a failure leaves the copy possibly stale.
ChangeOutcome Judge(bool online, const Reply& reply, ReadBack& readBack, const Tell& tell) {
    const ChangeOutcome outcome = OutcomeOf(online, reply);
    // The error line ends on what decided, whatever commands followed it: the controller's
    // own words, or a failure for a command that went out unanswered.
    if (outcome == ChangeOutcome::Refused) tell(ErrorReport::Message(reply.Line));
    if (outcome == ChangeOutcome::Failed) {
        readBack.MarkCopyStale();
        if (reply.Kind != ReplyKind::Refused) tell(ErrorReport::LineFailed());
    }
    return outcome;
}

// Ends every test the console shows, each journalled with `why`; stops at the first command
// that went out unanswered.
void EndEveryTest(OutputTest& tests, const MappingTables& t, ReadBack& readBack, Journal& journal,
                  const Tell& tell, const QString& why) {
    for (int o = 1; o <= t.NumOutputs; ++o) {
        const std::optional<Reply> reply = tests.TestOff(o);
        if (!reply) continue;
        // Not sent: a read-back or a load holds the line, or the program is ending.
        if (reply->Kind == ReplyKind::Refused) return;
        const ChangeOutcome outcome = Judge(true, *reply, readBack, tell);
        journal.Record(QStringLiteral("test latch"), t.OutUnit[o], t.OutChannel[o],
                       t.OutMapString[o], t.OutMapString[o], outcome::Word(outcome), why);
        if (outcome == ChangeOutcome::Failed) return;
    }
}

// Online, an output with no address (unit 0) is sent nothing: false, and the error line says
// why.
bool Addressed(const MappingTables& tables, bool online, int o, const Tell& tell) {
    if (!online || tables.OutUnit[o] != 0) return true;
    // Output unit 0 would end every read-back of a controller that stored it.
    tell(ErrorReport::Message(
        QStringLiteral("Output %1 has no unit in Kavro.ini: nothing was sent").arg(Plain(o))));
    return false;
}

}  // namespace

// The controller link.

ControllerLink::ControllerLink(SerialPort& port, CommandExchange& exchange, OnlineState& online,
                               ReadBack& readBack, Journal& journal,
                               const InstallationConfig& config)
    : port_(port),
      exchange_(exchange),
      online_(online),
      readBack_(readBack),
      journal_(journal),
      config_(config) {
    connect(&exchange_, &CommandExchange::CommandStarted, this, &ControllerLink::CommandStarted);
    connect(&exchange_, &CommandExchange::ErrorReported, this, &ControllerLink::ErrorReported);
    connect(&exchange_, &CommandExchange::ConsoleText, this, &ControllerLink::ConsoleText);
    connect(&exchange_.Busy(), &BusyState::BusyChanged, this, &ControllerLink::BusyChanged);
    connect(&port_, &SerialPort::DataReceived, this, &ControllerLink::DataReceived);
    connect(&online_, &OnlineState::OnlineChanged, this, &ControllerLink::OnlineChanged);
    connect(&online_, &OnlineState::ErrorReported, this, &ControllerLink::ErrorReported);
    connect(&online_, &OnlineState::InfoTexts, this, &ControllerLink::InfoTexts);
}

bool ControllerLink::OpenPort() {
    // The port takes the line's lock first: another program on the same line would talk over
    // this one.
    return port_.Open() != -1;
}

void ControllerLink::ClosePort() {
    // Closing frees the line's lock: another program may have the line from now on.
    port_.Close();
}

QString ControllerLink::DeviceName() const {
    return port_.DeviceName();
}

QString ControllerLink::LineName() const {
    return port_.LineName();
}

QString ControllerLink::PortFailure() const {
    return PortFailureText(port_);
}

QString ControllerLink::PortConflictText() const {
    return QStringLiteral("The Serial Com port") + SignColumn(config_.VendraCommport) +
           QLatin1Char('\r') + QStringLiteral("Is not available") + QLatin1Char('\r') +
           QStringLiteral("Please correct and try again") + QLatin1Char('\r') + PortFailure();
}

bool ControllerLink::GoOnline() {
    return online_.GoOnline();
}

void ControllerLink::ToggleOnline() {
    online_.ToggleOnline();
    // Offline changes went to the copy only, and nothing was watched meanwhile: as the box
    // says, the rows may not agree with the controller until the next whole read-back.
    if (online_.Online) readBack_.MarkCopyStale();
}

bool ControllerLink::IsOnline() const {
    return online_.Online;
}

bool ControllerLink::IsBusy() const {
    return exchange_.Busy().Busy();
}

BusyState::Scope ControllerLink::Hold() {
    return BusyState::Scope(exchange_.Busy());
}

void ControllerLink::RequestStop() {
    exchange_.Busy().RequestStop();
}

bool ControllerLink::StopRequested() const {
    return exchange_.Busy().StopRequested();
}

Reply ControllerLink::SendRaw(const QString& text, const QString& operation) {
    // A raw mapping command is journalled as the change of its output: what the controller
    // held before and after, as it answers "GetMap" (kept out of the console window).
    const std::optional<std::pair<int, int>> target = RawMappingTarget(text);
    const auto held = [&]() -> std::optional<QString> {
        const bool copy = exchange_.ConsoleCopy();
        exchange_.SetConsoleCopy(false);
        const Reply r =
            exchange_.Exchange(OutputLine(QStringLiteral("GetMap"), target->first, target->second));
        exchange_.SetConsoleCopy(copy);
        return HeldMapping(r);
    };
    const std::optional<QString> before = target ? held() : std::nullopt;
    const Reply reply = exchange_.Exchange(text);
    // A raw command may change the table: it is journalled as it went (it went whatever the
    // online state), and one that may have changed it leaves the copy possibly stale.
    const ChangeOutcome outcome =
        Judge(true, reply, readBack_, [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); });
    if (outcome == ChangeOutcome::Made && !ReadsOnly(text)) readBack_.MarkCopyStale();
    if (!target) {
        journal_.RecordCommand(operation, text, outcome::Word(outcome));
        return reply;
    }
    const std::optional<QString> after = outcome == ChangeOutcome::Made      ? held()
                                         : outcome == ChangeOutcome::Refused ? before
                                                                             : std::nullopt;
    journal_.Record(operation, target->first, target->second, before.value_or(QString()),
                    after.value_or(QString()), outcome::Word(outcome), text, before.has_value(),
                    after.has_value());
    return reply;
}

Reply ControllerLink::LastReply() const {
    return exchange_.LastReply();
}

void ControllerLink::CopyRepliesToConsole(bool on) {
    exchange_.SetConsoleCopy(on);
}

int ControllerLink::DeadlineMs() const {
    return exchange_.DeadlineMs();
}

void ControllerLink::SetDeadlineMs(int ms) {
    exchange_.SetDeadlineMs(ms);
}

// Table operations.

TableOperations::TableOperations(Parts parts) : p_(parts) {
    connect(&p_.readBack, &ReadBack::Progressed, this, &TableOperations::Progressed);
    connect(&p_.readBack, &ReadBack::ControlsEnabled, this, &TableOperations::ControlsEnabled);
    connect(&p_.readBack, &ReadBack::CancelVisible, this, &TableOperations::CancelVisible);
    connect(&p_.commands, &MappingCommands::MapFlash, this, &TableOperations::MapFlash);
}

ReadBackResult TableOperations::ReadControllerTable() {
    const ReadBackResult result = p_.readBack.GetAllRawMappings();
    Q_EMIT ListRebuild();
    return result;
}

ReadBackResult TableOperations::Refresh() {
    const Reply refreshed = p_.commands.SystemRefresh(p_.outputTest);
    // Sent but unanswered, "Refresh" may or may not have ended the tests: each is ended by hand,
    // so that no lamp stays forced on behind a row that no longer shows it.
    if (!refreshed.Answered() && refreshed.Kind != ReplyKind::Refused)
        EndEveryTest(
            p_.outputTest, p_.tables, p_.readBack, p_.journal,
            [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); },
            QStringLiteral("latch released: \"Refresh\" went unanswered"));
    // A cleared entry stays a hole until the table is compacted, and the read-back ends at the
    // first hole: without the compaction, every output after it would read as unmapped.
    const ReadBackResult result = p_.readBack.CompactAndReadAll();
    Q_EMIT ListRebuild();
    return result;
}

void TableOperations::ResetAndClearAll() {
    if (p_.dialogs.Message(QStringLiteral("Are you absolutely sure you want to Clear ALL ??"),
                           QStringLiteral("Clear All"), Buttons::OkCancel, Icon::None,
                           Answer::Cancel) != Answer::Ok)
        return;
    const UndoHistory::Step step(&p_.history, QStringLiteral("Clear All"), true);
    const QStringList before = p_.changes.ConsoleCopy();
    const bool online = p_.online.Online;
    ChangeOutcome outcome = ChangeOutcome::Offline;
    if (online) {
        const Reply init = p_.commands.SystemInit();
        if (!init.IsError()) EnableUnits(p_.exchange, p_.units);
        outcome = Judge(true, init, p_.readBack,
                        [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); });
    }
    for (const QString& s : before) {
        const MappingRecord m = ParseGetMap(s);
        p_.journal.Record(QStringLiteral("Clear All"), m.OutUnit, m.OutChannel, s, QString(),
                          outcome::Word(outcome));
    }
    // A refusal leaves the controller as it was: its table, and any output under test.
    if (outcome == ChangeOutcome::Refused) return;
    // Offline nothing reached the controller: the tests it holds go on, their rows red.
    if (outcome != ChangeOutcome::Offline) p_.outputTest.ClearAllTest();
    p_.tables.ClearLocalMaps();
    p_.changes.TakeTable({});
    Q_EMIT ListRebuild();
    Q_EMIT FileNameShown(QString());
}

TableRead TableOperations::ReadWholeTable() {
    TableRead read;
    read.result = p_.readBack.CompactAndReadAll();
    Q_EMIT ListRebuild();
    for (int i = 1; i <= p_.tables.MapStringCount; ++i)
        read.lines.append(p_.tables.RawMapList[i]);
    return read;
}

void TableOperations::CancelReadBack() {
    p_.readBack.CancelDownload();
}

QString TableOperations::OutputRow(int o) const {
    return BuildOutputRow(p_.tables, o);
}

void TableOperations::SelectInput(int input) {
    if (!p_.tables.IsConfiguredInput(input)) return;
    p_.tables.Current.InUnit = p_.tables.InUnit[input];
    p_.tables.Current.InChannel = p_.tables.InChannel[input];
}

void TableOperations::JournalMapping(const QString& operation, int o, const QString& before,
                                     ChangeOutcome outcome) {
    p_.journal.Record(operation, p_.tables.OutUnit[o], p_.tables.OutChannel[o], before,
                      p_.tables.CurrentMapstring, outcome::Word(outcome));
}

std::optional<ChangeOutcome> TableOperations::MapSingle(int o, int input) {
    MappingTables& t = p_.tables;
    const Tell tell = [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); };
    // A selection outside the lists never makes a mapping.
    if (!t.IsConfiguredOutput(o) || !t.IsConfiguredInput(input) ||
        !Addressed(t, p_.online.Online, o, tell))
        return std::nullopt;
    // Input 0, "Unassigned", has unit 0: the output's mapping is cleared.
    const ChangeOutcome outcome = Judge(
        p_.online.Online,
        p_.commands.SetMapping(t.OutUnit[o], t.OutChannel[o], t.InUnit[input], t.InChannel[input]),
        p_.readBack, tell);
    if (Took(outcome)) t.OutMapString[o] = t.CurrentMapstring;
    return outcome;
}

bool TableOperations::MapOutput(int o, int input) {
    const QString operation = input == 0 ? QStringLiteral("clear") : QStringLiteral("mapping");
    const UndoHistory::Step step(&p_.history, operation);
    const QString before = p_.tables.OutMapString[o];
    const std::optional<ChangeOutcome> outcome = MapSingle(o, input);
    if (!outcome) return false;
    JournalMapping(operation, o, before, *outcome);
    return Took(*outcome);
}

bool TableOperations::MapOutputBoolean(int o, int first, int second, BoolOp op) {
    MappingTables& t = p_.tables;
    const UndoHistory::Step step(&p_.history, QStringLiteral("AND/OR"));
    const QString before = t.OutMapString[o];
    // The single mapping and the second input are one change of the output; the second input
    // goes only to a mapping the controller made.
    const std::optional<ChangeOutcome> single = MapSingle(o, first);
    if (!single) return false;
    ChangeOutcome outcome = *single;
    if (Took(outcome) && t.IsConfiguredInput(second)) {
        outcome = Judge(p_.online.Online,
                        p_.commands.SetBoolMapping(t.OutUnit[o], t.OutChannel[o], t.InUnit[first],
                                                   t.InChannel[first], t.InUnit[second],
                                                   t.InChannel[second], ModeOf(op)),
                        p_.readBack, [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); });
        if (Took(outcome)) t.OutMapString[o] = t.CurrentMapstring;
    }
    JournalMapping(QStringLiteral("AND/OR"), o, before, outcome);
    return Took(*single);
}

// Output tests.

OutputTesting::OutputTesting(MappingTables& tables, OutputTest& outputTest, OnlineState& online,
                             ReadBack& readBack, Journal& journal)
    : tables_(tables),
      outputTest_(outputTest),
      online_(online),
      readBack_(readBack),
      journal_(journal) {
    connect(&outputTest_, &OutputTest::RowTest, this, &OutputTesting::RowTest);
    connect(&outputTest_, &OutputTest::TestActive, this, &OutputTesting::TestActive);
    connect(&outputTest_, &OutputTest::LatchShown, this, &OutputTesting::LatchShown);
}

void OutputTesting::TestOn(int o) {
    const Tell tell = [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); };
    if (!Addressed(tables_, online_.Online, o, tell)) return;
    if (const std::optional<Reply> reply = outputTest_.TestOn(o))
        Judge(true, *reply, readBack_, tell);
}

void OutputTesting::TestOff(int o) {
    if (const std::optional<Reply> reply = outputTest_.TestOff(o))
        Judge(true, *reply, readBack_, [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); });
}

void OutputTesting::TestLatchChange(int o) {
    const Tell tell = [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); };
    const bool wasOn = tables_.OutTest[o] == -1;
    if (!wasOn && !Addressed(tables_, online_.Online, o, tell)) return;
    const std::optional<Reply> reply = outputTest_.TestLatchChange(o);
    if (!reply) return;
    const ChangeOutcome outcome = Judge(true, *reply, readBack_, tell);
    journal_.Record(QStringLiteral("test latch"), tables_.OutUnit[o], tables_.OutChannel[o],
                    tables_.OutMapString[o], tables_.OutMapString[o], outcome::Word(outcome),
                    wasOn ? QStringLiteral("latch released") : QStringLiteral("latched on"));
}

void OutputTesting::EndTests() {
    if (!online_.Online) return;
    EndEveryTest(
        outputTest_, tables_, readBack_, journal_,
        [this](const ErrorReport& e) { Q_EMIT ErrorReported(e); },
        QStringLiteral("latch released: the console closed"));
}

// Tally files.

TallyFileService::TallyFileService(TallyFiles& files, LiveChanges& changes, OnlineState& online,
                                   UndoHistory& history, Journal& journal)
    : files_(files), changes_(changes), online_(online), history_(history), journal_(journal) {
    connect(&files_, &TallyFiles::ListRebuild, this, &TallyFileService::ListRebuild);
    connect(&files_, &TallyFiles::ControlsEnabled, this, &TallyFileService::ControlsEnabled);
    connect(&files_, &TallyFiles::Progressed, this, &TallyFileService::Progressed);
    connect(&files_, &TallyFiles::FileNameShown, this, &TallyFileService::FileNameShown);
}

bool TallyFileService::SaveMatrix() {
    return files_.SaveMatrixClick();
}

bool TallyFileService::LoadMatrix() {
    const UndoHistory::Step step(&history_, QStringLiteral("Load"), true);
    return files_.LoadMatrixClick();
}

TallyFiles::LoadOutcome TallyFileService::LoadMatrixFile(const QString& path) {
    return files_.LoadMatrixMappings(path);
}

RestoreResult TallyFileService::Restore(const QString& path, const QList<TallyItem>& mappings,
                                        bool verify) {
    RestoreResult r;
    r.load = files_.LoadMatrixMappings(path, false);
    r.progress = files_.LastLoad();
    const bool sentAll =
        r.load == TallyFiles::LoadOutcome::Complete || r.load == TallyFiles::LoadOutcome::Partial;
    if (sentAll && verify && online_.Online) r.verified = changes_.VerifyTable(mappings);
    return r;
}

// Live changes.

// The caller's questions, with the confirmed changes made one step to undo: from the
// confirmation to the end of their verification; a read-back before it is not part of it.
class LiveChangeService::UndoableQuestions : public ChangeQuestions {
public:
    UndoableQuestions(ChangeQuestions& asked, UndoHistory& history)
        : asked_(asked), history_(history) {}
    bool GoOnWithFindings(const QString& name, const FileCheck& check) override {
        return asked_.GoOnWithFindings(name, check);
    }
    bool ReadBackFirst() override { return asked_.ReadBackFirst(); }
    bool Confirm(const QString& name, const QList<PlannedChange>& plan) override {
        const bool yes = asked_.Confirm(name, plan);
        if (yes) step_.emplace(&history_, QStringLiteral("Apply changes only"), true);
        return yes;
    }

private:
    ChangeQuestions& asked_;
    UndoHistory& history_;
    std::optional<UndoHistory::Step> step_;
};

LiveChangeService::LiveChangeService(LiveChanges& changes, UndoHistory& history)
    : changes_(changes), history_(history) {
    connect(&changes_, &LiveChanges::ListRebuild, this, &LiveChangeService::ListRebuild);
    connect(&changes_, &LiveChanges::ControlsEnabled, this, &LiveChangeService::ControlsEnabled);
    connect(&changes_, &LiveChanges::Progressed, this, &LiveChangeService::Progressed);
}

FileCheck LiveChangeService::CheckFile(const QString& path) {
    return changes_.CheckFile(path);
}

Comparison LiveChangeService::Compare(const QList<TallyItem>& mappings) {
    return changes_.Compare(mappings);
}

Comparison LiveChangeService::CompareWithCopy(const QList<TallyItem>& mappings) {
    return changes_.CompareWithCopy(mappings);
}

QList<TallyItem> LiveChangeService::ConsoleCopyItems() const {
    return changes_.ConsoleCopyItems();
}

bool LiveChangeService::CopyMayBeStale() const {
    return changes_.CopyMayBeStale();
}

ChangeReport LiveChangeService::ApplyChanges(const ChangeSource& source,
                                             const ChangeOptions& options,
                                             ChangeQuestions& questions) {
    UndoableQuestions asked(questions, history_);
    return changes_.ApplyChanges(source, options, asked);
}

VerifyResult LiveChangeService::VerifyCopy() {
    return changes_.Verify(changes_.ExpectationsOfCopy());
}

// The history.

ChangeHistory::ChangeHistory(UndoHistory& history, Journal& journal)
    : history_(history), journal_(journal) {
    auto message = [this](const QString& text) {
        Q_EMIT ErrorReported(ErrorReport::Message(text));
    };
    connect(&journal_, &Journal::ErrorLine, this, message);
    connect(&history_, &UndoHistory::ErrorLine, this, message);
}

void ChangeHistory::Undo() {
    history_.Undo();
}

void ChangeHistory::Redo() {
    history_.Redo();
}

std::unique_ptr<Journal::Operation> ChangeHistory::JournalOperation(const QString& name) {
    return std::make_unique<Journal::Operation>(&journal_, name);
}

QString ChangeHistory::JournalPath() const {
    return journal_.Path();
}

// The input watch.

InputWatch::InputWatch(InputPoll& poll, UnitStatus& status, const MappingTables& tables)
    : poll_(poll), status_(status), tables_(tables) {
    connect(&poll_, &InputPoll::UnitRead, this, &InputWatch::UnitRead);
    connect(&poll_, &InputPoll::CycleEnded, this, &InputWatch::CycleEnded);
    connect(&status_, &UnitStatus::LampsChanged, this, &InputWatch::LampsChanged);
    // A changed input is reported at once; the end of a cycle also brings in what the table
    // changed meanwhile (a mapping, a test).
    connect(&poll_, &InputPoll::UnitRead, this, [this](int unit, std::optional<quint32> bits) {
        if (WatchingLamps() && bits_.Set(unit, bits)) Lamps();
    });
    connect(&poll_, &InputPoll::CycleEnded, this, [this] {
        if (!WatchingLamps()) return;
        counts_.Confirm(ComputeLamps(tables_, bits_));
        Lamps();
    });
    // A status line read before every polled unit answered once has no rows to be checked with.
    connect(&poll_, &InputPoll::StatusRead, this, [this](int unit, const QString& line) {
        if (WatchingLamps() && bits_.AllAsked())
            counts_.Read(unit, line, ComputeLamps(tables_, bits_));
    });
}

void InputWatch::SettleWithUnitCounts(bool on) {
    if (on == settle_) return;
    settle_ = on;
    FollowLampWatchers();
}

void InputWatch::WatchLamps(const QObject* watcher, bool on) {
    const bool was = lampWatchers_.contains(watcher);
    if (on == was) return;
    if (on) {
        lampWatchers_.append(watcher);
    } else {
        lampWatchers_.removeOne(watcher);
    }
    FollowLampWatchers();
}

void InputWatch::FollowLampWatchers() {
    const QList<int> units = WatchingLamps() ? UnitsWithInputs(tables_) : QList<int>();
    bits_.SetPolled(units);
    const QList<int> outputUnits =
        settle_ && !units.isEmpty() ? UnitsWithOutputs(tables_) : QList<int>();
    counts_.Reset(outputUnits);
    poll_.SetStatusUnits(outputUnits);
    poll_.SetUnits(units);
    Lamps();
}

QList<LampRow> InputWatch::Lamps() {
    QList<LampRow> rows = counts_.Settle(ComputeLamps(tables_, bits_));
    QList<int> changed;
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (i >= rows_.size() || rows[i] != rows_[i]) changed.append(rows[i].Output);
    if (changed.isEmpty() && rows.size() == rows_.size()) return rows;
    rows_ = rows;
    Q_EMIT LampRowsChanged(rows_, changed);
    return rows;
}

QList<LampRow> InputWatch::ReadLampsOnce() {
    const QList<int> units = UnitsWithInputs(tables_);
    InputBits once;
    once.SetPolled(units);
    for (int u : units)
        once.Set(u, status_.ReadBits(u));
    if (!WatchingLamps()) bits_ = once;
    QList<LampRow> rows = ComputeLamps(tables_, once);
    for (int u : UnitsWithOutputs(tables_))
        if (const std::optional<int> on = OutputsOnInStatus(status_.GetStat(u)))
            SettleWithUnitCount(rows, u, *on);
    return rows;
}

void InputWatch::PollUnits(const QList<int>& units) {
    poll_.SetUnits(units);
}

void InputWatch::PollExtraUnit(int unit) {
    poll_.SetExtraUnit(unit);
}

bool InputWatch::Polling() const {
    return poll_.Running();
}

std::optional<quint32> InputWatch::UpdateUnitBits(int unit) {
    return status_.UpdateBitStatus(unit);
}

std::optional<quint32> InputWatch::ReadUnitBits(int unit) {
    return status_.ReadBits(unit);
}

QString InputWatch::UnitStat(int unit) {
    return status_.GetStat(unit);
}

}  // namespace vendra
