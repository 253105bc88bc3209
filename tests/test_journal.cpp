// The change journal: rotation, whole lines when a write is cut short; a journal that cannot be
// written never holds up a change and says so once; the history window reads it page by page
// and filters it by time. Two programs appending at once, and the journal through the programs:
// test_journal_pty.
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

#include "changes/journal.h"
#include "changes/journal_reader.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "history/history_window.h"
#include "mapping/mapping_tables.h"
#include "support/journal_lines.h"
#include "support/main_rig.h"
#include "support/test_files.h"
#include "widgets/captions.h"

using namespace vendra;

class TestJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Past its size the journal goes on in a new file; the oldest kept files go beyond the
    // number kept.
    void theJournalRotatesBySizeAndKeepsItsNewestFiles() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        MappingTables tables;
        Journal j(tables, QStringLiteral("vendra"));
        j.SetPath(path);
        j.SetRotation(1000, 2);
        for (int i = 0; i < 40; ++i)
            j.RecordCommand(QStringLiteral("send"), QString::number(i), outcome::kAnswered);
        QCOMPARE(JournalFiles(path), QStringList({path + ".2", path + ".1", path}));
        for (const QString& f : JournalFiles(path))
            QVERIFY(QFileInfo(f).size() <= 1000);
        const JournalRead read = ReadJournal(path);
        QVERIFY(read.Entries.size() < 40);
        for (int i = 0; i < read.Entries.size(); ++i)
            QCOMPARE(read.Entries[i].Command.toInt(), 40 - read.Entries.size() + i);
    }

    // A new journal in a folder its group may write to is the group's too, whatever the umask;
    // elsewhere the umask decides.
    void aNewJournalIsGroupWritableWhereItsFolderIs_data() {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("groupWrites");
        QTest::newRow("shared folder") << 02775 << true;
        QTest::newRow("private folder") << 0755 << false;
    }
    void aNewJournalIsGroupWritableWhereItsFolderIs() {
        QFETCH(int, folderMode);
        QFETCH(bool, groupWrites);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)), 0);
        const mode_t saved = ::umask(022);
        MappingTables tables;
        Journal j(tables, QStringLiteral("vendra"));
        j.SetPath(folder + QStringLiteral("/j.jsonl"));
        j.RecordCommand(QStringLiteral("send"), QStringLiteral("VER"), outcome::kAnswered);
        ::umask(saved);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(folder + QStringLiteral("/j.jsonl")).constData(), &st),
                 0);
        QCOMPARE(bool(st.st_mode & S_IWGRP), groupWrites);
    }

    // The history window reads a page, then the next as the list is scrolled to its end.
    void historyWindowReadsPageByPage() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("j.jsonl"));
        const int total = HistoryWindow::kPage * 2 + 50;
        QByteArray lines;
        for (int i = 0; i < total; ++i)
            lines += SentAt(QDateTime::currentDateTime(), QString::number(i)).ToLine();
        QVERIFY(Put(path, lines));
        HistoryWindow h;
        h.ShowJournal(path);
        QCOMPARE(h.list->count(), HistoryWindow::kPage);
        QVERIFY(h.list->item(0)->text().contains(QStringLiteral("sent \"%1\"").arg(total - 1)));
        QVERIFY(!h.ReadToStart());
        QVERIFY2(h.lblSummary->text().contains(QStringLiteral("scroll down")),
                 qPrintable(h.lblSummary->text()));
        for (int page = 2; page <= 3; ++page) {
            h.list->scrollToBottom();
            QTRY_COMPARE(h.list->count(), std::min(total, page * HistoryWindow::kPage));
        }
        QTRY_VERIFY(h.ReadToStart());
        QVERIFY(h.list->item(total - 1)->text().contains(QStringLiteral("sent \"0\"")));
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
        QCOMPARE(read.Torn, (QList<TornLine>{{path, 2}}));
        QVERIFY(read.TornLast);
        QCOMPARE(read.TornText(),
                 QStringLiteral("line 2 of %1 is not a whole entry (a write cut short); skipped")
                     .arg(path));

        // Room again: the next entry (of this or another program) starts on a line of its own.
        Journal other(tables, QStringLiteral("vendractl"));
        other.SetPath(path);
        other.RecordCommand(QStringLiteral("send"), QStringLiteral("VER"), outcome::kAnswered);
        read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 2);
        QCOMPARE(read.Entries[1].Command, QStringLiteral("VER"));
        QCOMPARE(read.Torn, (QList<TornLine>{{path, 2}}));
        QVERIFY(!read.TornLast);

        // Cut exactly before its line end, the last entry parses, but it is not whole.
        QVERIFY(Put(path, Contents(path).chopped(1)));
        read = ReadJournal(path);
        QCOMPARE(read.Entries.size(), 1);
        QVERIFY(read.TornLast);
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
        for (const auto& [time, command] : written)
            lines += SentAt(time, command).ToLine();
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
};

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
