// Exchanges per second of SendCommand over a pseudo-terminal against an unpaced tally-sim,
// beside a minimal raw client on the same link, and what the console's waits cost in CPU.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "bench_common.h"
#include "link/command_exchange.h"
#include "platform/qt_serial_port.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

// SendCommand("VER") as often as it goes for one slice.
void ConsoleSlice(const QString& device, Tally& tally) {
    QtSerialPort port;
    port.SetDevicePath(device);
    ScriptedDialogs dialogs;
    CommandExchange exchange(port, dialogs);
    if (port.Open() != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(device),
                     qPrintable(port.ErrorText()));
        tally.failed = true;
        return;
    }
    tally.Slice([&] {
        if (exchange.SendCommand(QStringLiteral("VER")) && exchange.Response == "MAINV8")
            return true;
        std::fprintf(stderr, "console exchange failed: %s\n", qPrintable(exchange.IBuffer));
        return false;
    });
}

// The least a client can do (RawClient), as often as it goes for one slice.
void RawSlice(const QString& device, Tally& tally) {
    RawClient client(device);
    tally.Slice([&] { return client.Exchange("VER\r\n"); });
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) {
        std::fprintf(stderr, "tally-sim is not built\n");
        return 1;
    }

    SimProcess sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
        return 1;
    }
    Tally consoleTally;
    Tally rawTally;
    for (int i = 0; i < kSlices && !consoleTally.failed && !rawTally.failed; ++i) {
        ConsoleSlice(sim.LinkPath(), consoleTally);
        // What the port announced meanwhile is handled while the console is idle, as it would be.
        QCoreApplication::processEvents();
        RawSlice(sim.LinkPath(), rawTally);
    }
    const double console = consoleTally.Rate();
    const double raw = rawTally.Rate();
    std::printf("SendCommand(\"VER\") over a pty, unpaced sim: %8.1f exchanges/s\n", console);
    std::printf("raw client (write, read to \".\"), same sim: %8.1f exchanges/s\n", raw);
    const double ratio = console > 0 && raw > 0 ? console / raw : -1;
    if (ratio > 0) std::printf("console / raw:                              %8.2f\n", ratio);
    Figure(QStringLiteral("Exchange rate over a pty, unpaced sim: console / raw client"),
           QStringLiteral("%1 (%2 / %3 exchanges/s)")
               .arg(ratio, 0, 'f', 2)
               .arg(console, 0, 'f', 0)
               .arg(raw, 0, 'f', 0),
           QStringLiteral(">= 0.8"), AtLeast(ratio, 0.8));
    sim.Stop();

    // A controller that never answers: one full wait.
    const QString silentFigure = QStringLiteral("CPU of one 2 s wait on a silent controller");
    SimProcess silent;
    if (!silent.Start({QStringLiteral("--fault"), QStringLiteral("silent")})) {
        Figure(silentFigure, QStringLiteral("run failed"), QStringLiteral("< 1% of a core"),
               Verdict::Failed);
    } else {
        QtSerialPort port;
        port.SetDevicePath(silent.LinkPath());
        ScriptedDialogs dialogs;
        CommandExchange exchange(port, dialogs);
        port.Open();
        QElapsedTimer clock;
        clock.start();
        const double before = CpuSeconds();
        exchange.SendCommand(QStringLiteral("VER"));
        const double cpu = CpuSeconds() - before;
        const double wall = static_cast<double>(clock.elapsed()) / 1e3;
        std::printf("silent controller: wait %.3f s, CPU %.3f s\n", wall, cpu);
        Figure(silentFigure,
               QStringLiteral("%1 ms CPU in %2 s (%3% of a core)")
                   .arg(cpu * 1e3, 0, 'f', 1)
                   .arg(wall, 0, 'f', 2)
                   .arg(100 * cpu / wall, 0, 'f', 2),
               QStringLiteral("< 1% of a core"), AtMost(cpu / wall, 0.01));
    }

    // The controller hangs up: 10 s of an operator pressing a button every second, with the
    // event loop running in between.
    const QString hangupFigure =
        QStringLiteral("CPU of 10 s after a hang-up (a command a second, events in between)");
    SimProcess hangup;
    if (!hangup.Start()) {
        Figure(hangupFigure, QStringLiteral("run failed"), QStringLiteral("< 1% of a core"),
               Verdict::Failed);
    } else {
        QtSerialPort port;
        port.SetDevicePath(hangup.LinkPath());
        ScriptedDialogs dialogs;
        CommandExchange exchange(port, dialogs);
        port.Open();
        exchange.SendCommand(QStringLiteral("VER"));
        hangup.Stop();
        const double before = CpuSeconds();
        QElapsedTimer clock;
        clock.start();
        int commands = 0;
        while (clock.elapsed() < 10000) {
            exchange.SendCommand(QStringLiteral("VER"));
            ++commands;
            RunEventLoop(1000);
        }
        const double cpu = CpuSeconds() - before;
        const double wall = static_cast<double>(clock.elapsed()) / 1e3;
        std::printf("after hang-up: %d commands in %.3f s, CPU %.3f s, %d beeps\n", commands, wall,
                    cpu, dialogs.beeps);
        Figure(hangupFigure,
               QStringLiteral("%1 ms CPU in %2 s (%3% of a core)")
                   .arg(cpu * 1e3, 0, 'f', 1)
                   .arg(wall, 0, 'f', 2)
                   .arg(100 * cpu / wall, 0, 'f', 2),
               QStringLiteral("< 1% of a core"), AtMost(cpu / wall, 0.01));
    }
    return 0;
}
