// The tally out end to end: tally-sim on a pseudo-terminal, the console's session publishing
// from its lamp watch, an input changed through tally-sim's input FIFO. Receivers: a version 3.1
// decoder written here from the packet layout, over UDP; the tsl-umd-v5 npm package as a UDP and
// a TCP listener (skipped where node or the package is absent); and TCP receivers that are down,
// close at once, or accept and never read.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>
#include <map>

#include "link/input_poll.h"
#include "session/console_session.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;

namespace {

constexpr int kWaitMs = 15000;
const QString kReceiverDir = QStringLiteral(VENDRA_FIXTURES "/../tally_receiver");

// Output n (unit 1 channel n) follows input n: unit 2 channel n for n <= 32, unit 3 after.
QString Ini(const QString& device, int outputs, const QString& tallyOut,
            const QString& prefix = QStringLiteral("Cam")) {
    QString ini = QStringLiteral(
                      "[Vendra]\r\nSystem=Out\r\nCommPort=1\r\nEnabledUnits=1\r\n"
                      "CommDevice=%1\r\n")
                      .arg(device);
    for (int n = 1; n <= outputs; ++n)
        ini += QStringLiteral("Output %1=%2 %1,1,%1\r\nInput %1=In %1,%3,%4\r\n")
                   .arg(n)
                   .arg(prefix)
                   .arg(n <= 32 ? 2 : 3)
                   .arg((n - 1) % 32 + 1);
    return ini + QStringLiteral("[Tally Out]\r\nRefresh=1\r\n") + tallyOut;
}

QByteArray Table(int outputs) {
    QByteArray t;
    for (int n = 1; n <= outputs; ++n)
        t += QStringLiteral("[1][%1][%2][%3][1][0][0][0]\r\n")
                 .arg(n)
                 .arg(n <= 32 ? 2 : 3)
                 .arg((n - 1) % 32 + 1)
                 .toLatin1();
    return t;
}

// A line for tally-sim's input FIFO: these channels of the unit on, the others off.
QByteArray InputLine(int unit, quint32 bits) {
    QByteArray line = QByteArray::number(unit) + ' ';
    for (int c = 32; c >= 1; --c)
        line += (bits >> (c - 1)) & 1u ? '1' : '0';
    return line + '\n';
}

// A version 3.1 packet read from its layout: 18 bytes; address + 0x80; control byte with the
// tallies in bits 0-3, the brightness in bits 4-5, bits 6-7 clear; 16 printable characters.
struct V31 {
    bool ok = false;
    int address = -1;
    int tallies = 0;
    int brightness = 0;
    QString text;
};
V31 DecodeV31(const QByteArray& p) {
    V31 d;
    if (p.size() != 18 || !(quint8(p[0]) & 0x80) || (quint8(p[1]) & 0xC0)) return d;
    for (char c : p.mid(2))
        if (c < 0x20 || c > 0x7E) return d;
    d = {true, quint8(p[0]) - 0x80, quint8(p[1]) & 0x0F, (quint8(p[1]) >> 4) & 3,
         QString::fromLatin1(p.mid(2))};
    return d;
}

// The session that owns the line, as the console runs it, against tally-sim.
struct Bench {
    SimProcess sim;
    ScriptedDialogs dialogs;
    std::unique_ptr<ConsoleSession> session;
    QFile fifo;
    QStringList notices;  // the publisher's, from its start
    QStringList simArgs;

    bool Start(int outputs, const QString& tallyOut, const QString& prefix = "Cam") {
        QFile table(sim.FilePath("table.vdk"));
        if (!table.open(QIODevice::WriteOnly) || table.write(Table(outputs)) <= 0) return false;
        table.close();
        if (!sim.Start(
                QStringList{"--preload", table.fileName(), "--inputs", sim.FilePath("inputs")} +
                simArgs))
            return false;
        return Connect(outputs, tallyOut, prefix);
    }
    bool Connect(int outputs, const QString& tallyOut, const QString& prefix = "Cam") {
        QFile ini(sim.FilePath("Kavro.ini"));
        if (!ini.open(QIODevice::WriteOnly)) return false;
        ini.write(Ini(sim.LinkPath(), outputs, tallyOut, prefix).toLatin1());
        ini.close();
        session = std::make_unique<ConsoleSession>(dialogs);
        session->Publisher().SetFirstRetryMs(50);
        QObject::connect(&session->Publisher(), &TallyPublisher::Notice,
                         [this](const QString& t) { notices << t; });
        if (!session->LoadConfiguration(ini.fileName())) return false;
        if (!fifo.isOpen()) fifo.setFileName(sim.FilePath("inputs"));
        return session->Connect() && session->Publisher().Running() &&
               (fifo.isOpen() || fifo.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    }
    void SetInputs(int unit, quint32 bits) { fifo.write(InputLine(unit, bits)); }
};

// A local port nothing listens on.
quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

}  // namespace

class TestTallyOutPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Lit and dark, each display at its index with its colour's tally bits, at full brightness;
    // an output on a silent unit dark, saying so where the file asks.
    void v31OverUdp() {
        QUdpSocket rx;
        QVERIFY(rx.bind(QHostAddress::LocalHost, 0));
        Bench b;
        b.simArgs = QStringList{"--refuse", "BITS 3"};
        QVERIFY2(b.Start(33, QStringLiteral("Destination 1=udp://127.0.0.1:%1, v3.1\r\n"
                                            "Output 2=green, index 120\r\nOutput 3=tally 4\r\n"
                                            "Output 33=say unknown\r\n")
                                 .arg(rx.localPort())),
                 qPrintable(b.sim.ErrorText()));
        std::map<int, V31> shown;
        int bad = 0;
        auto until = [&](auto wanted) {
            return QTest::qWaitFor(
                [&] {
                    while (rx.hasPendingDatagrams()) {
                        const V31 d = DecodeV31(rx.receiveDatagram().data());
                        if (d.ok)
                            shown[d.address] = d;
                        else
                            ++bad;
                    }
                    return wanted();
                },
                kWaitMs);
        };
        auto is = [&](int address, int tallies) {
            return shown.count(address) && shown[address].tallies == tallies;
        };
        QVERIFY2(until([&] { return is(1, 0) && is(120, 0) && is(3, 0); }), "all dark first");
        QVERIFY2(until([&] { return shown[33].text == QStringLiteral("Cam 33 ?        "); }),
                 qPrintable(shown[33].text));
        QCOMPARE(shown[33].tallies, 0);
        QCOMPARE(shown[32].text, QStringLiteral("Cam 32          "));
        QCOMPARE(shown[1].text, QStringLiteral("Cam 1           "));
        QCOMPARE(shown[120].brightness, 3);
        b.SetInputs(2, 0b111);
        QVERIFY2(until([&] { return is(1, 0b0001) && is(120, 0b0010) && is(3, 0b1000); }),
                 "each lit in its tally");
        b.SetInputs(2, 0b010);
        QVERIFY2(until([&] { return is(1, 0) && is(120, 0b0010) && is(3, 0); }), "dark again");
        QCOMPARE(bad, 0);

        // Stopped, the publisher lets the poll go: the line hears no "BITS" more.
        b.session->Publisher().Stop();
        QTest::qWait(2 * InputPoll::kMinCycleMs);  // the exchange under way ends
        const qsizetype polls = b.sim.LogLines().filter(QStringLiteral("BITS")).size();
        QTest::qWait(3 * InputPoll::kMinCycleMs);
        QCOMPARE(b.sim.LogLines().filter(QStringLiteral("BITS")).size(), polls);
    }

    // The tsl-umd-v5 package as UDP and TCP listener: lit, dark, renamed, many outputs.
    void independentReceiver() {
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (node.isEmpty()) QSKIP("node is not installed");
        if (!QFile::exists(kReceiverDir + "/node_modules/tsl-umd-v5/index.js"))
            QSKIP("tsl-umd-v5 is not installed (scripts/install-deps installs it)");
        const quint16 udp = FreePort();
        const quint16 tcp = FreePort();
        QProcess receiver;
        receiver.setWorkingDirectory(kReceiverDir);
        receiver.start(node, {"receive.js", QString::number(udp), QString::number(tcp)});
        QVERIFY(receiver.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return receiver.canReadLine(); }, kWaitMs),
                 "the receiver did not come up");
        QCOMPARE(receiver.readLine().trimmed(), QByteArray("ready"));
        // The last display seen for each screen (0: UDP, 1: TCP) and index.
        std::map<std::pair<int, int>, QJsonObject> seen;
        auto until = [&](auto wanted, const char* what) {
            const bool ok = QTest::qWaitFor(
                [&] {
                    while (receiver.canReadLine()) {
                        const QJsonObject m = QJsonDocument::fromJson(receiver.readLine()).object();
                        seen[{m["screen"].toInt(), m["index"].toInt()}] = m;
                    }
                    return wanted();
                },
                kWaitMs);
            if (!ok) qWarning() << what << receiver.readAllStandardError();
            return ok;
        };
        auto shows = [&](int index, int colour, const QString& text) {
            for (int screen : {0, 1}) {
                const auto it = seen.find({screen, index});
                if (it == seen.end()) return false;
                const QJsonObject& m = it->second;
                if (m["rh"].toInt() != colour || m["lh"].toInt() != colour ||
                    m["txt"].toInt() != colour || m["brightness"].toInt() != 3 ||
                    m["text"].toString() != text)
                    return false;
            }
            return true;
        };
        constexpr int kOutputs = 40;
        const QString out = QStringLiteral(
                                "Destination 1=udp://127.0.0.1:%1, v5.0\r\n"
                                "Destination 2=tcp://127.0.0.1:%2, v5.0, screen 1\r\n"
                                "Output 2=amber\r\n")
                                .arg(udp)
                                .arg(tcp);
        {
            Bench b;
            QVERIFY2(b.Start(kOutputs, out), qPrintable(b.sim.ErrorText()));
            QVERIFY(until([&] { return shows(1, 0, "Cam 1") && shows(40, 0, "Cam 40"); },
                          "every display dark"));
            b.SetInputs(2, 0b11);
            QVERIFY(until([&] { return shows(1, 1, "Cam 1") && shows(2, 3, "Cam 2"); }, "lit"));
            b.SetInputs(2, 0b10);
            QVERIFY(until([&] { return shows(1, 0, "Cam 1") && shows(2, 3, "Cam 2"); }, "dark"));
            // Many at once: every channel of unit 2 on, unit 3's off.
            b.SetInputs(2, 0xFFFFFFFF);
            QVERIFY(until(
                [&] {
                    for (int n = 1; n <= kOutputs; ++n)
                        if (!shows(n, n > 32 ? 0 : n == 2 ? 3 : 1, QStringLiteral("Cam %1").arg(n)))
                            return false;
                    return true;
                },
                "32 lit, 8 dark"));
            b.session.reset();  // the line goes free for the renamed start
            seen.clear();
            // Renamed in Kavro.ini: the same displays, with the new names, on the next start.
            QVERIFY(b.Connect(kOutputs, out, QStringLiteral("Camera")));
            QVERIFY(until([&] { return shows(1, 1, "Camera 1") && shows(33, 0, "Camera 33"); },
                          "renamed"));
        }
        receiver.kill();
        receiver.waitForFinished();
    }

    // TCP receivers that fail: down, then up (retried, the loss told once); one that closes each
    // connection at once (told once); one that accepts and never reads (its backlog bounded, the
    // poll going on).
    void tcpFaults() {
        const quint16 port = FreePort();
        const quint16 stuck = FreePort();
        // Accepted by the kernel, never read: a listening socket nobody accepts from.
        const int jammed = socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        setsockopt(jammed, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(stuck);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QVERIFY(bind(jammed, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0);

        Bench b;
        constexpr int kOutputs = 999;
        QVERIFY2(b.Start(kOutputs,
                         QStringLiteral("Destination 1=tcp://127.0.0.1:%1\r\n"
                                        "Destination 2=tcp://127.0.0.1:%2\r\n")
                             .arg(port)
                             .arg(stuck),
                         QStringLiteral("Camera on the long jib arm")),
                 qPrintable(b.sim.ErrorText()));
        TallyPublisher& p = b.session->Publisher();
        auto about = [&](quint16 which) {
            return b.notices.filter(QStringLiteral(":%1:").arg(which));
        };

        // Down: many retries (50 ms, doubling), one message.
        QTest::qWait(1500);
        QCOMPARE(about(port).size(), 1);
        QVERIFY2(about(port)[0].contains("refused"), qPrintable(about(port)[0]));

        // Up: the retry connects and every display goes out.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QVERIFY(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, kWaitMs));
        QTcpSocket* peer = server.nextPendingConnection();
        QVERIFY(QTest::qWaitFor([&] { return peer->bytesAvailable() >= kOutputs * 12; }, kWaitMs));
        QVERIFY2(QTest::qWaitFor([&] { return about(port).size() == 2; }, kWaitMs),
                 qPrintable(b.notices.join('\n')));
        QVERIFY(about(port)[1].contains("connected again"));
        // Then it closes every connection at once: told once more, not on every retry.
        int accepted = 0;
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                ++accepted;
                s->abort();
                s->deleteLater();
            }
        });
        peer->abort();
        QVERIFY(QTest::qWaitFor([&] { return accepted >= 4; }, kWaitMs));
        QCOMPARE(about(port).size(), 3);
        QVERIFY2(about(port)[2].contains("closed"), qPrintable(about(port)[2]));

        // Accepts and never reads: the backlog stops at the cap, told once, the poll goes on.
        QVERIFY(listen(jammed, 1) == 0);
        // The cap and one round of every display (12 bytes a display, the name, the framing).
        const qint64 kBacklogBound = TallyPublisher::kMaxPendingBytes + kOutputs * 48;
        auto jammedTold = [&] { return about(stuck).filter("does not read").size(); };
        QVERIFY2(QTest::qWaitFor([&] { return jammedTold() > 0; }, 60000),
                 qPrintable(b.notices.join('\n')));
        int cycles = 0;
        QObject::connect(&b.session->Inputs(), &InputWatch::CycleEnded, [&] { ++cycles; });
        b.SetInputs(2, 1);
        QVERIFY2(QTest::qWaitFor([&] { return cycles >= 5; }, kWaitMs),
                 "the poll stalled behind a receiver that does not read");
        QVERIFY(p.PendingBytes() <= kBacklogBound);
        QCOMPARE(jammedTold(), 1);
        ::close(jammed);
    }
};

QTEST_GUILESS_MAIN(TestTallyOutPty)
#include "test_tally_out_pty.moc"
