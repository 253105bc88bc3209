// vendractl serve as a process on a real pseudo-terminal against tally-sim: the live page and its
// API over real sockets, requests it must refuse, the line handed to the console and back (the
// console closed or killed), and a clean end that leaves no lock and no socket behind.
#include <signal.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <QWebSocket>

#include "session/console_lock.h"
#include "session/line_handover.h"
#include "support/chromium_page.h"
#include "support/main_rig.h"
#include "support/session_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"
#include "web/tally_page_server.h"

using namespace vendra;

namespace {

// Output 7 follows unit 2's input 3; output 2 is unit 2's input 5 AND input 6.
const QByteArray kTable =
    "[1][7][2][3][1][0][0][0]\r\n"
    "[1][2][2][5][1][2][6][1]\r\n";
// Unit 2's input 3 on (channel 32 first).
const QByteArray kInput3On = "2 0000 0000 0000 0000 0000 0000 0000 0100\n";
const QByteArray kInputsOff = "2 0000 0000 0000 0000 0000 0000 0000 0000\n";
constexpr int kWaitMs = 30000;

// A simulator with the table and an input FIFO, and a Kavro.ini naming its line.
struct Line {
    SimProcess sim;
    QString ini, runtime, fifo;
    // A program killed on purpose cannot free the serial port's system lock of the test's own
    // line: the test does, so that it leaves the lock folders as it found them.
    ~Line() {
        for (const QString& file : SystemLocksOf(sim.Folder()))
            for (const char* folder : {"/run/lock/", "/var/lock/"})
                QFile::remove(QString::fromLatin1(folder) + file);
    }
    // The table and Kavro.ini ("@LINK@" where the line goes) of an installation; the test's
    // own by default.
    bool Start(const QByteArray& table = kTable, QString text = QString(),
               const QStringList& simOptions = {}) {
        fifo = sim.FilePath(QStringLiteral("inputs"));
        runtime = sim.FilePath(QStringLiteral("run"));
        QDir(sim.Folder()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        if (text.isEmpty())
            text = SampleIni(
                10, 8, QStringLiteral("CommDevice=@LINK@\r\n[Tally Out]\r\nOutput 7=green\r\n"));
        return Put(sim.FilePath(QStringLiteral("t.vdk")), table) &&
               sim.Start(QStringList{"--preload", sim.FilePath(QStringLiteral("t.vdk")), "--inputs",
                                     fifo} +
                         simOptions) &&
               Put(ini, text.replace(QStringLiteral("@LINK@"), sim.LinkPath()).toLatin1());
    }
    // The console on this line, in the test's runtime folder (where the service's socket is).
    void StartConsole(QProcess& console) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        console.setProcessEnvironment(env);
        console.start(QStringLiteral(VENDRA_CONSOLE), {"--ini", ini});
    }
    void SetInputs(const QByteArray& line) const {
        QFile f(fifo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(line);
    }
};

// vendractl serve with its standard error collected.
struct Service {
    QProcess p;
    QByteArray log;
    void Start(const Line& line) {
        StartVendractl(p, {"serve", "--http", "127.0.0.1:0", "--ini", line.ini}, line.runtime);
    }
    QByteArray Log() {
        log += p.readAllStandardError();
        return log;
    }
    int Count(const char* text) { return int(Log().count(text)); }
    quint16 Port() {
        static const QRegularExpression page(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
        return quint16(page.match(QString::fromUtf8(Log())).captured(1).toUInt());
    }
    ~Service() {
        if (p.state() == QProcess::NotRunning) return;
        p.terminate();
        if (!p.waitForFinished(10000)) p.kill();
        p.waitForFinished(5000);
    }
};

// One request as raw bytes; the status code of the answer (0: none).
int StatusOf(quint16 port, const QByteArray& request, QByteArray* body = nullptr) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000)) return 0;
    s.write(request);
    QByteArray answer;
    while (s.waitForReadyRead(3000)) {
        answer += s.readAll();
        const qsizetype end = answer.indexOf("\r\n\r\n");
        static const QRegularExpression length(QStringLiteral("(?i)content-length: *(\\d+)"));
        const auto m = length.match(QString::fromLatin1(answer.left(end)));
        if (end >= 0 && m.hasMatch() && answer.size() >= end + 4 + m.captured(1).toInt()) break;
    }
    if (body) *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.startsWith("HTTP/1.") ? answer.mid(9, 3).toInt() : 0;
}

QJsonArray Lamps(quint16 port) {
    QByteArray body;
    if (StatusOf(port, "GET /api/lamps HTTP/1.1\r\nHost: x\r\n\r\n", &body) != 200) return {};
    return QJsonDocument::fromJson(body).array();
}

QString LampOf(const QJsonArray& rows, int output) {
    for (const QJsonValue& v : rows)
        if (v[QStringLiteral("output")].toInt() == output)
            return v[QStringLiteral("lamp")].toString();
    return {};
}

}  // namespace

class TestServePty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty() ||
            QStringLiteral(VENDRA_VENDRACTL).isEmpty())
            QSKIP("tally-sim or vendractl is not built");
    }

    void listenAddress_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");  // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("port alone: the loopback") << "8080"
                                                  << "127.0.0.1" << 8080;
        QTest::newRow("any address") << "0.0.0.0:80"
                                     << "0.0.0.0" << 80;
        QTest::newRow("IPv6 in brackets") << "[::1]:9000"
                                          << "::1" << 9000;
        QTest::newRow("localhost") << "localhost:1"
                                   << "127.0.0.1" << 1;
        QTest::newRow("port too large") << "127.0.0.1:65536"
                                        << "" << 0;
        QTest::newRow("a host name") << "studio.example:80"
                                     << "" << 0;
        QTest::newRow("no port") << "127.0.0.1"
                                 << "" << 0;
    }
    void listenAddress() {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QHostAddress a;
        quint16 p = 0;
        QCOMPARE(ParseListenAddress(text, a, p), !address.isEmpty());
        if (address.isEmpty()) return;
        QCOMPARE(a, QHostAddress(address));
        QCOMPARE(int(p), port);
    }

    // While the console holds the line the page follows its messages: a whole state replaces
    // the rows, a partial one changes only rows the page shows and tells only those.
    void consoleMessagesUpdateOnlyThePagesRows() {
        TallyPageServer page;
        QVERIFY(page.Listen(QHostAddress::LocalHost, 0));
        QWebSocket ws;
        QList<QJsonObject> got;
        connect(&ws, &QWebSocket::textMessageReceived, this, [&got](const QString& text) {
            got << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(page.Port())));
        QTRY_COMPARE(got.size(), 1);  // the state on connecting
        page.TakeConsoleLamps(
            R"({"all":true,"rows":[{"output":1,"lamp":"dark"},{"output":2,"lamp":"dark"}]})");
        QTRY_COMPARE(got.size(), 2);
        QCOMPARE(got[1].value(QStringLiteral("rows")).toArray().size(), 2);
        page.TakeConsoleLamps(
            R"({"all":false,"rows":[{"output":2,"lamp":"lit"},{"output":7,"lamp":"lit"}]})");
        QTRY_COMPARE(got.size(), 3);
        QCOMPARE(got[2].value(QStringLiteral("all")).toBool(), false);
        const QJsonArray rows = got[2].value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][QStringLiteral("output")].toInt(), 2);
        QCOMPARE(rows[0][QStringLiteral("lamp")].toString(), QStringLiteral("lit"));
    }

    // The page, its script and the lamps; an input changed on the controller reaches a page's
    // WebSocket and the API; what the page does not serve is refused and the service stays up.
    void pageFollowsTheInputs() {
        Line line;
        QVERIFY2(line.Start(), qPrintable(line.sim.ErrorText()));
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        const quint16 port = serve.Port();
        QVERIFY(port != 0);

        QByteArray body;
        QCOMPARE(StatusOf(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n", &body), 200);
        QVERIFY(body.contains("/tally.js"));
        QCOMPARE(StatusOf(port, "GET /tally.js HTTP/1.1\r\nHost: x\r\n\r\n"), 200);
        QTRY_COMPARE_WITH_TIMEOUT(Lamps(port).size(), 10, kWaitMs);
        // Dark once the inputs and the output unit's count of outputs on are read.
        QTRY_COMPARE_WITH_TIMEOUT(LampOf(Lamps(port), 7), QStringLiteral("dark"), kWaitMs);

        QWebSocket page;
        QList<QJsonObject> messages;
        connect(&page, &QWebSocket::textMessageReceived, [&](const QString& m) {
            messages.append(QJsonDocument::fromJson(m.toUtf8()).object());
        });
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), kWaitMs);
        QCOMPARE(messages.first()[QStringLiteral("line")].toString(), QStringLiteral("service"));
        QCOMPARE(messages.first()[QStringLiteral("rows")].toArray().size(), 10);

        line.SetInputs(kInput3On);
        const auto litSeven = [&] {
            for (const QJsonObject& m : messages)
                if (LampOf(m[QStringLiteral("rows")].toArray(), 7) == QStringLiteral("lit"))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(litSeven(), kWaitMs);
        QCOMPARE(LampOf(Lamps(port), 7), QStringLiteral("lit"));
        QCOMPARE(LampOf(Lamps(port), 2), QStringLiteral("dark"));
        QVERIFY(serve.Log().contains("<6>output 7 (Out 7) lit"));

        // Each gets a 4xx; the service answers the next one.
        const QList<QByteArray> refused = {
            "POST /api/lamps HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}",
            "PUT / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n",
            "DELETE /api/lamps HTTP/1.1\r\nHost: x\r\n\r\n",
            "GET /etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n",
            "HELLO THERE\r\n\r\n",
            "GET / HTTP/1.1\r\nHost x\r\n\r\n",
            "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + QByteArray(1 << 20, 'a') + "\r\n\r\n",
            "GET /" + QByteArray(1 << 20, 'a') + " HTTP/1.1\r\n\r\n",
            // A page of another site may not open the live feed.
            "GET /live HTTP/1.1\r\nHost: x\r\nOrigin: http://elsewhere.example\r\n"
            "Upgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n",
        };
        for (const QByteArray& request : refused) {
            const int got = StatusOf(port, request);
            QVERIFY2(got >= 400 && got < 500,
                     qPrintable(QStringLiteral("%1 for %2")
                                    .arg(got)
                                    .arg(QString::fromLatin1(request.left(40)))));
            QCOMPARE(Lamps(port).size(), 10);
        }
        QVERIFY(page.state() == QAbstractSocket::ConnectedState);
    }

    // An output forced on behind the table's back (a test left on) is settled by its unit's own
    // count of outputs on alike in `vendractl lamps --json`, /api/lamps and the page's
    // WebSocket: the same rows, field by field, the page's colour aside. Outputs 1 and 2 are
    // mapped to inputs that are off, output 3 is unmapped; unit 1 drives all three.
    void forcedOnAsLampsSaysIt_data() {
        QTest::addColumn<QStringList>("sent");  // by hand, before the lamps are asked for
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("lamp");
        QTest::newRow("a test left on a mapped output")
            << QStringList{"mapdisab 1 2", "Set 1 2"} << 2 << "lit";
        QTest::newRow("a test left on an unmapped output: the count cannot say which")
            << QStringList{"mapdisab 1 3", "Set 1 3"} << 1 << "unknown";
    }
    void forcedOnAsLampsSaysIt() {
        QFETCH(QStringList, sent);
        QFETCH(int, output);
        QFETCH(QString, lamp);
        Line line;
        QVERIFY2(line.Start("[1][1][2][1][1][0][0][0]\r\n[1][2][2][2][1][0][0][0]\r\n",
                            "[Vendra]\r\nSystem=Forced\r\nCommPort=1\r\nEnabledUnits=2\r\n"
                            "CommDevice=@LINK@\r\nOutput 1=A,1,1\r\nOutput 2=B,1,2\r\n"
                            "Output 3=C,1,3\r\nInput 1=Cam 1,2,1\r\nInput 2=Cam 2,2,2\r\n"),
                 qPrintable(line.sim.ErrorText()));
        for (const QString& command : sent)
            QCOMPARE(RunVendractl({"send", command, "--ini", line.ini}, line.runtime).exit, 0);
        const ToolRun tool = RunVendractl({"lamps", "--json", "--ini", line.ini}, line.runtime);
        QCOMPARE(tool.exit, 0);
        const QJsonArray expected = QJsonDocument::fromJson(tool.out).array();
        QCOMPARE(expected[output - 1][QStringLiteral("lamp")].toString(), lamp);

        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        const auto bare = [](QJsonArray rows) {  // the page's colour aside
            for (auto&& r : rows) {
                QJsonObject o = r.toObject();
                o.remove(QStringLiteral("colour"));
                r = o;
            }
            return rows;
        };
        QTRY_COMPARE_WITH_TIMEOUT(bare(Lamps(serve.Port())), expected, kWaitMs);
        QJsonArray pushed;
        QWebSocket page;
        connect(&page, &QWebSocket::textMessageReceived, [&](const QString& m) {
            if (pushed.isEmpty())
                pushed = QJsonDocument::fromJson(m.toUtf8())[QStringLiteral("rows")].toArray();
        });
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(serve.Port())));
        QTRY_VERIFY_WITH_TIMEOUT(!pushed.isEmpty(), kWaitMs);
        QCOMPARE(bare(pushed), expected);
    }

    // A real browser: the tiles come over the WebSocket, an input changed on the controller
    // lights the right tile, the filter hides by name, and "#output=N" shows one output alone.
    void browserShowsTheLamps() {
        if (!ChromiumPage::Available()) QSKIP("chromium is not installed");
        Line line;
        QVERIFY2(line.Start(), qPrintable(line.sim.ErrorText()));
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(serve.Port());
        ChromiumPage page;
        QVERIFY2(page.Open(QUrl(base), QSize(1280, 800)), qPrintable(page.ErrorText()));
        const auto lamp = [&](int output) {
            return page
                .Evaluate(QStringLiteral("document.querySelector('[data-output=\"%1\"]')"
                                         "?.className ?? ''")
                              .arg(output))
                .toString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(lamp(7).contains(QStringLiteral("dark")), kWaitMs);
        QCOMPARE(page.Evaluate(QStringLiteral("document.querySelectorAll('.tile').length")).toInt(),
                 10);

        line.SetInputs(kInput3On);
        QTRY_VERIFY_WITH_TIMEOUT(lamp(7).contains(QStringLiteral("lit")), kWaitMs);
        QVERIFY(lamp(7).contains(QStringLiteral("green")));  // the colour Kavro.ini gives it
        QVERIFY(!lamp(2).contains(QStringLiteral("lit")));

        const QString filtered = QStringLiteral(
            "(() => { const f = document.getElementById('filter'); f.value = 'out 1';"
            " f.dispatchEvent(new Event('input'));"
            " return [...document.querySelectorAll('.tile')].filter(t => !t.hidden)"
            ".map(t => t.dataset.output).join(','); })()");
        QCOMPARE(page.Evaluate(filtered).toString(), QStringLiteral("1,10"));

        ChromiumPage phone;
        QVERIFY2(phone.Open(QUrl(base + QStringLiteral("#output=7")), QSize(390, 844), true),
                 qPrintable(phone.ErrorText()));
        const QString single = QStringLiteral(
            "(() => { const s = document.getElementById('single');"
            " return s.hidden ? 'hidden' : s.className + ' ' +"
            " document.getElementById('single-name').textContent; })()");
        QTRY_COMPARE_WITH_TIMEOUT(phone.Evaluate(single).toString(),
                                  QStringLiteral("lit green Out 7"), kWaitMs);
    }

    // The pictures of the page in the README, on the demo installation with a few lamps lit:
    // only when VENDRA_SCREENSHOT_DIR names where they go (scripts/screenshot-tally-page).
    void screenshots() {
        const QString dir = qEnvironmentVariable("VENDRA_SCREENSHOT_DIR");
        if (dir.isEmpty() || !ChromiumPage::Available()) QSKIP("no VENDRA_SCREENSHOT_DIR");
        const QString demo = QStringLiteral(VENDRA_FIXTURES "/../../scripts/demo/");
        Line line;
        // The cameras' preview lamps lit in green, as a studio sets them.
        QString ini = QString::fromLatin1(Contents(demo + QStringLiteral("Kavro.ini"))) +
                      QStringLiteral("\r\n[Tally Out]\r\n");
        for (int output = 2; output <= 16; output += 2)
            ini += QStringLiteral("Output %1=green\r\n").arg(output);
        QVERIFY(line.Start(Contents(demo + QStringLiteral("demo.vdk")), ini));
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        // PGM Cam 2, PVW Cam 5, Studio On Air and Mic Live 1 on.
        QByteArray bits(32, '0');
        for (int channel : {2, 13, 17, 20})
            bits[32 - channel] = '1';
        line.SetInputs("1 " + bits + "\n");
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count(" lit:") >= 2, kWaitMs);
        QTest::qWait(1000);  // every change of the first cycles logged
        const int lit = serve.Count(" lit:");
        const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(serve.Port());
        const QString painted = QStringLiteral("document.querySelectorAll('.tile.lit').length");
        for (const auto& [file, size, path] :
             {std::tuple{"tally-page.png", QSize(1280, 800), ""},
              std::tuple{"tally-page-phone.png", QSize(390, 844), ""},
              std::tuple{"tally-light-phone.png", QSize(390, 844), "#output=3"}}) {
            ChromiumPage page;
            QVERIFY2(page.Open(QUrl(base + QLatin1String(path)), size, size.width() < 500),
                     qPrintable(page.ErrorText()));
            if (!*path) QTRY_COMPARE_WITH_TIMEOUT(page.Evaluate(painted).toInt(), lit, kWaitMs);
            QVERIFY(page.Screenshot(QDir(dir).filePath(QLatin1String(file))));
        }
    }

    // A console on the same line takes it from the service and gives it back when it ends,
    // closed or killed; the page says who has the line meanwhile.
    void handoverBothWays_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("console closed") << int(SIGTERM);
        QTest::newRow("console killed") << int(SIGKILL);
    }
    void handoverBothWays() {
        QFETCH(int, signal);
        if (QStringLiteral(VENDRA_CONSOLE).isEmpty()) QSKIP("vendra is not built");
        // A UMD receiver: whoever holds the line sends the tally to it.
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
        int packets = 0;
        connect(&receiver, &QUdpSocket::readyRead, [&] {
            while (receiver.hasPendingDatagrams()) {
                receiver.receiveDatagram();
                ++packets;
            }
        });
        Line line;
        QVERIFY2(line.Start(kTable, SampleIni(10, 8,
                                              QStringLiteral("CommDevice=@LINK@\r\n[Tally Out]\r\n"
                                                             "Destination 1=udp://127.0.0.1:%1, "
                                                             "v5.0, screen 0\r\nRefresh=1\r\n")
                                                  .arg(receiver.localPort()))),
                 qPrintable(line.sim.ErrorText()));
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(packets > 0, kWaitMs);
        QWebSocket page;
        QString lineWord;
        connect(&page, &QWebSocket::textMessageReceived, [&](const QString& m) {
            const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
            if (o.contains(QStringLiteral("line"))) lineWord = o[QStringLiteral("line")].toString();
        });
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(serve.Port())));
        QTRY_COMPARE_WITH_TIMEOUT(lineWord, QStringLiteral("service"), kWaitMs);

        QProcess console;
        line.StartConsole(console);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("the console asked for the line") == 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(lineWord, QStringLiteral("console"), kWaitMs);
        // The console reads the table after the service let go: the line is the console's.
        const int heard = int(line.sim.LogLines().size());
        QTRY_VERIFY_WITH_TIMEOUT(
            line.sim.LogLines().mid(heard).contains(QStringLiteral("RawMap 1")), kWaitMs);
        QVERIFY(console.state() == QProcess::Running);
        // The page follows the console's lamps meanwhile.
        line.SetInputs(kInput3On);
        QTRY_COMPARE_WITH_TIMEOUT(LampOf(Lamps(serve.Port()), 7), QStringLiteral("lit"), kWaitMs);
        int before = packets;  // the console sends the tally while it holds the line
        QTRY_VERIFY_WITH_TIMEOUT(packets > before, kWaitMs);

        ::kill(pid_t(console.processId()), signal);
        QVERIFY(console.waitForFinished(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 2, kWaitMs);
        QVERIFY(serve.Log().contains("the console gave the line back"));
        QTRY_COMPARE_WITH_TIMEOUT(lineWord, QStringLiteral("service"), kWaitMs);
        // The service polls again: an input change reaches the API.
        line.SetInputs(kInputsOff);
        QTRY_COMPARE_WITH_TIMEOUT(LampOf(Lamps(serve.Port()), 7), QStringLiteral("dark"), kWaitMs);
        before = packets;
        QTRY_VERIFY_WITH_TIMEOUT(packets > before, kWaitMs);
    }

    // Consoles that ask at once are served in turn: the first gets the line, the others hear
    // "lent"; one that asks again once the line came back gets it.
    void handoverServesEachAskInTurn() {
        QTemporaryDir dir;
        const QString lock = dir.filePath(QStringLiteral("line.lock"));
        LineHandoverServer server;
        QVERIFY2(server.Listen(lock), qPrintable(server.ErrorText()));
        QSignalSpy wanted(&server, &LineHandoverServer::LineWanted);
        QSignalSpy returned(&server, &LineHandoverServer::LineReturned);
        QLocalSocket first, second;
        QByteArray heardFirst, heardSecond;
        connect(&first, &QLocalSocket::readyRead, [&] { heardFirst += first.readAll(); });
        connect(&second, &QLocalSocket::readyRead, [&] { heardSecond += second.readAll(); });
        for (QLocalSocket* s : {&first, &second}) {
            s->connectToServer(HandoverSocketPath(lock));
            QVERIFY(s->waitForConnected(kWaitMs));
            s->write("take\n");
            s->flush();
        }
        QTRY_COMPARE(wanted.size(), 1);
        QTest::qWait(100);  // both asks are in
        server.Released();
        QTRY_COMPARE(heardFirst, QByteArray("released\n"));
        QTRY_COMPARE(heardSecond, QByteArray("lent\n"));
        first.disconnectFromServer();
        QTRY_COMPARE(returned.size(), 1);
        second.write("take\n");
        second.flush();
        QTRY_COMPARE(wanted.size(), 2);
        server.Released();
        QTRY_COMPARE(heardSecond, QByteArray("lent\nreleased\n"));
    }

    // A console that asks while the service still reads the table back gets the line at the
    // read-back's next exchange: the cut read-back is not a failure to wait on and retry.
    void consoleAskingDuringTheReadBackGetsTheLine() {
        if (QStringLiteral(VENDRA_CONSOLE).isEmpty()) QSKIP("vendra is not built");
        QByteArray table;  // 100 entries at 2400 baud: a read-back of many seconds
        for (int c = 1; c <= 100; ++c)
            table +=
                QStringLiteral("[1][%1][2][%2][1][0][0][0]\r\n").arg(c).arg(c % 32 + 1).toLatin1();
        Line line;
        QVERIFY2(line.Start(table, QString(), {"--baud", "2400"}),
                 qPrintable(line.sim.ErrorText()));
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(line.sim.LogLines().contains(QStringLiteral("RawMap 2")), kWaitMs);
        QProcess console;
        line.StartConsole(console);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("the console asked for the line") == 1, kWaitMs);
        QCOMPARE(serve.Count("serving the line"), 0);  // it asked during the read-back
        QVERIFY2(!serve.Log().contains("could not be read whole"), serve.Log().constData());
        const int heard = int(line.sim.LogLines().size());
        QTRY_VERIFY_WITH_TIMEOUT(
            line.sim.LogLines().mid(heard).contains(QStringLiteral("RawMap 1")), kWaitMs);
        console.terminate();
        QVERIFY(console.waitForFinished(kWaitMs));
    }

    // Killed, a service leaves its lock and socket; the next one takes both. SIGTERM ends it
    // with 0, the line free and no socket left; every line of its log has a priority.
    void killedRestartedStopped() {
        Line line;
        QVERIFY2(line.Start(), qPrintable(line.sim.ErrorText()));
        {
            Service killed;
            killed.Start(line);
            QTRY_VERIFY_WITH_TIMEOUT(killed.Count("serving the line") == 1, kWaitMs);
            ::kill(pid_t(killed.p.processId()), SIGKILL);
            QVERIFY(killed.p.waitForFinished(kWaitMs));
        }
        Service serve;
        serve.Start(line);
        QTRY_VERIFY_WITH_TIMEOUT(serve.Count("serving the line") == 1, kWaitMs);
        // Another program on the line is refused while the service holds it.
        const ToolRun other = RunVendractl({"status", "1", "--ini", line.ini}, line.runtime);
        QCOMPARE(other.exit, 2);

        ::kill(pid_t(serve.p.processId()), SIGTERM);
        QVERIFY(serve.p.waitForFinished(kWaitMs));
        QCOMPARE(serve.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(serve.p.exitCode(), 0);
        const QString lock = LineLockPath(line.sim.LinkPath());
        QVERIFY(!QFileInfo::exists(lock));
        QVERIFY(!QFileInfo::exists(lock + QStringLiteral(".handover")));
        for (const QString& l : QString::fromUtf8(serve.Log()).split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(QRegularExpression(QStringLiteral("^<[3-7]>[^\\x1b]*$")).match(l).hasMatch(),
                     qPrintable(l));
        QCOMPARE(RunVendractl({"status", "1", "--ini", line.ini}, line.runtime).exit, 0);
    }
};

QTEST_GUILESS_MAIN(TestServePty)
#include "test_serve_pty.moc"
