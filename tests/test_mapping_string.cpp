// The mapping string parser and builders, and the table searches the read-back relies on.
#include <QtTest>

#include "mapping/mapping_string.h"
#include "mapping/mapping_tables.h"

using namespace vendra;
using Fields = QList<int>;

class TestMappingString : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseGetMap_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Fields>("fields");
        QTest::newRow("full") << "[1][3][2][17][1][0][0][0]" << Fields{1, 3, 2, 17, 1, 0, 0, 0};
        QTest::newRow("two fields") << "[5][6]" << Fields{5, 6, 0, 0, 0, 0, 0, 0};
        QTest::newRow("blanks") << " [ 9][10 ]" << Fields{9, 10, 0, 0, 0, 0, 0, 0};
        QTest::newRow("three characters only") << "[1234]" << Fields{123, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("halves to even") << "[2.5][3.5][0.5]" << Fields{2, 4, 0, 0, 0, 0, 0, 0};
        QTest::newRow("negative") << "[-7][-123]" << Fields{-7, -12, 0, 0, 0, 0, 0, 0};
        QTest::newRow("nine fields")
            << "[1][2][3][4][5][6][7][8][9]" << Fields{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("reply line with CR")
            << "[1][3][2][17][1][4][9][2]\r" << Fields{1, 3, 2, 17, 1, 4, 9, 2};
        QTest::newRow("error line") << "ERR UNKNOWN COMMAND" << Fields{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("empty") << "" << Fields{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("bracket at the end") << "[12][" << Fields{12, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("not a number") << "[x][[5]" << Fields{0, 0, 5, 0, 0, 0, 0, 0};
    }
    void parseGetMap() {
        QFETCH(QString, text);
        QFETCH(Fields, fields);
        const MappingRecord r = ParseGetMap(text);
        QCOMPARE((Fields{r.OutUnit, r.OutChannel, r.InUnit, r.InChannel, r.MapEnable,
                         r.BooleanInUnit, r.BooleanInChannel, r.BooleanMode}),
                 fields);
    }

    void builders() {
        QCOMPARE(SingleMapString(1, 3, 2, 17), QStringLiteral("[1][3][2][17][1][0][0][0]"));
        QCOMPARE(BoolMapString(1, 3, 2, 17, 4, 9, kOr),
                 QStringLiteral("[1][3][2][17][1][4][9][2]"));
        QCOMPARE(SingleMapString(-2, 0, 12, -5), QStringLiteral("[-2][0][12][-5][1][0][0][0]"));
        // What the builders write, the parser reads back unchanged.
        const MappingRecord r = ParseGetMap(BoolMapString(99, -9, 7, 250, 8, 31, kAnd));
        QCOMPARE(r, (MappingRecord{99, -9, 7, 250, 1, 8, 31, kAnd}));
    }

    void searches() {
        MappingTables t;
        t.NumInputs = 6;
        t.InUnit[3] = 2, t.InChannel[3] = 7;
        t.InUnit[5] = 2, t.InChannel[5] = 7;
        t.NumOutputs = 4;
        t.OutUnit[0] = 1, t.OutChannel[0] = 9;  // slot 0 is never a configured output
        t.OutUnit[2] = 1, t.OutChannel[2] = 9;
        t.OutUnit[4] = 1, t.OutChannel[4] = 9;
        QCOMPARE(t.SearchInputList(2, 7), 3);
        QCOMPARE(t.SearchInputList(0, 0), 0);
        QCOMPARE(t.SearchInputList(2, 8), 7);
        t.Current.OutUnit = 1, t.Current.OutChannel = 9;
        QCOMPARE(t.FindOutputMapping(), 2);
        t.Current.OutChannel = 10;
        QCOMPARE(t.FindOutputMapping(), 5);
        t.NumOutputs = 0;
        t.Current.OutChannel = 9;
        QCOMPARE(t.FindOutputMapping(), 1);
        t.Current.InUnit = 2, t.Current.InChannel = 7;
        QCOMPARE(t.FindInputSourceMapping(), 3);
    }

    void clearLocalMapsKeepsTheRest() {
        MappingTables t;
        t.NumOutputs = 10;
        for (int i = 0; i <= 12; ++i) {
            t.OutMapString[i] = t.OutMapInput[i] = t.RawMapList[i] = QString::number(i);
            t.OutTest[i] = -1;
        }
        t.MapStringCount = 12;
        t.ClearLocalMaps();
        QVERIFY(t.OutMapString[0].isEmpty() && t.OutMapInput[10].isEmpty() &&
                t.OutMapString[10].isEmpty());
        QCOMPARE(t.OutMapString[11], QStringLiteral("11"));
        QCOMPARE(t.OutMapInput[11], QStringLiteral("11"));
        QCOMPARE(t.RawMapList[5], QStringLiteral("5"));
        QCOMPARE(t.OutTest[5], -1);
        QCOMPARE(t.MapStringCount, 12);
    }

    void tablesDropWritesOutsideThem() {
        MappingTables t;
        t.OutMapString[999] = QStringLiteral("last");
        t.OutMapString[1000] = QStringLiteral("past the end");
        t.OutMapString[-1] = QStringLiteral("before the start");
        QCOMPARE(t.OutMapString[999], QStringLiteral("last"));
        QVERIFY(t.OutMapString[0].isEmpty());
        QVERIFY(std::as_const(t.OutMapString)[1000].isEmpty());
        QCOMPARE(std::as_const(t.InName)[0], QStringLiteral("Unassigned"));
    }
};

QTEST_GUILESS_MAIN(TestMappingString)
#include "test_mapping_string.moc"
