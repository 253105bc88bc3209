// Wire efficiency at 9600 baud: how close the console comes to the line's own speed when it reads
// back a table of 999 entries and when it loads a 999-line tally matrix file into the controller.
//
// tally-sim paces only what it sends (10 bits a character); what the console writes reaches it
// at once. So the line time we compare with counts the controller's bytes only: every echo,
// reply line and terminator of the exchanges measured, counted exactly by replaying the lines
// the sim logged through the same controller model. The console's own bytes are reported
// beside it, but a real half-duplex wait for them is not in the measured time and so not in the
// denominator either.
//
// The console runs with the program's own timings (the pause before a read-back, the reply
// deadline, the probe's settling time), not the short ones of the tests. Nothing can beat the
// line, so a ratio below 1.000 means the benchmark measures something else: it is reported as a
// failed run, never as a figure.
//
// Beside each figure: a minimal raw client sending the very same lines to a second sim, paced
// and loaded the same way, which shows how much of the gap is the sim's and the pty's own.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "link/online_state.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "widgets/controls.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

constexpr int kOutputs = 999;
constexpr int kInputs = 200;
constexpr int kBaud = 9600;
constexpr double kCharSeconds = 10.0 / kBaud;

// Sends lines [from, to) of the log through a raw client; seconds taken, -1 on failure. The
// console's pause before a read-back is not the client's: it is added by the caller.
double RawReplay(const QString& device, const QStringList& log, qsizetype from, qsizetype to) {
    RawClient client(device);
    std::vector<QByteArray> lines;
    for (qsizetype i = from; i < to; ++i)
        lines.push_back(log[i].toLatin1() + "\r\n");
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray& line : lines)
        if (!client.Exchange(line)) return -1;
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void Failed(const QString& what, const QString& why) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(what), qPrintable(why));
    Figure(what, QStringLiteral("run failed: ") + why, QStringLiteral("1.000 to 1.03"),
           Verdict::Failed);
}

// Prints the details and the figure of one measured operation. `pauseSeconds` is the pause the
// program takes by design within the operation, added to the line time.
void Report(const QString& what, double seconds, double rawSeconds, const Traffic& t,
            double pauseSeconds) {
    if (t.sim <= 0) {
        Failed(what, QStringLiteral("the controller's bytes could not be counted"));
        return;
    }
    const double line = static_cast<double>(t.sim) * kCharSeconds + pauseSeconds;
    const double both = static_cast<double>(t.sim + t.console) * kCharSeconds + pauseSeconds;
    std::printf("%s\n", qPrintable(what));
    std::printf("  exchanges %lld, console wrote %lld bytes, controller sent %lld bytes\n",
                static_cast<long long>(t.lines), static_cast<long long>(t.console),
                static_cast<long long>(t.sim));
    std::printf("  measured %.3f s; line time of the controller's bytes%s %.3f s\n", seconds,
                pauseSeconds > 0 ? " + pause" : "", line);
    const double ratio = seconds / line;
    std::printf("  measured / line time        %.4f   (target 1.000 to 1.03)\n", ratio);
    std::printf("  a half-duplex line carrying both directions would take %.3f s\n", both);
    if (ratio < 1.0) {
        Failed(what, QStringLiteral("%1 of the line time, faster than the line: the benchmark "
                                    "does not measure the program as it runs")
                         .arg(ratio, 0, 'f', 4));
        return;
    }
    Figure(what + QStringLiteral(": time / line time (controller's bytes)"),
           QStringLiteral("%1 (%2 s / %3 s)")
               .arg(ratio, 0, 'f', 3)
               .arg(seconds, 0, 'f', 2)
               .arg(line, 0, 'f', 2),
           QStringLiteral("1.000 to 1.03"), AtMost(ratio, 1.03));
    if (rawSeconds >= 0) {
        rawSeconds += pauseSeconds;
        std::printf("  raw client, same lines, second sim: %.3f s (%.4f of the line time)\n",
                    rawSeconds, rawSeconds / line);
        std::printf("  console / raw client         %.4f\n", seconds / rawSeconds);
        Figure(what + QStringLiteral(": console / raw client, same lines"),
               QStringLiteral("%1 (raw client: %2 of the line time)")
                   .arg(seconds / rawSeconds, 0, 'f', 3)
                   .arg(rawSeconds / line, 0, 'f', 3),
               QStringLiteral("-"), Verdict::None);
    } else {
        std::printf("  raw client, same lines, second sim: failed\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    UseOffscreen(scratch.filePath(QStringLiteral("runtime")));
    QApplication app(argc, argv);
    const QString readBack = QStringLiteral("Read-back of 999 entries at 9600 baud");
    const QString load = QStringLiteral("Load of a 999-line file at 9600 baud");

    SimProcess sim;
    SimProcess reference;
    const QString table = sim.FilePath(QStringLiteral("table.vdk"));
    const QStringList args{QStringLiteral("--preload"), table, QStringLiteral("--baud"),
                           QString::number(kBaud)};
    if (WriteTallyFile(table, kOutputs, kInputs).isEmpty() || !sim.Start(args) ||
        !reference.Start(args)) {
        const QString why = sim.ErrorText() + reference.ErrorText();
        Failed(readBack, why);
        Failed(load, why);
        return 1;
    }

    MainRig rig;
    rig.timings = SessionTimings{};  // the program's own, not the tests' short ones
    rig.WriteIni(
        SampleIni(kOutputs, kInputs, QStringLiteral("CommDevice=%1\r\n").arg(sim.LinkPath())));
    QElapsedTimer clock;
    clock.start();
    const bool started = rig.Start(/*realPort=*/true);
    std::printf("start-up with its own read-back of the table: %.3f s\n", clock.elapsed() / 1e3);
    if (!started || !rig.window->Session().Link().IsOnline()) {
        Failed(readBack, QStringLiteral("the console did not come online"));
        Failed(load, QStringLiteral("the console did not come online"));
        return 1;
    }

    // The whole table read back, as "Refresh" and an online "Save" do.
    qsizetype mark = sim.LogLines().size();
    clock.restart();
    const ReadBackResult result = rig.window->Session().Table().ReadControllerTable();
    const double readSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    QStringList log = sim.LogLines();
    if (!result.Complete() || result.count != kOutputs) {
        Failed(readBack, QStringLiteral("read %1 entries, incomplete").arg(result.count));
    } else {
        Report(readBack, readSeconds, RawReplay(reference.LinkPath(), log, mark, log.size()),
               CountTraffic(table, log, mark, log.size()), ReadBack::kPauseMs / 1e3);
    }

    // The "Load" button with the same file: Init, the units enabled, one Map per line and an
    // AND or OR after every tenth.
    mark = log.size();
    rig.dialogs.fileAnswers = {table};
    clock.restart();
    rig.window->Session().Files().LoadMatrix();
    const double loadSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    log = sim.LogLines();
    const QString error = rig.window->Face().lblError->text();
    if (!rig.dialogs.boxes.isEmpty() || error == QStringLiteral("Comm Error!")) {
        Failed(load, rig.dialogs.boxes.isEmpty() ? error : rig.dialogs.boxes.last().text);
    } else {
        Report(load, loadSeconds, RawReplay(reference.LinkPath(), log, mark, log.size()),
               CountTraffic(table, log, mark, log.size()), 0);
    }
    return 0;
}
