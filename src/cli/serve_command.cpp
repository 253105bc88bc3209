#include "cli/serve_command.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "changes/lamp_state.h"
#include "cli/cli_support.h"
#include "session/console_lock.h"
#include "session/console_session.h"
#include "session/line_handover.h"
#include "web/tally_page_server.h"

namespace vendra {

namespace {

constexpr int kError = 2;
constexpr int kLockRetryMs = 1000;
constexpr int kControllerRetryMs = 5000;

// Each poll cycle, at debug priority, when asked for (QT_LOGGING_RULES="vendra.serve.cycle=true"):
// what a measure of the service's own pace reads.
Q_LOGGING_CATEGORY(lcCycle, "vendra.serve.cycle", QtWarningMsg)

// The priorities the system journal reads from a "<N>" prefix.
enum Priority { kErr = 3, kWarning = 4, kNotice = 5, kInfo = 6, kDebug = 7 };

void Log(Priority priority, const QString& text) {
    std::fprintf(stderr, "<%d>%s\n", int(priority), qPrintable(OneLine(text)));
    std::fflush(stderr);
}

// The service cannot start: the reason, as the journal's error.
int Fail(const QString& text) {
    Log(kErr, text);
    return kError;
}

QString Units(const QList<int>& units) {
    QStringList names;
    for (int u : units)
        names << QString::number(u);
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

// The page and its clients are served on a thread of their own: a hundred pages, or one that
// never reads, take nothing from the thread whose exchanges pace the input poll.
class PageThread {
public:
    ~PageThread() {
        if (!thread_.isRunning()) return;
        Run([this] { page_.reset(); });  // its sockets close on the thread they belong to
        thread_.quit();
        thread_.wait();
    }

    bool Listen(const QHostAddress& address, quint16 port, QString& error) {
        context_.moveToThread(&thread_);
        thread_.start();
        bool listening = false;
        Run([&] {
            page_ = std::make_unique<TallyPageServer>();
            listening = page_->Listen(address, port);
            error = page_->ErrorText();
            port_ = page_->Port();
        });
        return listening;
    }
    quint16 Port() const { return port_; }

    void SetLamps(const QList<LampRow>& rows, const std::function<TallyColour(int)>& colourOf) {
        QHash<int, TallyColour> colours;
        for (const LampRow& r : rows)
            colours.insert(r.Output, colourOf(r.Output));
        Post([this, rows, colours] {
            page_->SetLamps(rows, [&colours](int output) { return colours.value(output); });
        });
    }
    void TakeConsoleLamps(const QByteArray& line) {
        Post([this, line] { page_->TakeConsoleLamps(line); });
    }
    void SetLine(TallyPageServer::Line line) {
        Post([this, line] { page_->SetLine(line); });
    }

private:
    template <typename F>
    void Run(F&& f) {
        QMetaObject::invokeMethod(&context_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
    template <typename F>
    void Post(F&& f) {
        QMetaObject::invokeMethod(&context_, std::forward<F>(f), Qt::QueuedConnection);
    }

    QThread thread_;
    QObject context_;                        // lives on thread_: what is posted runs there
    std::unique_ptr<TallyPageServer> page_;  // made, used and deleted on thread_ only
    quint16 port_ = 0;
};

class Service : public QObject {
public:
    Service(ConsoleSession& s, PageThread* page) : s_(s), page_(page) {
        retry_.setSingleShot(true);
        connect(&retry_, &QTimer::timeout, this, &Service::TakeLine);
        connect(&s_.Inputs(), &InputWatch::UnitRead, this, &Service::OnUnitRead);
        if (lcCycle().isDebugEnabled()) {
            clock_.start();
            connect(&s_.Inputs(), &InputWatch::CycleEnded, this, [this](int units, qint64 ms) {
                Log(kDebug, QStringLiteral("poll cycle: %1 units in %2 ms, started at %3 ms")
                                .arg(units)
                                .arg(ms)
                                .arg(clock_.elapsed() - ms));
            });
        }
        connect(&s_.Inputs(), &InputWatch::LampRowsChanged, this,
                [this](const QList<LampRow>& rows) {
                    if (state_ == State::Serving) Publish(rows);
                });
        connect(&s_.Publisher(), &TallyPublisher::Notice, this,
                [](const QString& text) { Log(kNotice, QStringLiteral("tally out: ") + text); });
        connect(&handover_, &LineHandoverServer::ConsoleLine, this, [this](const QByteArray& line) {
            if (page_) page_->TakeConsoleLamps(line);
        });
        connect(&handover_, &LineHandoverServer::LineWanted, this, &Service::OnLineWanted);
        connect(&handover_, &LineHandoverServer::LineReturned, this, [this] {
            Log(kInfo, QStringLiteral("the console gave the line back"));
            Wait(0);
        });
    }

    bool Listen(QString& error) {
        if (handover_.Listen(LineLockPath(s_.Link().LineName()))) return true;
        error = handover_.ErrorText();
        return false;
    }

    void TakeLine() {
        if (state_ == State::Stopping || handover_.Lent()) return;
        if (!s_.Link().OpenPort()) return Wait(kLockRetryMs, s_.Link().PortFailure());
        if (!s_.Link().GoOnline()) {
            s_.Link().ClosePort();
            return Wait(kControllerRetryMs,
                        QStringLiteral("no answer from the tally controller on %1")
                            .arg(s_.Link().DeviceName()));
        }
        reading_ = true;
        const TableRead read = s_.Table().ReadWholeTable();
        reading_ = false;
        if (state_ == State::Stopping) return Finish();
        if (wanted_) return LetGo();
        if (!read.result.Complete()) {
            s_.Link().ClosePort();
            return Wait(kControllerRetryMs,
                        QStringLiteral("the controller's table could not be read whole"));
        }
        StartPolling();
    }

    void Stop() {
        const bool reading = reading_;
        state_ = State::Stopping;
        if (!reading) Finish();  // else when the read-back has ended
    }

private:
    enum class State { Waiting, Serving, Lent, Stopping };

    void StartPolling() {
        const QList<int> units = UnitsWithInputs(s_.Installation().Tables());
        silent_.clear();
        state_ = State::Serving;
        waitingFor_.clear();
        Log(kInfo, QStringLiteral("serving the line %1: %2 outputs, polling units %3")
                       .arg(s_.Link().DeviceName())
                       .arg(s_.Installation().Tables().NumOutputs)
                       .arg(Units(units)));
        if (page_) page_->SetLine(TallyPageServer::Line::Serving);
        // An output forced on (a test left on) lights its tile and its display too.
        s_.Inputs().SettleWithUnitCounts(true);
        s_.Inputs().WatchLamps(this, true);
        Publish(s_.Inputs().Lamps());  // the table just read
        // The UMD receivers of Kavro.ini's [Tally Out] follow the same lamps.
        s_.Publisher().Start();
    }

    // Tries again in `ms`; the reason is logged when it is new.
    void Wait(int ms, const QString& why = QString()) {
        state_ = State::Waiting;
        if (page_) page_->SetLine(TallyPageServer::Line::Waiting);
        if (!why.isEmpty() && why != waitingFor_)
            Log(kWarning, why + QStringLiteral("; trying again every %1 s").arg(ms / 1000));
        waitingFor_ = why;
        retry_.start(ms);
    }

    void OnLineWanted() {
        if (state_ == State::Stopping) return;
        if (reading_) {
            // The read-back ends at its next exchange; the line goes as it returns.
            wanted_ = true;
            s_.Table().CancelReadBack();
            return;
        }
        LetGo();
    }

    void LetGo() {
        wanted_ = false;
        retry_.stop();
        s_.Publisher().Stop();  // the console publishes while it holds the line
        s_.Inputs().WatchLamps(this, false);
        s_.Link().ClosePort();
        state_ = State::Lent;
        waitingFor_.clear();
        if (page_) page_->SetLine(TallyPageServer::Line::Console);
        Log(kInfo, QStringLiteral("the console asked for the line: let go until it ends"));
        handover_.Released();
    }

    // A unit that falls silent, or answers again, is logged once.
    void OnUnitRead(int unit, std::optional<quint32> bits) {
        if (state_ != State::Serving || bits.has_value() != silent_.contains(unit)) return;
        if (bits) {
            silent_.remove(unit);
            Log(kInfo, QStringLiteral("unit %1 answers again").arg(unit));
        } else {
            silent_.insert(unit);
            Log(kWarning,
                QStringLiteral("unit %1 does not answer; its inputs are unknown").arg(unit));
        }
    }

    void Publish(const QList<LampRow>& rows) {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (i < rows_.size() && rows_[i].Lamp == rows[i].Lamp) continue;
            const LampRow& r = rows[i];
            Log(kInfo, QStringLiteral("output %1 (%2) %3: %4")
                           .arg(r.Output)
                           .arg(r.Name.trimmed(), StateText(r.Lamp), r.Reason));
        }
        rows_ = rows;
        if (page_)
            page_->SetLamps(rows, [this](int output) { return s_.Publisher().ColourOf(output); });
    }

    void Finish() {
        retry_.stop();
        s_.Publisher().Stop();
        s_.Inputs().WatchLamps(this, false);
        s_.Link().ClosePort();
        Log(kInfo, QStringLiteral("stopped; the line is free"));
        QCoreApplication::exit(0);
    }

    ConsoleSession& s_;
    PageThread* page_;
    LineHandoverServer handover_;
    QTimer retry_;
    State state_ = State::Waiting;
    bool reading_ = false;
    bool wanted_ = false;
    QString waitingFor_;
    QSet<int> silent_;
    QList<LampRow> rows_;
    QElapsedTimer clock_;
};

}  // namespace

int ServeCommand(ConsoleSession& s, StopSignal& stop, const QString& http) {
    std::unique_ptr<PageThread> page;
    if (!http.isEmpty()) {
        QHostAddress address;
        quint16 port = 0;
        if (!ParseListenAddress(http, address, port))
            return Fail(QStringLiteral("--http %1: not ADDR:PORT").arg(http));
        page = std::make_unique<PageThread>();
        QString refused;
        if (!page->Listen(address, port, refused)) return Fail(refused);
        Log(kInfo, QStringLiteral("the tally page is on http://%1:%2/")
                       .arg(address.protocol() == QAbstractSocket::IPv6Protocol
                                ? u'[' + address.toString() + u']'
                                : address.toString())
                       .arg(page->Port()));
    }
    Service service(s, page.get());
    QString error;
    if (!service.Listen(error)) return Fail(error);
    QObject::connect(&stop, &StopSignal::Stop, &service, &Service::Stop);
    QTimer::singleShot(0, &service, &Service::TakeLine);
    return QCoreApplication::exec();
}

}  // namespace vendra
