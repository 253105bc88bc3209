// The change journal: whole lines only, when two programs append at once, when vendractl is
// killed in the middle of a load, and when a write is cut short; a journal that cannot be
// written never holds up a change and says so once; `vendractl journal` reads it for scripts;
// the history window filters it by time.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QTimeZone>
#include <QtTest>

#include "changes/journal.h"
#include "changes/journal_reader.h"
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

// Every line of the file ends in a line end and parses as an entry.
bool AllWhole(const QByteArray& bytes, int* lines = nullptr) {
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) return false;
    const QList<QByteArray> all = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < all.size(); ++i)
        if (JournalEntry::FromLine(all[i]).Operation.isEmpty()) return false;
    if (lines) *lines = int(all.size()) - 1;
    return true;
}

JournalEntry SentAt(const QDateTime& time, const QString& command) {
    JournalEntry e;
    e.Time = time;
    e.Who = QStringLiteral("op@desk");
    e.Program = QStringLiteral("vendra");
    e.Operation = QStringLiteral("send");
    e.Outcome = outcome::kAnswered;
    e.Command = command;
    return e;
}

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

class TestJournal : public QObject {
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

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
