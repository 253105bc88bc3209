// The change journal through the programs: two programs appending at once keep every line
// whole; `vendractl journal` reads a rotated journal for scripts and follows it; a raw send is
// journalled as the change of its output; without a home nothing is journalled; a tool killed
// in the middle of a load leaves whole lines.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QTimeZone>
#include <QtTest>

#include "changes/journal.h"
#include "changes/journal_reader.h"
#include "mapping/mapping_tables.h"
#include "support/journal_lines.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"

using namespace vendra;

namespace {

// Entries `from` to `to` - 1, a minute apart from `base`, by a journal that rotates every few
// entries; entry 7 is a raw "Map" of unit 3 channel 1.
void WriteEntries(const QString& path, const QDateTime& base, int from, int to) {
    MappingTables tables;
    Journal j(tables, QStringLiteral("vendra"));
    j.SetPath(path);
    j.SetRotation(1500, 100);
    for (int i = from; i < to; ++i) {
        JournalEntry e = SentAt(base.addSecs(60 * i), QStringLiteral("c%1").arg(i));
        if (i == 7) {
            e.Unit = 3;
            e.Channel = 1;
            e.After = QStringLiteral("[3][1][2][5][1][0][0][0]");
            e.Command = QStringLiteral("Map 3 1 2 5 c7");
        }
        j.Write(e);
    }
}

// The entry numbers of `vendractl journal --json` output, in order.
QList<int> Numbers(const QByteArray& out) {
    QList<int> numbers;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            numbers << JournalEntry::FromLine(line).Command.section(u'c', -1).toInt();
    return numbers;
}

}  // namespace

class TestJournalPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Two writers at once, in one file or rotating it between them: every entry whole, none
    // lost, each writer's in its order, the rotated files read as one history.
    void twoProgramsAppendingAtOnceKeepEveryLineWhole_data() {
        QTest::addColumn<qint64>("rotateBytes");  // 0: never rotated
        QTest::newRow("one file") << qint64(0);
        QTest::newRow("rotating") << qint64(256 * 1024);
    }
    void twoProgramsAppendingAtOnceKeepEveryLineWhole() {
        QFETCH(qint64, rotateBytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        constexpr int kEach = 400;
        pid_t children[2];
        for (pid_t& child : children) {
            child = fork();
            if (child == 0) {
                MappingTables tables;
                Journal j(tables, QStringLiteral("writer%1").arg(getpid()));
                j.SetPath(path);
                j.SetRotation(rotateBytes, 100);
                // Long lines, so that a mixed write could not hide inside one.
                const QString filler(3000, u'x');
                for (int i = 0; i < kEach; ++i)
                    j.RecordCommand(QStringLiteral("send"), QString::number(i) + filler,
                                    outcome::kAnswered);
                _exit(j.Failed() ? 1 : 0);
            }
        }
        for (pid_t child : children) {
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const QStringList files = JournalFiles(path);
        QCOMPARE(files.size() > 1, rotateBytes > 0);
        int lines = 0;
        for (const QString& f : files) {
            int inFile = 0;
            QVERIFY(AllWhole(Contents(f), &inFile));
            lines += inFile;
        }
        QCOMPARE(lines, 2 * kEach);
        const JournalRead read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 2 * kEach);
        QVERIFY(read.Torn.isEmpty());
        QMap<QString, int> next;
        for (const JournalEntry& e : read.Entries)
            QCOMPARE(e.Command.section(u'x', 0, 0).toInt(), next[e.Program]++);
    }

    // `vendractl journal` over a rotated journal: one history, oldest first; -n, --since and
    // --until read from the end as far as they need; no match exits 1, as grep does.
    void vendractlJournalQueries_data() {
        QTest::addColumn<QStringList>("args");  // Tn stands for the time of entry n
        QTest::addColumn<QList<int>>("printed");
        QTest::addColumn<int>("exit");
        QList<int> all;
        for (int i = 0; i < 30; ++i)
            all << i;
        QTest::newRow("everything") << QStringList{} << all << 0;
        QTest::newRow("last 5") << QStringList{"-n", "5"} << all.mid(25) << 0;
        QTest::newRow("since") << QStringList{"--since", "T20"} << all.mid(20) << 0;
        QTest::newRow("until") << QStringList{"--until", "T4"} << all.mid(0, 5) << 0;
        QTest::newRow("since, until, last 2")
            << QStringList{"--since", "T10", "--until", "T19", "-n", "2"} << all.mid(18, 2) << 0;
        QTest::newRow("a raw send's output")
            << QStringList{"--output", "3/1"} << QList<int>{7} << 0;
        QTest::newRow("no match") << QStringList{"--output", "9/9"} << QList<int>{} << 1;
        QTest::newRow("last 0") << QStringList{"-n", "0"} << QList<int>{} << 1;
    }
    void vendractlJournalQueries() {
        QFETCH(QStringList, args);
        QFETCH(QList<int>, printed);
        QFETCH(int, exit);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(ini, SampleIni(4, 4, QStringLiteral("Journal=j.jsonl\r\n")).toLatin1()));
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        const QDateTime base(QDate(2024, 3, 14), QTime(10, 0), QTimeZone(3600));
        WriteEntries(path, base, 0, 30);
        QVERIFY(JournalFiles(path).size() > 2);
        for (QString& a : args)
            if (a.startsWith(u'T')) a = base.addSecs(60 * a.mid(1).toInt()).toString(Qt::ISODate);
        const ToolRun r = RunVendractl(QStringList{"journal", "--json", "--ini", ini} + args);
        QVERIFY2(r.exit == exit, r.err.constData());
        QCOMPARE(Numbers(r.out), printed);
    }

    // --follow: the last entries, then each new one as it is written, across a rotation, until
    // Ctrl+C.
    void vendractlJournalFollows() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(ini, SampleIni(4, 4, QStringLiteral("Journal=j.jsonl\r\n")).toLatin1()));
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        const QDateTime base = QDateTime::currentDateTime();
        WriteEntries(path, base, 0, 5);
        QProcess p;
        StartVendractl(p, {"journal", "--follow", "-n", "2", "--json", "--ini", ini});
        QByteArray out;
        const auto lines = [&] {
            out += p.readAllStandardOutput();
            return out.count('\n');
        };
        QTRY_COMPARE_WITH_TIMEOUT(lines(), 2, 30000);
        const QStringList before = JournalFiles(path);
        WriteEntries(path, base, 5, 20);
        QVERIFY(JournalFiles(path).size() > before.size());  // it rotated meanwhile
        QTRY_COMPARE_WITH_TIMEOUT(lines(), 17, 30000);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 130);
        out += p.readAllStandardOutput();
        QList<int> want;
        for (int i = 3; i < 20; ++i)
            want << i;
        QCOMPARE(Numbers(out), want);
    }

    // A raw mapping command is journalled as the change of its output, as the controller
    // answers "GetMap" before and after; any other raw command as the command alone.
    void aRawSendIsJournalledAsTheChangeOfItsOutput_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("after");  // "-": no output named
        const QString held = QStringLiteral("[1][3][2][1][1][0][0][0]");
        QTest::newRow("map") << "Map 1 3 2 5" << QStringList{} << outcome::kAnswered
                             << "[1][3][2][5][1][0][0][0]";
        QTest::newRow("clear") << "ClrMap 1 3" << QStringList{} << outcome::kAnswered << "";
        QTest::newRow("refused") << "Map 1 3 2 5" << QStringList{"--refuse", "Map 1 3 2 5"}
                                 << outcome::kRefused << held;
        QTest::newRow("not a mapping command")
            << "VER" << QStringList{} << outcome::kAnswered << "-";
    }
    void aRawSendIsJournalledAsTheChangeOfItsOutput() {
        QFETCH(QString, command);
        QFETCH(QStringList, simArgs);
        QFETCH(QString, outcome);
        QFETCH(QString, after);
        SimProcess sim;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), "[1][3][2][1][1][0][0][0]\r\n"));
        QVERIFY2(sim.Start(simArgs + QStringList{"--preload", sim.FilePath("t.vdk")}),
                 qPrintable(sim.ErrorText()));
        const QString ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(
            ini,
            SampleIni(4, 4,
                      QStringLiteral("CommDevice=%1\r\nJournal=j.jsonl\r\n").arg(sim.LinkPath()))
                .toLatin1()));
        const ToolRun r = RunVendractl({"send", command, "--ini", ini});
        QCOMPARE(r.exit, outcome == outcome::kRefused ? 1 : 0);
        const JournalRead read = ReadJournal(sim.FilePath(QStringLiteral("j.jsonl")));
        QCOMPARE(read.Entries.size(), 1);
        const JournalEntry& e = read.Entries[0];
        QCOMPARE(e.Outcome, outcome);
        QCOMPARE(e.Command, command);
        QCOMPARE(e.HasOutput(), after != QStringLiteral("-"));
        if (!e.HasOutput()) return;
        QCOMPARE(std::pair(e.Unit, e.Channel), std::pair(1, 3));
        QCOMPARE(e.Name, QStringLiteral("Out 3"));
        QCOMPARE(e.Before, QStringLiteral("[1][3][2][1][1][0][0][0]"));
        QCOMPARE(e.After, after);
        QVERIFY(e.BeforeKnown && e.AfterKnown);
        const ToolRun found = RunVendractl({"journal", "--output", "1/3", "--ini", ini});
        QCOMPARE(found.exit, 0);
        QVERIFY2(found.out.contains(command.toUtf8()), found.out.constData());
    }

    // Without a home and without a Journal key there is no place for the journal: nothing is
    // made under the file system's root, and the first change says once why nothing is
    // journalled; `vendractl journal` says so too.
    void withoutAHomeNothingIsJournalledAndItSaysWhy() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(ini, SampleIni(4, 4).toLatin1()));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("HOME"));
        env.remove(QStringLiteral("XDG_STATE_HOME"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VENDRA_VENDRACTL), {"journal", "--ini", ini});
        const ToolRun r = FinishTool(p);
        QCOMPARE(r.exit, 2);
        QCOMPARE(r.err, QByteArray("vendractl: nothing is journalled: HOME is not set and "
                                   "Kavro.ini names no Journal file\n"));

        const QByteArray home = qgetenv("HOME"), state = qgetenv("XDG_STATE_HOME");
        qunsetenv("HOME");
        qunsetenv("XDG_STATE_HOME");
        const QString path = JournalPath(ini, QStringLiteral("Studio"), QString());
        qputenv("HOME", home);
        if (!state.isEmpty()) qputenv("XDG_STATE_HOME", state);
        QCOMPARE(path, QString());
        MappingTables tables;
        Journal j(tables, QStringLiteral("vendra"));
        j.SetPath(path);
        QSignalSpy said(&j, &Journal::ErrorLine);
        for (int i = 0; i < 2; ++i)
            j.RecordCommand(QStringLiteral("send"), QStringLiteral("Init"), outcome::kAnswered);
        QCOMPARE(said.size(), 1);
        QCOMPARE(said[0][0].toString(),
                 QStringLiteral("Nothing is journalled (HOME is not set and Kavro.ini names no "
                                "Journal file); the change went on"));
    }

    void killedInTheMiddleOfALoadLeavesWholeLinesThatVendractlReads() {
        SimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--baud"), QStringLiteral("9600")}),
                 qPrintable(sim.ErrorText()));
        const QString ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        QVERIFY(
            Put(ini, SampleIni(300, 20,
                               QStringLiteral("CommDevice=%1\r\nJournal=audit/changes.jsonl\r\n")
                                   .arg(sim.LinkPath()))
                         .toLatin1()));
        QByteArray lines;
        for (int o = 1; o <= 300; ++o)
            lines +=
                QStringLiteral("[1][%1][2][%2][1][0][0][0]\r\n").arg(o).arg(o % 20 + 1).toLatin1();
        const QString file = sim.FilePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(file, lines));
        const QString path = sim.FilePath(QStringLiteral("audit/changes.jsonl"));

        const QStringList before = LineLocksLeft();
        QProcess restore;
        StartVendractl(restore, {QStringLiteral("restore"), file, QStringLiteral("--ini"), ini});
        QTRY_VERIFY_WITH_TIMEOUT(ReadJournal(path).Entries.size() >= 20, 30000);
        ::kill(pid_t(restore.processId()), SIGKILL);
        QVERIFY(restore.waitForFinished(5000));

        int whole = 0;
        QVERIFY(AllWhole(Contents(path), &whole));
        QVERIFY2(whole < 300, "the load was meant to be cut off");
        JournalRead read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), whole);
        QCOMPARE(read.Entries[4].Operation, QStringLiteral("restore"));
        QCOMPARE(read.Entries[4].Program, QStringLiteral("vendractl"));
        QCOMPARE(read.Entries[4].After, QStringLiteral("[1][5][2][6][1][0][0][0]"));

        // A write cut short at the end (power lost mid-line) is skipped and named.
        QByteArray bytes = Contents(path);
        QVERIFY(Put(path, bytes.left(bytes.size() - 30)));
        const ToolRun all = RunVendractl({QStringLiteral("journal"), QStringLiteral("--ini"), ini});
        QCOMPARE(all.exit, 0);
        QCOMPARE(all.out.count('\n'), whole - 1);
        QVERIFY(
            all.out.startsWith(QDateTime::currentDateTime().toString("yyyy-MM-dd ").toLatin1()));
        QVERIFY2(all.out.contains(": Out 5: unknown -> In 6, answered (restore, vendractl)\n"),
                 all.out.constData());
        QVERIFY2(
            all.err.contains(
                QStringLiteral("line %1 of %2 is not a whole entry").arg(whole).arg(path).toUtf8()),
            all.err.constData());

        const ToolRun one = RunVendractl({QStringLiteral("journal"), QStringLiteral("--ini"), ini,
                                          QStringLiteral("--output"), QStringLiteral("5"),
                                          QStringLiteral("--json")});
        QCOMPARE(one.exit, 0);
        QCOMPARE(one.out.count('\n'), 1);
        QCOMPARE(JournalEntry::FromLine(one.out).After, QStringLiteral("[1][5][2][6][1][0][0][0]"));
        const ToolRun later = RunVendractl({QStringLiteral("journal"), QStringLiteral("--ini"), ini,
                                            QStringLiteral("--since"),
                                            QDate::currentDate().addDays(1).toString(Qt::ISODate)});
        QCOMPARE(later.exit, 1);  // nothing matched, as grep says it
        QVERIFY(later.out.isEmpty());
        const ToolRun bad = RunVendractl({QStringLiteral("journal"), QStringLiteral("--ini"), ini,
                                          QStringLiteral("--since"), QStringLiteral("soon")});
        QCOMPARE(bad.exit, 2);
        QCOMPARE(bad.err, QByteArray("vendractl: \"soon\" is not a time\n"));

        // The killed tool's locks are taken over by the next program on the line, which removes
        // them when it ends.
        QVERIFY(!SystemLocksOf(sim.Folder()).isEmpty());
        const ToolRun next = RunVendractl(
            {QStringLiteral("status"), QStringLiteral("1"), QStringLiteral("--ini"), ini});
        QVERIFY2(next.exit == 0, next.err.constData());
        QCOMPARE(SystemLocksOf(sim.Folder()), QStringList());
        QCOMPARE(LineLocksLeft(), before);
    }
};

QTEST_MAIN(TestJournalPty)
#include "test_journal_pty.moc"
