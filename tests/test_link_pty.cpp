// The command exchange over a real pseudo-terminal, through QSerialPort, against the real
// tally-sim: what goes over the wire, the time-out, and what happens when the far end goes away
// and comes back. Waits must cost no CPU.
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTest>
#include <optional>

#include "link/command_exchange.h"
#include "platform/qt_serial_port.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/captions.h"

using namespace vendra;

namespace {

// CPU seconds (user and system) this process has used so far.
// Far below a core kept busy for the 2 s of a wait, far above what a blocked wait costs even
// under the sanitizers.
constexpr double kIdleCpuLimit = 0.5;

struct Link {
    QtSerialPort port;
    ScriptedDialogs dialogs;
    CommandExchange exchange{port, dialogs};
    QString errorLine;

    explicit Link(const QString& device) {
        port.SetDevicePath(device);
        QObject::connect(&exchange, &CommandExchange::ErrorReported, &exchange,
                         [this](const ErrorReport& e) { errorLine = ErrorCaption(e); });
    }
};

// tally-sim started with `args`, and the console's link opened on it.
struct SimLink {
    SimProcess sim;
    std::optional<Link> link;

    // False with the reason in `why` when the sim does not come up or the port does not open.
    bool Start(const QStringList& args, QString& why) {
        if (!sim.Start(args)) {
            why = sim.ErrorText();
            return false;
        }
        link.emplace(sim.LinkPath());
        if (link->port.Open() == 0) return true;
        why = link->port.ErrorText();
        return false;
    }
};

#define START(s, args)                                     \
    do {                                                   \
        QString why_;                                      \
        QVERIFY2((s).Start(args, why_), qPrintable(why_)); \
    } while (false)

}  // namespace

class TestLinkPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void linesOverTheWire();
    void replyCutAtFirstDot();
    void silentControllerTimesOutWithoutBurningCpu();
    void farEndGoneThenBack();
    void plannedHangUp();
    void controllerRestartedWhileIdle();
    void missingDeviceIsReported();
};

void TestLinkPty::initTestCase() {
    if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
}

// The sim's answers are its own tests' (test_tally_sim); here, that the lines cross the real
// port whole, one exchange after the other.
void TestLinkPty::linesOverTheWire() {
    SimLink s;
    START(s, {});
    Link& link = *s.link;
    QCOMPARE(link.port.DeviceName(), s.sim.LinkPath());

    QVERIFY(link.exchange.SendCommand(QString()));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("\r\n."));
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("VER\r\nMAINV8\r\n."));
    QCOMPARE(link.exchange.Response, QStringLiteral("MAINV8"));
    QVERIFY(link.exchange.SendCommand(QStringLiteral("Map 1 3 2 17")));
    QCOMPARE(link.errorLine, QString());
    QCOMPARE(link.dialogs.beeps, 0);
    QCOMPARE(s.sim.LogLines(),
             (QStringList{QString(), QStringLiteral("VER"), QStringLiteral("Map 1 3 2 17")}));
}

void TestLinkPty::replyCutAtFirstDot() {
    SimLink s;
    START(s, (QStringList{QStringLiteral("--fault"), QStringLiteral("dot-in-reply")}));
    Link& link = *s.link;
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("VER\r\nMAIN."));
    QCOMPARE(link.exchange.Response, QString());
    // Let the rest of the reply arrive: the next command's flush must throw it away.
    QTest::qWait(200);
    QVERIFY(link.exchange.SendCommand(QString()));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("\r\n."));
}

void TestLinkPty::silentControllerTimesOutWithoutBurningCpu() {
    SimLink s;
    START(s, (QStringList{QStringLiteral("--fault"), QStringLiteral("silent")}));
    SimProcess& sim = s.sim;
    Link& link = *s.link;

    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = CpuSeconds();
    QVERIFY(!link.exchange.SendCommand(QStringLiteral("VER")));
    const double cpu = CpuSeconds() - cpuBefore;
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= CommandExchange::kDeadlineMs && took < CommandExchange::kDeadlineMs + 3000,
             qPrintable(QString::number(took)));
    QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QString::number(cpu)));
    QCOMPARE(link.errorLine, QStringLiteral("Comm Error!"));
    QCOMPARE(link.dialogs.beeps, 1);
    QVERIFY(link.port.IsOpen());  // a silent controller is not a lost device
    QCOMPARE(sim.LogLines(), QStringList{QStringLiteral("VER")});
}

void TestLinkPty::farEndGoneThenBack() {
    SimLink s;
    START(s, {});
    SimProcess& sim = s.sim;
    Link& link = *s.link;
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));

    sim.Stop();
    QVERIFY(!sim.IsRunning());
    const double cpuBefore = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3; ++i) {
        link.errorLine.clear();
        QVERIFY(!link.exchange.SendCommand(QStringLiteral("VER")));
        QCOMPARE(link.errorLine, QStringLiteral("Comm Error!"));
        QVERIFY(link.exchange.IBuffer.isEmpty());
    }
    QCOMPARE(link.dialogs.beeps, 3);
    QVERIFY(!link.port.IsOpen());
    QVERIFY(!link.port.ErrorText().isEmpty());
    // Idle in the event loop with the device gone: nothing may keep waking it.
    QTest::qWait(1000);
    const double cpu = CpuSeconds() - cpuBefore;
    QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QString::number(cpu)));
    QVERIFY(clock.elapsed() < 3 * CommandExchange::kDeadlineMs + 1000 + 1000);

    // The controller comes back at the same link: the next command reopens and goes through.
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    link.errorLine = QStringLiteral("<unset>");
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QVERIFY(link.port.IsOpen());
    QCOMPARE(link.exchange.Response, QStringLiteral("MAINV8"));
    QCOMPARE(link.errorLine, QString());
    QCOMPARE(sim.LogLines().last(), QStringLiteral("VER"));
}

void TestLinkPty::plannedHangUp() {
    SimLink s;
    START(s, (QStringList{QStringLiteral("--hangup-after"), QStringLiteral("2")}));
    SimProcess& sim = s.sim;
    Link& link = *s.link;
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.Response, QStringLiteral("MAINV8"));
    // The second answer races the hang-up that follows it; only the commands after it count.
    link.exchange.SendCommand(QStringLiteral("VER"));
    QVERIFY(sim.WaitForExit(5000));

    // Idle in the event loop while the device goes away, then commands on the dead link.
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1000);
    const double idleCpu = CpuSeconds() - cpuBefore;
    QVERIFY2(idleCpu < kIdleCpuLimit, qPrintable(QString::number(idleCpu)));
    QVERIFY(!link.port.IsOpen());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!link.exchange.SendCommand(QStringLiteral("VER")));
    QVERIFY(!link.exchange.SendCommand(QStringLiteral("VER")));
    const double cpu = CpuSeconds() - cpuBefore;
    QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QString::number(cpu)));
    QVERIFY(clock.elapsed() < 2 * CommandExchange::kDeadlineMs + 3000);
    QCOMPARE(link.errorLine, QStringLiteral("Comm Error!"));
    QVERIFY(!link.port.IsOpen());
}

void TestLinkPty::controllerRestartedWhileIdle() {
    SimLink s;
    START(s, {});
    SimProcess& sim = s.sim;
    Link& link = *s.link;
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    sim.Stop();
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    // The old descriptor is dead; the first command finds that out and reopens the link.
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.Response, QStringLiteral("MAINV8"));
    QCOMPARE(link.dialogs.beeps, 0);
}

void TestLinkPty::missingDeviceIsReported() {
    QTemporaryDir dir;
    Link link(dir.filePath(QStringLiteral("no-such-tty")));
    QCOMPARE(link.port.Open(), -1);
    QVERIFY(!link.port.IsOpen());
    QVERIFY(!link.port.ErrorText().isEmpty());
    QVERIFY(!link.port.PermissionDenied());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!link.exchange.SendCommand(QStringLiteral("VER")));
    QVERIFY(clock.elapsed() < CommandExchange::kDeadlineMs);  // no wait for a port not there
    QCOMPARE(link.errorLine, QStringLiteral("Comm Error!"));
    QCOMPARE(link.dialogs.beeps, 1);
}

QTEST_GUILESS_MAIN(TestLinkPty)
#include "test_link_pty.moc"
