// Every success the tools report is one the controller's answer proves: each case runs through
// the real vendractl (or the console's session on a real serial port) against tally-sim over a
// pseudo-terminal, and is judged by the exit code or the report, what reached the controller
// (the simulator's log) and what is on disk, and then by a fresh "diff" of the controller.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "changes/live_changes.h"
#include "platform/ini_file.h"
#include "session/console_lock.h"
#include "session/console_session.h"
#include "support/main_rig.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"

using namespace vendra;

namespace {

// Outputs 1 .. 10 on unit 1, inputs 1 .. 8 on unit 2.
const QByteArray kTable =
    "[1][1][2][1][1][0][0][0]\r\n"
    "[1][3][2][2][1][0][0][0]\r\n"
    "[1][5][2][5][1][0][0][0]\r\n";
const QByteArray kWanted =
    "[1][1][2][1][1][0][0][0]\r\n"
    "[1][3][2][5][1][0][0][0]\r\n"
    "[1][5][2][5][1][0][0][0]\r\n";

struct Rig {
    QTemporaryDir dir;
    SimProcess sim;
    QString Ini() const { return dir.filePath(QStringLiteral("Kavro.ini")); }
    QString Path(const QString& name) const { return dir.filePath(name); }

    bool Start(const QStringList& simArgs, const QByteArray& table) {
        const QString preload = sim.FilePath(QStringLiteral("preload.vdk"));
        return Put(preload, table) && sim.Start(simArgs + QStringList{"--preload", preload}) &&
               Put(Ini(),
                   SampleIni(10, 8, "CommDevice=" + sim.LinkPath() + "\r\nOutput 11=Spare,0,4\r\n")
                       .toLatin1());
    }
    // Without XDG_RUNTIME_DIR, as from cron: the line's lock must not depend on it.
    void Begin(QProcess& p, QStringList args) const {
        for (QString& a : args) {
            if (a == QStringLiteral("FILE")) a = Path(QStringLiteral("file.vdk"));
            if (a == QStringLiteral("OUT")) a = Path(QStringLiteral("out.vdk"));
        }
        StartVendractl(p, QStringList{"--ini", Ini()} + args, QString());
    }
    ToolRun Ctl(const QStringList& args) const {
        QProcess p;
        Begin(p, args);
        return FinishTool(p);
    }
};

// The console's flows answered as an operator who says yes (and No to the empty-file question).
struct Yes : ChangeQuestions {
    bool GoOnWithFindings(const QString&, const FileCheck&) override { return true; }
    bool ReadBackFirst() override { return true; }
    bool Confirm(const QString&, const QList<PlannedChange>&) override { return true; }
};

// Runs `how` on the console's session, online on the real port; answers its report text.
QString ThroughSession(Rig& rig, const QString& how) {
    ScriptedDialogs dialogs;
    dialogs.answers = {Answer::No};
    ConsoleSession session(dialogs);
    if (!session.ReadConfiguration(IniFile(rig.Ini())).Ok() || !session.Connect())
        return QStringLiteral("<not online>");
    const QString file = rig.Path(QStringLiteral("file.vdk"));
    if (how == QStringLiteral("load")) {
        session.Files().LoadMatrixFile(file);
        return dialogs.Texts().join(u'|');
    }
    Yes yes;
    const ChangeReport r = session.Changes().ApplyChanges(
        {QStringLiteral("file.vdk"), file, {}, std::nullopt}, {}, yes);
    return (r.Holds() ? QStringLiteral("HOLDS ") : QString()) + r.Text();
}

}  // namespace

class TestPromisesPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty() ||
            QStringLiteral(VENDRA_VENDRACTL).isEmpty())
            QSKIP("tally-sim or vendractl is not built");
    }

    void everyDoneIsTrue_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QByteArray>("table");    // the controller's table at the start
        QTest::addColumn<QStringList>("before");  // a vendractl command run first, or none
        QTest::addColumn<QByteArray>("file");     // FILE
        QTest::addColumn<QString>("via");         // "session ..." or the vendractl arguments
        QTest::addColumn<int>("exit");            // vendractl's exit code
        QTest::addColumn<QString>("says");        // on standard error, or in the report
        QTest::addColumn<QStringList>("sent");    // lines that must reach the controller
        QTest::addColumn<QStringList>("unsent");  // lines that must not
        QTest::addColumn<QByteArray>("disk");     // OUT afterwards
        QTest::addColumn<int>("diffAfter");       // exit of "diff FILE" afterwards; -1: not run

        const QStringList none;
        const QStringList refuse{"--refuse", "Map 1 3 2 5"};
        const QByteArray old = "[1][9][2][9][1][0][0][0]\r\n";
        QTest::newRow("refused change, restore")
            << refuse << kTable << none << kWanted << "restore FILE" << 1
            << "output 3 (Out 3): holds no mapping, should hold" << QStringList{"Map 1 3 2 5"}
            << none << old << 1;
        // "Init" has cleared output 3: the line the controller refused is named, and the rest
        // of the file still goes out.
        QTest::newRow("refused line, restore unverified")
            << refuse << kTable << none << kWanted << "restore FILE --no-verify" << 1
            << "line 2 ([1][3][2][5][1][0][0][0]): the controller answered \"ERR REFUSED\""
            << QStringList{"Init", "Map 1 3 2 5", "Map 1 5 2 5"} << QStringList{"GetMap 1  3"}
            << old << 1;
        QTest::newRow("refused change, changes only")
            << refuse << kTable << none << kWanted << "restore FILE --changes-only" << 1
            << "output 3 (Out 3): holds [1][3][2][2]" << QStringList{"GetMap 1  3"}
            << QStringList{"Init"} << old << 1;
        QTest::newRow("refused change, unverified")
            << refuse << kTable << none << kWanted << "restore FILE --changes-only --no-verify" << 1
            << "the controller answered \"ERR REFUSED\"" << QStringList{"Map 1 3 2 5"}
            << QStringList{"GetMap 1  3"} << old << 1;
        QTest::newRow("refused change, console")
            << refuse << kTable << none << kWanted << "session apply" << 0
            << "does not hold what was sent" << QStringList{"GetMap 1  3"} << none << old << 1;
        // Only asking back can tell a change acknowledged but not carried out.
        const QStringList ignore{"--ignore", "Map 1 3 2 5"};
        QTest::newRow("acknowledged, not taken, changes only")
            << ignore << kTable << none << kWanted << "restore FILE --changes-only" << 1
            << "output 3 (Out 3): holds [1][3][2][2]" << QStringList{"GetMap 1  3"}
            << QStringList{"Init"} << old << 1;
        QTest::newRow("acknowledged, not taken, console")
            << ignore << kTable << none << kWanted << "session apply" << 0
            << "does not hold what was sent" << QStringList{"GetMap 1  3"} << none << old << 1;
        QTest::newRow("refused question, changes only")
            << QStringList{"--refuse", "GetMap 1 5"} << kTable << none
            << QByteArray("[1][1][2][1][1][0][0][0]\r\n[1][3][2][2][1][0][0][0]\r\n")
            << "restore FILE --changes-only" << 1
            << "output 5 (Out 5): \"ERR REFUSED\" (should hold no mapping)"
            << QStringList{"ClrMap 1  5", "GetMap 1  5"} << none << old << 0;
        QTest::newRow("strange reply, nothing planned from it")
            << QStringList{"--refuse", "RawMap 2"} << kTable << none << kWanted
            << "restore FILE --changes-only" << 2 << "nothing was sent" << QStringList{"RawMap 2"}
            << QStringList{"Map 1 3 2 5", "Map 1 5 2 5"} << old << -1;
        QTest::newRow("strange reply cuts the backup")
            << QStringList{"--refuse", "RawMap 2"} << kTable << none << QByteArray()
            << "backup -o OUT" << 2 << "answered something that is no mapping after 1 mapping"
            << QStringList{"RawMap 2"} << QStringList{"RawMap 3"} << old << -1;
        const QByteArray extras =
            kWanted + "[2][30][2][1][1][0][0][0]\r\n[2][31][2][2][1][0][0][0]\r\n";
        QTest::newRow("outputs Kavro.ini lacks, console")
            << none << extras << none << kWanted << "session apply" << 0 << "HOLDS"
            << QStringList{"ClrMap 2  30", "ClrMap 2  31"} << none << old << 0;
        QTest::newRow("outputs Kavro.ini lacks, changes only")
            << none << extras << none << kWanted << "restore FILE --changes-only" << 0 << ""
            << QStringList{"ClrMap 2  30", "ClrMap 2  31"} << QStringList{"Init"} << old << 0;
        QTest::newRow("disabled mapping differs")
            << none << kWanted << QStringList{"send", "MapDisab 1 3"} << kWanted << "diff FILE" << 1
            << "" << none << none << old << 1;
        QTest::newRow("disabled mapping enabled again")
            << none << kWanted << QStringList{"send", "MapDisab 1 3"} << kWanted
            << "restore FILE --changes-only" << 0 << "" << QStringList{"Map 1 3 2 5"} << none << old
            << 0;
        const QByteArray twice = kWanted + "[1][5][2][6][1][0][0][0]\r\n";
        QTest::newRow("output held twice")
            << none << twice << none << kWanted << "restore FILE --changes-only" << 0 << ""
            << QStringList{"ClrMap 1  5", "Map 1 5 2 5"} << none << old << 0;
        const QByteArray twiceSame = kWanted + "[1][5][2][5][1][0][0][0]\r\n";
        QTest::newRow("output held twice alike, diff")
            << none << twiceSame << none << kWanted << "diff FILE" << 1 << "" << none << none << old
            << 1;
        QTest::newRow("output held twice alike, changes only")
            << none << twiceSame << none << kWanted << "restore FILE --changes-only" << 0 << ""
            << QStringList{"ClrMap 1  5", "Map 1 5 2 5"} << none << old << 0;
        QTest::newRow("empty file refused")
            << none << kTable << none << QByteArray() << "restore FILE" << 3
            << "the file holds no mappings" << none << QStringList{"Init"} << old << -1;
        QTest::newRow("empty file, console asks")
            << none << kTable << none << QByteArray() << "session load" << 0
            << "This file holds no mappings" << none << QStringList{"Init"} << old << -1;
        QTest::newRow("empty file forced")
            << none << kTable << none << QByteArray() << "restore FILE --force" << 0 << ""
            << QStringList{"Init"} << none << old << 0;
        QTest::newRow("damaged file, forced all the same")
            << none << kTable << none << QByteArray("[1][1][2][1][1][0][0][0]\r\nCam 1\r\n")
            << "restore FILE --changes-only --force" << 3 << "is not a mapping string" << none
            << QStringList{"Map 1 1 2 1", "Comp"} << old << -1;
        QTest::newRow("spare output is a mapping line")
            << none << kTable << none << QByteArray("[0][4][2][1][1][0][0][0]\r\n") << "check FILE"
            << 0 << "" << none << none << old << -1;
        QTest::newRow("options after the command, quiet diff")
            << none << kTable << none << kWanted << "diff FILE --quiet" << 1 << "" << none << none
            << old << 1;
        QTest::newRow("a line break is not sent")
            << none << kTable << none << QByteArray() << "send Init\nMap 1 1 2 1" << 2
            << "one command line" << none << QStringList{"Init"} << old << -1;
        QTest::newRow("the controller's own refusal")
            << none << kTable << none << QByteArray() << "status 0" << 2 << "" << none << none
            << old << -1;
        QTest::newRow("empty device")
            << none << kTable << none << QByteArray() << "--device= backup" << 2
            << "--device needs a device" << none << QStringList{"Comp"} << old << -1;
    }

    void everyDoneIsTrue() {
        QFETCH(QStringList, simArgs);
        QFETCH(QByteArray, table);
        QFETCH(QStringList, before);
        QFETCH(QByteArray, file);
        QFETCH(QString, via);
        QFETCH(int, exit);
        QFETCH(QString, says);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, unsent);
        QFETCH(QByteArray, disk);
        QFETCH(int, diffAfter);

        Rig rig;
        QVERIFY2(rig.Start(simArgs, table), qPrintable(rig.sim.ErrorText()));
        QVERIFY(Put(rig.Path("file.vdk"), file));
        QVERIFY(Put(rig.Path("out.vdk"), "[1][9][2][9][1][0][0][0]\r\n"));
        if (!before.isEmpty()) QCOMPARE(rig.Ctl(before).exit, 0);
        const qsizetype mark = rig.sim.LogLines().size();

        if (via.startsWith(QStringLiteral("session "))) {
            const QString report = ThroughSession(rig, via.mid(8));
            QVERIFY2(report.contains(says), qPrintable(report));
            // No success where the controller did not prove it.
            QCOMPARE(report.startsWith(QStringLiteral("HOLDS")), says == QStringLiteral("HOLDS"));
        } else {
            QStringList args = via.split(u' ');
            if (via.startsWith(QStringLiteral("send "))) args = {"send", via.mid(5)};
            const ToolRun r = rig.Ctl(args);
            QVERIFY2(r.exit == exit, r.err.constData());
            QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
            if (via == QStringLiteral("diff FILE --quiet")) QCOMPARE(r.out + r.err, QByteArray());
            if (via == QStringLiteral("status 0"))
                QCOMPARE(r.out, QByteArray("unit 0  ERR BAD UNIT\n"));
        }
        const QStringList log = rig.sim.LogLines().mid(mark);
        for (const QString& line : sent)
            QVERIFY2(log.contains(line), qPrintable(line + " not in " + log.join(" | ")));
        for (const QString& line : unsent)
            QVERIFY2(!log.contains(line), qPrintable(line + " in " + log.join(" | ")));
        QCOMPARE(Contents(rig.Path("out.vdk")), disk);
        if (diffAfter >= 0) QCOMPARE(rig.Ctl({"diff", "FILE"}).exit, diffAfter);
    }

    // A backup onto a FIFO is written through it; onto a link, the link's target is replaced.
    void backupWritesThroughSpecialFiles() {
        Rig rig;
        QVERIFY(rig.Start({}, kTable));
        const QString fifo = rig.Path("fifo");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QCOMPARE(rig.Ctl({"backup", "-o", fifo}).exit, 0);
        char buffer[256] = {};
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        ::close(reader);
        QCOMPARE(QByteArray(buffer, int(std::max<ssize_t>(n, 0))), kTable);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));

        const QString target = rig.Path("target.vdk");
        const QString link = rig.Path("link.vdk");
        QVERIFY(Put(target, "old\r\n") && QFile::link(target, link));
        QCOMPARE(rig.Ctl({"backup", "-o", link}).exit, 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(Contents(target), kTable);
    }

    // Ctrl+C while a restore is asked back, or while a tool reads the table: it stops, says
    // what was verified, exits 130; an interrupted read is not a table that could not be read.
    void interruptWhileVerifying_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("waitFor");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("preload");  // the controller holds the file's lines
        QTest::newRow("changes only, while verifying")
            << QStringList{"restore", "FILE", "--changes-only"} << "GetMap 1  2"
            << "interrupted while verifying: " << false;
        QTest::newRow("changes only, while sending")
            << QStringList{"restore", "FILE", "--changes-only"} << "Map 1 2 2 2"
            << "interrupted: " << false;
        QTest::newRow("lamps, while reading the table") << QStringList{"lamps"} << "RawMap 2"
                                                        << "interrupted" << true;
    }
    void interruptWhileVerifying() {
        QFETCH(QStringList, args);
        QFETCH(QString, waitFor);
        QFETCH(QString, says);
        QFETCH(bool, preload);
        Rig rig;
        QByteArray lines;
        for (int c = 1; c <= 8; ++c)
            lines += QStringLiteral("[1][%1][2][%1][1][0][0][0]\r\n").arg(c).toLatin1();
        QVERIFY(rig.Start({"--delay", "150"}, preload ? lines : QByteArray()));
        QVERIFY(Put(rig.Path("file.vdk"), lines));
        QProcess p;
        rig.Begin(p, args);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sim.LogLines().contains(waitFor), 30000);
        QVERIFY(p.state() == QProcess::Running);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 130);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains(says.toUtf8()) && !err.contains("no answer"), err.constData());
        QVERIFY(!rig.sim.LogLines().contains(QStringLiteral("GetMap 1  8")));
    }

    // A controller that falls silent part-way: the change it did not answer and the rest are
    // named, nothing is called verified.
    void controllerFallsSilentPartWay() {
        Rig rig;
        // Probe (VER, the settle), Comp, four RawMaps, then two changes answered.
        QVERIFY(rig.Start({"--silent-after", "12"}, {}));
        QByteArray lines;
        for (int c = 1; c <= 6; ++c)
            lines += QStringLiteral("[1][%1][2][%1][1][0][0][0]\r\n").arg(c).toLatin1();
        QVERIFY(Put(rig.Path("file.vdk"), lines));
        const ToolRun r = rig.Ctl({"restore", "FILE", "--changes-only"});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains("did not answer the change of unit 1 channel") &&
                     r.err.contains("no answer"),
                 r.err.constData());
    }

    // The watch polls once per interval, also when every poll fails at once because the
    // controller is gone.
    void watchKeepsItsInterval() {
        Rig rig;
        QVERIFY(rig.Start({}, kTable));
        QProcess p;
        rig.Begin(p, {"status", "1", "--watch", "--interval", "100"});
        QTRY_VERIFY_WITH_TIMEOUT(p.bytesAvailable() > 0 || p.state() == QProcess::NotRunning,
                                 30000);
        QVERIFY(p.state() == QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        rig.sim.Stop();
        QTest::qWait(1000);
        const QByteArray out = p.readAllStandardOutput();
        const qint64 elapsed = clock.elapsed();
        QVERIFY(p.state() == QProcess::Running);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(10000));
        // The failed polls all came after the clock started, however late the pipe was read.
        qint64 failed = 0;
        for (const QByteArray& line : out.split('\n'))
            failed += !line.isEmpty() && !line.contains("bits 1-32");
        QVERIFY2(failed >= 1 && failed <= elapsed / 100 + 1, out.constData());
    }

    // The line's lock: one per device, seen without XDG_RUNTIME_DIR; another device runs beside.
    void lockIsPerDevice() {
        Rig rig;
        QVERIFY(rig.Start({}, kTable));
        QLockFile console(LineLockPath(rig.sim.LinkPath()));
        QVERIFY(console.tryLock(0));
        ToolRun r = rig.Ctl({"backup"});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains("another program is using this line"), r.err.constData());
        QVERIFY(rig.sim.LogLines().isEmpty());
        SimProcess other;
        QVERIFY(other.Start({}));
        r = rig.Ctl({"backup", "--device", other.LinkPath()});
        QVERIFY2(r.exit == 0, r.err.constData());
        QCOMPARE(rig.Ctl({"--version"}).out.startsWith("vendractl "), true);
    }
};

QTEST_GUILESS_MAIN(TestPromisesPty)
#include "test_promises_pty.moc"
