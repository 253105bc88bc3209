#include "sim/tally_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCommandLineParser>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>

#include "sim/pty_link.h"
#include "sim/tcp_listen.h"

namespace vendra {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

volatile sig_atomic_t g_stop = 0;
void OnStopSignal(int) {
    g_stop = 1;
}

const char kUsage[] =
    "usage: tally-sim --link PATH [--preload FILE] [--baud N] [--log FILE]\n"
    "                 [--fault silent|no-terminator|dot-in-reply|garbage|flood|noise|\n"
    "                          bare-end|cr-only]\n"
    "                 [--fault-after N] [--fault-lines N] [--delay MS]\n"
    "                 [--hangup-after N] [--silent-after N] [--animate] [--version TEXT]\n"
    "                 [--units LIST] [--refuse LINE]... [--ignore LINE]... [--listen PORT] "
    "[--inputs FIFO]\n"
    "\n"
    "  --link PATH        symlink to the pseudo-terminal the console opens (required)\n"
    "  --preload FILE     tally matrix file loaded into the mapping table at start\n"
    "  --baud N           pace replies at N baud, 10 bits per character (0: unpaced)\n"
    "  --log FILE         append every received command line to FILE\n"
    "  --fault KIND       commit this fault on every reply (flood: 100 KB without \".\";\n"
    "                     noise: binary bytes inside an otherwise whole reply;\n"
    "                     bare-end: \".\" alone past the end of the list;\n"
    "                     cr-only: lines end in a carriage return alone)\n"
    "  --fault-after N    answer the first N command lines normally, then the fault\n"
    "  --fault-lines N    commit the fault on N lines only, then answer normally again\n"
    "  --delay MS         wait MS milliseconds before each answer\n"
    "  --hangup-after N   after answering N command lines, hang up like a pulled adapter\n"
    "  --silent-after N   answer N command lines, then nothing more\n"
    "  --animate          let the input bits of the known units change every 500 ms\n"
    "  --version TEXT     the reply to \"VER\" (default MAINV8; no \".\" in it)\n"
    "  --units LIST       units enabled at start, e.g. 1,2,5\n"
    "  --refuse LINE      answer an error to this command line (e.g. \"Map 1 3 2 17\") and\n"
    "                     leave the table as it is; may be given more than once\n"
    "  --ignore LINE      answer \"OK\" to this command line and leave the table as it is\n"

    "  --listen PORT      also serve one raw TCP client on 127.0.0.1:PORT (0: a free port)\n"
    "  --inputs FIFO      read input changes from this FIFO (made when missing), one a line:\n"
    "                     UNIT and 32 bits \"0\"/\"1\" as \"BITS\" answers them, channel 32\n"
    "                     first (blanks between them allowed), e.g.\n"
    "                     \"2 0000 0000 0000 0000 0000 0000 0000 0101\" sets unit 2's\n"
    "                     channels 1 and 3; a change is in every answer to a command\n"
    "                     that arrives after it was written\n";

int UsageError(const QString& why) {
    std::fprintf(stderr, "tally-sim: %s\n%s", why.toLocal8Bit().constData(), kUsage);
    return 2;
}

std::optional<int> ParseCount(const QByteArray& text, int lowest, int highest) {
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < lowest || v > highest) return std::nullopt;
    return static_cast<int>(v);
}

// One option's value into the options: 0, or the exit code after printing why.
int TakeOption(SimOptions& o, const QString& name, const QString& shown) {
    const QByteArray value = shown.toLocal8Bit();
    auto bad = [&](const char* what) {
        return UsageError(QStringLiteral("%1 %2: %3").arg(name, shown, QLatin1String(what)));
    };
    auto count = [&](int lowest, int highest, const char* what, int& into) {
        const auto v = ParseCount(value, lowest, highest);
        if (!v) return bad(what);
        into = *v;
        return 0;
    };
    if (name == QLatin1String("--link") || name == QLatin1String("--preload") ||
        name == QLatin1String("--log") || name == QLatin1String("--inputs")) {
        if (value.isEmpty()) return bad("empty path");
        (name == QLatin1String("--link")      ? o.link
         : name == QLatin1String("--preload") ? o.preload
         : name == QLatin1String("--log")     ? o.log
                                              : o.inputs) = shown;
        return 0;
    }
    if (name == QLatin1String("--baud"))
        return count(0, 4000000, "expected a baud rate from 0 to 4000000", o.baud);
    if (name == QLatin1String("--delay"))
        return count(0, 600000, "expected milliseconds from 0 to 600000", o.delayMs);
    if (name == QLatin1String("--hangup-after"))
        return count(1, 1000000000, "expected a count of at least 1", o.hangupAfter);
    if (name == QLatin1String("--silent-after"))
        return count(0, 1000000000, "expected a count of at least 0", o.silentAfter);
    if (name == QLatin1String("--fault-after"))
        return count(0, 1000000000, "expected a count of at least 0", o.faultAfter);
    if (name == QLatin1String("--fault-lines"))
        return count(1, 1000000000, "expected a count of at least 1", o.faultLines);
    if (name == QLatin1String("--listen"))
        return count(0, 65535, "expected a TCP port from 0 to 65535", o.listen);
    if (name == QLatin1String("--fault")) {
        static const std::pair<const char*, SimFault> kFaults[] = {
            {"silent", SimFault::Silent},
            {"no-terminator", SimFault::NoTerminator},
            {"dot-in-reply", SimFault::DotInReply},
            {"garbage", SimFault::Garbage},
            {"flood", SimFault::Flood},
            {"noise", SimFault::Noise},
            {"bare-end", SimFault::BareEnd},
            {"cr-only", SimFault::CrOnly}};
        for (const auto& [word, fault] : kFaults)
            if (value == word) {
                o.fault = fault;
                return 0;
            }
        return bad(
            "expected silent, no-terminator, dot-in-reply, garbage, flood, noise, bare-end or "
            "cr-only");
    }
    if (name == QLatin1String("--version")) {
        // A "." would end the reply early, a line end would split it; --fault dot-in-reply
        // is the way to test the former.
        if (value.contains('.') || value.contains('\r') || value.contains('\n'))
            return bad("the version text must not hold \".\" or a line end");
        o.version = value;
        return 0;
    }
    if (name == QLatin1String("--refuse") || name == QLatin1String("--ignore")) {
        if (value.simplified().isEmpty()) return bad("expected a command line");
        (name == QLatin1String("--refuse") ? o.refused : o.ignored).push_back(value);
        return 0;
    }
    // --units
    QByteArray list = value;
    list.replace(',', ' ');
    for (const QByteArray& item : list.simplified().split(' ')) {
        const auto v = ParseCount(item, 1, 32767);
        if (!v) return bad("expected unit numbers from 1 to 32767, e.g. 1,2,5");
        o.units.push_back(*v);
    }
    return 0;
}

}  // namespace

int ParseSimOptions(const QStringList& args, SimOptions& o) {
    auto valued = [](const char* name, const char* value) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(value));
    };
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption animate(QStringLiteral("animate"));
    const QList<QCommandLineOption> withValue = {
        valued("link", "PATH"),      valued("preload", "FILE"),   valued("baud", "N"),
        valued("log", "FILE"),       valued("fault", "KIND"),     valued("delay", "MS"),
        valued("hangup-after", "N"), valued("silent-after", "N"), valued("version", "TEXT"),
        valued("units", "LIST"),     valued("fault-after", "N"),  valued("fault-lines", "N"),
        valued("refuse", "LINE"),    valued("ignore", "LINE"),    valued("listen", "PORT"),
        valued("inputs", "FIFO")};
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(help);
    parser.addOption(animate);
    parser.addOptions(withValue);
    if (!parser.parse(args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return UsageError(
                QStringLiteral("unknown option --%1").arg(parser.unknownOptionNames().first()));
        for (const QCommandLineOption& option : withValue)
            if (args.last() == QStringLiteral("--") + option.names().first())
                return UsageError(QStringLiteral("%1 needs a value").arg(args.last()));
        return UsageError(parser.errorText());
    }
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return -1;
    }
    if (!parser.positionalArguments().isEmpty())
        return UsageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    o.animate = parser.isSet(animate);
    for (const QCommandLineOption& option : withValue) {
        const QString name = QStringLiteral("--") + option.names().first();
        for (const QString& shown : parser.values(option))
            if (const int rc = TakeOption(o, name, shown)) return rc;
    }
    if (o.link.isEmpty()) return UsageError(QStringLiteral("--link PATH is required"));
    if (!o.fault && (o.faultAfter != 0 || o.faultLines != -1))
        return UsageError(QStringLiteral("--fault-after and --fault-lines need --fault"));
    return 0;
}

namespace {

// Serves the model on the pseudo-terminal (and to a TCP client, with --listen) until a stop
// signal or the planned hang-up. Each answer goes back where its line came from.
class Server {
public:
    Server(ControllerModel& model, PtyLink& link, const SimOptions& options, FILE* log,
           TcpListen* net, int inputsFd)
        : model_(model), link_(link), options_(options), log_(log), net_(net), inputsFd_(inputsFd) {
        if (options.baud > 0) charTime_ = nanoseconds(10'000'000'000LL / options.baud);
    }

    // Answers true after the planned hang-up, false after a stop signal.
    bool Run(const sigset_t& waitMask);

private:
    struct Outgoing {
        QByteArray bytes;
        Clock::time_point release;
        qsizetype sent = 0;
        bool started = false;
        int fd = -1;  // where the line came from: the pseudo-terminal or the TCP client
    };

    // Answers no one will read are dropped beyond this, as a controller's buffer would.
    static constexpr qsizetype kMaxQueued = 1024 * 1024;

    void ReadInput(int fd, Clock::time_point now);
    void Accept(const QByteArray& line, Clock::time_point now, int fd);
    // The TCP client went away or was replaced: its answers go nowhere.
    void DropClient();
    void ForgetAnswersTo(int fd);
    bool BlockedOn(int fd) const {
        return writeBlocked_ && !queue_.empty() && queue_.front().fd == fd;
    }
    void WriteLog();
    void Transmit(Clock::time_point now);
    std::optional<Clock::time_point> NextWake(Clock::time_point now) const;
    void Animate();
    // Takes every complete line waiting in the inputs FIFO into the model.
    void ReadInputChanges();
    void ApplyInputLine(const QByteArray& line);
    bool ReadyToHangUp(Clock::time_point now);

    bool Paced() const { return charTime_.count() > 0; }

    ControllerModel& model_;
    PtyLink& link_;
    const SimOptions& options_;
    FILE* log_;
    TcpListen* net_;
    int inputsFd_ = -1;
    QByteArray inputsPending_;
    nanoseconds charTime_{0};
    std::deque<Outgoing> queue_;
    qsizetype queued_ = 0;
    Clock::time_point slot_{};  // when the next paced character may leave
    bool writeBlocked_ = false;
    int received_ = 0;
    int answered_ = 0;
    std::optional<Clock::time_point> hangupBy_;
    std::optional<Clock::time_point> drainedSince_;
    Clock::time_point nextAnimate_{};
    int tick_ = 0;
};

bool Server::Run(const sigset_t& waitMask) {
    nextAnimate_ = Clock::now();
    while (!g_stop) {
        Clock::time_point now = Clock::now();
        if (options_.animate && now >= nextAnimate_) {
            Animate();
            nextAnimate_ += milliseconds(500);
            if (nextAnimate_ <= now) nextAnimate_ = now + milliseconds(500);
        }
        Transmit(now);
        if (hangupBy_ && queue_.empty() && ReadyToHangUp(now)) return true;

        const int master = link_.MasterFd();
        const int client = net_ ? net_->ClientFd() : -1;
        pollfd fds[4] = {
            {master, static_cast<short>(POLLIN | (BlockedOn(master) ? POLLOUT : 0)), 0},
            {net_ ? net_->ListenFd() : -1, POLLIN, 0},
            {client, static_cast<short>(POLLIN | (BlockedOn(client) ? POLLOUT : 0)), 0},
            {inputsFd_, POLLIN, 0}};
        pollfd& fd = fds[0];
        timespec timeout{};
        const std::optional<Clock::time_point> wake = NextWake(now);
        if (wake) {
            const auto wait = std::max(nanoseconds(0), *wake - now);
            timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
        }
        const int rc = ppoll(fds, 4, wake ? &timeout : nullptr, &waitMask);
        if (rc < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "tally-sim: poll: %s\n", strerror(errno));
            return false;
        }
        now = Clock::now();
        if (fds[3].revents & POLLIN) ReadInputChanges();
        if ((fds[0].revents | fds[2].revents) & POLLOUT) {
            writeBlocked_ = false;
            slot_ = std::max(slot_, now);
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) ReadInput(client, now);
        if (fds[1].revents & POLLIN) {
            const int before = net_->ClientFd();
            if (net_->TakeConnection()) ForgetAnswersTo(before);
        }
        if (fd.revents & POLLIN) {
            ReadInput(master, now);
        } else if (fd.revents & (POLLHUP | POLLERR)) {
            // Our own slave should prevent this; never spin on it.
            timespec pause{0, 50'000'000};
            ppoll(nullptr, 0, &pause, &waitMask);
        }
    }
    return false;
}

std::optional<Clock::time_point> Server::NextWake(Clock::time_point now) const {
    std::optional<Clock::time_point> wake;
    auto consider = [&](Clock::time_point t) {
        if (!wake || t < *wake) wake = t;
    };
    if (options_.animate) consider(nextAnimate_);
    if (!queue_.empty() && !writeBlocked_) {
        const Outgoing& front = queue_.front();
        if (front.release > now)
            consider(front.release);
        else
            consider(Paced() ? std::max(slot_, front.release) : now);
    }
    if (hangupBy_ && queue_.empty()) consider(std::min(*hangupBy_, now + milliseconds(10)));
    return wake;
}

void Server::ReadInput(int fd, Clock::time_point now) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        if (fd != link_.MasterFd() && (n == 0 || (errno != EAGAIN && errno != EINTR))) DropClient();
        return;
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (buffer[i] != '\n') continue;
        Accept(QByteArray(buffer + start, i - start + 1), now, fd);
        start = i + 1;
    }
    if (start < n) Accept(QByteArray(buffer + start, n - start), now, fd);
}

void Server::DropClient() {
    const int fd = net_->ClientFd();
    net_->DropClient();
    ForgetAnswersTo(fd);
}

void Server::ForgetAnswersTo(int fd) {
    if (fd < 0) return;
    if (!queue_.empty() && queue_.front().fd == fd) writeBlocked_ = false;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->fd != fd) {
            ++it;
            continue;
        }
        queued_ -= it->bytes.size();
        ++answered_;
        it = queue_.erase(it);
    }
}

// A piece of input holding at most one line end: the answer (if the line is complete) joins the
// queue behind the answers before it.
void Server::Accept(const QByteArray& piece, Clock::time_point now, int fd) {
    // Past the planned hang-up nothing more is heard.
    if (options_.hangupAfter > 0 && received_ >= options_.hangupAfter) return;
    // A change written before this command arrived is in its answer.
    if (piece.endsWith('\n')) ReadInputChanges();
    const QByteArray answer = model_.Feed(piece);
    if (!piece.endsWith('\n')) return;
    ++received_;
    WriteLog();
    if (queued_ + answer.size() > kMaxQueued) {
        std::fprintf(stderr, "tally-sim: nobody reads the answers; dropping one\n");
        ++answered_;
        return;
    }
    queued_ += answer.size();
    queue_.push_back({answer, now + milliseconds(options_.delayMs), 0, false, fd});
}

void Server::WriteLog() {
    if (log_) {
        for (const QString& line : model_.Log()) {
            const QByteArray bytes = line.toLatin1() + '\n';
            std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), log_);
        }
        std::fflush(log_);
    }
    // The file is the record; the model's copy would only grow.
    model_.ClearLog();
}

void Server::Transmit(Clock::time_point now) {
    while (!queue_.empty() && !writeBlocked_) {
        Outgoing& item = queue_.front();
        if (item.release > now) break;
        if (!item.started) {
            item.started = true;
            // Back to back answers keep the pace; after a pause the line starts afresh.
            if (Paced()) slot_ = std::max(slot_, item.release);
        }
        const qsizetype remaining = item.bytes.size() - item.sent;
        qsizetype n = remaining;
        if (Paced()) {
            if (slot_ > now) break;
            n = std::min<qsizetype>(remaining, 1 + (now - slot_) / charTime_);
        }
        if (n > 0) {
            const ssize_t written =
                write(item.fd, item.bytes.constData() + item.sent, static_cast<size_t>(n));
            if (written < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    writeBlocked_ = errno == EAGAIN;
                    break;
                }
                if (item.fd != link_.MasterFd()) {
                    DropClient();
                    continue;
                }
                std::fprintf(stderr, "tally-sim: write: %s\n", strerror(errno));
                item.sent = item.bytes.size();  // lost on the line
            } else {
                item.sent += written;
                if (Paced()) slot_ += charTime_ * written;
                if (written < n) {
                    writeBlocked_ = true;
                    break;
                }
            }
        }
        if (item.sent < item.bytes.size()) continue;
        queued_ -= item.bytes.size();
        queue_.pop_front();
        ++answered_;
        if (options_.hangupAfter > 0 && answered_ >= options_.hangupAfter && !hangupBy_)
            hangupBy_ = now + milliseconds(2000);
    }
}

// The last answer should reach the console before the line goes dead, so the hang-up waits
// until the console has read everything (or for a bounded time). Written bytes reach the
// slave's input queue a moment after the write, so an empty queue must stay empty a little
// while before it counts.
bool Server::ReadyToHangUp(Clock::time_point now) {
    if (now >= *hangupBy_) return true;
    if (link_.PendingForConsole() > 0 || (net_ && net_->PendingForClient() > 0)) {
        drainedSince_.reset();
        return false;
    }
    if (!drainedSince_) drainedSince_ = now;
    return now - *drainedSince_ >= milliseconds(50);
}

// A few cameras going on and off air: a program source that moves every 3 s, an iso recorder
// every 5 s, and a talkback key that blinks.
void Server::Animate() {
    std::set<int> units = model_.EnabledUnits();
    for (const SimEntry& e : model_.Table()) {
        if (e.InUnit > 0) units.insert(e.InUnit);
        if (e.BoolUnit > 0) units.insert(e.BoolUnit);
    }
    if (units.empty()) units.insert(1);
    for (int u : units) {
        const int program = (tick_ / 6 + u) % 6 + 1;
        int iso = (tick_ / 10 + 2 * u) % 8 + 1;
        if (iso == program) iso = program % 8 + 1;
        quint32 bits = (1u << (program - 1)) | (1u << (iso - 1));
        if ((tick_ / 3 + u) % 4 == 0) bits |= 1u << (16 + u % 8);
        model_.SetInputBits(u, bits);
    }
    ++tick_;
}

void Server::ReadInputChanges() {
    if (inputsFd_ < 0) return;
    char buffer[4096];
    ssize_t n;
    while ((n = read(inputsFd_, buffer, sizeof buffer)) > 0) {
        inputsPending_.append(buffer, n);
        qsizetype end;
        while ((end = inputsPending_.indexOf('\n')) >= 0) {
            ApplyInputLine(inputsPending_.left(end));
            inputsPending_.remove(0, end + 1);
        }
        // No line is this long: drop the piece rather than grow without end.
        if (inputsPending_.size() > 1024) {
            std::fprintf(stderr, "tally-sim: --inputs: a line over 1024 characters was dropped\n");
            inputsPending_.clear();
        }
    }
}

void Server::ApplyInputLine(const QByteArray& line) {
    const QByteArray text = line.simplified();
    if (text.isEmpty()) return;
    const qsizetype blank = text.indexOf(' ');
    const auto unit = ParseCount(text.left(blank), 1, 32767);
    QByteArray bits = blank < 0 ? QByteArray() : text.mid(blank + 1);
    bits.replace(" ", "");
    const bool ok = bits.size() == 32 && bits.count('0') + bits.count('1') == 32;
    if (!unit || !ok) {
        std::fprintf(stderr,
                     "tally-sim: --inputs: ignored \"%s\": expected a unit from 1 to 32767 and "
                     "32 bits 0/1, channel 32 first\n",
                     text.constData());
        return;
    }
    quint32 value = 0;
    for (char c : bits)
        value = (value << 1) | (c == '1' ? 1u : 0u);
    model_.SetInputBits(*unit, value);
}

// The FIFO that --inputs names, made when missing and opened for reading and writing, so that
// writers coming and going never leave it at end of file. -1 after printing why it cannot be.
int OpenInputs(const QString& path, bool* made) {
    const QByteArray name = QFile::encodeName(path);
    *made = false;
    if (mkfifo(name.constData(), 0600) == 0) {
        *made = true;
    } else if (errno != EEXIST) {
        std::fprintf(stderr, "tally-sim: cannot make the FIFO %s: %s\n", name.constData(),
                     strerror(errno));
        return -1;
    }
    struct stat st {};
    if (stat(name.constData(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
        std::fprintf(stderr, "tally-sim: --inputs %s: not a FIFO\n", name.constData());
        return -1;
    }
    const int fd = open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        std::fprintf(stderr, "tally-sim: cannot open the FIFO %s: %s\n", name.constData(),
                     strerror(errno));
    return fd;
}

}  // namespace

TallySim::TallySim(SimOptions options) : options_(std::move(options)) {}

int TallySim::Run() {
    const SimOptions& options = options_;
    ControllerModel model;
    if (!options.preload.isEmpty()) {
        QString error;
        if (!model.LoadTallyFile(options.preload, &error)) {
            std::fprintf(stderr, "tally-sim: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
    }
    if (options.version) model.SetVersionText(*options.version);
    if (options.fault) model.SetFault(*options.fault);
    model.SetFaultWindow(options.faultAfter, options.faultLines);
    if (options.silentAfter >= 0) model.SetAnswerLimit(options.silentAfter);
    for (int u : options.units)
        model.EnableUnit(u);
    for (const QByteArray& line : options.refused)
        model.AddRefusal(line);
    for (const QByteArray& line : options.ignored)
        model.AddIgnored(line);

    FILE* log = nullptr;
    if (!options.log.isEmpty()) {
        log = std::fopen(QFile::encodeName(options.log).constData(), "a");
        if (!log) {
            std::fprintf(stderr, "tally-sim: cannot open log %s: %s\n",
                         options.log.toLocal8Bit().constData(), strerror(errno));
            return 1;
        }
    }

    // Stop signals stay blocked except inside ppoll, so none slips in between a check and a wait.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stops, waitMask;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(s, &action, nullptr);
        sigaddset(&stops, s);
    }
    sigprocmask(SIG_BLOCK, &stops, &waitMask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&waitMask, s);
    signal(SIGPIPE, SIG_IGN);

    QString error;
    // Listening before the link is published: whoever sees the link can connect.
    TcpListen net;
    if (options.listen >= 0) {
        if (!net.Open(options.listen, &error)) {
            std::fprintf(stderr, "tally-sim: %s\n", error.toLocal8Bit().constData());
            if (log) std::fclose(log);
            return 1;
        }
        std::printf("tally-sim: listening on 127.0.0.1:%d\n", net.Port());
    }
    bool madeInputs = false;
    const int inputsFd = options.inputs.isEmpty() ? -1 : OpenInputs(options.inputs, &madeInputs);
    if (!options.inputs.isEmpty() && inputsFd < 0) {
        if (log) std::fclose(log);
        return 1;
    }
    PtyLink link;
    if (!link.Open(&error) || !link.Publish(options.link, &error)) {
        std::fprintf(stderr, "tally-sim: %s\n", error.toLocal8Bit().constData());
        if (log) std::fclose(log);
        return 1;
    }
    std::printf("tally-sim: serving on %s -> %s\n", options.link.toLocal8Bit().constData(),
                link.SlavePath().toLocal8Bit().constData());
    std::fflush(stdout);

    Server server(model, link, options, log, options.listen >= 0 ? &net : nullptr, inputsFd);
    const bool hungUp = server.Run(waitMask);
    link.Unpublish();
    link.Close();
    net.Close();
    if (inputsFd >= 0) close(inputsFd);
    if (madeInputs) unlink(QFile::encodeName(options.inputs).constData());
    if (hungUp) {
        std::printf("tally-sim: hung up after %d command lines\n", options.hangupAfter);
        std::fflush(stdout);
    }
    if (log) std::fclose(log);
    return 0;
}

int TallySimMain(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    SimOptions options;
    if (const int rc = ParseSimOptions(args, options); rc != 0) return rc < 0 ? 0 : rc;
    return TallySim(std::move(options)).Run();
}

}  // namespace vendra
