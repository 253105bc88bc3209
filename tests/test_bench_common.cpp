// The benchmarks' own measuring tools must be right before their figures mean anything: the
// generated table is what the console reads back and loads, the replayed byte count equals what
// really crossed the line, the raw reference client waits for the whole answer, and a failed
// run is never reported as a met target.
#include <QtTest>

#include "bench/bench_common.h"
#include "link/online_state.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/sim_process.h"

using namespace vendra;
using namespace vendra::bench;

class TestBenchCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countedTrafficIsTheRealTraffic_data() {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("inputs");
        QTest::newRow("full installation") << 999 << 200;
        QTest::newRow("small") << 10 << 10;
        QTest::newRow("inputs wrap") << 23 << 4;
    }
    void countedTrafficIsTheRealTraffic() {
        QFETCH(int, outputs);
        QFETCH(int, inputs);
        MainRig rig;
        const QString table = rig.dir.filePath(QStringLiteral("table.vdk"));
        QVERIFY(!WriteTallyFile(table, outputs, inputs).isEmpty());
        QString error;
        QVERIFY2(rig.model.LoadTallyFile(table, &error), qPrintable(error));
        const std::vector<SimEntry> preloaded = rig.model.Table();
        QCOMPARE(static_cast<int>(preloaded.size()), outputs);

        rig.WriteIni(SampleIni(outputs, inputs));
        rig.Build();
        ModelPort& port = *rig.port;
        QVERIFY(rig.window->Load());
        QVERIFY(rig.window->Session().Link().IsOnline());
        // Every output mapped, a single input first and an OR at output 10 (an AND at 20).
        QCOMPARE(rig.window->Session().Installation().Tables().MapStringCount, outputs);
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 1\t\t"));
        QCOMPARE(rig.Row(9), QStringLiteral("Out 10\t %1\t||\t %2")
                                 .arg((9 % inputs) + 1)
                                 .arg((9 % inputs + 1) % inputs + 1));
        if (outputs >= 20) QVERIFY(rig.Row(19).contains(QStringLiteral("\t&\t")));

        // The read-back.
        qsizetype mark = rig.model.Log().size();
        qint64 written = port.written.size();
        port.answered = 0;
        QVERIFY(rig.window->Session().Table().ReadControllerTable().Complete());
        Traffic t = CountTraffic(table, rig.model.Log(), mark, rig.model.Log().size());
        QCOMPARE(t.lines, qint64(outputs + 1));
        QCOMPARE(t.console, port.written.size() - written);
        QCOMPARE(t.sim, port.answered);

        // The load of the same file: Init, both units enabled, a Map a line, an AND or OR after
        // every tenth. Counted from the start of the log, past the table's changes.
        mark = rig.model.Log().size();
        written = port.written.size();
        port.answered = 0;
        rig.dialogs.fileAnswers = {table};
        rig.window->Session().Files().LoadMatrix();
        QVERIFY(rig.dialogs.boxes.isEmpty());
        t = CountTraffic(table, rig.model.Log(), mark, rig.model.Log().size());
        QCOMPARE(t.lines, qint64(3 + outputs + outputs / 10));
        QCOMPARE(t.console, port.written.size() - written);
        QCOMPARE(t.sim, port.answered);
        // The controller holds the table it started with, so a replay on a second controller
        // loaded the same way meets the same state.
        QVERIFY(rig.model.Table() == preloaded);
    }

    void unreadablePreloadCountsNothing() {
        const Traffic t =
            CountTraffic(QStringLiteral("/nonexistent/table.vdk"), {"RawMap 1"}, 0, 1);
        QVERIFY(t.sim < 0);
    }

    void verdicts_data() {
        QTest::addColumn<bool>("upper");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("limit");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("at most, under") << true << 1.01 << 1.03 << "met";
        QTest::newRow("at most, equal") << true << 1.03 << 1.03 << "met";
        QTest::newRow("at most, over") << true << 1.04 << 1.03 << "MISSED";
        QTest::newRow("at most, failed run") << true << -1.0 << 1.03 << "failed";
        QTest::newRow("at least, over") << false << 0.9 << 0.8 << "met";
        QTest::newRow("at least, equal") << false << 0.8 << 0.8 << "met";
        QTest::newRow("at least, under") << false << 0.79 << 0.8 << "MISSED";
        QTest::newRow("at least, failed run") << false << -1.0 << 0.8 << "failed";
    }
    void verdicts() {
        QFETCH(bool, upper);
        QFETCH(double, value);
        QFETCH(double, limit);
        QFETCH(QString, verdict);
        QCOMPARE(
            QString::fromLatin1(VerdictText(upper ? AtMost(value, limit) : AtLeast(value, limit))),
            verdict);
    }

    void median_data() {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("median");
        QTest::newRow("none") << QList<double>{} << -1.0;
        QTest::newRow("one") << QList<double>{4} << 4.0;
        QTest::newRow("odd, unsorted") << QList<double>{9, 1, 5} << 5.0;
        QTest::newRow("even, unsorted") << QList<double>{8, 2, 6, 4} << 5.0;
    }
    void median() {
        QFETCH(QList<double>, values);
        QFETCH(double, median);
        QCOMPARE(Median(std::vector<double>(values.begin(), values.end())), median);
    }

    void peakMemory() {
        const long before = PeakMemoryKb();
        QVERIFY(before > 0);
        {
            // More touched at once than the whole peak so far: the peak must grow past it.
            std::vector<char> block(static_cast<size_t>(before + 65536) * 1024, 1);
            QVERIFY(block.back() == 1);
        }
        QVERIFY(PeakMemoryKb() >= before + 65536);
        QCOMPARE(PeakMemoryKb(QCoreApplication::applicationPid()), PeakMemoryKb());
        QCOMPARE(PeakMemoryKb(0x7ffffffe), -1L);
    }

    void rawClientWaitsForTheTerminator_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("answered");
        QTest::newRow("answers") << QStringList{} << true;
        QTest::newRow("paced answer") << QStringList{"--baud", "9600"} << true;
        QTest::newRow("no terminator") << QStringList{"--fault", "no-terminator"} << false;
        QTest::newRow("silent") << QStringList{"--fault", "silent"} << false;
    }
    void rawClientWaitsForTheTerminator() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
        QFETCH(QStringList, args);
        QFETCH(bool, answered);
        SimProcess sim;
        QVERIFY2(sim.Start(args), qPrintable(sim.ErrorText()));
        RawClient client(sim.LinkPath());
        QVERIFY(client.IsOpen());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.Exchange("VER\r\n"), answered);
        // The echo, CR LF, "MAINV8", CR LF and "." are 14 characters at 9600 baud: the last one
        // leaves 13 character times (13.5 ms) after the first. No earlier return.
        if (args.contains(QStringLiteral("--baud"))) QVERIFY(clock.elapsed() >= 13);
        QTRY_COMPARE(sim.LogLines(), QStringList{QStringLiteral("VER")});
        if (answered) QVERIFY(client.Exchange("VER\r\n"));
    }

    void rawClientOnAMissingDevice() {
        RawClient client(QStringLiteral("/nonexistent/tty"));
        QVERIFY(!client.IsOpen());
        QVERIFY(!client.Exchange("VER\r\n"));
    }
};

QTEST_MAIN(TestBenchCommon)
#include "test_bench_common.moc"
