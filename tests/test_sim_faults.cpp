// The simulated controller's drill faults: an endless reply, binary noise inside a reply, and a
// fault limited to a stretch of command lines; and tally-sim's options for them.
#include <QProcess>
#include <QTest>

#include "mapping/mapping_string.h"
#include "sim/controller_model.h"

using vendra::ControllerModel;
using vendra::SimFault;

namespace {

QByteArray Answer(const QByteArray& command, const QByteArray& reply) {
    return command + "\r\n" + reply + "\r\n.";
}

// The reply line the console cuts from an answer: between the first line feed and the next
// carriage return.
QByteArray ReplyLine(const QByteArray& answer) {
    const qsizetype start = answer.indexOf('\n') + 1;
    const qsizetype end = answer.indexOf('\r', start);
    return end > start ? answer.mid(start, end - start) : QByteArray();
}

}  // namespace

class TestSimFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void floodNeverEnds() {
        ControllerModel model;
        model.SetFault(SimFault::Flood);
        const QByteArray flood = model.Receive("Map 1 3 2 17");
        QVERIFY(flood.startsWith("Map 1 3 2 17\r\n"));
        QCOMPARE(flood.size(), qsizetype(14 + ControllerModel::kFloodBytes));
        // No terminator and no further line end: nothing in it can end the console's wait.
        QVERIFY(!flood.contains('.'));
        QCOMPARE(flood.count('\n'), 1);
        QCOMPARE(flood.count('\r'), 1);
        // The command still acts.
        model.SetFault(SimFault::None);
        QCOMPARE(model.Receive("GetMap 1  3"), Answer("GetMap 1  3", "[1][3][2][17][1][0][0][0]"));
    }

    void noiseLeavesTheReplyReadable_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("clean");
        QTest::newRow("mapping string")
            << QByteArray("RawMap 1") << QByteArray("[1][3][2][17][1][4][9][2]");
        QTest::newRow("version") << QByteArray("VER") << QByteArray("MAINV8");
        QTest::newRow("empty line") << QByteArray() << QByteArray();
    }
    void noiseLeavesTheReplyReadable() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, clean);
        ControllerModel model;
        model.AddMappingString(QStringLiteral("[1][3][2][17][1][4][9][2]"));
        model.SetFault(SimFault::Noise);
        const QByteArray noisy = model.Receive(command);
        QVERIFY(noisy.endsWith("\r\n."));
        QCOMPARE(noisy.count('.'), 1);
        QVERIFY(noisy.contains('\0'));
        QVERIFY(noisy.contains('\xFF'));
        const QByteArray line = ReplyLine(noisy);
        QVERIFY(line != clean || clean.isEmpty());
        if (clean.isEmpty()) {
            // A line without reply carries the noise in its echo.
            QVERIFY(noisy.startsWith(command) && noisy.size() > command.size() + 3);
            return;
        }
        QVERIFY(line.startsWith(clean.left(3)));
        // Every field still reads whole.
        const auto parsed = vendra::ParseGetMap(QString::fromLatin1(line));
        const auto expected = vendra::ParseGetMap(QString::fromLatin1(clean));
        QCOMPARE(parsed.OutUnit, expected.OutUnit);
        QCOMPARE(parsed.OutChannel, expected.OutChannel);
        QCOMPARE(parsed.InUnit, expected.InUnit);
        QCOMPARE(parsed.InChannel, expected.InChannel);
        QCOMPARE(parsed.BooleanInUnit, expected.BooleanInUnit);
        QCOMPARE(parsed.BooleanInChannel, expected.BooleanInChannel);
        QCOMPARE(parsed.BooleanMode, expected.BooleanMode);
    }

    void faultWindow_data() {
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QList<bool>>("spoiled");  // per command, in order
        QTest::newRow("from the start, for good") << 0 << -1 << QList<bool>{true, true, true, true};
        QTest::newRow("after two, for good") << 2 << -1 << QList<bool>{false, false, true, true};
        QTest::newRow("after one, for one line")
            << 1 << 1 << QList<bool>{false, true, false, false};
        QTest::newRow("from the start, for two lines")
            << 0 << 2 << QList<bool>{true, true, false, false};
    }
    void faultWindow() {
        QFETCH(int, after);
        QFETCH(int, lines);
        QFETCH(QList<bool>, spoiled);
        ControllerModel model;
        model.SetFault(SimFault::Silent);
        model.SetFaultWindow(after, lines);
        for (qsizetype i = 0; i < spoiled.size(); ++i) {
            const QByteArray answer = model.Receive("VER");
            QCOMPARE(answer.isEmpty(), spoiled[i]);
            if (!spoiled[i]) QCOMPARE(answer, Answer("VER", "MAINV8"));
        }
        QCOMPARE(model.Log().size(), spoiled.size());
    }

    void faultOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString link = QStringLiteral("/nonexistent/ttySIM");
        QTest::newRow("window without a fault")
            << QStringList{"--link", link, "--fault-after", "3"} << "need --fault";
        QTest::newRow("no lines") << QStringList{"--link",        link, "--fault", "flood",
                                                 "--fault-lines", "0"}
                                  << "--fault-lines";
        QTest::newRow("negative start")
            << QStringList{"--link", link, "--fault", "noise", "--fault-after", "-1"}
            << "--fault-after";
    }
    void faultOptions() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(VENDRA_TALLY_SIM), args);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        const QString output = QString::fromLocal8Bit(process.readAll());
        QVERIFY2(output.contains(message), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestSimFaults)
#include "test_sim_faults.moc"
