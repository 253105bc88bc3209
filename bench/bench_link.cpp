// Exchanges per second of SendCommand over a pseudo-terminal against an unpaced tally-sim,
// beside a minimal raw client on the same link, and what the console's waits cost in CPU.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "link/command_exchange.h"
#include "platform/qt_serial_port.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;

namespace {

constexpr int kRunMs = 3000;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// SendCommand("VER") as often as it goes for kRunMs; exchanges per second, or -1 on failure.
double ConsoleRate(const QString& device) {
    QtSerialPort port;
    port.SetDevicePath(device);
    ScriptedDialogs dialogs;
    CommandExchange exchange(port, dialogs);
    if (port.Open() != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(device),
                     qPrintable(port.ErrorText()));
        return -1;
    }
    int count = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kRunMs) {
        if (!exchange.SendCommand(QStringLiteral("VER")) || exchange.Response != "MAINV8") {
            std::fprintf(stderr, "console exchange %d failed: %s\n", count,
                         qPrintable(exchange.IBuffer));
            return -1;
        }
        ++count;
    }
    return count * 1000.0 / static_cast<double>(clock.elapsed());
}

// The least a client can do: write the line, read until the first ".".
double RawRate(const QString& device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    static const char line[] = "VER\r\n";
    int count = 0;
    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    while (ok && clock.elapsed() < kRunMs) {
        ok = ::write(fd, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1);
        bool done = false;
        while (ok && !done) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) {
                ok = false;
                break;
            }
            char buffer[256];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            ok = got > 0;
            done = ok && std::memchr(buffer, '.', static_cast<size_t>(got)) != nullptr;
        }
        if (ok) ++count;
    }
    ::close(fd);
    return ok ? count * 1000.0 / static_cast<double>(clock.elapsed()) : -1;
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
    const double console = ConsoleRate(sim.LinkPath());
    const double raw = RawRate(sim.LinkPath());
    std::printf("SendCommand(\"VER\") over a pty, unpaced sim: %8.1f exchanges/s\n", console);
    std::printf("raw client (write, read to \".\"), same sim: %8.1f exchanges/s\n", raw);
    if (console > 0 && raw > 0)
        std::printf("console / raw:                              %8.2f\n", console / raw);
    sim.Stop();

    // A controller that never answers: one full wait.
    SimProcess silent;
    if (silent.Start({QStringLiteral("--fault"), QStringLiteral("silent")})) {
        QtSerialPort port;
        port.SetDevicePath(silent.LinkPath());
        ScriptedDialogs dialogs;
        CommandExchange exchange(port, dialogs);
        port.Open();
        QElapsedTimer clock;
        clock.start();
        const double before = CpuSeconds();
        exchange.SendCommand(QStringLiteral("VER"));
        std::printf("silent controller: wait %lld ms, CPU %.3f s\n",
                    static_cast<long long>(clock.elapsed()), CpuSeconds() - before);
    }

    // The controller hangs up: 10 s of an operator pressing a button every second, with the
    // event loop running in between.
    SimProcess hangup;
    if (hangup.Start()) {
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
        std::printf("after hang-up: %d commands in %lld ms, CPU %.3f s, %d beeps\n", commands,
                    static_cast<long long>(clock.elapsed()), CpuSeconds() - before, dialogs.beeps);
    }
    return 0;
}
