// Reading mappings back: one output, one list entry, and the whole list with its progress,
// its "Cancel", and every way it can end short of the list's end.
#include <QtTest>

#include "mapping/read_back.h"
#include "mapping_rig.h"
#include "widgets/captions.h"

using namespace vendra;
Q_DECLARE_METATYPE(vendra::ReadBackEnd)

namespace {

QStringList RawMaps(int from, int to) {
    QStringList lines;
    for (int n = from; n <= to; ++n)
        lines << QStringLiteral("RawMap ") + QString::number(n);
    return lines;
}

}  // namespace

class TestReadBack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneOutputAndOneEntry() {
        MappingRig rig;
        for (int n = 1; n <= 6; ++n)
            rig.model.AddMappingString(QStringLiteral("[9][%1][1][1][1][0][0][0]").arg(n));
        rig.model.AddMappingString(QStringLiteral("[2][1][3][4][1][0][0][0]"));
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);

        readBack.GetMapping(2, 1);
        QCOMPARE(rig.tables.Current, (MappingRecord{2, 1, 3, 4, 1, 0, 0, 0}));
        QCOMPARE(readBack.GetRawMapping(7), QStringLiteral("[2][1][3][4][1][0][0][0]"));
        QCOMPARE(rig.tables.RawMapList[7], QStringLiteral("[2][1][3][4][1][0][0][0]"));
        QCOMPARE(rig.model.Log(), (QStringList{"GetMap 2  1", "RawMap 7"}));
        QVERIFY(rig.tables.OutMapString[1].isEmpty());

        // No answer: nothing stored, the record kept.
        rig.port.FaultOn(SimFault::Silent, 1);
        QVERIFY(readBack.GetRawMapping(3).isEmpty());
        QVERIFY(rig.tables.RawMapList[3].isEmpty());
        QCOMPARE(rig.tables.Current.InUnit, 3);
    }

    void wholeList() {
        MappingRig rig;
        rig.Configure(5, 3);
        for (const char* s :
             {"[1][3][2][11][1][0][0][0]", "[1][5][0][0][1][0][0][0]", "[1][4][2][99][1][2][12][1]",
              "[1][5][2][13][1][0][0][0]", "[9][9][2][12][1][0][0][0]"})
            rig.model.AddMappingString(QString::fromLatin1(s));
        rig.tables.OutMapString[4] = QStringLiteral("stale");
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);
        QStringList progress;
        connect(&readBack, &ReadBack::Progressed, this,
                [&](const ProgressReport& p) { progress << ProgressCaption(p); });
        QSignalSpy controls(&readBack, &ReadBack::ControlsEnabled);
        QSignalSpy cancel(&readBack, &ReadBack::CancelVisible);

        const ReadBackResult r = readBack.GetAllRawMappings();
        QCOMPARE(r.end, ReadBackEnd::EndOfList);
        QCOMPARE(r.count, 5);
        QCOMPARE(rig.tables.MapStringCount, 5);
        QCOMPARE(rig.model.Log(), RawMaps(1, 6));
        QCOMPARE(progress.first(), QString());
        QCOMPARE(progress.last(), QStringLiteral("Downloading  5"));
        QCOMPARE(controls, (QList<QVariantList>{{false}, {true}}));
        QCOMPARE(cancel, (QList<QVariantList>{{true}, {false}}));
        QVERIFY(rig.dialogs.Texts().isEmpty());
        QCOMPARE(rig.tables.DownloadActive, 0);
        // Entry by entry: input number plain, unknown input one past the last, later entry wins.
        QCOMPARE(rig.tables.OutMapInput[1], QStringLiteral("1"));
        QCOMPARE(rig.tables.OutMapInput[2], QStringLiteral("4"));
        QCOMPARE(rig.tables.OutMapString[3], QStringLiteral("[1][5][2][13][1][0][0][0]"));
        QCOMPARE(rig.tables.OutMapInput[3], QStringLiteral("3"));
        QVERIFY(rig.tables.OutMapString[4].isEmpty());
        // An output the configuration lacks is kept one past the last configured output.
        QCOMPARE(rig.tables.OutMapInput[6], QStringLiteral("2"));
        QCOMPARE(rig.tables.RawMapList[2], QStringLiteral("[1][5][0][0][1][0][0][0]"));
    }

    // Past its last entry a controller may answer with the terminator alone, and some end their
    // lines with a carriage return alone: both are the end of the list, nothing to tell.
    void endOfListInOtherForms_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("bare terminator") << int(SimFault::BareEnd);
        QTest::newRow("carriage returns alone") << int(SimFault::CrOnly);
    }
    void endOfListInOtherForms() {
        QFETCH(int, fault);
        MappingRig rig;
        rig.Configure(5, 3);
        for (int n = 1; n <= 3; ++n)
            rig.model.AddMappingString(QStringLiteral("[1][%1][2][11][1][0][0][0]").arg(n + 2));
        rig.port.FaultOn(SimFault(fault), 1);
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);

        const ReadBackResult r = readBack.GetAllRawMappings();
        QCOMPARE(r.end, ReadBackEnd::EndOfList);
        QCOMPARE(r.count, 3);
        QCOMPARE(rig.model.Log(), RawMaps(1, 4));
        QCOMPARE(rig.dialogs.Texts(), QStringList());
        QCOMPARE(rig.tables.OutMapString[3], QStringLiteral("[1][5][2][11][1][0][0][0]"));
    }

    void endsShort_data() {
        QTest::addColumn<int>("answered");  // exchanges answered properly before the fault
        QTest::addColumn<int>("fault");     // SimFault; -1: the controller stops answering
        QTest::addColumn<QString>("said");
        QTest::newRow("stops answering") << 2 << -1 << "stopped answering after 2 mappings.";
        QTest::newRow("silent at once")
            << 0 << int(SimFault::Silent) << "stopped answering after 0 mappings.";
        QTest::newRow("no terminator") << 2 << int(SimFault::NoTerminator) << "after 2 mappings.";
        QTest::newRow("dot in reply")
            << 1 << int(SimFault::DotInReply) << "broken reply after 1 mapping.";
        QTest::newRow("garbage") << 2 << int(SimFault::Garbage) << "after 2 mappings.";
    }
    void endsShort() {
        QFETCH(int, answered);
        QFETCH(int, fault);
        QFETCH(QString, said);
        MappingRig rig;
        rig.Configure(5, 3);
        for (int n = 1; n <= 5; ++n)
            rig.model.AddMappingString(QStringLiteral("[1][%1][2][11][1][0][0][0]").arg(n + 2));
        if (fault < 0)
            rig.model.SetAnswerLimit(answered);
        else
            rig.port.FaultOn(SimFault(fault), answered + 1);
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);
        QSignalSpy controls(&readBack, &ReadBack::ControlsEnabled);

        const ReadBackResult r = readBack.GetAllRawMappings();
        QCOMPARE(r.end, ReadBackEnd::NoAnswer);
        QCOMPARE(r.count, answered);
        QCOMPARE(rig.tables.MapStringCount, answered);
        QCOMPARE(controls.last().first().toBool(), true);
        QCOMPARE(rig.dialogs.Titles(), QStringList{"Read-back incomplete"});
        QVERIFY2(rig.dialogs.Texts().first().contains(said),
                 qPrintable(rig.dialogs.Texts().first()));
        // The entry that came broken is not taken into the tables.
        QVERIFY(rig.tables.OutMapString[answered + 1].isEmpty());
    }

    void cancel_data() {
        QTest::addColumn<int>("cancelAfter");  // entries shown before the click
        QTest::newRow("before the first entry") << 0;
        QTest::newRow("after two entries") << 2;
    }
    void cancel() {
        QFETCH(int, cancelAfter);
        MappingRig rig;
        for (int n = 1; n <= 6; ++n)
            rig.model.AddMappingString(QStringLiteral("[1][%1][0][0][1][0][0][0]").arg(n));
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);
        const QString at = QStringLiteral("Downloading ") + QStringLiteral(" %1").arg(cancelAfter);
        auto click = [&] { QTimer::singleShot(0, &readBack, &ReadBack::CancelDownload); };
        if (cancelAfter == 0) click();
        connect(&readBack, &ReadBack::Progressed, this, [&](const ProgressReport& p) {
            if (ProgressCaption(p) == at) click();
        });
        // A second read-back started meanwhile must not disturb the running one.
        ReadBackResult nested{ReadBackEnd::EndOfList, -1};
        QTimer::singleShot(0, &readBack, [&] { nested = readBack.GetAllRawMappings(); });

        const ReadBackResult r = readBack.GetAllRawMappings();
        // The click is seen before the next request, which is still taken.
        QCOMPARE(r.end, ReadBackEnd::Cancelled);
        QCOMPARE(r.count, cancelAfter + 1);
        QCOMPARE(rig.model.Log(), RawMaps(1, cancelAfter + 1));
        QCOMPARE(nested.end, ReadBackEnd::Cancelled);
        QVERIFY(rig.dialogs.Texts().isEmpty());
        QCOMPARE(rig.tables.DownloadActive, 0);
    }

    void fullTable_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<ReadBackEnd>("end");
        QTest::newRow("999 fit") << 999 << ReadBackEnd::EndOfList;
        QTest::newRow("1000 do not") << 1000 << ReadBackEnd::TableFull;
    }
    void fullTable() {
        QFETCH(int, entries);
        QFETCH(ReadBackEnd, end);
        MappingRig rig;
        rig.Configure(999, 1);
        std::vector<SimEntry> table;
        // Entry 1 names an output the configuration lacks: with every slot in use it is only
        // counted. Entry n > 1 maps output n; entry 1000 an output the table has no room for.
        table.push_back({7, 7, 2, 11, 1, 0, 0, 0});
        for (int n = 2; n <= 999 && n <= entries; ++n)
            table.push_back({rig.tables.OutUnit[n], rig.tables.OutChannel[n], 2, 11, 1, 0, 0, 0});
        if (entries == 1000) table.push_back({3, 3, 2, 11, 1, 0, 0, 0});
        rig.model.SetTable(table);
        ReadBack readBack(rig.tables, rig.link, rig.dialogs);
        readBack.SetPauseMs(0);

        const ReadBackResult r = readBack.GetAllRawMappings();
        QCOMPARE(r.end, end);
        QCOMPARE(r.count, 999);
        QCOMPARE(rig.model.Log().size(), 1000);
        QCOMPARE(rig.dialogs.Texts().size(), entries > 999 ? 1 : 0);
        QCOMPARE(rig.tables.OutMapString[999], QStringLiteral("[2][501][2][11][1][0][0][0]"));
        QVERIFY(rig.tables.OutMapString[1].isEmpty() && rig.tables.OutMapString[0].isEmpty());
        QCOMPARE(rig.tables.RawMapList[1], QStringLiteral("[7][7][2][11][1][0][0][0]"));
    }
};

QTEST_GUILESS_MAIN(TestReadBack)
#include "test_read_back.moc"
