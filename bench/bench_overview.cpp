// The tally overview at 9600 baud against tally-sim, for 3 polled units and for 50: the latency
// from an input change in the simulator (a line into its --inputs FIFO) to the lamp's change in
// the overview's row, over 50 changes spread over the cycle; the poll cycle (start to start)
// against the line time of its "BITS" exchanges; the console's CPU while the overview is open.
#include <QApplication>
#include <QTemporaryDir>
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
constexpr int kCpuMs = 10000;

struct Run {
    std::vector<double> latencyMs;
    std::vector<double> periodMs;  // start to start of consecutive cycles
    double cpuPercent = -1;
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
    QFile inputs(fifo);
    MainRig rig;
    rig.WriteIni(PolledIni(units, sim.LinkPath()));
    if (!rig.Start(/*realPort=*/true) || !rig.window->Session().Link().IsOnline() ||
        !inputs.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        run.error = QStringLiteral("the console did not come online");
        return run;
    }
    ConsoleSession& s = rig.window->Session();
    QElapsedTimer clock;
    clock.start();
    qint64 lastCycleEnd = -1;
    QObject::connect(&s.Inputs(), &InputWatch::CycleEnded, [&](int, qint64 ms) {
        // The end of one cycle less its length is its start.
        const qint64 start = clock.elapsed() - ms;
        if (lastCycleEnd >= 0) run.periodMs.push_back(double(start - lastCycleEnd));
        lastCycleEnd = start;
    });
    OverviewProbe view;
    if (!view.Open(rig)) {
        run.error = QStringLiteral("the overview did not open");
        return run;
    }
    auto lamp = [&view](int unit) { return view.Lamp(unit); };
    // The first cycle reads every unit dark.
    QElapsedTimer wait;
    wait.start();
    while (lamp(units) != QStringLiteral("dark") && wait.elapsed() < 10000)
        RunEventLoop(10);
    const double cycleMs = std::max(200.0, CycleLineMs(units, kBaud));

    // The CPU of the console while the overview is open and nothing changes.
    const double cpu0 = CpuSeconds();
    QElapsedTimer idle;
    idle.start();
    RunEventLoop(kCpuMs);
    run.cpuPercent = (CpuSeconds() - cpu0) * 100.0 / (double(idle.nsecsElapsed()) / 1e9);

    std::vector<bool> on(size_t(units) + 1, false);
    for (int i = 0; i < kChanges; ++i) {
        // Changes land at spread-out moments of the cycle.
        const int phase = PhaseMs(i, run.periodMs, cycleMs);
        const int unit = i % units + 1;
        on[size_t(unit)] = !on[size_t(unit)];
        const QString wanted = on[size_t(unit)] ? QStringLiteral("lit") : QStringLiteral("dark");
        DelayedWrite write(inputs, InputLine(unit, on[size_t(unit)]), phase);
        QEventLoop loop;
        auto changed = QObject::connect(view.Model(), &QAbstractItemModel::dataChanged, [&] {
            if (lamp(unit) == wanted) loop.quit();
        });
        QTimer::singleShot(phase + int(4 * cycleMs + 2000), &loop, &QEventLoop::quit);
        loop.exec();
        const qint64 seen = SteadyNs();
        write.Join();
        if (!write.Ok()) {
            run.error = QStringLiteral("cannot write to the sim's FIFO");
            return run;
        }
        QObject::disconnect(changed);
        if (lamp(unit) != wanted) {
            run.error = QStringLiteral("output %1 did not follow its input").arg(unit);
            return run;
        }
        run.latencyMs.push_back(double(seen - write.AtNs()) / 1e6);
    }
    return run;
}

void Report(int units) {
    const Run run = Measure(units);
    const QString what = QStringLiteral("Overview, %1 polled units, 9600 baud: ").arg(units);
    if (!run.error.isEmpty()) {
        std::fprintf(stderr, "%d units: %s\n", units, qPrintable(run.error));
        Figure(what + QStringLiteral("latency"), QStringLiteral("run failed: ") + run.error,
               QStringLiteral("-"), Verdict::Failed);
        return;
    }
    const double line = CycleLineMs(units, kBaud);
    const double exchange = line / units;
    const double period = Median(run.periodMs);
    const double median = Median(run.latencyMs);
    const double worst = *std::max_element(run.latencyMs.begin(), run.latencyMs.end());
    ShareLatency(QStringLiteral("overview"), units, median, worst);
    std::printf(
        "%d units: %zu cycles, period median %.1f ms (line time %.1f ms, one exchange "
        "%.1f ms); latency median %.0f ms, max %.0f ms over %zu changes; CPU %.2f%%\n",
        units, run.periodMs.size(), period, line, exchange, median, worst, run.latencyMs.size(),
        run.cpuPercent);
    Figure(what + QStringLiteral("input change to lamp, median (max) of 50"),
           QStringLiteral("%1 ms (max %2 ms)").arg(median, 0, 'f', 0).arg(worst, 0, 'f', 0),
           QStringLiteral("<= cycle + one exchange = %1 ms").arg(period + exchange, 0, 'f', 0),
           AtMost(median, period + exchange));
    if (units >= 50)
        Figure(what + QStringLiteral("cycle / line time of its BITS exchanges"),
               QStringLiteral("%1 (%2 ms / %3 ms)")
                   .arg(period / line, 0, 'f', 3)
                   .arg(period, 0, 'f', 1)
                   .arg(line, 0, 'f', 1),
               QStringLiteral("<= 1.10"), AtMost(period / line, 1.10));
    else
        Figure(
            what + QStringLiteral("cycle against the 200 ms floor"),
            QStringLiteral("%1 ms (line time %2 ms)").arg(period, 0, 'f', 1).arg(line, 0, 'f', 1),
            QStringLiteral("200 ms +- 10 %"),
            period < 0 ? Verdict::Failed
                       : (period >= 180 && period <= 220 ? Verdict::Met : Verdict::Missed));
    Figure(what + QStringLiteral("console CPU, overview open"),
           QStringLiteral("%1 % of a core").arg(run.cpuPercent, 0, 'f', 2), QStringLiteral("< 2 %"),
           AtMost(run.cpuPercent, 1.999));
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
