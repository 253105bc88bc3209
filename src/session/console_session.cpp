#include "session/console_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>

#include "changes/journal.h"
#include "changes/live_changes.h"
#include "config/enabled_units.h"
#include "link/input_poll.h"
#include "link/unit_status.h"
#include "mapping/mapping_commands.h"
#include "mapping/output_rows.h"
#include "mapping/output_test.h"
#include "platform/configured_port.h"
#include "platform/dialogs.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"
#include "session/console_lock.h"
#include "session/tally_files.h"
#include "session/undo_history.h"

namespace vendra {

namespace {

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

const QString kFileMissingText = QStringLiteral(
    "Cannot locate Kavro.ini file in program directory\r\n"
    "Please aquire a Kavro.ini file for this tally system and copy it into the "
    "program directory");

}  // namespace

PortFactory SerialPortFactory() {
    return [](const InstallationConfig& config) -> std::unique_ptr<SerialPort> {
        return MakeSerialPort(config.CommDevice, config.VendraCommport);
    };
}

// The port the pieces hold from the start. The real port is made once the configuration says
// which one; until then there is nothing to open. It holds the line's lock exactly while the
// line is open: taken on every open (the exchange's reopen after a hang-up too) for the device
// the line names at that moment, freed on every close, also the port's own after a failure. A
// lock kept past the device would refuse whoever gets the device's name next (a pseudo-terminal's
// name comes back with the next one the system makes).
class ConsoleSession::SessionPort : public SerialPort {
public:
    ~SessionPort() override { Close(); }
    void Replace(std::unique_ptr<SerialPort> port) {
        Close();
        inner_ = std::move(port);
        if (!inner_) return;
        connect(inner_.get(), &SerialPort::DataReceived, this, &SerialPort::DataReceived);
        connect(inner_.get(), &SerialPort::ClosedAfterFailure, this, [this] { FreeLine(); });
    }
    int Open() override {
        heldBy_.clear();
        if (!inner_) return -1;
        if (inner_->IsOpen()) return inner_->Open();
        if (!TakeLine()) return -1;
        const int opened = inner_->Open();
        if (opened == -1 || !inner_->IsOpen()) FreeLine();
        return opened;
    }
    void Close() override {
        if (inner_) inner_->Close();
        FreeLine();
    }
    bool IsOpen() const override { return inner_ && inner_->IsOpen(); }
    bool Write(const QByteArray& bytes) override { return inner_ && inner_->Write(bytes); }
    qint64 BytesWaiting() override { return inner_ ? inner_->BytesWaiting() : 0; }
    QByteArray Peek(qint64 n) override { return inner_ ? inner_->Peek(n) : QByteArray(); }
    QByteArray Read(qint64 n) override { return inner_ ? inner_->Read(n) : QByteArray(); }
    bool WaitForData(int msecs) override { return inner_ && inner_->WaitForData(msecs); }
    QString DeviceName() const override { return inner_ ? inner_->DeviceName() : QString(); }
    QString LineName() const override { return inner_ ? inner_->LineName() : QString(); }
    QString ErrorText() const override {
        if (!heldBy_.isEmpty())
            return QStringLiteral("another program is using this line (lock %1 is held)")
                .arg(heldBy_);
        return inner_ ? inner_->ErrorText() : QStringLiteral("no port is configured");
    }
    bool PermissionDenied() const override {
        return heldBy_.isEmpty() && inner_ && inner_->PermissionDenied();
    }

private:
    // The lock of the device the line names now; false when another program holds it.
    bool TakeLine() {
        const QString line = inner_->LineName();
        if (line.isEmpty()) return true;  // a port of this process alone
        const QString path = LineLockPath(line);
        if (lock_ && lockPath_ == path) return true;
        FreeLine();
        if (LockHeldElsewhere(path, lock_)) {
            heldBy_ = path;
            return false;
        }
        lockPath_ = path;
        return true;
    }
    void FreeLine() {
        lock_.reset();
        lockPath_.clear();
    }

    std::unique_ptr<QLockFile> lock_;  // declared before the port: the port closes first
    QString lockPath_;
    QString heldBy_;  // the lock another program holds, after a refused open
    std::unique_ptr<SerialPort> inner_;
};

ConsoleSession::ConsoleSession(Dialogs& dialogs, PortFactory makePort, SessionTimings timings,
                               QObject* parent)
    : QObject(parent),
      dialogs_(dialogs),
      makePort_(std::move(makePort)),
      timings_(timings),
      port_(std::make_unique<SessionPort>()) {
    exchange_ = std::make_unique<CommandExchange>(*port_, dialogs_);
    exchange_->SetDeadlineMs(timings_.deadlineMs);
    online_ = std::make_unique<OnlineState>(*exchange_, dialogs_);
    online_->SetSettleMs(timings_.settleMs);
    auto online = [this] { return online_->Online; };
    readBack_ = std::make_unique<ReadBack>(tables_, *exchange_, dialogs_);
    readBack_->SetPauseMs(timings_.readBackPauseMs);
    commands_ = std::make_unique<MappingCommands>(tables_, *exchange_, online);
    outputTest_ = std::make_unique<OutputTest>(tables_, *exchange_, *readBack_, online);
    files_ = std::make_unique<TallyFiles>(tables_, *commands_, *readBack_, *exchange_, units_,
                                          dialogs_, online);
    unitStatus_ = std::make_unique<UnitStatus>(*exchange_);
    inputPoll_ = std::make_unique<InputPoll>(*unitStatus_, exchange_->Busy());
    changes_ =
        std::make_unique<LiveChanges>(tables_, *commands_, *readBack_, *exchange_, units_, online);
    // What a load sent is what the controller holds now.
    connect(files_.get(), &TallyFiles::TableLoaded, changes_.get(), &LiveChanges::TakeTable);
    WireJournal();

    connect(exchange_.get(), &CommandExchange::CommandStarted, this,
            &ConsoleSession::CommandStarted);
    connect(exchange_.get(), &CommandExchange::ErrorLine, this, &ConsoleSession::ErrorLine);
    connect(port_.get(), &SerialPort::DataReceived, this, &ConsoleSession::DataReceived);
    connect(commands_.get(), &MappingCommands::MapFlash, this, &ConsoleSession::MapFlash);
    connect(online_.get(), &OnlineState::LookChanged, this, &ConsoleSession::LookChanged);
    connect(online_.get(), &OnlineState::ErrorLine, this, &ConsoleSession::ErrorLine);
    connect(online_.get(), &OnlineState::InfoTexts, this, &ConsoleSession::InfoTexts);
    connect(readBack_.get(), &ReadBack::ProgressText, this, &ConsoleSession::ProgressText);
    connect(readBack_.get(), &ReadBack::ControlsEnabled, this, &ConsoleSession::ControlsEnabled);
    connect(readBack_.get(), &ReadBack::CancelVisible, this, &ConsoleSession::CancelVisible);
    connect(files_.get(), &TallyFiles::ListRebuild, this, &ConsoleSession::ListRebuild);
    connect(files_.get(), &TallyFiles::ControlsEnabled, this, &ConsoleSession::ControlsEnabled);
    connect(files_.get(), &TallyFiles::ProgressText, this, &ConsoleSession::ProgressText);
    connect(files_.get(), &TallyFiles::FileNameShown, this, &ConsoleSession::FileNameShown);
    connect(files_.get(), &TallyFiles::FocusToList, this, &ConsoleSession::FocusToList);
    connect(changes_.get(), &LiveChanges::ListRebuild, this, &ConsoleSession::ListRebuild);
    connect(changes_.get(), &LiveChanges::ControlsEnabled, this, &ConsoleSession::ControlsEnabled);
    connect(changes_.get(), &LiveChanges::ProgressText, this, &ConsoleSession::ProgressText);
}

// Every change to the table is journalled, and the console's own can be taken back.
void ConsoleSession::WireJournal() {
    journal_ = std::make_unique<Journal>(tables_, QCoreApplication::applicationName().toLower());
    history_ = std::make_unique<UndoHistory>(tables_, *changes_, *journal_, dialogs_,
                                             [this] { return online_->Online; });
    changes_->SetJournal(journal_.get());
    files_->SetJournal(journal_.get());
    connect(journal_.get(), &Journal::ErrorLine, this, &ConsoleSession::ErrorLine);
    connect(history_.get(), &UndoHistory::ErrorLine, this, &ConsoleSession::ErrorLine);
}

void ConsoleSession::SetJournalPath(const QString& iniPath) {
    journal_->SetPath(JournalPath(iniPath, config_.SystemName, config_.Journal));
}

ConsoleSession::~ConsoleSession() {
    port_->Close();
}

void ConsoleSession::ClosePort() {
    // Closing frees the line's lock: another program may have the line from now on.
    port_->Close();
}

bool ConsoleSession::IsPortOpen() const {
    return port_->IsOpen();
}

QString ConsoleSession::DeviceName() const {
    return port_->DeviceName();
}

bool ConsoleSession::LoadConfiguration(const QString& iniPath) {
    online_->MainCPUVersion.clear();
    Q_EMIT ErrorLine(QString());
    tables_.DownloadActive = 0;
    tables_.MapStrings = 0;
    Q_EMIT FileNameShown(QString());

    const IniReadResult ini = IniRead(IniFile(iniPath), tables_, config_, units_);
    if (!ini.Ok()) {
        if (ini.Outcome == IniOutcome::Invalid || ini.Unreadable)
            dialogs_.Message(ini.Message, QStringLiteral("File Error"), Buttons::Ok,
                             Icon::Information);
        dialogs_.Message(kFileMissingText + QStringLiteral("\r\nLooked for: ") +
                             QDir::toNativeSeparators(iniPath),
                         QStringLiteral("File Missing"), Buttons::OkCancel);
        return false;
    }
    for (const QString& warning : ini.Warnings)
        dialogs_.Message(warning, QStringLiteral("Kavro.ini"), Buttons::Ok, Icon::Information);
    online_->SystemName = config_.SystemName;
    online_->VendraCommport = config_.VendraCommport;
    port_->Replace(makePort_(config_));
    SetJournalPath(iniPath);
    return true;
}

IniReadResult ConsoleSession::ReadConfiguration(const IniFile& ini) {
    const IniReadResult result = IniRead(ini, tables_, config_, units_);
    if (result.Ok()) {
        online_->SystemName = config_.SystemName;
        online_->VendraCommport = config_.VendraCommport;
        port_->Replace(makePort_(config_));
        SetJournalPath(ini.Path());
    }
    return result;
}

bool ConsoleSession::Connect() {
    if (!OpenPort()) {
        dialogs_.Message(PortConflictText(), QStringLiteral("Port Conflict"), Buttons::Ok,
                         Icon::Information);
        online_->GoOffline();
    }
    if (!online_->GoOnline()) return false;
    // An entry cleared in place stays a hole until the table is compacted, and the read-back
    // ends at the first hole: the copy would lack every entry after it (a mapping cleared by a
    // console that was closed or killed before its next "Refresh").
    commands_->MapTableCompress();
    SyncWithVendra();
    Q_EMIT ErrorLine(online_->MainCPUVersion);
    return true;
}

bool ConsoleSession::OpenPort() {
    // The port takes the line's lock first: another program on the same line would talk over
    // this one.
    return port_->Open() != -1;
}

QString ConsoleSession::PortFailure() const {
    return PortFailureText(*port_);
}

QString ConsoleSession::PortConflictText() const {
    return QStringLiteral("The Serial Com port") + SignColumn(config_.VendraCommport) +
           QLatin1Char('\r') + QStringLiteral("Is not available") + QLatin1Char('\r') +
           QStringLiteral("Please correct and try again") + QLatin1Char('\r') + PortFailure();
}

ReadBackResult ConsoleSession::SyncWithVendra() {
    const ReadBackResult result = readBack_->GetAllRawMappings();
    Q_EMIT ListRebuild();
    return result;
}

ReadBackResult ConsoleSession::Refresh() {
    commands_->SystemRefresh(*outputTest_);
    // A cleared entry stays a hole until the table is compacted, and the read-back ends at the
    // first hole: without this, every output after it would read as unmapped.
    commands_->MapTableCompress();
    return SyncWithVendra();
}

void ConsoleSession::ResetAndClearAll() {
    if (dialogs_.Message(QStringLiteral("Are you absolutely sure you want to Clear ALL ??"),
                         QStringLiteral("Clear All"), Buttons::OkCancel, Icon::None,
                         Answer::Cancel) != Answer::Ok)
        return;
    const UndoHistory::Step step(history_.get(), QStringLiteral("Clear All"), true);
    const QStringList before = changes_->ConsoleCopy();
    const bool online = online_->Online;
    ChangeOutcome outcome = ChangeOutcome::Offline;
    if (online) {
        const Reply init = commands_->SystemInit();
        if (!init.IsError()) EnableUnits(*exchange_, units_);
        outcome = Judge(true, init);
    }
    for (const QString& s : before) {
        const MappingRecord m = ParseGetMap(s);
        journal_->Record(QStringLiteral("Clear All"), m.OutUnit, m.OutChannel, s, QString(),
                         outcome::Word(outcome));
    }
    // A refusal leaves the controller as it was: its table, and any output under test.
    if (outcome == ChangeOutcome::Refused) return;
    outputTest_->ClearAllTest();
    tables_.ClearLocalMaps();
    changes_->TakeTable({});
    Q_EMIT ListRebuild();
    Q_EMIT FileNameShown(QString());
}

RestoreResult ConsoleSession::Restore(const QString& path, const QList<TallyItem>& mappings,
                                      bool verify) {
    RestoreResult r;
    r.load = files_->LoadMatrixMappings(path, false);
    r.progress = files_->LastLoad();
    const bool sentAll =
        r.load == TallyFiles::LoadOutcome::Complete || r.load == TallyFiles::LoadOutcome::Partial;
    if (sentAll && verify && online_->Online) r.verified = changes_->VerifyTable(mappings);
    return r;
}

TableRead ConsoleSession::ReadWholeTable() {
    TableRead read;
    commands_->MapTableCompress();
    read.result = SyncWithVendra();
    for (int i = 1; i <= tables_.MapStrings; ++i)
        read.lines.append(tables_.RawMapList[i]);
    return read;
}

bool ConsoleSession::GoOnline() {
    return online_->GoOnline();
}

void ConsoleSession::ToggleOnline() {
    online_->ToggleOnline();
}

QString ConsoleSession::ControllerVersion() const {
    return online_->MainCPUVersion;
}

bool ConsoleSession::IsBusy() const {
    return exchange_->Busy().Busy();
}

void ConsoleSession::RequestStop() {
    exchange_->Busy().RequestStop();
}

bool ConsoleSession::StopRequested() const {
    return exchange_->Busy().StopRequested();
}

void ConsoleSession::CancelReadBack() {
    readBack_->CancelDownload();
}

void ConsoleSession::SaveMatrix() {
    files_->SaveMatrixClick();
}

void ConsoleSession::LoadMatrix() {
    const UndoHistory::Step step(history_.get(), QStringLiteral("Load"), true);
    files_->LoadMatrixClick();
}

TallyFiles::LoadOutcome ConsoleSession::LoadMatrixFile(const QString& path) {
    return files_->LoadMatrixMappings(path);
}

QStringList ConsoleSession::LoadLeftOut() const {
    return files_->LeftOut();
}

void ConsoleSession::JournalLoads(bool on) {
    files_->SetJournal(on ? journal_.get() : nullptr);
}

QString ConsoleSession::OutputRow(int o) {
    return BuildOutputRow(tables_, o);
}

void ConsoleSession::SelectInput(int input) {
    if (!tables_.IsConfiguredInput(input)) return;
    tables_.Current.InUnit = tables_.InUnit[input];
    tables_.Current.InChannel = tables_.InChannel[input];
}

ChangeOutcome ConsoleSession::Judge(bool online, const Reply& reply) {
    const ChangeOutcome outcome = OutcomeOf(online, reply);
    // The error line ends on what decided, whatever commands followed it: the controller's
    // own words, or "Comm Error!" for a command that went out unanswered.
    if (outcome == ChangeOutcome::Refused) Q_EMIT ErrorLine(reply.Line);
    if (outcome == ChangeOutcome::Failed) {
        readBack_->MarkCopyStale();
        if (reply.Kind != ReplyKind::Refused) Q_EMIT ErrorLine(QStringLiteral("Comm Error!"));
    }
    return outcome;
}

bool ConsoleSession::Addressed(int o) {
    if (!online_->Online || tables_.OutUnit[o] != 0) return true;
    // Output unit 0 would end every read-back of a controller that stored it.
    Q_EMIT ErrorLine(
        QStringLiteral("Output %1 has no unit in Kavro.ini: nothing was sent").arg(Plain(o)));
    return false;
}

void ConsoleSession::JournalMapping(const QString& operation, int o, const QString& before,
                                    ChangeOutcome outcome) {
    journal_->Record(operation, tables_.OutUnit[o], tables_.OutChannel[o], before,
                     tables_.CurrentMapstring, outcome::Word(outcome));
}

std::optional<ChangeOutcome> ConsoleSession::MapSingle(int o, int input) {
    // A selection outside the lists never makes a mapping.
    if (!tables_.IsConfiguredOutput(o) || !tables_.IsConfiguredInput(input) || !Addressed(o))
        return std::nullopt;
    // Input 0, "Unassigned", has unit 0: the output's mapping is cleared.
    const ChangeOutcome outcome = Judge(
        online_->Online, commands_->SetMapping(tables_.OutUnit[o], tables_.OutChannel[o],
                                               tables_.InUnit[input], tables_.InChannel[input]));
    if (Took(outcome)) tables_.OutMapString[o] = tables_.CurrentMapstring;
    return outcome;
}

bool ConsoleSession::MapOutput(int o, int input) {
    const QString operation = input == 0 ? QStringLiteral("clear") : QStringLiteral("mapping");
    const UndoHistory::Step step(history_.get(), operation);
    const QString before = tables_.OutMapString[o];
    const std::optional<ChangeOutcome> outcome = MapSingle(o, input);
    if (!outcome) return false;
    JournalMapping(operation, o, before, *outcome);
    return Took(*outcome);
}

bool ConsoleSession::MapOutputBoolean(int o, int first, int second, int BoolOp) {
    const UndoHistory::Step step(history_.get(), QStringLiteral("AND/OR"));
    const QString before = tables_.OutMapString[o];
    // The single mapping and the second input are one change of the output; the second input
    // goes only to a mapping the controller made.
    const std::optional<ChangeOutcome> single = MapSingle(o, first);
    if (!single) return false;
    ChangeOutcome outcome = *single;
    if (Took(outcome) && tables_.IsConfiguredInput(second)) {
        outcome = Judge(
            online_->Online,
            commands_->SetBoolMapping(tables_.OutUnit[o], tables_.OutChannel[o],
                                      tables_.InUnit[first], tables_.InChannel[first],
                                      tables_.InUnit[second], tables_.InChannel[second], BoolOp));
        if (Took(outcome)) tables_.OutMapString[o] = tables_.CurrentMapstring;
    }
    JournalMapping(QStringLiteral("AND/OR"), o, before, outcome);
    return Took(*single);
}

void ConsoleSession::TestOn(int o) {
    if (!Addressed(o)) return;
    if (const std::optional<Reply> reply = outputTest_->TestOn(o)) Judge(true, *reply);
}

void ConsoleSession::TestOff(int o) {
    if (const std::optional<Reply> reply = outputTest_->TestOff(o)) Judge(true, *reply);
}

void ConsoleSession::TestLatchChange(int o) {
    const bool wasOn = tables_.OutTest[o] == -1;
    if (!wasOn && !Addressed(o)) return;
    const std::optional<Reply> reply = outputTest_->TestLatchChange(o);
    if (!reply) return;
    const ChangeOutcome outcome = Judge(true, *reply);
    journal_->Record(QStringLiteral("test latch"), tables_.OutUnit[o], tables_.OutChannel[o],
                     tables_.OutMapString[o], tables_.OutMapString[o], outcome::Word(outcome),
                     wasOn ? QStringLiteral("latch released") : QStringLiteral("latched on"));
}

void ConsoleSession::EndTests() {
    if (!online_->Online || IsBusy()) return;
    for (int o = 1; o <= tables_.NumOutputs; ++o) {
        const std::optional<Reply> reply = outputTest_->TestOff(o);
        if (!reply) continue;
        const ChangeOutcome outcome = Judge(true, *reply);
        journal_->Record(QStringLiteral("test latch"), tables_.OutUnit[o], tables_.OutChannel[o],
                         tables_.OutMapString[o], tables_.OutMapString[o], outcome::Word(outcome),
                         QStringLiteral("latch released: the console closed"));
        if (outcome == ChangeOutcome::Failed) return;
    }
}

FileCheck ConsoleSession::CheckFile(const QString& path) {
    return changes_->CheckFile(path);
}

Comparison ConsoleSession::Compare(const QList<TallyItem>& mappings) {
    return changes_->Compare(mappings);
}

Comparison ConsoleSession::CompareWithCopy(const QList<TallyItem>& mappings) {
    return changes_->CompareWithCopy(mappings);
}

QList<TallyItem> ConsoleSession::ConsoleCopyItems() const {
    return changes_->ConsoleCopyItems();
}

bool ConsoleSession::CopyMayBeStale() const {
    return changes_->CopyMayBeStale();
}

// The caller's questions, with the confirmed changes made one step to undo: from the
// confirmation to the end of their verification; a read-back before it is not part of it.
class ConsoleSession::UndoableQuestions : public ChangeQuestions {
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

ChangeReport ConsoleSession::ApplyChanges(const ChangeSource& source, const ChangeOptions& options,
                                          ChangeQuestions& questions) {
    UndoableQuestions asked(questions, *history_);
    return changes_->ApplyChanges(source, options, asked);
}

VerifyResult ConsoleSession::VerifyCopy() {
    return changes_->Verify(changes_->ExpectationsOfCopy());
}

void ConsoleSession::Undo() {
    history_->Undo();
}

void ConsoleSession::Redo() {
    history_->Redo();
}

bool ConsoleSession::CanUndo() const {
    return history_->CanUndo();
}

std::unique_ptr<Journal::Operation> ConsoleSession::JournalOperation(const QString& name) {
    return std::make_unique<Journal::Operation>(journal_.get(), name);
}

Reply ConsoleSession::SendRaw(const QString& text, const QString& operation) {
    const Reply reply = exchange_->Exchange(text);
    // A raw command may change the table: it is journalled as it went (it went whatever the
    // online state), and one that may have changed it leaves the copy possibly stale.
    const ChangeOutcome outcome = Judge(true, reply);
    if (outcome == ChangeOutcome::Made && !ReadsOnly(text)) readBack_->MarkCopyStale();
    journal_->RecordCommand(operation, text, outcome::Word(outcome));
    return reply;
}

Reply ConsoleSession::LastReply() const {
    return exchange_->LastReply();
}

void ConsoleSession::CopyRepliesToConsole(bool on) {
    exchange_->SetConsoleCopy(on);
}

int ConsoleSession::DeadlineMs() const {
    return exchange_->DeadlineMs();
}

void ConsoleSession::SetDeadlineMs(int ms) {
    exchange_->SetDeadlineMs(ms);
}

void ConsoleSession::PollUnits(const QList<int>& units) {
    inputPoll_->SetUnits(units);
}

void ConsoleSession::PollExtraUnit(int unit) {
    inputPoll_->SetExtraUnit(unit);
}

bool ConsoleSession::Polling() const {
    return inputPoll_->Running();
}

std::optional<quint32> ConsoleSession::UpdateUnitBits(int unit) {
    return unitStatus_->UpdateBitStatus(unit);
}

std::optional<quint32> ConsoleSession::ReadUnitBits(int unit) {
    return unitStatus_->ReadBits(unit);
}

QString ConsoleSession::UnitStat(int unit) {
    return unitStatus_->GetStat(unit);
}

}  // namespace vendra
