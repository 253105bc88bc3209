// Why a lamp is lit: the table of cases (support/lamp_cases.h) through the lamp logic. The same
// cases through `vendractl lamps` and the overview window against tally-sim:
// test_tally_overview_pty.
#include <QJsonObject>
#include <QtTest>

#include "changes/lamp_state.h"
#include "mapping/mapping_tables.h"
#include "support/lamp_cases.h"

using namespace vendra;

class TestTallyOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lampAndReason_data() {
        QTest::addColumn<int>("output");
        for (int o = 1; o <= kOutputs; ++o)
            QTest::newRow(kCases[o - 1].tag) << o;
    }

    void lampAndReason() {
        QFETCH(int, output);
        MappingTables tables;
        tables.NumOutputs = kOutputs;
        for (int o = 1; o <= kOutputs; ++o) {
            tables.OutName[o] = QStringLiteral("Out %1").arg(o);
            tables.OutUnit[o] = 1;
            tables.OutChannel[o] = o;
            tables.OutMapString[o] = MapOf(o);
            tables.OutTest[o] = kCases[o - 1].underTest ? -1 : 0;
        }
        const QStringList names{"Cam 1", "Cam 2", "Cam 3", "Mic"};
        tables.NumInputs = 4;
        for (int j = 1; j <= 4; ++j) {
            tables.InName[j] = names[j - 1];
            tables.InUnit[j] = j == 4 ? 3 : 2;
            tables.InChannel[j] = j == 4 ? 1 : j;
        }
        QCOMPARE(UnitsWithInputs(tables), (QList<int>{2, 3}));
        InputBits inputs;
        inputs.SetPolled(UnitsWithInputs(tables));
        QVERIFY(inputs.Set(2, kUnit2Bits));
        QVERIFY(inputs.Set(3, std::nullopt));
        QVERIFY(!inputs.Set(2, kUnit2Bits));  // the same answer again changes nothing

        const LampRow row = ComputeLamp(tables, output, inputs);
        const Case& c = kCases[output - 1];
        QCOMPARE(StateText(row.Lamp), QLatin1String(c.lamp));
        QCOMPARE(row.Reason, QLatin1String(c.reason));
        const QJsonObject json = LampJson(row);
        QCOMPARE(json.value("lit").isNull(), row.Lamp == LampState::Unknown);
        // The fields a script compares, each one word: the mapping string's enable flag and
        // mode, and the test.
        const QStringList fields = QString(c.inputs).remove('[').split(']', Qt::SkipEmptyParts);
        const QJsonValue op =
            fields.isEmpty() ? QJsonValue()
                             : QJsonValue(QStringList{"single", "and", "or"}.at(fields[5].toInt()));
        QCOMPARE(json.value("operator"), op);
        QCOMPARE(json.value("enabled"),
                 fields.isEmpty() ? QJsonValue() : QJsonValue(fields[2] == "1"));
        QCOMPARE(json.value("underTest").toBool(), c.underTest);
        for (const QJsonValue in : json.value("inputs").toArray())
            QVERIFY(!in.toObject().value("state").toString().contains(' '));
    }

    // A unit's count of outputs on is taken only when the bits read after it bear it out; what
    // it tells (outputs forced on) then holds as the inputs change. Unit 1: output 1 follows an
    // input, output 2's mapping is disabled (an output test left on shows only in the count).
    void unitCountsFollowTheInputs_data() {
        QTest::addColumn<bool>("litWhenRead");  // output 1 as the bits said when the count came
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("litAfter");      // as the next cycle's bits say
        QTest::addColumn<QString>("lampAfter");  // output 2's
        QTest::addColumn<bool>("litLater");
        QTest::addColumn<QString>("lampLater");
        QTest::newRow("a test left on, the input still")
            << false << 1 << false << "lit" << false << "lit";
        QTest::newRow("an input lit between the bits and the count: no test")
            << false << 1 << true << "dark" << true << "dark";
        QTest::newRow("a test left on, the input off later")
            << true << 2 << true << "lit" << false << "lit";
    }
    void unitCountsFollowTheInputs() {
        QFETCH(bool, litWhenRead);
        QFETCH(int, count);
        QFETCH(bool, litAfter);
        QFETCH(QString, lampAfter);
        QFETCH(bool, litLater);
        QFETCH(QString, lampLater);
        const auto rows = [](bool lit) {
            QList<LampRow> two(2);
            for (int o = 1; o <= 2; ++o) {
                two[o - 1].Output = two[o - 1].Channel = o;
                two[o - 1].Unit = 1;
            }
            two[0].Lamp = lit ? LampState::Lit : LampState::Dark;
            two[0].Reason = lit ? QStringLiteral("Cam on") : QStringLiteral("Cam off");
            two[1].Reason = QStringLiteral("mapping disabled");
            return two;
        };
        UnitCounts counts;
        counts.Reset({1});
        QCOMPARE(StateText(counts.Settle(rows(litWhenRead))[1].Lamp), "unknown");
        counts.Read(1, QStringLiteral("UNIT 1 OK IN 0001 OUT %1").arg(count, 4, 10, QChar('0')),
                    rows(litWhenRead));
        counts.Confirm(rows(litAfter));
        QVERIFY(counts.Checked());
        QCOMPARE(StateText(counts.Settle(rows(litAfter))[1].Lamp), lampAfter);
        QCOMPARE(StateText(counts.Settle(rows(litLater))[1].Lamp), lampLater);
        // Starting over forgets every count taken: nothing is settled until a new one is.
        counts.Reset({1});
        QCOMPARE(StateText(counts.Settle(rows(litLater))[1].Lamp), "unknown");
        counts.Reset({});
        QCOMPARE(counts.Settle(rows(litLater)), rows(litLater));
    }
};

QTEST_GUILESS_MAIN(TestTallyOverview)
#include "test_tally_overview.moc"
