// vendractl serve at 9600 baud against tally-sim, for 3 polled units and for 50: the latency from
// an input change in the simulator (a line into its --inputs FIFO) to the WebSocket message and
// to the tile's new colour on screen in headless Chromium (the page's own record, "?timing=1"),
// over 50 changes spread over the cycle, against the overview's latency of the same bench/run;
// the service's CPU with 50 page clients connected and one change a second; its peak memory and
// its poll cycle with 100 page clients and one that never reads while the lamps keep changing.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "bench_common.h"
#include "support/chromium_page.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kBaud = 9600;
constexpr int kChanges = 50;
constexpr int kCpuMs = 10000;
constexpr int kOutputUnit = 100;  // PolledIni's: the one unit whose status each cycle asks

// Milliseconds since the epoch: the clock the page's Date.now() reads.
double EpochMs() {
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) /
           1000;
}

// User and system CPU seconds of another process.
double ProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct Service {
    SimProcess sim;
    QProcess serve;
    QFile inputs;
    quint16 port = 0;
    QString error;
    QByteArray log;

    bool Start(int units) {
        const QString table = sim.FilePath(QStringLiteral("table.vdk"));
        const QString fifo = sim.FilePath(QStringLiteral("inputs"));
        const QString ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        if (!Put(table, PolledTable(units)) ||
            !sim.Start({"--preload", table, "--baud", QString::number(kBaud), "--inputs", fifo}) ||
            !Put(ini, PolledIni(units, sim.LinkPath()).toLatin1()))
            return Fail(QStringLiteral("cannot start the simulator: ") + sim.ErrorText());
        StartVendractl(serve, {"serve", "--http", "127.0.0.1:0", "--ini", ini});
        QElapsedTimer wait;
        wait.start();
        while (!log.contains("serving the line") && wait.elapsed() < 20000 &&
               serve.state() != QProcess::NotRunning) {
            serve.waitForReadyRead(100);
            log += serve.readAllStandardError();
        }
        static const QRegularExpression page(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
        port = quint16(page.match(QString::fromUtf8(log)).captured(1).toUInt());
        if (!log.contains("serving the line") || port == 0)
            return Fail(QStringLiteral("the service did not start: ") + QString::fromUtf8(log));
        inputs.setFileName(fifo);
        if (!inputs.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return Fail(QStringLiteral("cannot open the sim's FIFO"));
        return true;
    }
    bool Fail(const QString& text) {
        error = text;
        return false;
    }
    bool Set(int unit, bool on) {
        const QByteArray line = InputLine(unit, on);
        return inputs.write(line) == line.size();
    }
    // The service's poll cycles logged since log offset `from`: start to start, in ms.
    std::vector<double> Periods(qsizetype from) {
        log += serve.readAllStandardError();
        static const QRegularExpression cycle(
            QStringLiteral("poll cycle: .* started at (\\d+) ms"));
        std::vector<double> periods;
        double last = -1;
        for (auto m = cycle.globalMatch(QString::fromUtf8(log.mid(from))); m.hasNext();) {
            const double start = m.next().captured(1).toDouble();
            if (last >= 0) periods.push_back(start - last);
            last = start;
        }
        return periods;
    }
    ~Service() {
        serve.terminate();
        serve.waitForFinished(10000);
    }
};

// A page's WebSocket: the lamp of each output as the last message said.
struct Page {
    QWebSocket ws;
    QHash<int, QString> lamps;
    bool Open(quint16 port) {
        QObject::connect(&ws, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            for (const QJsonValue& r : m.value(QStringLiteral("rows")).toArray())
                lamps[r[QStringLiteral("output")].toInt()] = r[QStringLiteral("lamp")].toString();
        });
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
        QElapsedTimer wait;
        wait.start();
        while (lamps.isEmpty() && wait.elapsed() < 10000)
            RunEventLoop(10);
        return !lamps.isEmpty();
    }
};

// The time the page painted output `unit` in `lamp` at or after `since` (epoch ms); -1 until it
// has.
double PaintedAt(ChromiumPage& browser, int unit, const QString& lamp, double since) {
    return browser
        .Evaluate(QStringLiteral("(() => { const t = (window.tallyTimings || []).find(x => "
                                 "x.output === %1 && x.lamp === '%2' && x.at >= %3);"
                                 " return t ? t.at : -1; })()")
                      .arg(unit)
                      .arg(lamp)
                      .arg(std::floor(since), 0, 'f', 0))
        .toDouble(-1);
}

// A latency's figure against the overview's of the same bench/run, or alone against the
// overview's own bound.
void LatencyFigure(const QString& what, int units, const std::vector<double>& ms, double line) {
    const double median = Median(ms);
    const double worst = *std::max_element(ms.begin(), ms.end());
    const QString measured =
        QStringLiteral("%1 ms (max %2 ms)").arg(median, 0, 'f', 0).arg(worst, 0, 'f', 0);
    const SharedLatency overview = SharedLatencyOf(QStringLiteral("overview"), units);
    if (overview.Known())
        return Figure(what, measured, OverviewTarget(overview, 100),
                      WithinOverview(median, worst, overview, 100));
    const double target = std::max(200.0, line) + line / units + 100;
    Figure(what, measured,
           QStringLiteral("<= cycle + one exchange + 100 ms = %1 ms (no overview in this run)")
               .arg(target, 0, 'f', 0),
           AtMost(median, target));
}

void Latency(int units) {
    const QString what = QStringLiteral("Live page, %1 polled units, 9600 baud: ").arg(units);
    Service s;
    Page page;
    ChromiumPage browser;
    const bool painting = ChromiumPage::Available();
    if (!s.Start(units) || !page.Open(s.port) ||
        (painting &&
         !browser.Open(QUrl(QStringLiteral("http://127.0.0.1:%1/?timing=1").arg(s.port)),
                       QSize(1280, 800)))) {
        Figure(what + QStringLiteral("latency"),
               QStringLiteral("run failed: ") + s.error + browser.ErrorText(), QStringLiteral("-"),
               Verdict::Failed);
        return;
    }
    std::vector<double> latency, painted;
    std::vector<bool> on(size_t(units) + 1, false);
    const double line = CycleLineMs(units, kBaud);
    const int cycleMs = int(std::max(200.0, line));
    const qsizetype logFrom = s.log.size();
    RunEventLoop(3 * cycleMs + 500);  // the service's own cycle, before the first change
    const std::vector<double> before = s.Periods(logFrom);
    // Each change lands its moment after the page saw the last one, as in the overview's bench:
    // the wait for Chromium's paint counts towards it.
    QElapsedTimer sinceSeen;
    sinceSeen.start();
    for (int i = 0; i < kChanges; ++i) {
        RunEventLoop(int(std::max<qint64>(PhaseMs(i, before, cycleMs) - sinceSeen.elapsed(), 0)));
        const int unit = i % units + 1;
        on[size_t(unit)] = !on[size_t(unit)];
        const QString wanted = on[size_t(unit)] ? QStringLiteral("lit") : QStringLiteral("dark");
        QElapsedTimer clock;
        clock.start();
        const double wrote = EpochMs();
        s.Set(unit, on[size_t(unit)]);
        while (page.lamps.value(unit) != wanted && clock.elapsed() < 4 * cycleMs + 3000)
            RunEventLoop(1);
        const double messaged = double(clock.nsecsElapsed()) / 1e6;
        sinceSeen.start();
        double at = -1;
        while (painting && at < 0 && clock.elapsed() < 4 * cycleMs + 3000) {
            at = PaintedAt(browser, unit, wanted, wrote);
            if (at < 0) RunEventLoop(2);
        }
        if (page.lamps.value(unit) != wanted || (painting && at < 0)) {
            std::fprintf(stderr, "output %d is %s (painted: %s); the service said:\n%s\n", unit,
                         qPrintable(page.lamps.value(unit)), at < 0 ? "no" : "yes",
                         (s.log + s.serve.readAllStandardError()).right(3000).constData());
            std::fprintf(stderr, "sim: %s\n", s.sim.Output().right(2000).constData());
            Figure(what + QStringLiteral("latency"),
                   QStringLiteral("run failed: output %1 did not follow").arg(unit),
                   QStringLiteral("-"), Verdict::Failed);
            return;
        }
        latency.push_back(messaged);
        if (painting) painted.push_back(at - wrote);
    }
    const std::vector<double> periods = s.Periods(logFrom);
    std::printf(
        "%d units: input change to the page's message, median %.0f ms, max %.0f ms; to the "
        "tile painted, median %.0f ms, max %.0f ms; the service's cycle median %.1f ms (its "
        "BITS line time %.1f ms, one GSTAT %.1f ms)\n",
        units, Median(latency), *std::max_element(latency.begin(), latency.end()), Median(painted),
        painted.empty() ? -1 : *std::max_element(painted.begin(), painted.end()), Median(periods),
        line, StatusLineMs(kOutputUnit, kBaud));
    LatencyFigure(
        what + QStringLiteral("input change to the page's WebSocket message, median (max) of 50"),
        units, latency, line);
    if (painting)
        LatencyFigure(
            what +
                QStringLiteral("input change to the tile painted in Chromium, median (max) of 50"),
            units, painted, line);
    else
        Figure(what + QStringLiteral("input change to the tile painted"),
               QStringLiteral("not measured: chromium is not installed"), QStringLiteral("-"),
               Verdict::None);
}

void CpuAndMemory() {
    const int units = 50;
    const QString what = QStringLiteral("vendractl serve, 50 units at 9600 baud: ");
    Service s;
    if (!s.Start(units)) {
        Figure(what + QStringLiteral("CPU"), QStringLiteral("run failed: ") + s.error,
               QStringLiteral("-"), Verdict::Failed);
        return;
    }
    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < 50; ++i) {
        pages.push_back(std::make_unique<Page>());
        pages.back()->Open(s.port);
    }
    const qint64 pid = s.serve.processId();
    const double cpu0 = ProcessCpuSeconds(pid);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; clock.elapsed() < kCpuMs; ++i) {
        s.Set(i % units + 1, i % 2 == 0);
        RunEventLoop(1000);
    }
    const double cpu = (ProcessCpuSeconds(pid) - cpu0) * 100.0 / (double(clock.elapsed()) / 1000);
    std::printf("CPU with 50 page clients, one change a second: %.2f %% of a core\n", cpu);
    Figure(what + QStringLiteral("CPU with 50 page clients, one change a second"),
           QStringLiteral("%1 % of a core").arg(cpu, 0, 'f', 2), QStringLiteral("< 2 %"),
           AtMost(cpu, 1.999));

    // 50 more pages and one client that asks for the live feed and never reads it.
    for (int i = 0; i < 50; ++i) {
        pages.push_back(std::make_unique<Page>());
        pages.back()->Open(s.port);
    }
    QTcpSocket stuck;
    stuck.setReadBufferSize(1);
    stuck.connectToHost(QStringLiteral("127.0.0.1"), s.port);
    stuck.waitForConnected(5000);
    stuck.write(
        "GET /live HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    stuck.waitForBytesWritten(5000);
    const long before = PeakMemoryKb(pid);
    const qsizetype logFrom = (s.log += s.serve.readAllStandardError()).size();
    int open = 0;
    for (int i = 0; i < 600; ++i) {
        s.Set(i % units + 1, (i / units) % 2 == 0);
        RunEventLoop(50);
    }
    const std::vector<double> periods = s.Periods(logFrom);
    for (const auto& p : pages)
        open += p->ws.state() == QAbstractSocket::ConnectedState;
    const long after = PeakMemoryKb(pid);
    std::printf(
        "peak memory with 100 pages and one that never reads: %ld KiB before, %ld KiB "
        "after 600 changes; %d pages still connected\n",
        before, after, open);
    Figure(what + QStringLiteral("peak memory, 100 pages + one never reading, 600 changes"),
           QStringLiteral("%1 MiB -> %2 MiB, %3/100 pages connected")
               .arg(before / 1024.0, 0, 'f', 1)
               .arg(after / 1024.0, 0, 'f', 1)
               .arg(open),
           QStringLiteral("grows < 16 MiB"), AtMost(double(after - before) / 1024.0, 16));

    // The poll meanwhile: one GSTAT of the output unit and 50 BITS a cycle.
    const double bits = CycleLineMs(units, kBaud);
    const double line = bits + StatusLineMs(kOutputUnit, kBaud);
    const double period = Median(periods);
    std::printf(
        "poll cycle meanwhile: median %.1f ms over %zu cycles; line time %.1f ms (BITS "
        "alone %.1f ms)\n",
        period, periods.size(), line, bits);
    Figure(what + QStringLiteral(
                      "poll cycle / line time of its exchanges, 100 pages + one never reading"),
           QStringLiteral("%1 (%2 ms / %3 ms: 50 BITS %4 ms + 1 GSTAT)")
               .arg(period / line, 0, 'f', 3)
               .arg(period, 0, 'f', 1)
               .arg(line, 0, 'f', 1)
               .arg(bits, 0, 'f', 1),
           QStringLiteral("<= 1.10"), AtMost(period < 0 ? -1 : period / line, 1.10));
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    qputenv("VENDRA_LOCK_DIR", QFile::encodeName(scratch.path()));
    qputenv("QT_LOGGING_RULES", "vendra.serve.cycle.debug=true");  // the service logs each cycle
    QCoreApplication app(argc, argv);
    // "cpu": the service's CPU and memory alone, to profile it without the latency runs first.
    if (QCoreApplication::arguments().value(1) != QStringLiteral("cpu")) {
        Latency(3);
        Latency(50);
    }
    CpuAndMemory();
    return 0;
}
