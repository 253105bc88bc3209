// The command exchange over a real pseudo-terminal, through QSerialPort, against the real
// tally-sim: what goes over the wire, the time-out, and what happens when the far end goes away
// and comes back. Waits must cost no CPU.
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTest>

#include "link/command_exchange.h"
#include "platform/qt_serial_port.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"
#include "support/test_files.h"

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
        QObject::connect(&exchange, &CommandExchange::ErrorLine, &exchange,
                         [this](const QString& t) { errorLine = t; });
    }
};

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

void TestLinkPty::linesOverTheWire() {
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);
    QCOMPARE(link.port.DeviceName(), sim.LinkPath());

    QVERIFY(link.exchange.SendCommand(QString()));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("\r\n."));
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("VER\r\nMAINV8\r\n."));
    QCOMPARE(link.exchange.Response, QStringLiteral("MAINV8"));
    QVERIFY(link.exchange.SendCommand(QStringLiteral("Map 1 3 2 17")));
    QCOMPARE(link.exchange.Response, QStringLiteral("OK"));
    QVERIFY(link.exchange.SendCommand(QStringLiteral("RawMap 1")));
    QCOMPARE(link.exchange.Response, QStringLiteral("[1][3][2][17][1][0][0][0]"));
    QCOMPARE(link.errorLine, QString());
    QCOMPARE(link.dialogs.beeps, 0);
    QCOMPARE(sim.LogLines(),
             (QStringList{QString(), QStringLiteral("VER"), QStringLiteral("Map 1 3 2 17"),
                          QStringLiteral("RawMap 1")}));
}

void TestLinkPty::replyCutAtFirstDot() {
    SimProcess sim;
    QVERIFY2(sim.Start({QStringLiteral("--fault"), QStringLiteral("dot-in-reply")}),
             qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);
    QVERIFY(link.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("VER\r\nMAIN."));
    QCOMPARE(link.exchange.Response, QString());
    // Let the rest of the reply arrive: the next command's flush must throw it away.
    QTest::qWait(200);
    QVERIFY(link.exchange.SendCommand(QString()));
    QCOMPARE(link.exchange.IBuffer, QStringLiteral("\r\n."));
}

void TestLinkPty::silentControllerTimesOutWithoutBurningCpu() {
    SimProcess sim;
    QVERIFY2(sim.Start({QStringLiteral("--fault"), QStringLiteral("silent")}),
             qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);

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
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);
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
    SimProcess sim;
    QVERIFY2(sim.Start({QStringLiteral("--hangup-after"), QStringLiteral("2")}),
             qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);
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
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    Link link(sim.LinkPath());
    QCOMPARE(link.port.Open(), 0);
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
