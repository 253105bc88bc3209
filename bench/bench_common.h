#pragma once
// Helpers the benchmarks share. Header only: every bench/bench_*.cpp is a program of its own.
//
// A benchmark prints what it measured in two forms: lines for a person, and one machine line per
// figure that bench/run gathers into its table:
//   figure|<what>|<measured>|<target>|<verdict>
// The verdict is "met", "MISSED", "failed" (the run itself went wrong) or "-" (no target).
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "sim/controller_model.h"

namespace vendra::bench {

// Two clients compared on one link take turns in short slices, so that whatever else the machine
// does falls on both alike.
constexpr int kSlices = 12;
constexpr int kSliceMs = 250;

// Exchanges counted and time taken by one client over all its slices.
struct Tally {
    qint64 count = 0;
    qint64 nsecs = 0;
    bool failed = false;
    double Rate() const {
        return failed || nsecs <= 0 ? -1 : count * 1e9 / static_cast<double>(nsecs);
    }
    // Runs one exchange as often as it goes for a slice; an exchange that answers false ends
    // the run.
    template <typename Exchange>
    void Slice(Exchange exchange) {
        QElapsedTimer clock;
        clock.start();
        while (!failed && clock.elapsed() < kSliceMs) {
            if (!exchange()) {
                failed = true;
                return;
            }
            ++count;
        }
        nsecs += clock.nsecsElapsed();
    }
};

// CPU seconds (user and system) this process has used so far.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lets the event loop run for `ms` milliseconds, as an idle operator would.
inline void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Peak resident memory of a process (this one when pid is 0) in KiB, from VmHWM; -1 when the
// kernel does not say.
inline long PeakMemoryKb(long long pid = 0) {
    const QString path =
        pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status");
    QFile status(path);
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("VmHWM:")) continue;
        bool ok = false;
        const long kb = line.mid(6).trimmed().split(' ').value(0).toLong(&ok);
        return ok ? kb : -1;
    }
    return -1;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The wait before change `i` of a latency run, after the last change was seen: spread-out moments
// of one cycle of the poll as measured (`periods`, start to start; `lineMs` until one is),
// so that a change waits on average half the cycle the program really runs. Spread over the
// line time alone, which is shorter, a longer cycle would count whole in every latency.
inline int PhaseMs(int i, const std::vector<double>& periods, double lineMs) {
    const double cycle = periods.empty() ? lineMs : Median(periods);
    return int((i * 7919) % 1000 * cycle / 1000);
}

// The least a client of the controller can do: write a framed line, read until the first ".".
// The reference the console's exchanges are measured against.
class RawClient {
public:
    explicit RawClient(const QString& device)
        : fd_(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY)) {
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Writes `framed` (the line with its CR LF) and reads until a "." arrives; false on an error,
    // 2 s without a character, or 10 s of characters without a ".".
    bool Exchange(const QByteArray& framed) {
        if (fd_ < 0 || ::write(fd_, framed.constData(), static_cast<size_t>(framed.size())) !=
                           static_cast<ssize_t>(framed.size()))
            return false;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) return false;
            char buffer[256];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) return false;
            if (std::memchr(buffer, '.', static_cast<size_t>(got))) return true;
        }
        return false;
    }

private:
    int fd_;
};

// The bytes that crossed the line for a run of command lines.
struct Traffic {
    qint64 lines = 0;
    qint64 console = 0;  // command lines with their CR LF
    qint64 sim = 0;      // echoes, reply lines and terminators
};

// Replays the command lines a controller logged, from its start, through a model loaded with the
// same tally file (none when `preload` is empty), and counts the bytes of lines [from, to). The
// model answers in full, so the count is exact for a controller that answered every line.
inline Traffic CountTraffic(const QString& preload, const QStringList& log, qsizetype from,
                            qsizetype to) {
    ControllerModel model;
    QString error;
    if (!preload.isEmpty() && !model.LoadTallyFile(preload, &error)) {
        std::fprintf(stderr, "model cannot load %s: %s\n", qPrintable(preload), qPrintable(error));
        return {-1, -1, -1};
    }
    Traffic t;
    for (qsizetype i = 0; i < to && i < log.size(); ++i) {
        const QByteArray line = log[i].toLatin1() + "\r\n";
        const QByteArray answer = model.Feed(line);
        if (i < from) continue;
        ++t.lines;
        t.console += line.size();
        t.sim += answer.size();
    }
    return t;
}

enum class Verdict { Met, Missed, Failed, None };

inline const char* VerdictText(Verdict v) {
    switch (v) {
        case Verdict::Met:
            return "met";
        case Verdict::Missed:
            return "MISSED";
        case Verdict::Failed:
            return "failed";
        case Verdict::None:
            break;
    }
    return "-";
}

// A measured value against an upper or lower bound; a negative value means the run failed.
inline Verdict AtMost(double value, double limit) {
    return value < 0 ? Verdict::Failed : value <= limit ? Verdict::Met : Verdict::Missed;
}
inline Verdict AtLeast(double value, double limit) {
    return value < 0 ? Verdict::Failed : value >= limit ? Verdict::Met : Verdict::Missed;
}

// One figure for bench/run's table. The texts must not hold "|".
inline void Figure(const QString& what, const QString& measured, const QString& target,
                   Verdict verdict) {
    std::printf("figure|%s|%s|%s|%s\n", qPrintable(what), qPrintable(measured), qPrintable(target),
                VerdictText(verdict));
    std::fflush(stdout);
}

// The widgets run on the offscreen platform in a private runtime folder, as the tests do, unless
// the caller's environment says otherwise. `runtime` must outlive the application.
inline void UseOffscreen(const QString& runtime) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && QDir().mkpath(runtime)) {
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
}

// A tally matrix file for the installation of SampleIni(outputs, inputs): output n (unit 1,
// channel n) driven by input unit 2, channel (n - 1 + shift) % inputs + 1; every tenth line is an
// AND or an OR with the next input, so both kinds of mapping travel. Answers the bytes written, or
// an empty array when the file could not be written.
inline QByteArray WriteTallyFile(const QString& path, int outputs, int inputs, int shift = 0) {
    QByteArray text;
    for (int n = 1; n <= outputs; ++n) {
        const int in = (n - 1 + shift) % inputs + 1;
        const int mode = n % 10 == 0 ? (n / 10) % 2 + 1 : 0;
        const int second = mode ? in % inputs + 1 : 0;
        text += QStringLiteral("[1][%1][2][%2][1][%3][%4][%5]\r\n")
                    .arg(n)
                    .arg(in)
                    .arg(mode ? 2 : 0)
                    .arg(second)
                    .arg(mode)
                    .toLatin1();
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return {};
    return text;
}

// The polled-units installation the latency benchmarks share: unit u carries input "In u" on
// channel 1, which drives output u on unit 100.
inline QString PolledIni(int units, const QString& link) {
    QString ini = QStringLiteral(
                      "[Vendra]\r\nSystem=Bench\r\nCommPort=1\r\nEnabledUnits=1\r\n"
                      "CommDevice=%1\r\n")
                      .arg(link);
    for (int u = 1; u <= units; ++u)
        ini += QStringLiteral("Output %1=Out %1,100,%1\r\nInput %1=In %1,%1,1\r\n").arg(u);
    return ini;
}

// The controller's table for PolledIni: output u lights while input u is on.
inline QByteArray PolledTable(int units) {
    QByteArray text;
    for (int u = 1; u <= units; ++u)
        text += QStringLiteral("[100][%1][%1][1][1][0][0][0]\r\n").arg(u).toLatin1();
    return text;
}

// A line for the sim's input FIFO: channel 1 of the unit on or off.
inline QByteArray InputLine(int unit, bool on) {
    return QByteArray::number(unit) + " " + QByteArray(31, '0') + (on ? "1" : "0") + "\n";
}

// Nanoseconds on the steady clock, comparable across threads.
inline qint64 SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Writes `line` into the sim's input FIFO `delayMs` from now, from a thread of its own. A
// console in this process spends most of its thread's time in an exchange: a change written
// from that thread could land only between two exchanges, a moment that favours the poll, and
// its latency would read shorter than any other program sees.
class DelayedWrite {
public:
    DelayedWrite(QFile& fifo, const QByteArray& line, int delayMs)
        : thread_([this, &fifo, line, delayMs] {
              std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
              at_ = SteadyNs();
              ok_ = fifo.write(line) == line.size();
          }) {}
    ~DelayedWrite() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    // After Join: whether the line went out, and when.
    bool Ok() const { return ok_; }
    qint64 AtNs() const { return at_; }

private:
    std::atomic<qint64> at_{-1};
    std::atomic<bool> ok_{false};
    std::thread thread_;
};

// The controller's bytes for one poll cycle's "BITS" exchanges, in milliseconds on a line of
// the given baud rate.
inline double CycleLineMs(int units, int baud) {
    ControllerModel model;
    qint64 bytes = 0;
    for (int u = 1; u <= units; ++u)
        bytes += model.Feed(QStringLiteral("BITS %1\r\n").arg(u).toLatin1()).size();
    return bytes * 10.0 * 1000 / baud;
}

// The controller's bytes for one "GSTAT u" exchange, in milliseconds at the given baud rate:
// the service asks one output unit's status each cycle.
inline double StatusLineMs(int unit, int baud) {
    ControllerModel model;
    const qint64 bytes = model.Feed(QStringLiteral("GSTAT %1\r\n").arg(unit).toLatin1()).size();
    return bytes * 10.0 * 1000 / baud;
}

// A latency of one bench run that another bench of the same bench/run compares with: bench/run
// names a file in VENDRA_BENCH_SHARED, and "<key>|<units>|<median>|<max>" lines go there.
struct SharedLatency {
    double median = -1;
    double max = -1;
    bool Known() const { return median >= 0; }
};

inline void ShareLatency(const QString& key, int units, double median, double max) {
    QFile f(qEnvironmentVariable("VENDRA_BENCH_SHARED"));
    if (f.fileName().isEmpty() || !f.open(QIODevice::Append)) return;
    f.write(QStringLiteral("%1|%2|%3|%4\n").arg(key).arg(units).arg(median).arg(max).toLatin1());
}

// The last latency shared under `key` for `units`; unknown when this bench runs alone.
inline SharedLatency SharedLatencyOf(const QString& key, int units) {
    QFile f(qEnvironmentVariable("VENDRA_BENCH_SHARED"));
    SharedLatency found;
    if (f.fileName().isEmpty() || !f.open(QIODevice::ReadOnly)) return found;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> p = line.split('|');
        if (p.size() == 4 && QString::fromLatin1(p[0]) == key && p[1].toInt() == units)
            found = {p[2].toDouble(), p[3].toDouble()};
    }
    return found;
}

// "<= the overview's 199 ms + 100 ms = 299 ms (max 257 + 100 = 357 ms)"; and whether a latency's
// median and max are both within the overview's plus `slackMs`.
inline QString OverviewTarget(const SharedLatency& overview, double slackMs) {
    return QStringLiteral("<= the overview's %1 + %2 = %3 ms (max: %4 + %2 = %5 ms)")
        .arg(overview.median, 0, 'f', 0)
        .arg(slackMs, 0, 'f', 0)
        .arg(overview.median + slackMs, 0, 'f', 0)
        .arg(overview.max, 0, 'f', 0)
        .arg(overview.max + slackMs, 0, 'f', 0);
}
inline Verdict WithinOverview(double median, double max, const SharedLatency& overview,
                              double slackMs) {
    if (median < 0 || max < 0) return Verdict::Failed;
    return median <= overview.median + slackMs && max <= overview.max + slackMs ? Verdict::Met
                                                                                : Verdict::Missed;
}

}  // namespace vendra::bench
