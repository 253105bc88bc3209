// The command exchange against the in-process controller model: bytes on the wire, the reply
// cut at the first ".", the time-out, the flush, the bounds and the reopen of a lost port.
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "link/command_exchange.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"
#include "widgets/captions.h"

using namespace vendra;

namespace {

struct Rig {
    ControllerModel model;
    ModelPort port{model};
    ScriptedDialogs dialogs;
    CommandExchange exchange{port, dialogs};
    QStringList events;

    // A short deadline on the line's own clock: the tests look at its logic (counted from the
    // start of the wait, never restarted, not waited out for a port that is not there).
    explicit Rig(int deadlineMs = kTestDeadlineMs) {
        exchange.SetDeadlineMs(deadlineMs);
        exchange.SetClock(port.Clock());
        port.onWrite = [this](const QByteArray& line) {
            events.append(QStringLiteral("write:") + QString::fromLatin1(line));
        };
        port.Open();
        QObject::connect(&exchange, &CommandExchange::CommandStarted, &exchange,
                         [this] { events.append(QStringLiteral("started")); });
        QObject::connect(&exchange, &CommandExchange::ErrorReported, &exchange,
                         [this](const ErrorReport& e) {
                             events.append(QStringLiteral("error:") + ErrorCaption(e));
                         });
    }
    // The error line as the window would show it after the last command.
    QString ErrorLine() const {
        for (qsizetype i = events.size() - 1; i >= 0; --i)
            if (events[i].startsWith(QStringLiteral("error:"))) return events[i].mid(6);
        return QStringLiteral("<never set>");
    }
};

}  // namespace

class TestCommandExchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesTheLineOnceWithCrLf_data();
    void writesTheLineOnceWithCrLf();
    void startsLampAndClearsErrorBeforeWriting();
    void getResponse_data();
    void getResponse();
    void replyLineAndBufferOfAnAnswer();
    void dotInsideReplyEndsBufferAndRestIsFlushed();
    void silentControllerTimesOut();
    void partialReplyWithoutTerminator();
    void lateCharactersAreFlushed();
    void deadlineIsNotRestartedByArrivingCharacters();
    void streamingDeviceIsBounded_data();
    void streamingDeviceIsBounded();
    void consoleCopy();
    void reopensClosedPortBeforeWriting();
    void portThatCannotOpenFailsAtOnce();
    void refusesWhatBusyEventsAndEndingSend();
    void traceCategoryRecordsEachExchange();
};

void TestCommandExchange::writesTheLineOnceWithCrLf_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("VER") << QStringLiteral("VER") << QByteArray("VER\r\n");
    QTest::newRow("empty") << QString() << QByteArray("\r\n");
    QTest::newRow("probe") << QStringLiteral("\rVER") << QByteArray("\rVER\r\n");
    QTest::newRow("sign-column arguments")
        << QStringLiteral("ClrMap 1  3") << QByteArray("ClrMap 1  3\r\n");
    QTest::newRow("blanks kept") << QStringLiteral("  Map 1 3  ") << QByteArray("  Map 1 3  \r\n");
    QTest::newRow("latin-1") << QStringLiteral("Cam\u00e9") << QByteArray("Cam\xe9\r\n");
}

void TestCommandExchange::writesTheLineOnceWithCrLf() {
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    Rig rig;
    rig.exchange.SendCommand(command);
    QCOMPARE(rig.port.written, bytes);
    QCOMPARE(rig.port.writes, 1);
}

void TestCommandExchange::startsLampAndClearsErrorBeforeWriting() {
    Rig rig;
    rig.model.SetFault(SimFault::Silent);
    rig.exchange.SendCommand(QStringLiteral("VER"));
    rig.model.SetFault(SimFault::None);
    rig.events.clear();
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.events, (QStringList{QStringLiteral("started"), QStringLiteral("error:"),
                                      QStringLiteral("write:VER\r\n")}));
}

void TestCommandExchange::getResponse_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("response");
    QTest::newRow("echo and version")
        << QStringLiteral("VER\r\nMAINV2\r\n.") << QStringLiteral("MAINV2");
    QTest::newRow("echo only") << QStringLiteral("VER\r\n.") << QString();
    QTest::newRow("terminator only") << QStringLiteral(".") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no line feed") << QStringLiteral("OK\r.") << QStringLiteral("OK");
    QTest::newRow("carriage returns alone")
        << QStringLiteral("RawMap 1\r[1][3]\r.") << QStringLiteral("[1][3]");
    QTest::newRow("no line feed, no return") << QStringLiteral("OK.") << QString();
    QTest::newRow("return right after line feed") << QStringLiteral("X\n\rY\r") << QString();
    QTest::newRow("cut at a dot") << QStringLiteral("VER\r\nMAIN.") << QString();
    QTest::newRow("only the second line")
        << QStringLiteral("A\r\nB\r\nC\r\n.") << QStringLiteral("B");
    QTest::newRow("lone line feed first") << QStringLiteral("\nR 1\r") << QStringLiteral("R 1");
    QTest::newRow("return before the line feed is ignored")
        << QStringLiteral("\rVER\r\nMAINV8\r\n.") << QStringLiteral("MAINV8");
}

void TestCommandExchange::getResponse() {
    QFETCH(QString, input);
    QFETCH(QString, response);
    QCOMPARE(CommandExchange::GetResponse(input), response);
}

void TestCommandExchange::replyLineAndBufferOfAnAnswer() {
    Rig rig;
    rig.model.SetVersionText("MAINV2");
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.exchange.IBuffer, QStringLiteral("VER\r\nMAINV2\r\n."));
    QCOMPARE(rig.exchange.Response, QStringLiteral("MAINV2"));
    QCOMPARE(rig.ErrorLine(), QString());
    QCOMPARE(rig.dialogs.beeps, 0);
}

void TestCommandExchange::dotInsideReplyEndsBufferAndRestIsFlushed() {
    Rig rig;
    rig.model.SetFault(SimFault::DotInReply);
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.exchange.IBuffer, QStringLiteral("VER\r\nMAIN."));
    QCOMPARE(rig.exchange.Response, QString());
    QVERIFY(rig.port.BytesWaiting() > 0);  // the rest of the line waits in the port

    rig.model.SetFault(SimFault::None);
    QVERIFY(rig.exchange.SendCommand(QString()));
    QCOMPARE(rig.exchange.IBuffer, QStringLiteral("\r\n."));
    QCOMPARE(rig.port.BytesWaiting(), 0);
}

void TestCommandExchange::silentControllerTimesOut() {
    Rig rig;
    rig.model.SetFault(SimFault::Silent);
    QVERIFY(!rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.port.Now(), qint64(rig.exchange.DeadlineMs()));  // waited out once
    QCOMPARE(rig.exchange.IBuffer, QString());
    QCOMPARE(rig.exchange.Response, QString());
    QCOMPARE(rig.ErrorLine(), QStringLiteral("Comm Error!"));
    QCOMPARE(rig.dialogs.beeps, 1);
    QCOMPARE(rig.port.writes, 1);  // no retry

    // The next command clears the error line before it writes.
    rig.model.SetFault(SimFault::None);
    rig.events.clear();
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.events.value(1), QStringLiteral("error:"));
    QCOMPARE(rig.ErrorLine(), QString());
    QCOMPARE(rig.dialogs.beeps, 1);
}

void TestCommandExchange::partialReplyWithoutTerminator() {
    Rig rig;
    rig.model.SetFault(SimFault::NoTerminator);
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.exchange.IBuffer, QStringLiteral("VER\r\nMAINV8\r\n"));
    QCOMPARE(rig.exchange.Response, QStringLiteral("MAINV8"));
    QCOMPARE(rig.ErrorLine(), QStringLiteral("Comm Error!"));
    QCOMPARE(rig.dialogs.beeps, 1);
}

void TestCommandExchange::lateCharactersAreFlushed() {
    Rig rig;
    // What a controller sent after an earlier reply's terminator, "." included, must neither
    // end this reply early nor become part of it.
    rig.port.Inject("V8\r\n.junk.");
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.exchange.IBuffer, QStringLiteral("VER\r\nMAINV8\r\n."));
}

void TestCommandExchange::deadlineIsNotRestartedByArrivingCharacters() {
    Rig rig;
    rig.model.SetFault(SimFault::Silent);
    rig.port.stream.bytes = "x";
    rig.port.stream.everyMs = 50;
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    // Characters keep coming for ever: only a deadline counted from the start ends the wait.
    QCOMPARE(rig.port.Now(), qint64(rig.exchange.DeadlineMs()));
    QVERIFY(rig.exchange.IBuffer.size() >= 3);
    QVERIFY(rig.exchange.IBuffer.count(QLatin1Char('x')) == rig.exchange.IBuffer.size());
    QCOMPARE(rig.ErrorLine(), QStringLiteral("Comm Error!"));
}

void TestCommandExchange::streamingDeviceIsBounded_data() {
    QTest::addColumn<int>("chunks");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("timesOut");
    // 16 KiB per wait: never a "." until the deadline; or 160 KiB and then the terminator.
    QTest::newRow("endless stream") << 0 << QByteArray() << true;
    QTest::newRow("stream, then terminator") << 10 << QByteArray("end.more") << false;
}

void TestCommandExchange::streamingDeviceIsBounded() {
    QFETCH(int, chunks);
    QFETCH(QByteArray, tail);
    QFETCH(bool, timesOut);
    Rig rig;
    rig.model.SetFault(SimFault::Silent);
    rig.exchange.SetDeadlineMs(1000);  // ten chunks and the tail arrive well within it
    rig.port.stream = {QByteArray(16 * 1024, 'z'), tail, 10, chunks};
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QVERIFY(rig.port.Now() <= rig.exchange.DeadlineMs());
    QVERIFY(rig.exchange.IBuffer.size() <= CommandExchange::kMaxReceive);
    QVERIFY(rig.exchange.IBuffer.size() >= CommandExchange::kMaxReceive - 1);
    QCOMPARE(rig.ErrorLine(), timesOut ? QStringLiteral("Comm Error!") : QString());
    QCOMPARE(rig.exchange.IBuffer.endsWith(QLatin1Char('.')), !timesOut);
    if (!timesOut) QCOMPARE(rig.port.Peek(rig.port.BytesWaiting()), QByteArray("more"));
}

void TestCommandExchange::consoleCopy() {
    Rig rig;
    QSignalSpy console(&rig.exchange, &CommandExchange::ConsoleText);
    rig.exchange.SendCommand(QStringLiteral("VER"));
    QCOMPARE(console.count(), 0);

    rig.exchange.SetConsoleCopy(true);
    rig.exchange.SendCommand(QStringLiteral("VER"));
    QCOMPARE(console.count(), 2);
    QCOMPARE(console.at(0).at(0).toString(), QString());  // the box is emptied first
    const QString shown = console.at(1).at(0).toString();
    static const QRegularExpression form(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\r\n(.*)$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(shown);
    QVERIFY2(match.hasMatch(), qPrintable(shown));
    QCOMPARE(match.captured(1), QStringLiteral("VER\r\nMAINV8\r\n."));

    // A time-out still shows the time and whatever arrived (here nothing).
    rig.model.SetFault(SimFault::Silent);
    console.clear();
    rig.exchange.SendCommand(QStringLiteral("BITS 1"));
    QCOMPARE(console.count(), 2);
    QVERIFY(form.match(console.at(1).at(0).toString()).captured(1).isEmpty());
}

void TestCommandExchange::reopensClosedPortBeforeWriting() {
    Rig rig;
    rig.port.Close();
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QVERIFY(rig.port.IsOpen());
    QCOMPARE(rig.port.written, QByteArray("VER\r\n"));
    QCOMPARE(rig.exchange.Response, QStringLiteral("MAINV8"));
    QCOMPARE(rig.dialogs.beeps, 0);
}

void TestCommandExchange::portThatCannotOpenFailsAtOnce() {
    Rig rig;
    rig.port.Close();
    rig.port.refuseOpen = true;
    rig.exchange.SetDeadlineMs(20000);
    QVERIFY(!rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.port.Now(), qint64(0));  // the deadline is not waited out
    QCOMPARE(rig.port.writes, 0);
    QCOMPARE(rig.ErrorLine(), QStringLiteral("Comm Error!"));
    QCOMPARE(rig.dialogs.beeps, 1);
    QVERIFY(rig.exchange.IBuffer.isEmpty());

    // Back again: the next command heals the link.
    rig.port.refuseOpen = false;
    QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    QCOMPARE(rig.port.written, QByteArray("VER\r\n"));
    QCOMPARE(rig.ErrorLine(), QString());
}

void TestCommandExchange::refusesWhatBusyEventsAndEndingSend() {
    Rig rig;
    bool sentFromEvent = true;
    Reply fromEvent;
    QTimer::singleShot(0, &rig.exchange, [&] {
        sentFromEvent = rig.exchange.SendCommand(QStringLiteral("Map 1 3 2 4"));
        fromEvent = rig.exchange.LastReply();
    });
    {
        const BusyState::Scope busy(rig.exchange.Busy());
        QVERIFY(rig.exchange.Busy().Busy());
        rig.exchange.Busy().Pump();
        // The operation that holds the console busy still sends its own commands.
        QVERIFY(rig.exchange.SendCommand(QStringLiteral("VER")));
    }
    QVERIFY(!sentFromEvent);
    QCOMPARE(rig.port.written, QByteArray("VER\r\n"));
    // Refused is not silence: an interrupted change must not read as a controller that failed.
    QCOMPARE(fromEvent.Kind, ReplyKind::Refused);
    QCOMPARE(fromEvent.KindText(), QStringLiteral("not sent (the line is busy)"));

    rig.exchange.Busy().RequestStop();
    const Reply ending = rig.exchange.Exchange(QStringLiteral("VER"));
    QCOMPARE(ending.Kind, ReplyKind::Refused);
    QCOMPARE(rig.port.writes, 1);
    QVERIFY(rig.exchange.IBuffer.isEmpty());
}

namespace {
QStringList* traced = nullptr;
void Collect(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (traced && QByteArray(context.category) == "vendra.link") traced->append(text);
}
}  // namespace

void TestCommandExchange::traceCategoryRecordsEachExchange() {
    Rig rig;
    QStringList lines;
    traced = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    rig.exchange.SendCommand(QStringLiteral("VER"));  // off by default: nothing traced
    QLoggingCategory::setFilterRules(QStringLiteral("vendra.link.debug=true"));
    rig.exchange.SendCommand(QStringLiteral("VER"));
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    traced = nullptr;

    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains(QStringLiteral("sent VER | received VER\\r\\nMAIN")),
             qPrintable(lines[0]));
    QVERIFY2(lines[0].contains(QRegularExpression(QStringLiteral("\\| \\d+ ms"))),
             qPrintable(lines[0]));
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "test_command_exchange.moc"
