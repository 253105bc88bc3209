// Going online and offline, the retry question, the version request and the info texts.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "link/command_exchange.h"
#include "link/online_state.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"
#include "widgets/captions.h"

using namespace vendra;

namespace {

const QString kRetryText =
    QStringLiteral("No Communications to Tally system\r\nDo you want to retry?");
const QString kCommError = QStringLiteral("Communication Error");

struct Rig {
    ControllerModel model;
    ModelPort port{model};
    ScriptedDialogs dialogs;
    CommandExchange exchange{port, dialogs};
    OnlineState state{exchange, dialogs};
    QStringList looks;  // "online"/"offline" as the window was told, in order
    QString errorLine = QStringLiteral("<never set>");

    Rig() {
        port.Open();
        exchange.SetDeadlineMs(kTestDeadlineMs);
        exchange.SetClock(port.Clock());
        state.SetSettleMs(0);
        QObject::connect(&state, &OnlineState::OnlineChanged, &state, [this](bool online) {
            looks.append(online ? QStringLiteral("online") : QStringLiteral("offline"));
        });
        auto setError = [this](const ErrorReport& e) { errorLine = ErrorCaption(e); };
        QObject::connect(&state, &OnlineState::ErrorReported, &state, setError);
        QObject::connect(&exchange, &CommandExchange::ErrorReported, &exchange, setError);
    }
};

}  // namespace

class TestOnlineState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goOnlineProbesAndAsksVersion();
    void goOnlineWithoutAnswer_data();
    void goOnlineWithoutAnswer();
    void getVersion_data();
    void getVersion();
    void toggleWhileOnlineGoesOfflineSilently();
    void toggleWhileOfflineInformsAndProbes();
    void makeInfoString_data();
    void makeInfoString();
};

void TestOnlineState::goOnlineProbesAndAsksVersion() {
    Rig rig;
    rig.state.SystemName = QStringLiteral("Studio A");
    QSignalSpy info(&rig.state, &OnlineState::InfoTexts);
    QVERIFY(rig.state.GoOnline());
    QVERIFY(rig.state.Online);
    QCOMPARE(rig.looks, QStringList{QStringLiteral("online")});
    QVERIFY(rig.dialogs.boxes.isEmpty());
    // Probe (empty line, CR "VER"), then the version request with its empty lines around it.
    QCOMPARE(rig.port.written, QByteArray("\r\n"
                                          "\rVER\r\n"
                                          "\r\n\r\n"
                                          "VER\r\n"
                                          "\r\n\r\n"));
    QCOMPARE(rig.state.MainCPUVersion, QStringLiteral("MAINV8\r\n"));
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.at(0).at(0).toString(), rig.state.InfoString);
    QVERIFY(rig.state.InfoString.startsWith(QStringLiteral("MAINV8\r\n   V 7. 1   Studio A")));
}

void TestOnlineState::goOnlineWithoutAnswer_data() {
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<int>("healAfterBox");  // the controller answers after this box; 0: never
    QTest::addColumn<bool>("online");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("looks");

    QTest::newRow("declined") << QList<Answer>{Answer::No} << 0 << false
                              << QStringList{kCommError, kCommError}
                              << QStringList{QStringLiteral("offline")};
    QTest::newRow("retried, then answered")
        << QList<Answer>{Answer::Yes} << 1 << true << QStringList{kCommError}
        << QStringList{QStringLiteral("online")};
    QTest::newRow("retried, then declined") << QList<Answer>{Answer::Yes, Answer::No} << 0 << false
                                            << QStringList{kCommError, kCommError, kCommError}
                                            << QStringList{QStringLiteral("offline")};
}

void TestOnlineState::goOnlineWithoutAnswer() {
    QFETCH(QList<Answer>, answers);
    QFETCH(int, healAfterBox);
    QFETCH(bool, online);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, looks);

    Rig rig;
    rig.model.SetFault(SimFault::Silent);
    rig.dialogs.answers = answers;
    QStringList looksAtBox;
    rig.dialogs.onBox = [&](const ScriptedDialogs::Box&) {
        looksAtBox.append(rig.looks.join(QLatin1Char(',')));
        if (rig.dialogs.boxes.size() + 1 == healAfterBox) rig.model.SetFault(SimFault::None);
    };
    QSignalSpy info(&rig.state, &OnlineState::InfoTexts);

    QCOMPARE(rig.state.GoOnline(), online);
    QCOMPARE(rig.state.Online, online);
    QCOMPARE(rig.dialogs.Titles(), titles);
    QCOMPARE(rig.looks, looks);
    QCOMPARE(info.count(), 1);  // built once, after the last attempt

    for (qsizetype i = 0; i < rig.dialogs.boxes.size(); ++i) {
        const ScriptedDialogs::Box& box = rig.dialogs.boxes[i];
        const bool last = i == rig.dialogs.boxes.size() - 1;
        if (!online && last) {
            QCOMPARE(box.text, QStringLiteral("Going To Offline Mode"));
            QCOMPARE(box.buttons, Buttons::Ok);
            // The offline look is already set when the operator reads this.
            QCOMPARE(looksAtBox[i], QStringLiteral("offline"));
        } else {
            QCOMPARE(box.text, kRetryText);
            QCOMPARE(box.buttons, Buttons::YesNo);
            QCOMPARE(looksAtBox[i], QString());
        }
    }
    if (!online) {
        QCOMPARE(rig.errorLine, QString());  // "Comm Error!" does not outlive the question
        QCOMPARE(rig.state.MainCPUVersion, QString());
    }
}

void TestOnlineState::getVersion_data() {
    QTest::addColumn<QByteArray>("versionReply");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("lineCount");  // lines GetVersion writes

    QTest::newRow("only the terminator") << QByteArray(".") << QStringLiteral("MAINV0") << 3;
    QTest::newRow("echo, MAINV8, terminator")
        << QByteArray("VER\r\nMAINV8\r\n.") << QStringLiteral("MAINV8\r\n") << 5;
    QTest::newRow("no MAIN") << QByteArray("VER\r\nERR\r\n.") << QStringLiteral("MAINV0") << 3;
    QTest::newRow("lower case main")
        << QByteArray("VER\r\nmainv3\r\n.") << QStringLiteral("MAINV0") << 3;
    QTest::newRow("MAIN alone") << QByteArray("MAIN.") << QStringLiteral("MAIN") << 5;
    QTest::newRow("four characters") << QByteArray("MAI.") << QStringLiteral("MAINV0") << 3;
    QTest::newRow("dot inside the version")
        << QByteArray("VER\r\nMAIN.V8\r\n.") << QStringLiteral("MAIN") << 5;
    QTest::newRow("first MAIN counts")
        << QByteArray("MAIN1 MAIN2\r\n.") << QStringLiteral("MAIN1 MAIN2\r\n") << 5;
}

void TestOnlineState::getVersion() {
    QFETCH(QByteArray, versionReply);
    QFETCH(QString, version);
    QFETCH(int, lineCount);

    ControllerModel model;
    ModelPort port(model);
    port.Open();
    QList<QByteArray> lines;
    port.reply = [&](const QByteArray& line) {
        lines.append(line);
        return std::optional<QByteArray>(line == "VER\r\n" ? versionReply : QByteArray("."));
    };
    ScriptedDialogs dialogs;
    CommandExchange exchange(port, dialogs);
    exchange.SetDeadlineMs(kTestDeadlineMs);
    exchange.SetClock(port.Clock());
    OnlineState state(exchange, dialogs);
    state.SetSettleMs(0);
    state.GetVersion();
    QCOMPARE(state.MainCPUVersion, version);
    QCOMPARE(lines.size(), lineCount);
    QCOMPARE(lines.value(2), QByteArray("VER\r\n"));
    // After a "." inside the version the empty commands' flushes clear the rest of the reply.
    if (lineCount == 5) QCOMPARE(exchange.IBuffer, QStringLiteral("."));
}

void TestOnlineState::toggleWhileOnlineGoesOfflineSilently() {
    Rig rig;
    rig.state.Online = true;
    rig.errorLine = QStringLiteral("Comm Error!");
    rig.state.ToggleOnline();
    QVERIFY(!rig.state.Online);
    QCOMPARE(rig.looks, QStringList{QStringLiteral("offline")});
    QCOMPARE(rig.errorLine, QString());
    QVERIFY(rig.port.written.isEmpty());
    QVERIFY(rig.dialogs.boxes.isEmpty());
}

void TestOnlineState::toggleWhileOfflineInformsAndProbes() {
    Rig rig;
    QString writtenAtBox = QStringLiteral("<no box>");
    rig.dialogs.onBox = [&](const ScriptedDialogs::Box&) {
        writtenAtBox = QString::fromLatin1(rig.port.written);
    };
    rig.state.ToggleOnline();
    QCOMPARE(rig.dialogs.boxes.size(), 1);
    const ScriptedDialogs::Box& box = rig.dialogs.boxes[0];
    QCOMPARE(box.text, QStringLiteral("You have chosen to go Online\r\nMappings displayed may not "
                                      "agree with current Tally System Mappings"));
    QCOMPARE(box.title, QStringLiteral("Information!"));
    QCOMPARE(box.buttons, Buttons::Ok);
    QCOMPARE(writtenAtBox, QString());  // the box comes before the probe
    QVERIFY(rig.port.written.startsWith("\r\n\rVER\r\n"));
    QVERIFY(rig.state.Online);
    QCOMPARE(rig.looks, QStringList{QStringLiteral("online")});
    // Going online by the button reads nothing back.
    QVERIFY(!rig.port.written.contains("RawMap"));
}

void TestOnlineState::makeInfoString_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("system");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("info");

    QTest::newRow("port 1") << QStringLiteral("MAINV8") << QStringLiteral("S") << 1
                            << QStringLiteral("MAINV8   V 7. 1   S   Com 1");
    QTest::newRow("offline, port 12") << QString() << QStringLiteral("Studio  B ") << 12
                                      << QStringLiteral("   V 7. 1   Studio  B    Com 12");
    QTest::newRow("version with line end") << QStringLiteral("MAINV8\r\n") << QString() << 255
                                           << QStringLiteral("MAINV8\r\n   V 7. 1      Com 255");
}

void TestOnlineState::makeInfoString() {
    QFETCH(QString, version);
    QFETCH(QString, system);
    QFETCH(int, port);
    QFETCH(QString, info);

    Rig rig;
    rig.state.MainCPUVersion = version;
    rig.state.SystemName = system;
    rig.state.VendraCommport = port;
    QSignalSpy texts(&rig.state, &OnlineState::InfoTexts);
    rig.state.MakeInfoString();
    QCOMPARE(rig.state.InfoString, info);
    QVERIFY(rig.state.VersionInfo.startsWith(QStringLiteral("Version  7. 1. 12")));
    QVERIFY(rig.state.VersionInfo.size() > QStringLiteral("Version  7. 1. 12").size());
    QCOMPARE(texts.count(), 1);
    QCOMPARE(texts.at(0).at(0).toString(), info);
    QCOMPARE(texts.at(0).at(1).toString(), rig.state.VersionInfo);
    QVERIFY(rig.port.written.isEmpty());
}

QTEST_GUILESS_MAIN(TestOnlineState)
#include "test_online_state.moc"
