#include "session/console_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QThread>

#include "changes/journal.h"
#include "changes/lamp_state.h"
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
#include "session/line_handover.h"
#include "session/tally_files.h"
#include "session/undo_history.h"

namespace vendra {

namespace {

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
    // A line the unattended service holds is asked for instead of refused.
    void AskServiceForLine(bool on) { askService_ = on; }
    LineHandoverClient& Handover() { return handover_; }
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
        if (LockHeldElsewhere(path, lock_) && !(askService_ && TakeFromService(path))) {
            heldBy_ = path;
            return false;
        }
        lockPath_ = path;
        return true;
    }
    // The service lets the line go and answers; its lock is free a moment after (a service
    // ends its lock as it closes the port, before it answers, but another program may be quicker).
    bool TakeFromService(const QString& path) {
        if (!handover_.AskForLine(path, kHandoverWaitMs)) return false;
        const QDeadlineTimer deadline(kHandoverWaitMs);
        while (LockHeldElsewhere(path, lock_)) {
            if (deadline.hasExpired()) {
                handover_.Release();
                return false;
            }
            QThread::msleep(20);
        }
        return true;
    }
    void FreeLine() {
        lock_.reset();
        lockPath_.clear();
    }

    static constexpr int kHandoverWaitMs = 5000;
    // Kept for the session's run: the service takes the line back when it closes.
    LineHandoverClient handover_;
    bool askService_ = false;
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
    connect(files_.get(), &TallyFiles::ControllerCleared, outputTest_.get(),
            &OutputTest::ClearAllTest);
    WireJournal();
    MakeServices();
}

// Every change to the table is journalled, and the console's own can be taken back.
void ConsoleSession::WireJournal() {
    journal_ = std::make_unique<Journal>(tables_, QCoreApplication::applicationName().toLower());
    history_ = std::make_unique<UndoHistory>(tables_, *changes_, *journal_, dialogs_,
                                             [this] { return online_->Online; });
    changes_->SetJournal(journal_.get());
    files_->SetJournal(journal_.get());
}

void ConsoleSession::MakeServices() {
    // Built before the others: its signals reach the window first, as the exchange's did.
    link_.reset(new ControllerLink(*port_, *exchange_, *online_, *readBack_, *journal_, config_));
    table_.reset(
        new TableOperations({tables_, *exchange_, *online_, *readBack_, *commands_, *outputTest_,
                             *changes_, *journal_, *history_, units_, dialogs_}));
    tests_.reset(new OutputTesting(tables_, *outputTest_, *online_, *readBack_, *journal_));
    filesService_.reset(new TallyFileService(*files_, *changes_, *online_, *history_, *journal_));
    changesService_.reset(new LiveChangeService(*changes_, *history_));
    historyService_.reset(new ChangeHistory(*history_, *journal_));
    inputs_.reset(new InputWatch(*inputPoll_, *unitStatus_, tables_));
    installation_.reset(new InstallationView(config_, tables_, units_));
    publisher_.reset(new TallyPublisher(*link_, *inputs_, config_.TallyOut));
}

void ConsoleSession::SetJournalPath(const QString& iniPath) {
    journal_->SetPath(JournalPath(iniPath, config_.SystemName, config_.Journal));
}

ConsoleSession::~ConsoleSession() {
    port_->Close();
}

bool ConsoleSession::LoadConfiguration(const QString& iniPath) {
    online_->MainCPUVersion.clear();
    link_->Tell(ErrorReport::Cleared());
    tables_.DownloadActive = 0;
    tables_.MapStringCount = 0;
    filesService_->ShowNoFile();

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
    // The console takes the line over from the unattended service; the command-line tools are
    // refused as before.
    port_->AskServiceForLine(true);
    if (!link_->OpenPort()) {
        dialogs_.Message(link_->PortConflictText(), QStringLiteral("Port Conflict"), Buttons::Ok,
                         Icon::Information);
        online_->GoOffline();
    }
    // The tally goes on to its receivers whenever the console holds the line, online or not.
    if (!online_->GoOnline()) {
        publisher_->Start();
        return false;
    }
    // An entry cleared in place stays a hole until the table is compacted, and the read-back
    // ends at the first hole: the copy would lack every entry after it (a mapping cleared by a
    // console that was closed or killed before its next "Refresh").
    commands_->MapTableCompress();
    table_->ReadControllerTable();
    // The controller's version stands in the error line after start-up.
    link_->Tell(ErrorReport::Message(online_->MainCPUVersion));
    publisher_->Start();
    FeedLampsToService();
    return true;
}

// On a line the service lent: the service's page and its listeners keep following the lamps,
// now as this console sees them (the whole state first, then each change).
void ConsoleSession::FeedLampsToService() {
    LineHandoverClient& service = port_->Handover();
    if (!service.Holding()) return;
    const auto send = [this, &service](const QList<LampRow>& rows, const QList<int>& changed) {
        QJsonArray sent;
        for (const LampRow& r : rows)
            if (changed.contains(r.Output))
                sent.append(LampWithColour(r, publisher_->ColourOf(r.Output)));
        const bool whole = sent.size() == rows.size();
        service.Send(QJsonDocument(QJsonObject{{"all", whole}, {"rows", sent}})
                         .toJson(QJsonDocument::Compact));
    };
    connect(inputs_.get(), &InputWatch::LampRowsChanged, this, send);
    inputs_->WatchLamps(this, true);
    QList<int> all;
    for (const LampRow& r : inputs_->Lamps())
        all.append(r.Output);
    send(inputs_->Lamps(), all);
}

}  // namespace vendra
