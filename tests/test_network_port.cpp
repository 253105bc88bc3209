// The console against a controller behind a network serial server, over loopback only: the
// real main window with the real network port, against tally-sim's own TCP side and against
// ser2net serving tally-sim's pseudo-terminal as raw TCP and as Telnet with COM port control.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>
#include <thread>

#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "platform/network_serial_port.h"
#include "platform/telnet_codec.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// The controller's table at start, in its own order.
const QByteArray kStartTable =
    "[1][7][2][3][1][0][0][0]\r\n"
    "[1][2][2][5][1][2][6][1]\r\n"
    "[1][4][2][8][1][2][2][2]\r\n";
// What start-up sends before its read-back: the probe and the version request.
const QStringList kProbeAndVersion = {"", "VER", "", "", "VER", "", ""};
// Far below a core kept busy, far above what blocked waits cost even under the sanitizers.
constexpr double kIdleCpuLimit = 0.5;

enum class Server { TallySim, Ser2netRaw, Ser2netTelnet };
// What is at the far end when the console cannot use it.
enum class FarEnd { Nobody, NeverAccepts, RawServer, RefusesComPort };

// A port on 127.0.0.1 that nobody listens on at the moment of asking.
quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// ser2net serving one pseudo-terminal on 127.0.0.1, configured in a private folder.
class Ser2net {
public:
    ~Ser2net() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    // The line starts at 1200 baud, 7 data bits, even parity, 2 stop bits, so that only a
    // client's COM port control can make it 9600 8N1.
    bool Start(const QString& program, const QString& device, bool telnet, QString& why) {
        port_ = FreePort();
        const QString config = dir_.filePath(QStringLiteral("ser2net.yaml"));
        const QString accepter = QStringLiteral("%1tcp,127.0.0.1,%2")
                                     .arg(telnet ? QStringLiteral("telnet(rfc2217),") : QString())
                                     .arg(port_);
        const QByteArray yaml = QStringLiteral(
                                    "%YAML 1.1\n---\nconnection: &tally\n"
                                    "    accepter: %1\n"
                                    "    connector: serialdev,%2,1200e72,local\n")
                                    .arg(accepter, device)
                                    .toUtf8();
        if (port_ == 0 || !Put(config, yaml)) {
            why = QStringLiteral("no free port or no config in %1").arg(dir_.path());
            return false;
        }
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, {"-n", "-u", "-c", config, "-P", dir_.filePath("ser2net.pid")});
        // Ready when it takes a connection; a bounded number of short tries.
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port_);
            if (probe.waitForConnected(200)) {
                probe.abort();
                return true;
            }
            process_.waitForFinished(50);
        }
        why = QStringLiteral("ser2net did not listen on 127.0.0.1:%1: %2")
                  .arg(port_)
                  .arg(QString::fromLocal8Bit(process_.readAll()));
        return false;
    }
    quint16 Port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

// A listening socket on a free port of 127.0.0.1, into `fd`; the port, or 0 when it failed.
quint16 ListenOnLoopback(int& fd, int backlog) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// A listener on 127.0.0.1 whose queue of one is taken by a connection it never accepts.
class StuffedListener {
public:
    ~StuffedListener() {
        if (fd_ >= 0) close(fd_);
    }
    quint16 Open() {
        const quint16 port = ListenOnLoopback(fd_, 0);
        if (port == 0) return 0;
        filler_.connectToHost(QHostAddress::LocalHost, port);
        return filler_.waitForConnected(2000) ? port : 0;
    }

private:
    int fd_ = -1;
    QTcpSocket filler_;
};

// A Telnet server on 127.0.0.1 that takes up COM port control (or refuses it) and keeps every
// byte its one client sends until the client hangs up, for at most 5 s.
class RecordingTelnetServer {
public:
    explicit RecordingTelnetServer(bool takesComPort = true) : takesComPort_(takesComPort) {}
    ~RecordingTelnetServer() {
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    quint16 Start() {
        const quint16 port = ListenOnLoopback(fd_, 1);
        if (port == 0) return 0;
        thread_ = std::thread([this] { Serve(); });
        return port;
    }
    // Everything the client sent, once it has hung up or the time is over.
    QByteArray Received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    void Serve() {
        const QDeadlineTimer deadline(5000);
        pollfd listening{fd_, POLLIN, 0};
        if (poll(&listening, 1, static_cast<int>(deadline.remainingTime())) != 1) return;
        const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        const QByteArray offer("\xFF\xFB\x2C");
        const QByteArray accept(takesComPort_ ? "\xFF\xFD\x2C" : "\xFF\xFE\x2C");
        bool accepted = false;
        char buffer[256];
        pollfd c{client, POLLIN, 0};
        while (poll(&c, 1, static_cast<int>(deadline.remainingTime())) == 1) {
            const ssize_t n = read(client, buffer, sizeof buffer);
            if (n <= 0) break;
            received_.append(buffer, n);
            if (!accepted && received_.contains(offer))
                accepted = write(client, accept.constData(), accept.size()) == accept.size();
        }
        close(client);
    }

    bool takesComPort_ = true;
    int fd_ = -1;
    std::thread thread_;
    QByteArray received_;
};

// The COM port control subnegotiations in a client's Telnet stream: command and value (255
// undoubled). One that does not end is left out.
QMap<int, QByteArray> ComPortCommands(const QByteArray& stream) {
    QMap<int, QByteArray> commands;
    const QByteArray start("\xFF\xFA\x2C");
    for (qsizetype at = stream.indexOf(start); at >= 0; at = stream.indexOf(start, at + 1)) {
        QByteArray body;
        bool ended = false;
        for (qsizetype i = at + start.size(); i + 1 < stream.size() && !ended; ++i) {
            if (stream[i] == '\xFF') ended = stream[++i] == '\xF0';
            if (!ended) body += stream[i];
        }
        if (ended && !body.isEmpty()) commands.insert(static_cast<uchar>(body[0]), body.mid(1));
    }
    return commands;
}

QStringList Since(const SimProcess& sim, qsizetype from) {
    return sim.LogLines().mid(from);
}

void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

void TypeMapping(frmKavroMain& w, int row, int input) {
    w.Face().List1->SetSelectedIndex(row);
    w.Face().txtInput->setText(QString::number(input));
    QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
}

// The line settings of the pseudo-terminal behind `link`, as the server left them.
std::optional<termios> LineSettings(const QString& link) {
    const int fd = open(QFile::encodeName(link).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    termios t{};
    const bool ok = tcgetattr(fd, &t) == 0;
    close(fd);
    return ok ? std::optional<termios>(t) : std::nullopt;
}

QString Ini(const QString& device) {
    return SampleIni(10, 8, QStringLiteral("CommDevice=%1\r\n").arg(device));
}

}  // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(FarEnd)

class TestNetworkPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    // Start-up read-back, a mapping and a save, through each kind of server.
    void readBackMapAndSave_data() {
        QTest::addColumn<Server>("server");
        QTest::newRow("tally-sim, raw TCP") << Server::TallySim;
        QTest::newRow("ser2net, raw TCP") << Server::Ser2netRaw;
        QTest::newRow("ser2net, Telnet with COM port control") << Server::Ser2netTelnet;
    }
    void readBackMapAndSave() {
        QFETCH(Server, server);
        QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (ser2net.isEmpty())  // the system folders are not on every user's PATH
            ser2net = QStandardPaths::findExecutable(
                QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (server != Server::TallySim && ser2net.isEmpty())
            QSKIP("ser2net is not installed (scripts/install-deps installs it)");

        SimProcess sim;
        const QString start = sim.FilePath(QStringLiteral("start.vdk"));
        QVERIFY(Put(start, kStartTable));
        QStringList args{QStringLiteral("--preload"), start};
        if (server == Server::TallySim) args << QStringLiteral("--listen") << QStringLiteral("0");
        QVERIFY2(sim.Start(args), qPrintable(sim.ErrorText()));

        Ser2net relay;
        QString device;
        if (server == Server::TallySim) {
            QVERIFY(sim.ListenPort() > 0);
            device = QStringLiteral("tcp://127.0.0.1:%1").arg(sim.ListenPort());
        } else {
            const bool telnet = server == Server::Ser2netTelnet;
            QString why;
            QVERIFY2(relay.Start(ser2net, sim.LinkPath(), telnet, why), qPrintable(why));
            device = QStringLiteral("%1://127.0.0.1:%2")
                         .arg(telnet ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
                         .arg(relay.Port());
        }

        MainRig rig;
        rig.WriteIni(Ini(device));
        rig.dialogs.answers = {Answer::No, Answer::Ok, Answer::Ok};  // should the link fail
        QVERIFY(rig.Start(true));
        frmKavroMain& w = *rig.window;
        QCOMPARE(rig.dialogs.Titles(), QStringList());
        rig.dialogs.answers.clear();
        QVERIFY(w.Session().Link().IsOnline());
        QCOMPARE(sim.LogLines(), kProbeAndVersion + QStringList({"Comp", "RawMap 1", "RawMap 2",
                                                                 "RawMap 3", "RawMap 4"}));
        QCOMPARE(rig.Row(1), QStringLiteral("Out 2\t 5\t&\t 6"));
        QCOMPARE(rig.Row(3), QStringLiteral("Out 4\t 8\t||\t 2"));
        if (server == Server::Ser2netTelnet) {
            const std::optional<termios> line = LineSettings(sim.LinkPath());
            QVERIFY(line);
            QCOMPARE(cfgetospeed(&*line), speed_t(B9600));
            QCOMPARE(line->c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
        }

        qsizetype mark = sim.LogLines().size();
        TypeMapping(w, 0, 4);
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 4\t\t"));
        QCOMPARE(w.Face().lblError->text(), QString());
        QCOMPARE(Since(sim, mark), QStringList{"Map 1 1 2 4"});

        const QString saved = rig.dir.filePath(QStringLiteral("saved.vdk"));
        rig.dialogs.fileAnswers = {saved};
        Click(w.Face().cmdSaveMatrix);
        QCOMPARE(Contents(saved), kStartTable + "[1][1][2][4][1][0][0][0]\r\n");
        QCOMPARE(w.Face().lblError->text(), QString());
        QCOMPARE(rig.dialogs.Titles(), QStringList());
    }

    // What the console asks of the server's line, as it goes over the wire: a pseudo-terminal
    // behind a real server reports 8 data bits and no parity whatever it was asked. A 255 in a
    // command goes out doubled, or the server would take it for the start of a Telnet command.
    void comPortSettingsSent() {
        RecordingTelnetServer server;
        const quint16 port = server.Start();
        QVERIFY(port != 0);
        {
            NetworkSerialPort link(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port));
            QCOMPARE(link.Open(), 0);
            QVERIFY(link.Write("SEND \xFF\r\n"));
        }  // closed: the server's read ends
        QVERIFY(server.Received().endsWith("SEND \xFF\xFF\r\n"));
        const QMap<int, QByteArray> sent = ComPortCommands(server.Received());
        const struct {
            const char* what;
            int command;
            QByteArray value;
        } wanted[] = {{"baud rate 9600", 1, QByteArray("\0\0\x25\x80", 4)},
                      {"data size 8", 2, "\x08"},
                      {"parity none", 3, "\x01"},
                      {"stop size 1", 4, "\x01"},
                      {"flow control none", 5, "\x01"}};
        for (const auto& w : wanted)
            QVERIFY2(sent.value(w.command) == w.value,
                     qPrintable(QStringLiteral("%1: sent %2")
                                    .arg(QString::fromLatin1(w.what),
                                         QString::fromLatin1(sent.value(w.command).toHex(' ')))));
        QCOMPARE(sent.size(), 5);
    }

    // No server, one that never takes the connection, or a raw server asked for Telnet:
    // "Port Conflict" names HOST:PORT and the reason, then start-up goes on offline as with a
    // missing device.
    void serverThatCannotBeReached_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<FarEnd>("farEnd");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("refused") << "tcp://127.0.0.1:%1" << FarEnd::Nobody
                                 << "127.0.0.1:%1: Connection refused";
        QTest::newRow("refused, Telnet")
            << "RFC2217://127.0.0.1:%1" << FarEnd::Nobody << "127.0.0.1:%1: Connection refused";
        QTest::newRow("no answer") << "rfc2217://127.0.0.1:%1" << FarEnd::NeverAccepts
                                   << "127.0.0.1:%1: No answer within 3 s";
        QTest::newRow("no COM port control")
            << "rfc2217://127.0.0.1:%1" << FarEnd::RawServer
            << "127.0.0.1:%1: The server did not take up COM port control within 3 s";
        QTest::newRow("COM port control refused")
            << "rfc2217://127.0.0.1:%1" << FarEnd::RefusesComPort
            << "127.0.0.1:%1: The server refuses COM port control (for a raw server use tcp://)";
        QTest::newRow("no port") << "tcp://127.0.0.1" << FarEnd::Nobody
                                 << "tcp://127.0.0.1: expected tcp://HOST:PORT with a port from 1 "
                                    "to 65535";
    }
    void serverThatCannotBeReached() {
        QFETCH(QString, device);
        QFETCH(FarEnd, farEnd);
        QFETCH(QString, lastLine);
        StuffedListener listener;
        RecordingTelnetServer refusing(false);
        SimProcess sim;
        quint16 port = 0;
        if (farEnd == FarEnd::RefusesComPort) port = refusing.Start();
        if (farEnd == FarEnd::Nobody) port = FreePort();
        if (farEnd == FarEnd::NeverAccepts) port = listener.Open();
        if (farEnd == FarEnd::RawServer && sim.Start({"--listen", "0"}))
            port = static_cast<quint16>(sim.ListenPort());
        QVERIFY(port != 0);
        MainRig rig;
        rig.WriteIni(Ini(device.contains("%1") ? device.arg(port) : device));
        rig.dialogs.answers = {Answer::Ok, Answer::No, Answer::Ok};
        QVERIFY(rig.Start(true));
        QCOMPARE(rig.dialogs.Titles(),
                 QStringList({"Port Conflict", "Communication Error", "Communication Error"}));
        const QStringList lines = rig.dialogs.boxes[0].text.split(QLatin1Char('\r'));
        QCOMPARE(lines.mid(0, 3), QStringList({"The Serial Com port 1", "Is not available",
                                               "Please correct and try again"}));
        QCOMPARE(lines.last(), lastLine.contains("%1") ? lastLine.arg(port) : lastLine);
        QVERIFY(!rig.window->Session().Link().IsOnline());
    }

    // The server drops the connection during "Refresh" and is gone a while: the read-back
    // stops, a command fails at once with "Comm Error!", nothing spins. Once the server is
    // back, the next command connects again and goes through.
    void droppedConnectionHealsOnTheNextCommand() {
        SimProcess sim;
        const QString start = sim.FilePath(QStringLiteral("start.vdk"));
        QVERIFY(Put(start, kStartTable));
        // Start-up (probe, version, "Comp", four read-back lines), then "Comp" and one entry
        // answered.
        const int startup = static_cast<int>(kProbeAndVersion.size()) + 5;
        QVERIFY2(sim.Start({"--preload", start, "--listen", "0", "--hangup-after",
                            QString::number(startup + 2)}),
                 qPrintable(sim.ErrorText()));
        const int port = sim.ListenPort();
        QVERIFY(port > 0);
        MainRig rig;
        rig.WriteIni(Ini(QStringLiteral("tcp://127.0.0.1:%1").arg(port)));
        QVERIFY(rig.Start(true));
        frmKavroMain& w = *rig.window;
        QVERIFY(w.Session().Link().IsOnline());

        Click(w.Face().cmdRefresh);
        QVERIFY(sim.WaitForExit(5000));
        QCOMPARE(rig.dialogs.Titles(), QStringList{"Read-back incomplete"});
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t\t\t"));

        const double cpuBefore = CpuSeconds();
        QTest::qWait(1000);
        TypeMapping(w, 0, 5);
        QTest::qWait(300);
        const double cpu = CpuSeconds() - cpuBefore;
        QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QString::number(cpu)));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t\t\t"));  // it did not go out

        // Back on the same port: the next command connects and is answered.
        QVERIFY2(sim.Start({"--preload", start, "--listen", QString::number(port)}),
                 qPrintable(sim.ErrorText()));
        const qsizetype mark = sim.LogLines().size();
        TypeMapping(w, 0, 5);
        QCOMPARE(w.Face().lblError->text(), QString());
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 5\t\t"));
        QCOMPARE(Since(sim, mark), QStringList{"Map 1 1 2 5"});
        QVERIFY(w.Session().Link().IsOnline());
    }

    // The Telnet stream: 255 doubled both ways, commands and subnegotiations taken out even
    // when split across reads, option requests answered once, carriage return NUL undone.
    void telnetStream_data() {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("replies");
        const QByteArray iac(1, '\xFF');
        QTest::newRow("255 doubled, split") << QByteArrayList{"a\xFF",
                                                              "\xFF"
                                                              "b"}
                                            << QByteArray(
                                                   "a\xFF"
                                                   "b")
                                            << QByteArray();
        QTest::newRow("echo and go-ahead offers")
            << QByteArrayList{iac + "\xFB\x01" + iac + "\xFB\x03", "x" + iac + "\xFB\x03"}
            << QByteArray("x") << QByteArray(iac + "\xFE\x01" + iac + "\xFD\x03");
        QTest::newRow("terminal type asked, then asked again")
            << QByteArrayList{iac + "\xFD\x18" + iac, "\xFD\x18."} << QByteArray(".")
            << QByteArray(iac + "\xFC\x18" + iac + "\xFC\x18");
        QTest::newRow("binary asked twice each way")
            << QByteArrayList{iac + QByteArray("\xFD\0", 2) + iac + QByteArray("\xFB\0", 2),
                              iac + QByteArray("\xFD\0", 2) + iac + QByteArray("\xFB\0", 2)}
            << QByteArray()
            << QByteArray(iac + QByteArray("\xFB\0", 2) + iac + QByteArray("\xFD\0", 2));
        QTest::newRow("report with 255 inside, split")
            << QByteArrayList{"1" + iac + "\xFA\x2C\x6A\xFF", "\xFF" + iac + "\xF0" + "2"}
            << QByteArray("12") << QByteArray();
        QTest::newRow("CR NUL outside binary mode") << QByteArrayList{"A\r", QByteArray("\0B\0", 3)}
                                                    << QByteArray("A\rB\0", 4) << QByteArray();
    }
    void telnetStream() {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, replies);
        TelnetCodec codec;
        QByteArray gotData, gotReplies;
        for (const QByteArray& piece : pieces)
            gotData += codec.Decode(piece, gotReplies);
        QCOMPARE(gotData, data);
        QCOMPARE(gotReplies, replies);
        QCOMPARE(TelnetCodec::Escape("a\xFF"
                                     "b"),
                 QByteArray("a\xFF\xFF"
                            "b"));
    }
};

QTEST_MAIN(TestNetworkPort)
#include "test_network_port.moc"
