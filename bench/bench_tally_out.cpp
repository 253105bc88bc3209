// The tally out at 9600 baud against tally-sim, for 3 polled units and for 50: the latency from an
// input change in the simulator (a line into its --inputs FIFO) to the UMD packet that shows it
// arriving at a UDP receiver, over 50 changes spread over the cycle, against the latency of the
// same changes to the lamp in the console's overview, open beside it, plus 10 ms. Measured on the
// same changes, the two share the poll's cycle and phase, which differ from one run to the next.
#include <QApplication>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <cstdio>

#include "bench_common.h"
#include "link/input_poll.h"
#include "overview_probe.h"
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
    std::vector<double> latencyMs;   // input change to the packet
    std::vector<double> overviewMs;  // the same change to the overview's lamp
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
    QFile inputs(fifo);
    MainRig rig;
    rig.WriteIni(Ini(units, sim.LinkPath(), rx.localPort()));
    OverviewProbe view;
    if (!rig.Start(/*realPort=*/true) || !rig.window->Session().Link().IsOnline() ||
        !view.Open(rig) || !inputs.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        run.error = QStringLiteral("the console did not come online with its overview");
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 lastStart = -1;
    QObject::connect(&rig.window->Session().Inputs(), &InputWatch::CycleEnded, [&](int, qint64 ms) {
        const qint64 start = clock.elapsed() - ms;
        if (lastStart >= 0) run.periodMs.push_back(double(start - lastStart));
        lastStart = start;
    });
    const double cycleMs = std::max(200.0, CycleLineMs(units, kBaud));
    RunEventLoop(int(3 * cycleMs) + 500);  // the first cycles read every unit dark
    std::vector<bool> on(size_t(units) + 1, false);
    for (int i = 0; i < kChanges; ++i) {
        const int phase = PhaseMs(i, run.periodMs, cycleMs);
        while (rx.hasPendingDatagrams())
            rx.receiveDatagram();
        const int unit = i % units + 1;
        on[size_t(unit)] = !on[size_t(unit)];
        const QString wanted = on[size_t(unit)] ? QStringLiteral("lit") : QStringLiteral("dark");
        DelayedWrite write(inputs, InputLine(unit, on[size_t(unit)]), phase);
        qint64 packetAt = -1, lampAt = -1;
        QEventLoop loop;
        auto got = QObject::connect(&rx, &QUdpSocket::readyRead, [&] {
            while (rx.hasPendingDatagrams())
                if (Shows(rx.receiveDatagram().data(), unit, on[size_t(unit)]) && packetAt < 0)
                    packetAt = SteadyNs();
            if (packetAt >= 0 && lampAt >= 0) loop.quit();
        });
        auto painted = QObject::connect(view.Model(), &QAbstractItemModel::dataChanged, [&] {
            if (lampAt < 0 && view.Lamp(unit) == wanted) lampAt = SteadyNs();
            if (packetAt >= 0 && lampAt >= 0) loop.quit();
        });
        QTimer::singleShot(phase + int(4 * cycleMs + 2000), &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(got);
        QObject::disconnect(painted);
        write.Join();
        if (!write.Ok()) {
            run.error = QStringLiteral("cannot write to the sim's FIFO");
            return run;
        }
        if (packetAt < 0 || lampAt < 0) {
            run.error = QStringLiteral("%1 %2 did not follow its input")
                            .arg(packetAt < 0 ? QStringLiteral("display") : QStringLiteral("lamp"))
                            .arg(unit);
            return run;
        }
        run.latencyMs.push_back(double(packetAt - write.AtNs()) / 1e6);
        run.overviewMs.push_back(double(lampAt - write.AtNs()) / 1e6);
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
    const double period = Median(run.periodMs);
    const double median = Median(run.latencyMs);
    const double worst = *std::max_element(run.latencyMs.begin(), run.latencyMs.end());
    const SharedLatency overview{Median(run.overviewMs),
                                 *std::max_element(run.overviewMs.begin(), run.overviewMs.end())};
    std::vector<double> ahead;  // how much sooner the packet came than the lamp, per change
    for (size_t i = 0; i < run.latencyMs.size(); ++i)
        ahead.push_back(run.overviewMs[i] - run.latencyMs[i]);
    std::printf(
        "%d units: cycle median %.1f ms; input change to packet median %.0f ms, max %.0f ms; "
        "to the overview's lamp median %.0f ms, max %.0f ms; packet before lamp by median "
        "%.1f ms (least %.1f ms) over %zu changes\n",
        units, period, median, worst, overview.median, overview.max, Median(ahead),
        *std::min_element(ahead.begin(), ahead.end()), run.latencyMs.size());
    Figure(what + QStringLiteral("input change to packet on the wire, median (max) of 50"),
           QStringLiteral("%1 ms (max %2 ms; cycle %3 ms)")
               .arg(median, 0, 'f', 0)
               .arg(worst, 0, 'f', 0)
               .arg(period, 0, 'f', 0),
           OverviewTarget(overview, 10) + QStringLiteral(", the same changes"),
           WithinOverview(median, worst, overview, 10));
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);
    Report(3);
    Report(50);
    return 0;
}
