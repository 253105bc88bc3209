// The change journal: whole lines only, when two programs append at once, when vendractl is
// killed in the middle of a load, and when a write is cut short; a journal that cannot be
// written never holds up a change and says so once; `vendractl journal` reads it for scripts;
// the history window filters it by time.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include "changes/journal.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "history/history_window.h"
#include "mapping/mapping_tables.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"
#include "widgets/captions.h"

using namespace vendra;

namespace {

// The last line read was skipped as not whole.
bool TornLast(const JournalRead& read) {
    return !read.TornLines.isEmpty() && read.TornLines.last() == read.lineCount;
}

// Every line of the file ends in a line end and parses as an entry.
bool AllWhole(const QByteArray& bytes, int* lines = nullptr) {
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) return false;
    const QList<QByteArray> all = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < all.size(); ++i)
        if (JournalEntry::FromLine(all[i]).Operation.isEmpty()) return false;
    if (lines) *lines = int(all.size()) - 1;
    return true;
}

}  // namespace

class TestJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twoProgramsAppendingAtOnceKeepEveryLineWhole() {
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
                // Long lines, so that a mixed write could not hide inside one.
                const QString command(3000, u'x');
                for (int i = 0; i < kEach; ++i)
                    j.RecordCommand(QStringLiteral("send"), command, outcome::kAnswered);
                _exit(j.Failed() ? 1 : 0);
            }
        }
        for (pid_t child : children) {
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        int lines = 0;
        QVERIFY(AllWhole(Contents(path), &lines));
        QCOMPARE(lines, 2 * kEach);
        const JournalRead read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 2 * kEach);
        QVERIFY(read.TornLines.isEmpty());
    }

    void aWriteCutShortIsSkippedAndReportedAndTheNextEntryStartsALine() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        MappingTables tables;
        Journal j(tables, QStringLiteral("vendra"));
        j.SetPath(path);
        QSignalSpy said(&j, &Journal::ErrorLine);
        j.Record(QStringLiteral("mapping"), 1, 3, QString(),
                 QStringLiteral("[1][3][2][17][1][0][0][0]"), outcome::kAnswered);
        const qint64 whole = QFileInfo(path).size();
        {
            // The disk fills in the middle of the second entry: a torn last line.
            const FileSizeLimit full(whole + 40);
            QVERIFY(full.Ok());
            j.Record(QStringLiteral("mapping"), 1, 4, QString(),
                     QStringLiteral("[1][4][2][1][1][0][0][0]"), outcome::kAnswered);
            j.Record(QStringLiteral("mapping"), 1, 5, QString(),
                     QStringLiteral("[1][5][2][1][1][0][0][0]"), outcome::kAnswered);
        }
        QCOMPARE(said.size(), 1);
        QVERIFY(said[0][0].toString().startsWith(QStringLiteral("Journal not written (")));
        JournalRead read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 1);
        QCOMPARE(read.TornLines, QList<int>{2});
        QVERIFY(TornLast(read));
        QCOMPARE(read.TornText(path),
                 QStringLiteral("line 2 of %1 is not a whole entry (a write cut short); skipped")
                     .arg(path));

        // Room again: the next entry (of this or another program) starts on a line of its own.
        Journal other(tables, QStringLiteral("vendractl"));
        other.SetPath(path);
        other.RecordCommand(QStringLiteral("send"), QStringLiteral("VER"), outcome::kAnswered);
        read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 2);
        QCOMPARE(read.Entries[1].Command, QStringLiteral("VER"));
        QCOMPARE(read.TornLines, QList<int>{2});
        QVERIFY(!TornLast(read));

        // Cut exactly before its line end, the last entry parses, but it is not whole.
        QVERIFY(Put(path, Contents(path).chopped(1)));
        read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 1);
        QVERIFY(TornLast(read));
    }

    // The history window's time filter on a clock the test sets: the last hour and the last 7
    // days count back from now, "Today" from midnight.
    void historyWindowFiltersByTime_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QStringList>("shown");  // newest first
        const QStringList all{"a minute ago", "after midnight", "yesterday", "six days ago",
                              "a month ago"};
        QTest::newRow("any time") << "Any time" << all;
        QTest::newRow("last hour") << "Last hour" << all.mid(0, 1);
        QTest::newRow("today") << "Today" << all.mid(0, 2);
        QTest::newRow("last 7 days") << "Last 7 days" << all.mid(0, 4);
    }
    void historyWindowFiltersByTime() {
        QFETCH(QString, period);
        QFETCH(QStringList, shown);
        const QDateTime now(QDate(2024, 3, 14), QTime(11, 0));
        const QList<std::pair<QDateTime, QString>> written{
            {now.addMonths(-1), "a month ago"},
            {now.addDays(-6), "six days ago"},
            {now.addSecs(-20 * 3600), "yesterday"},
            {QDateTime(now.date(), QTime(0, 10)), "after midnight"},
            {now.addSecs(-60), "a minute ago"}};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        QByteArray lines;
        for (const auto& [time, command] : written) {
            JournalEntry e;
            e.Time = time;
            e.Who = QStringLiteral("op@desk");
            e.Program = QStringLiteral("vendra");
            e.Operation = QStringLiteral("send");
            e.Outcome = outcome::kAnswered;
            e.Command = command;
            lines += e.ToLine();
        }
        QVERIFY(Put(path, lines));
        HistoryWindow h;
        h.now = [now] { return now; };
        h.cboSince->setCurrentIndex(h.cboSince->findText(period));
        h.ShowJournal(path);
        QStringList got;
        static const QRegularExpression sent(QStringLiteral("sent \"([^\"]+)\""));
        for (int i = 0; i < h.list->count(); ++i)
            got << sent.match(h.list->item(i)->text()).captured(1);
        QCOMPARE(got, shown);
    }

    void anUnwritableJournalLeavesTheChangeDoneAndSaysSoOnce_data() {
        QTest::addColumn<SaveFault>("fault");
        QTest::addColumn<bool>("fifo");  // a FIFO in its place, that nobody reads
        QTest::newRow("full disk") << SaveFault::SizeLimit << false;
        QTest::newRow("parent is a file") << SaveFault::ParentIsFile << false;
        QTest::newRow("a folder in its place") << SaveFault::FolderInPlace << false;
        QTest::newRow("a FIFO in its place") << SaveFault::ParentIsFile << true;
    }
    void anUnwritableJournalLeavesTheChangeDoneAndSaysSoOnce() {
        QFETCH(SaveFault, fault);
        QFETCH(bool, fifo);
        MainRig rig;
        QString journal = PrepareSaveFault(QDir(rig.dir.path()), fault, QByteArray());
        if (fifo) {
            journal = rig.dir.filePath(QStringLiteral("journal.fifo"));
            QCOMPARE(mkfifo(QFile::encodeName(journal).constData(), 0600), 0);
        }
        rig.WriteIni(SampleIni(4, 8, QStringLiteral("Journal=%1\r\n").arg(journal)));
        QVERIFY(rig.Start());
        const std::unique_ptr<FileSizeLimit> full(
            fault == SaveFault::SizeLimit ? new FileSizeLimit(0) : nullptr);
        frmKavroMain& w = *rig.window;
        QStringList lines;
        connect(&w.Session().History(), &ChangeHistory::ErrorReported, this,
                [&](const ErrorReport& e) { lines << ErrorCaption(e); });
        rig.TakeLog();
        for (const char* input : {"5", "6"}) {
            w.Face().txtInput->setText(QString::fromLatin1(input));
            QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        }
        QCOMPARE(rig.TakeLog(), QStringList({"Map 1 1 2 5", "Map 1 2 2 6"}));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 5\t\t"));
        QCOMPARE(rig.Row(1), QStringLiteral("Out 2\t 6\t\t"));
        int said = 0;
        for (const QString& l : lines)
            said += l.startsWith(QStringLiteral("Journal not written")) ? 1 : 0;
        QCOMPARE(said, 1);
        const JournalRead read = ReadJournal(journal);  // neither hangs on a FIFO
        QVERIFY(read.Entries.isEmpty());
        QCOMPARE(read.Error.isEmpty(), !fifo && fault != SaveFault::FolderInPlace);
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
        QCOMPARE(later.exit, 0);
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

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
