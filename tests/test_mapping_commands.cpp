// Mapping, clearing, reset and refresh commands: the exact lines on the wire, the mapping string
// left for the caller, and the result when the controller does not answer; the lines a change of
// live changes sends, and the output a typed command addresses.
#include <QtTest>

#include "mapping/command_lines.h"
#include "mapping/mapping_commands.h"
#include "mapping/output_test.h"
#include "mapping/read_back.h"
#include "mapping_rig.h"

using namespace vendra;

Q_DECLARE_METATYPE(ChangeOutcome)

class TestMappingCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void setMapping_data() {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QList<int>>("args");  // ounit, ochannel, iunit, ichannel[, bu, bc, type]
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("mapString");
        QTest::newRow("map") << true << QList<int>{1, 3, 2, 17} << QStringList{"Map 1 3 2 17"}
                             << "[1][3][2][17][1][0][0][0]";
        QTest::newRow("negative") << true << QList<int>{-1, 3, 2, -17}
                                  << QStringList{"Map-1 3 2-17"} << "[-1][3][2][-17][1][0][0][0]";
        QTest::newRow("unassigned")
            << true << QList<int>{1, 3, 0, 0} << QStringList{"Res 1  3", "ClrMap 1  3"} << "";
        // A unit below 1 is a unit: only unit 0 is no input.
        QTest::newRow("below 1") << true << QList<int>{12, 5, -1, 4} << QStringList{"Map 12 5-1 4"}
                                 << "[12][5][-1][4][1][0][0][0]";
        QTest::newRow("offline") << false << QList<int>{1, 3, 2, 17} << QStringList{}
                                 << "[1][3][2][17][1][0][0][0]";
        QTest::newRow("offline unassigned")
            << false << QList<int>{1, 3, 0, 0} << QStringList{} << "";
        QTest::newRow("OR") << true << QList<int>{1, 3, 2, 17, 4, 9, 2}
                            << QStringList{"Map 1 3 2 17", "OR 1 3 4 9"}
                            << "[1][3][2][17][1][4][9][2]";
        QTest::newRow("AND") << true << QList<int>{1, 3, 2, 17, 4, 9, 1}
                             << QStringList{"Map 1 3 2 17", "AND 1 3 4 9"}
                             << "[1][3][2][17][1][4][9][1]";
        // Any other mode goes out as OR, and the string must say what the controller was told.
        QTest::newRow("mode 3") << true << QList<int>{1, 3, 2, 17, 4, 9, 3}
                                << QStringList{"Map 1 3 2 17", "OR 1 3 4 9"}
                                << "[1][3][2][17][1][4][9][2]";
        QTest::newRow("bool unassigned") << true << QList<int>{1, 3, 0, 0, 4, 9, 2}
                                         << QStringList{"Res 1  3", "ClrMap 1  3"} << "";
        QTest::newRow("bool offline") << false << QList<int>{1, 3, 2, 17, 4, 9, 1} << QStringList{}
                                      << "[1][3][2][17][1][4][9][1]";
    }
    void setMapping() {
        QFETCH(bool, online);
        QFETCH(QList<int>, args);
        QFETCH(QStringList, sent);
        QFETCH(QString, mapString);
        MappingRig rig;
        rig.online = online;
        MappingCommands commands(rig.tables, rig.link, rig.Online());
        QSignalSpy flash(&commands, &MappingCommands::MapFlash);
        rig.tables.CurrentMapstring = QStringLiteral("stale");
        const auto& a = args;
        Reply reply;
        if (a.size() == 7) {
            // The single mapping always goes first; the boolean command adds the second input.
            if (online && a[2] != 0) commands.SetMapping(a[0], a[1], a[2], a[3]);
            reply = commands.SetBoolMapping(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
        } else {
            reply = commands.SetMapping(a[0], a[1], a[2], a[3]);
        }
        // The controller takes every line but one for an output unit below 1.
        QCOMPARE(OutcomeOf(online, reply), !online    ? ChangeOutcome::Offline
                                           : a[0] < 1 ? ChangeOutcome::Refused
                                                      : ChangeOutcome::Made);
        QCOMPARE(rig.model.Log(), sent);
        QCOMPARE(rig.tables.CurrentMapstring, mapString);
        QVERIFY(flash.size() >= 1);
        QByteArray wire;
        for (const QString& line : sent)
            wire += line.toLatin1() + "\r\n";
        QCOMPARE(rig.port.written, wire);
    }

    void silentControllerFails_data() {
        QTest::addColumn<QList<int>>("args");
        QTest::newRow("map") << QList<int>{1, 3, 2, 17};
        QTest::newRow("clear") << QList<int>{1, 3, 0, 0};
        QTest::newRow("bool") << QList<int>{1, 3, 2, 17, 4, 9, 1};
    }
    void silentControllerFails() {
        QFETCH(QList<int>, args);
        MappingRig rig;
        rig.port.FaultOn(SimFault::Silent, 1);
        MappingCommands commands(rig.tables, rig.link, rig.Online());
        const auto& a = args;
        const Reply reply = a.size() == 7
                                ? commands.SetBoolMapping(a[0], a[1], a[2], a[3], a[4], a[5], a[6])
                                : commands.SetMapping(a[0], a[1], a[2], a[3]);
        QCOMPARE(OutcomeOf(true, reply), ChangeOutcome::Failed);
        // The string is built all the same; the caller decides by the outcome.
        QCOMPARE(rig.tables.CurrentMapstring.isEmpty(), a[2] == 0);
    }

    void silentResetDoesNotDecideTheClear() {
        MappingRig rig;
        rig.model.AddMappingString(QStringLiteral("[1][3][2][17][1][0][0][0]"));
        rig.port.FaultOn(SimFault::Silent, 1, 1);  // "Res" gets no answer, "ClrMap" does
        MappingCommands commands(rig.tables, rig.link, rig.Online());
        QCOMPARE(OutcomeOf(true, commands.SetMapping(1, 3, 0, 0)), ChangeOutcome::Made);
        QCOMPARE(rig.model.Table().front().OutUnit, 0);
    }

    void systemCommands() {
        MappingRig rig;
        rig.Configure(8, 2);
        MappingCommands commands(rig.tables, rig.link, rig.Online());
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        OutputTest tests(rig.tables, rig.link, readBack, rig.Online());
        commands.SetMapping(1, 4, 2, 11);
        rig.tables.OutMapString[2] = rig.tables.OutMapString[8] = QStringLiteral("[1][4]");
        tests.TestOn(2);
        tests.TestOn(7);
        QVERIFY(rig.model.IsForcedOn(1, 9));
        rig.model.ClearLog();

        commands.ResetOutput(12, 5);
        commands.MapTableCompress();
        QSignalSpy rows(&tests, &OutputTest::RowTest);
        commands.SystemRefresh(tests);
        QCOMPARE(rows.size(), 8);
        QVERIFY(!tests.UnderTest(2) && !tests.UnderTest(7));
        QVERIFY(!rig.model.IsForcedOn(1, 9));
        commands.SystemInit();
        QCOMPARE(rig.model.Log(), (QStringList{"Res 12  5", "Comp", "Refresh", "Init"}));
        QVERIFY(rig.model.Table().empty());
        QVERIFY(rig.tables.OutMapString[2].isEmpty() && rig.tables.OutMapString[8].isEmpty());
        // Both outputs can be tested again.
        rig.model.ClearLog();
        tests.TestOn(7);
        QCOMPARE(rig.model.Log().value(1), QStringLiteral("mapdisab 1  9"));
    }
    // What live changes send to give an output a mapping (the editor's cases are above).
    void linesForAMapping_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("clearFirst");  // the controller holds the output twice
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("disabled") << "[1][3][2][17][0][0][0][0]" << false
                                  << QStringList{"Map 1 3 2 17", "mapdisab 1  3"};
        QTest::newRow("AND disabled")
            << "[1][3][2][17][0][4][9][1]" << false
            << QStringList{"Map 1 3 2 17", "AND 1 3 4 9", "mapdisab 1  3"};
        QTest::newRow("held twice") << "[-1][3][2][17][1][0][0][0]" << true
                                    << QStringList{"Res-1  3", "ClrMap-1  3", "Map-1 3 2 17"};
        QTest::newRow("unmapped, held twice")
            << "[1][3][0][5][1][0][0][0]" << true << QStringList{"Res 1  3", "ClrMap 1  3"};
    }
    void linesForAMapping() {
        QFETCH(QString, target);
        QFETCH(bool, clearFirst);
        QFETCH(QStringList, lines);
        QCOMPARE(MappingLines(ParseGetMap(target), clearFirst), lines);
    }

    // The output a command line addresses, read as the controller reads it.
    void addressOfACommand_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("address");  // "word unit channel", or empty for none
        QTest::newRow("sign columns") << "Res 1  3"
                                      << "Res 1 3";
        QTest::newRow("negative, glued") << "Res-2 -7"
                                         << "Res -2 -7";
        QTest::newRow("inputs glued") << "map 1 3-2-7"
                                      << "map 1 3";
        QTest::newRow("tabs") << "\tClrMap\t4\t5 "
                              << "ClrMap 4 5";
        QTest::newRow("no channel") << "Res 1"
                                    << "";
        QTest::newRow("not a number") << "Map 1 x 2 5"
                                      << "";
        QTest::newRow("no word") << "-1 3"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void addressOfACommand() {
        QFETCH(QString, command);
        QFETCH(QString, address);
        const std::optional<CommandAddress> a = AddressOf(command);
        QCOMPARE(
            a ? QStringLiteral("%1 %2 %3").arg(a->Word).arg(a->Unit).arg(a->Channel) : QString(),
            address);
    }
};

QTEST_GUILESS_MAIN(TestMappingCommands)
#include "test_mapping_commands.moc"
