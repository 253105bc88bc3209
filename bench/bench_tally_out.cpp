// The tally out at 9600 baud against tally-sim, for 3 polled units and for 50, with no window
// open: the latency from an input change in the simulator (a line into its --inputs FIFO) to the
// UMD packet that shows it arriving at a UDP receiver, over 50 changes spread over the cycle,
// against the overview's latency of the same bench/run plus 10 ms (run alone: the poll cycle plus
// one exchange, the overview's own bound, plus 10 ms).
#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <cstdio>

#include "bench_common.h"
#include "session/console_session.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kBaud = 9600;
constexpr int kChanges = 50;

// The polled installation, each output also display u of one version 5.0 receiver.
QString Ini(int units, const QString& link, quint16 port) {
    return PolledIni(units, link) +
           QStringLiteral("[Tally Out]\r\nDestination 1=udp://127.0.0.1:%1, v5.0\r\n").arg(port);
}

// A one-display version 5.0 packet: its index and whether its right-hand tally is on.
bool Shows(const QByteArray& p, int index, bool lit) {
    if (p.size() < 12) return false;
    const int at = quint8(p[6]) | quint8(p[7]) << 8;
    return at == index && ((quint8(p[8]) & 3) != 0) == lit;
}

struct Run {
    std::vector<double> latencyMs;
    std::vector<double> periodMs;
    QString error;
};

Run Measure(int units) {
    Run run;
    SimProcess sim;
    const QString table = sim.FilePath(QStringLiteral("table.vdk"));
    const QString fifo = sim.FilePath(QStringLiteral("inputs"));
    QFile t(table);
    if (!t.open(QIODevice::WriteOnly) || t.write(PolledTable(units)) <= 0) {
        run.error = QStringLiteral("cannot write the table");
        return run;
    }
    t.close();
    if (!sim.Start({"--preload", table, "--baud", QString::number(kBaud), "--inputs", fifo})) {
        run.error = sim.ErrorText();
        return run;
    }
    QUdpSocket rx;
    rx.bind(QHostAddress::LocalHost, 0);
    QFile ini(sim.FilePath(QStringLiteral("Kavro.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return run;
    ini.write(Ini(units, sim.LinkPath(), rx.localPort()).toLatin1());
    ini.close();
    ScriptedDialogs dialogs;
    ConsoleSession s(dialogs);
    QFile inputs(fifo);
    if (!s.LoadConfiguration(ini.fileName()) || !s.Connect() ||
        !inputs.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        run.error = QStringLiteral("the session did not come online");
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 lastStart = -1;
    QObject::connect(&s.Inputs(), &InputWatch::CycleEnded, [&](int, qint64 ms) {
        const qint64 start = clock.elapsed() - ms;
        if (lastStart >= 0) run.periodMs.push_back(double(start - lastStart));
        lastStart = start;
    });
    const double cycleMs = std::max(200.0, CycleLineMs(units, kBaud));
    RunEventLoop(int(3 * cycleMs) + 500);  // the first cycles read every unit dark
    std::vector<bool> on(size_t(units) + 1, false);
    for (int i = 0; i < kChanges; ++i) {
        const int phase = int((i * 7919) % 1000 * cycleMs / 1000);
        while (rx.hasPendingDatagrams())
            rx.receiveDatagram();
        const int unit = i % units + 1;
        on[size_t(unit)] = !on[size_t(unit)];
        DelayedWrite write(inputs, InputLine(unit, on[size_t(unit)]), phase);
        bool seen = false;
        QEventLoop loop;
        auto got = QObject::connect(&rx, &QUdpSocket::readyRead, [&] {
            while (rx.hasPendingDatagrams())
                if (Shows(rx.receiveDatagram().data(), unit, on[size_t(unit)])) seen = true;
            if (seen) loop.quit();
        });
        QTimer::singleShot(phase + int(4 * cycleMs + 2000), &loop, &QEventLoop::quit);
        loop.exec();
        const qint64 seenAt = SteadyNs();
        QObject::disconnect(got);
        write.Join();
        if (!write.Ok()) {
            run.error = QStringLiteral("cannot write to the sim's FIFO");
            return run;
        }
        if (!seen) {
            run.error = QStringLiteral("display %1 did not follow its input").arg(unit);
            return run;
        }
        run.latencyMs.push_back(double(seenAt - write.AtNs()) / 1e6);
    }
    return run;
}

void Report(int units) {
    const Run run = Measure(units);
    const QString what =
        QStringLiteral("Tally out (UDP, v5.0), %1 polled units, 9600 baud: ").arg(units);
    if (!run.error.isEmpty()) {
        std::fprintf(stderr, "%d units: %s\n", units, qPrintable(run.error));
        Figure(what + QStringLiteral("latency"), QStringLiteral("run failed: ") + run.error,
               QStringLiteral("-"), Verdict::Failed);
        return;
    }
    const double exchange = CycleLineMs(units, kBaud) / units;
    const double period = Median(run.periodMs);
    const double median = Median(run.latencyMs);
    const double worst = *std::max_element(run.latencyMs.begin(), run.latencyMs.end());
    std::printf(
        "%d units: cycle median %.1f ms, one exchange %.1f ms; input change to packet "
        "median %.0f ms, max %.0f ms over %zu changes\n",
        units, period, exchange, median, worst, run.latencyMs.size());
    const QString measured = QStringLiteral("%1 ms (max %2 ms; cycle %3 ms)")
                                 .arg(median, 0, 'f', 0)
                                 .arg(worst, 0, 'f', 0)
                                 .arg(period, 0, 'f', 0);
    const QString figure =
        what + QStringLiteral("input change to packet on the wire, median (max) of 50");
    // Against the overview of the same bench/run; alone, against the overview's own bound.
    const SharedLatency overview = SharedLatencyOf(QStringLiteral("overview"), units);
    if (overview.Known()) {
        Figure(figure, measured, OverviewTarget(overview, 10),
               WithinOverview(median, worst, overview, 10));
        return;
    }
    const double bound = period + exchange + 10;
    Figure(figure, measured,
           QStringLiteral("<= cycle + one exchange + 10 ms = %1 ms (no overview in this run)")
               .arg(bound, 0, 'f', 0),
           AtMost(median, bound));
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QCoreApplication app(argc, argv);
    Report(3);
    Report(50);
    return 0;
}
