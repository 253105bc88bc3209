// Exchanges per second of SendCommand through a network serial server against the same
// through a pseudo-terminal: one unpaced tally-sim serves both its pseudo-terminal and raw TCP
// on 127.0.0.1, and the two ports take turns in short slices, so whatever else the machine does
// falls on both alike.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "bench_common.h"
#include "link/command_exchange.h"
#include "platform/configured_port.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

namespace {

struct Client {
    std::unique_ptr<SerialPort> port;
    ScriptedDialogs dialogs;
    std::unique_ptr<CommandExchange> exchange;
    Tally tally;

    explicit Client(const QString& device) : port(MakeSerialPort(device, 1)) {
        exchange = std::make_unique<CommandExchange>(*port, dialogs);
        if (port->Open() != 0) {
            std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(port->DeviceName()),
                         qPrintable(port->ErrorText()));
            tally.failed = true;
        }
    }
    // SendCommand("VER") as often as it goes for one slice.
    void Slice() {
        tally.Slice([this] {
            if (exchange->SendCommand(QStringLiteral("VER")) && exchange->Response == "MAINV8")
                return true;
            std::fprintf(stderr, "exchange over %s failed: %s\n", qPrintable(port->DeviceName()),
                         qPrintable(exchange->IBuffer));
            return false;
        });
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) {
        std::fprintf(stderr, "tally-sim is not built\n");
        return 1;
    }
    const QString what =
        QStringLiteral("Exchange rate, unpaced sim: loopback TCP / pty, same console");
    SimProcess sim;
    if (!sim.Start({QStringLiteral("--listen"), QStringLiteral("0")}) || sim.ListenPort() <= 0) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
        Figure(what, QStringLiteral("run failed"), QStringLiteral("-"), Verdict::Failed);
        return 1;
    }
    Client pty(sim.LinkPath());
    Client tcp(QStringLiteral("tcp://127.0.0.1:%1").arg(sim.ListenPort()));
    for (int i = 0; i < kSlices && !pty.tally.failed && !tcp.tally.failed; ++i) {
        pty.Slice();
        QCoreApplication::processEvents();
        tcp.Slice();
        QCoreApplication::processEvents();
    }
    const double ptyRate = pty.tally.Rate();
    const double tcpRate = tcp.tally.Rate();
    std::printf("SendCommand(\"VER\") over a pty:          %8.1f exchanges/s\n", ptyRate);
    std::printf("SendCommand(\"VER\") over loopback TCP:   %8.1f exchanges/s\n", tcpRate);
    if (ptyRate <= 0 || tcpRate <= 0) {
        Figure(what, QStringLiteral("run failed"), QStringLiteral("-"), Verdict::Failed);
        return 1;
    }
    Figure(what,
           QStringLiteral("%1 (%2 / %3 exchanges/s)")
               .arg(tcpRate / ptyRate, 0, 'f', 2)
               .arg(tcpRate, 0, 'f', 0)
               .arg(ptyRate, 0, 'f', 0),
           QStringLiteral("-"), Verdict::None);
    return 0;
}
