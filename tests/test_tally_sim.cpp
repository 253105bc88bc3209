// tally-sim over a real pseudo-terminal, driven with plain POSIX calls as a serial device.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <cerrno>

#include "support/sim_process.h"

using vendra::SimProcess;

namespace {

// The link opened like the console opens its port: raw, no controlling terminal.
class Device {
public:
    explicit Device(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Device() {
        if (fd_ >= 0) ::close(fd_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    bool Write(const QByteArray& bytes) {
        return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Reads until a "." arrives (included) or the time is up; stops early on a hang-up.
    QByteArray ReadReply(int timeoutMs = 3000) { return Read(timeoutMs, true); }
    // Everything that arrives within the time.
    QByteArray ReadFor(int ms) { return Read(ms, false); }

    QByteArray Exchange(const QByteArray& command, int timeoutMs = 3000) {
        if (!Write(command + "\r\n")) return {};
        return ReadReply(timeoutMs);
    }

    bool hungUp = false;

private:
    QByteArray Read(int timeoutMs, bool untilDot) {
        QByteArray got;
        const QDeadlineTimer deadline(timeoutMs);
        while (!(untilDot && got.endsWith('.'))) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char ch = 0;
            // One character at a time, so nothing after the "." is taken.
            const ssize_t n = ::read(fd_, &ch, 1);
            if (n == 1) {
                got += ch;
            } else if (n == 0 || errno != EAGAIN) {
                hungUp = true;
                break;
            }
        }
        return got;
    }

    int fd_ = -1;
};

QByteArray Answer(const QByteArray& command, const QByteArray& reply) {
    return command + "\r\n" + reply + "\r\n.";
}

bool WaitUntilGone(const QString& path, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (QFileInfo(path).isSymLink() || QFileInfo::exists(path)) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace

class TestTallySim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exchange_data();
    void exchange();
    void logRecordsLines();
    void reopenAfterClose();
    void stopRemovesLink();
    void replacesOldSymlink();
    void refusesRegularFile();
    void hangupAfter();
    void silentAfter();
    void pacedAtBaudRate();
    void delayBeforeAnswer();
    void badOptions_data();
    void badOptions();
};

void TestTallySim::exchange_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");  // up to and including the first "."

    const QString preload = QStringLiteral(VENDRA_FIXTURES "/sim_preload.vdk");
    QTest::newRow("version") << QStringList{} << QByteArray("VER") << Answer("VER", "MAINV8");
    QTest::newRow("the console's probe")
        << QStringList{} << QByteArray("\rVER") << Answer("VER", "MAINV8");
    QTest::newRow("empty line") << QStringList{} << QByteArray() << QByteArray("\r\n.");
    QTest::newRow("own version text") << QStringList{"--version", "MAINV9 SIM"} << QByteArray("VER")
                                      << Answer("VER", "MAINV9 SIM");
    QTest::newRow("preloaded entry") << QStringList{"--preload", preload} << QByteArray("RawMap 2")
                                     << Answer("RawMap 2", "[1][4][2][18][1][4][9][2]");
    QTest::newRow("preloaded table ends")
        << QStringList{"--preload", preload} << QByteArray("RawMap 3")
        << Answer("RawMap 3", "[0][0][0][0][0][0][0][0]");
    QTest::newRow("preloaded output")
        << QStringList{"--preload", preload} << QByteArray("GetMap 1  3")
        << Answer("GetMap 1  3", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("units enabled at start")
        << QStringList{"--units", "2,3"} << QByteArray("GSTAT 3")
        << Answer("GSTAT 3", "UNIT 3 OK IN 0000 OUT 0000");
    QTest::newRow("dot inside the reply ends it early")
        << QStringList{"--fault", "dot-in-reply"} << QByteArray("VER")
        << QByteArray("VER\r\nMAIN.");
    QTest::newRow("no terminator") << QStringList{"--fault", "no-terminator"} << QByteArray("VER")
                                   << QByteArray("VER\r\nMAINV8\r\n");
    QTest::newRow("silent") << QStringList{"--fault", "silent"} << QByteArray("VER")
                            << QByteArray();
}

void TestTallySim::exchange() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    SimProcess sim;
    QVERIFY2(sim.Start(args), qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QVERIFY(device.IsOpen());
    const int wait = expected.endsWith('.') ? 3000 : 400;
    QCOMPARE(device.Exchange(command, wait), expected);
}

void TestTallySim::logRecordsLines() {
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QVERIFY(device.IsOpen());
    QCOMPARE(device.Exchange(""), QByteArray("\r\n."));
    QCOMPARE(device.Exchange("\rVER"), Answer("VER", "MAINV8"));
    QCOMPARE(device.Exchange("Map 1 3 2 17"), Answer("Map 1 3 2 17", "OK"));
    QCOMPARE(device.Exchange("Uenable  3"), Answer("Uenable  3", "OK"));
    // Each line is in the file by the time its answer has arrived.
    QCOMPARE(sim.LogLines(), (QStringList{"", "VER", "Map 1 3 2 17", "Uenable  3"}));
}

void TestTallySim::reopenAfterClose() {
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    for (int round = 0; round < 3; ++round) {
        Device device(sim.LinkPath());
        QVERIFY(device.IsOpen());
        const QByteArray command = "RawMap " + QByteArray::number(round + 1);
        QCOMPARE(device.Exchange(command), Answer(command, "[0][0][0][0][0][0][0][0]"));
    }
    QVERIFY(sim.IsRunning());
}

void TestTallySim::stopRemovesLink() {
    SimProcess sim;
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    QVERIFY(sim.Output().contains("tally-sim: serving on " + sim.LinkPath().toLocal8Bit() +
                                  " -> /dev/pts/"));
    sim.Stop();
    QCOMPARE(sim.ExitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.ExitCode(), 0);
    QVERIFY(!QFileInfo(sim.LinkPath()).isSymLink());
}

void TestTallySim::replacesOldSymlink() {
    SimProcess sim;
    // A link left behind by a simulator that was killed.
    QVERIFY(QFile::link("/nonexistent/pts", sim.LinkPath()));
    QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
    QVERIFY(QFileInfo(sim.LinkPath()).symLinkTarget().startsWith("/dev/pts/"));
    Device device(sim.LinkPath());
    QCOMPARE(device.Exchange("VER"), Answer("VER", "MAINV8"));
}

void TestTallySim::refusesRegularFile() {
    SimProcess sim;
    QFile file(sim.LinkPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QVERIFY(!sim.Start({}, 2000));
    QVERIFY(sim.WaitForExit(2000));
    QCOMPARE(sim.ExitCode(), 1);
    QVERIFY(sim.Output().contains("not a symlink"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TestTallySim::hangupAfter() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--hangup-after", "2"}), qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QVERIFY(device.IsOpen());
    QCOMPARE(device.Exchange("VER"), Answer("VER", "MAINV8"));
    QCOMPARE(device.Exchange("BITS 1"),
             Answer("BITS 1", "0000 0000 0000 0000 0000 0000 0000 0000"));
    // Like a pulled adapter: the device reports the hang-up and its path goes away.
    QVERIFY(WaitUntilGone(sim.LinkPath(), 3000));
    QVERIFY(sim.WaitForExit(3000));
    QCOMPARE(sim.ExitCode(), 0);
    device.Write("VER\r\n");
    QCOMPARE(device.ReadFor(500), QByteArray());
    QVERIFY(device.hungUp);
}

void TestTallySim::silentAfter() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--silent-after", "1"}), qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QCOMPARE(device.Exchange("VER"), Answer("VER", "MAINV8"));
    QCOMPARE(device.Exchange("VER", 400), QByteArray());
    // Heard though not answered.
    QCOMPARE(sim.LogLines(), (QStringList{"VER", "VER"}));
}

void TestTallySim::pacedAtBaudRate() {
    // 98 characters at 9600 baud, 10 bits each: about 102 ms on the line.
    const QByteArray version = "MAIN" + QByteArray(86, 'X');
    const QByteArray expected = Answer("VER", version);
    QCOMPARE(expected.size(), 98);
    SimProcess sim;
    QVERIFY2(sim.Start({"--baud", "9600", "--version", QString::fromLatin1(version)}),
             qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(device.Exchange("VER"), expected);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 51, qPrintable(QString::number(elapsed)));
}

void TestTallySim::delayBeforeAnswer() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--delay", "300"}), qPrintable(sim.ErrorText()));
    Device device(sim.LinkPath());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(device.Exchange("VER"), Answer("VER", "MAINV8"));
    QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
}

void TestTallySim::badOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString link = QStringLiteral("/nonexistent/ttySIM");
    QTest::newRow("no link") << QStringList{} << "--link PATH is required";
    QTest::newRow("unknown option")
        << QStringList{"--link", link, "--loud"} << "unknown option --loud";
    QTest::newRow("missing value")
        << QStringList{"--link", link, "--baud"} << "--baud needs a value";
    QTest::newRow("baud not a number") << QStringList{"--link", link, "--baud", "fast"} << "--baud";
    QTest::newRow("unknown fault") << QStringList{"--link", link, "--fault", "smoke"} << "--fault";
    QTest::newRow("negative delay") << QStringList{"--link", link, "--delay", "-5"} << "--delay";
    QTest::newRow("hang up before anything")
        << QStringList{"--link", link, "--hangup-after", "0"} << "--hangup-after";
    QTest::newRow("dot in the version")
        << QStringList{"--link", link, "--version", "MAIN.V8"} << "--version";
    QTest::newRow("unit 0") << QStringList{"--link", link, "--units", "1,0"} << "--units";
    QTest::newRow("TCP port out of range")
        << QStringList{"--link", link, "--listen", "65536"} << "--listen";
    QTest::newRow("unreadable preload")
        << QStringList{"--link", link, "--preload", "/nonexistent/table.vdk"} << "table.vdk";
}

void TestTallySim::badOptions() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VENDRA_TALLY_SIM), args);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString output = QString::fromLocal8Bit(process.readAll());
    QVERIFY2(output.contains(message), qPrintable(output));
}

QTEST_GUILESS_MAIN(TestTallySim)
#include "test_tally_sim.moc"
