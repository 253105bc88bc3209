// Output test and latch: the exact command sequence, the output it addresses, and that nothing
// happens offline or in the wrong state.
#include <QtTest>

#include "mapping/output_test.h"
#include "mapping/read_back.h"
#include "mapping_rig.h"
#include "platform/numbers.h"

using namespace vendra;

struct TestRig : MappingRig {
    ReadBack readBack{tables, link, dialogs};
    OutputTest tests{tables, link, readBack, Online()};
    QSignalSpy rows{&tests, &OutputTest::RowTest};
    QSignalSpy button{&tests, &OutputTest::TestActive};
    QSignalSpy latch{&tests, &OutputTest::LatchShown};
    TestRig() {
        Configure(8, 2);
        readBack.SetPauseMs(0);  // the pause only gives a real controller time
    }
};

class TestOutputTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pressAndRelease_data() {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("channel");
        QTest::newRow("output 1") << 1 << 1 << 3;
        QTest::newRow("output 7") << 7 << 1 << 9;
        QTest::newRow("address of its own") << 2 << 3 << 250;
    }
    void pressAndRelease() {
        QFETCH(int, output);
        QFETCH(int, unit);
        QFETCH(int, channel);
        TestRig rig;
        rig.tables.OutUnit[output] = unit, rig.tables.OutChannel[output] = channel;
        rig.model.AddMappingString(
            QStringLiteral("[%1][%2][2][11][1][0][0][0]").arg(unit).arg(channel));
        const QString at = QStringLiteral("%1 %2").arg(SignColumn(unit), SignColumn(channel));

        rig.tests.TestOn(output);
        rig.tests.TestOn(output);  // held already: nothing more
        QVERIFY(rig.tests.UnderTest(output));
        QCOMPARE(rig.tables.Current.InChannel, 11);  // the mapping was read back first
        QVERIFY(rig.model.IsForcedOn(unit, channel) && !rig.model.IsEntryEnabled(unit, channel));
        for (int other = 1; other <= 8; ++other)
            QVERIFY(other == output || !rig.model.IsForcedOn(1, other + 2));
        rig.tests.TestOff(output);
        rig.tests.TestOff(output);
        QVERIFY(!rig.model.IsForcedOn(unit, channel) && rig.model.IsEntryEnabled(unit, channel));

        QStringList sent;
        for (const char* word : {"GetMap", "mapdisab", "Set", "Res", "MapEnab"})
            sent << QString::fromLatin1(word) + at;
        QCOMPARE(rig.model.Log(), sent);
        QCOMPARE(rig.rows, (QList<QVariantList>{{output - 1, true}, {output - 1, false}}));
        QCOMPARE(rig.button, (QList<QVariantList>{{true}, {false}}));
    }

    // A test-on the controller did not make is taken back as far as it may have been taken:
    // no lamp stays forced on and no mapping disabled with no red row to show it.
    void testOnNotMadeIsTakenBack_data() {
        QTest::addColumn<QString>("line");  // the line that is not made
        QTest::addColumn<bool>("silent");   // carried out but not answered; else refused
        QTest::addColumn<QStringList>("after");
        QTest::newRow("mapdisab refused") << "mapdisab 1  3" << false << QStringList{};
        QTest::newRow("mapdisab silent") << "mapdisab 1  3" << true << QStringList{"MapEnab 1  3"};
        QTest::newRow("Set refused") << "Set 1  3" << false << QStringList{"MapEnab 1  3"};
        QTest::newRow("Set silent")
            << "Set 1  3" << true << QStringList{"Res 1  3", "MapEnab 1  3"};
    }
    void testOnNotMadeIsTakenBack() {
        QFETCH(QString, line);
        QFETCH(bool, silent);
        QFETCH(QStringList, after);
        TestRig rig;
        rig.model.AddMappingString(QStringLiteral("[1][3][2][11][1][0][0][0]"));
        const QByteArray bytes = line.toLatin1() + "\r\n";
        if (!silent) rig.model.AddRefusal(line.toLatin1());
        if (silent)
            rig.port.reply = [bytes](const QByteArray& l) {
                return l == bytes ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
            };
        rig.tests.TestOn(1);
        const QStringList log = rig.model.Log();
        QCOMPARE(log.mid(log.indexOf(line) + 1), after);
        QVERIFY(!rig.tests.UnderTest(1));
        QVERIFY(!rig.model.IsForcedOn(1, 3) && rig.model.IsEntryEnabled(1, 3));
    }

    // A test whose take-back was refused stays shown until a command ends it in the
    // controller: a "Map" made enables the mapping again, which ends a test that forces nothing
    // on, not one whose "Set" was made.
    void aMapMadeEndsATestThatForcesNothingOn_data() {
        QTest::addColumn<bool>("setMade");
        QTest::newRow("Set refused") << false;
        QTest::newRow("Set made") << true;
    }
    void aMapMadeEndsATestThatForcesNothingOn() {
        QFETCH(bool, setMade);
        TestRig rig;
        rig.model.AddMappingString(QStringLiteral("[1][3][2][11][1][0][0][0]"));
        if (!setMade) rig.model.AddRefusal("Set 1  3");
        rig.model.AddRefusal("MapEnab 1  3");
        rig.tests.TestLatchChange(1);
        QVERIFY(rig.tests.UnderTest(1));
        rig.link.Exchange(QStringLiteral("Map 1 3 2 12"));
        QCOMPARE(rig.tests.UnderTest(1), setMade);
        QCOMPARE(rig.model.IsForcedOn(1, 3), setMade);
        // The release's "MapEnab" is refused, but the "Map" already enabled the entry.
        if (setMade) rig.tests.TestLatchChange(1);
        QVERIFY(!rig.tests.UnderTest(1));
        QVERIFY(!rig.model.IsForcedOn(1, 3));
    }

    // A clear whose "Res" is made but whose "ClrMap" is not leaves the mapping the test
    // disabled: the row stays red until the entry is gone.
    void aResetAloneLeavesTheDisabledMappingShown() {
        TestRig rig;
        rig.model.AddMappingString(QStringLiteral("[1][3][2][11][1][0][0][0]"));
        rig.tests.TestLatchChange(1);
        rig.link.Exchange(QStringLiteral("Res 1  3"));
        QVERIFY(rig.tests.UnderTest(1));
        rig.link.Exchange(QStringLiteral("ClrMap 1  3"));
        QVERIFY(!rig.tests.UnderTest(1));
    }

    // Another program enables the mapping a test disabled, after the test's "Res" was made: the
    // next read-back sees the entry enabled, and the test is over. Still disabled, it goes on.
    // A read-back that ends before the entry cannot tell, and the test goes on.
    void aReadBackSeesTheMappingEnabledAgain_data() {
        QTest::addColumn<bool>("enabledElsewhere");
        QTest::addColumn<bool>("reached");
        QTest::newRow("enabled by another program") << true << true;
        QTest::newRow("still disabled") << false << true;
        QTest::newRow("enabled, the read-back cut before it") << true << false;
    }
    void aReadBackSeesTheMappingEnabledAgain() {
        QFETCH(bool, enabledElsewhere);
        QFETCH(bool, reached);
        TestRig rig;
        rig.model.AddMappingString(QStringLiteral("[3][250][2][12][1][0][0][0]"));
        rig.model.AddMappingString(QStringLiteral("[1][3][2][11][1][0][0][0]"));
        rig.tests.TestLatchChange(1);
        rig.link.Exchange(QStringLiteral("Res 1  3"));
        if (enabledElsewhere) rig.model.Feed("MapEnab 1  3\r\n");
        if (!reached)
            rig.port.reply = [](const QByteArray& line) {
                return line.startsWith("RawMap 2") ? std::optional<QByteArray>(QByteArray())
                                                   : std::nullopt;
            };
        QCOMPARE(rig.readBack.GetAllRawMappings().Complete(), reached);
        const bool ended = enabledElsewhere && reached;
        QCOMPARE(rig.tests.UnderTest(1), !ended);
        QCOMPARE(rig.rows.last(), (QVariantList{0, !ended}));
        QCOMPARE(rig.model.IsEntryEnabled(1, 3), enabledElsewhere);
    }

    void latchTwice() {
        TestRig rig;
        rig.tests.TestLatchChange(4);
        QCOMPARE(rig.model.Log(), (QStringList{"GetMap 1  6", "mapdisab 1  6", "Set 1  6"}));
        rig.tests.TestLatchChange(4);
        QCOMPARE(rig.model.Log().mid(3), (QStringList{"Res 1  6", "MapEnab 1  6"}));
        QCOMPARE(rig.latch, (QList<QVariantList>{{true}, {false}}));
    }

    // The test's "mapdisab" is the test's, not the mapping's: the release enables the entry,
    // and the copy follows it, from a mapping disabled before the test and from a read-back
    // taken while the latch held (a save or an undo would else disable it).
    void theTestsDisableIsNotTheMappings() {
        TestRig rig;
        const QString disabled = QStringLiteral("[1][6][2][11][0][2][12][2]");
        const QString enabled = QStringLiteral("[1][6][2][11][1][2][12][2]");
        rig.model.AddMappingString(enabled);
        rig.link.Exchange(QStringLiteral("mapdisab 1  6"));  // by hand, before the test
        QVERIFY(rig.readBack.GetAllRawMappings().Complete());
        QCOMPARE(rig.tables.OutMapString[4], disabled);
        rig.tests.TestLatchChange(4);
        rig.tests.TestLatchChange(4);
        QVERIFY(rig.model.IsEntryEnabled(1, 6));
        QCOMPARE(rig.tables.OutMapString[4], enabled);

        rig.tests.TestLatchChange(4);
        QVERIFY(rig.readBack.GetAllRawMappings().Complete());
        QVERIFY(!rig.model.IsEntryEnabled(1, 6));
        QCOMPARE(rig.tables.OutMapString[4], enabled);
        rig.tests.TestLatchChange(4);
        QCOMPARE(rig.tables.OutMapString[4], enabled);
    }

    // A "Res" sent by anyone ends the test of the output it addresses once the controller made
    // it (here its mapping is enabled again already); a refused one leaves the output forced on,
    // and its row red.
    void aResetEndsTheTestItAddresses_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("ended");
        QTest::newRow("made") << "Res 1  6"
                              << "OK" << true;
        QTest::newRow("typed") << "res 1 6"
                               << "OK" << true;
        QTest::newRow("refused") << "Res 1  6"
                                 << "ERR BAD UNIT" << false;
        QTest::newRow("another output") << "Res 1  7"
                                        << "OK" << false;
        // Unanswered, it may have ended the test or not: the marks are no longer certain.
        QTest::newRow("unanswered") << "Res 1  6"
                                    << "" << false;
    }
    void aResetEndsTheTestItAddresses() {
        QFETCH(QString, command);
        QFETCH(QString, answer);
        QFETCH(bool, ended);
        TestRig rig;
        rig.tests.TestOn(4);
        rig.link.Exchange(QStringLiteral("MapEnab 1  6"));
        QVERIFY(rig.tests.UnderTest(4));
        const bool unanswered = answer.isEmpty();
        rig.tests.FollowCommand(
            command, {unanswered ? ReplyKind::TimedOut : ReplyKind::Answered, answer, {}});
        QCOMPARE(rig.tests.UnderTest(4), !ended);
        // The ended test's own row goes back to the list's colour, and no other.
        QCOMPARE(rig.rows.last(), (QVariantList{3, !ended}));
        QCOMPARE(rig.tables.TestMarksUncertain, unanswered);
    }

    void nothingOfflineOrOutsideTheOutputs() {
        TestRig rig;
        rig.tests.TestOn(3);
        rig.model.ClearLog();
        rig.rows.clear();
        rig.online = false;
        rig.tests.TestOn(2);
        rig.tests.TestOff(3);
        rig.tests.TestLatchChange(2);
        rig.tests.TestLatchChange(3);
        rig.online = true;
        for (int output : {0, 9, -1, 1000})
            rig.tests.TestLatchChange(output);
        QVERIFY(rig.model.Log().isEmpty());
        QVERIFY(rig.rows.isEmpty());
        QVERIFY(!rig.tests.UnderTest(2) && rig.tests.UnderTest(3));
        // The box shows what is true: output 3 is still held, the others are not.
        QCOMPARE(rig.latch,
                 (QList<QVariantList>{{false}, {true}, {false}, {false}, {false}, {false}}));
    }

    void clearAllTest() {
        TestRig rig;
        rig.tests.TestLatchChange(2);
        rig.tests.TestLatchChange(7);
        rig.model.ClearLog();
        rig.rows.clear();
        rig.tests.ClearAllTest();
        QVERIFY(rig.model.Log().isEmpty());
        QCOMPARE(rig.rows.size(), 8);
        for (int row = 0; row < 8; ++row)
            QCOMPARE(rig.rows[row], (QVariantList{row, false}));
        rig.tests.TestOn(7);
        QCOMPARE(rig.model.Log().value(2), QStringLiteral("Set 1  9"));
    }
};

QTEST_GUILESS_MAIN(TestOutputTest)
#include "test_output_test.moc"
