// The real vendractl binary over a real pseudo-terminal against tally-sim: what a script sees
// (exit code, standard output, one line on standard error) and what the controller received;
// the console and the tool, stopped by a signal, leave the line free.
#include <signal.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "session/console_lock.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"

using namespace vendra;

namespace {

const QByteArray kTable =
    "[1][7][2][3][1][0][0][0]\r\n"
    "[1][2][2][5][1][2][6][1]\r\n"
    "[1][9][2][1][1][0][0][0]\r\n"
    "[1][4][2][8][1][2][2][2]\r\n";

// A private runtime folder (so the lock is this test's own), a Kavro.ini naming the device.
struct Rig {
    QTemporaryDir dir;
    QString Ini() const { return dir.filePath(QStringLiteral("Kavro.ini")); }
    QString Runtime() const { return dir.filePath(QStringLiteral("run")); }
    QString File(const QString& name) const { return dir.filePath(name); }

    bool Prepare(const QString& device) {
        QDir(dir.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(Runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return Put(Ini(),
                   SampleIni(10, 8, QStringLiteral("CommDevice=") + device + "\r\n").toLatin1());
    }

    void Start(QProcess& p, const QStringList& args) const {
        StartVendractl(p, args + QStringList{"--ini", Ini()}, Runtime());
    }
    ToolRun Run(const QStringList& args) const {
        return RunVendractl(args + QStringList{"--ini", Ini()}, Runtime());
    }
};

int Count(const QStringList& lines, const QString& prefix) {
    int n = 0;
    for (const QString& l : lines)
        n += l.startsWith(prefix);
    return n;
}

}  // namespace

class TestVendractl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty() ||
            QStringLiteral(VENDRA_VENDRACTL).isEmpty())
            QSKIP("tally-sim or vendractl is not built");
    }

    // Backed up, wiped, restored and backed up again: the same bytes; diff tells equal from
    // different from unreadable.
    void roundTripAndDiff() {
        SimProcess sim;
        Rig rig;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), kTable));
        QVERIFY2(sim.Start({"--preload", sim.FilePath(QStringLiteral("t.vdk"))}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));

        const QString first = rig.File(QStringLiteral("first.vdk"));
        ToolRun r = rig.Run({"backup", "-o", first});
        QVERIFY2(r.exit == 0, r.err.constData());
        QCOMPARE(r.err, QByteArray());  // not a terminal: nothing on standard error
        QCOMPARE(Contents(first), kTable);

        QCOMPARE(rig.Run({"diff", first}).exit, 0);
        QCOMPARE(rig.Run({"send", "Init"}).exit, 0);
        r = rig.Run({"diff", first, "--json"});
        QCOMPARE(r.exit, 1);
        QVERIFY(r.out.contains("\"differences\": 4"));
        QCOMPARE(rig.Run({"diff", rig.File(QStringLiteral("none.vdk"))}).exit, 2);

        r = rig.Run({"restore", first, "--verify"});
        QVERIFY2(r.exit == 0, r.err.constData());
        r = rig.Run({"backup"});
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.out, kTable);

        // Only what differs goes out.
        const QString changed = rig.File(QStringLiteral("changed.vdk"));
        QVERIFY(Put(changed, QByteArray(kTable).replace("[1][9][2][1]", "[1][9][2][4]")));
        const qsizetype mark = sim.LogLines().size();
        r = rig.Run({"restore", changed, "--changes-only", "--verify"});
        QVERIFY2(r.exit == 0, r.err.constData());
        const QStringList sent = sim.LogLines().mid(mark);
        QCOMPARE(Count(sent, QStringLiteral("Map ")), 1);
        QCOMPARE(Count(sent, QStringLiteral("Init")), 0);
    }

    // Each failure: one line on standard error naming it, a non-zero exit, the old file kept.
    void failuresTouchNothing_data() {
        QTest::addColumn<QStringList>("simArgs");  // empty: no controller at all
        QTest::addColumn<QStringList>("args");     // "OLD" stands for the old backup's path
        QTest::addColumn<bool>("holdLock");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("controllerTouched");

        QTest::newRow("silent controller")
            << QStringList{"--fault", "silent"} << QStringList{"backup", "-o", "OLD"} << false
            << "no answer from the tally controller" << true;
        QTest::newRow("console holds the line")
            << QStringList{} << QStringList{"backup", "-o", "OLD"} << true
            << "another program is using this line" << false;
        QTest::newRow("console holds the line, send")
            << QStringList{} << QStringList{"send", "Init"} << true
            << "another program is using this line" << false;
        // The probe takes 7 lines, the compaction one, then two entries: the third is not
        // answered.
        QTest::newRow("controller stops mid backup")
            << QStringList{"--silent-after", "10"} << QStringList{"backup", "-o", "OLD"} << false
            << "read-back incomplete: the controller stopped answering after 2 mappings" << true;
        QTest::newRow("port missing") << QStringList{"NOSIM"} << QStringList{"backup", "-o", "OLD"}
                                      << false << "cannot open the port" << false;
        QTest::newRow("file unreadable")
            << QStringList{} << QStringList{"restore", "NOFILE"} << false << "NOFILE" << false;
        QTest::newRow("file with findings") << QStringList{} << QStringList{"restore", "BADFILE"}
                                            << false << "has 1 finding;" << false;
    }

    void failuresTouchNothing() {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(bool, holdLock);
        QFETCH(QString, message);
        QFETCH(bool, controllerTouched);

        SimProcess sim;
        Rig rig;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), kTable));
        const bool noSim = simArgs == QStringList{"NOSIM"};
        if (!noSim)
            QVERIFY2(sim.Start(simArgs + QStringList{"--preload", sim.FilePath("t.vdk")}),
                     qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(noSim ? rig.File(QStringLiteral("no-tty")) : sim.LinkPath()));
        const QString old = rig.File(QStringLiteral("old.vdk"));
        QVERIFY(Put(old, "[1][1][2][1][1][0][0][0]\r\n"));
        const QString bad = rig.File(QStringLiteral("bad.vdk"));
        QVERIFY(Put(bad, "[1][77][2][1][1][0][0][0]\r\n"));  // output 77 is not configured
        for (QString& a : args) {
            if (a == QStringLiteral("OLD")) a = old;
            if (a == QStringLiteral("NOFILE")) a = rig.File(QStringLiteral("missing.vdk"));
            if (a == QStringLiteral("BADFILE")) a = bad;
        }
        if (message == QStringLiteral("NOFILE")) message = rig.File(QStringLiteral("missing.vdk"));

        QLockFile console(LineLockPath(sim.LinkPath()));
        if (holdLock) QVERIFY(console.tryLock(0));

        const ToolRun r = rig.Run(args);
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QCOMPARE(r.err.count('\n'), message.contains("finding") ? 2 : 1);
        QCOMPARE(Contents(old), QByteArray("[1][1][2][1][1][0][0][0]\r\n"));
        if (!noSim) {
            QCOMPARE(!sim.LogLines().isEmpty(), controllerTouched);
            QCOMPARE(Count(sim.LogLines(), QStringLiteral("Init")), 0);
        }
    }

    // Ctrl+C during a restore: the line on the wire is finished, nothing after it is sent, and
    // the tool says how far it got.
    void interruptedRestoreSaysWhatWasSent() {
        SimProcess sim;
        Rig rig;
        QVERIFY2(sim.Start({"--delay", "100"}), qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        QByteArray lines;
        for (int c = 1; c <= 10; ++c)
            lines +=
                QStringLiteral("[1][%1][2][%2][1][0][0][0]\r\n").arg(c).arg(c % 8 + 1).toLatin1();
        const QString file = rig.File(QStringLiteral("ten.vdk"));
        QVERIFY(Put(file, lines));

        QProcess p;
        rig.Start(p, {"restore", file});
        QTRY_VERIFY_WITH_TIMEOUT(Count(sim.LogLines(), QStringLiteral("Map ")) >= 2, 30000);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 130);
        const QByteArray err = p.readAllStandardError();
        const int maps = Count(sim.LogLines(), QStringLiteral("Map "));
        QVERIFY(maps < 10);
        QVERIFY2(
            err.contains(QStringLiteral("interrupted: lines up to %1 of %2 were sent (%1 mapping")
                             .arg(maps)
                             .arg(file)
                             .toUtf8()),
            err.constData());
    }

    // Ctrl+C and SIGTERM end every wait: a backup into a FIFO nobody reads (the line is let go
    // as soon as the table is read) and the watches, which print no state made up after the
    // stop.
    void stopsEndEveryWait_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal");
        QTest::newRow("backup into a FIFO, Ctrl+C")
            << QStringList{"backup", "-o", "FIFO"} << int(SIGINT);
        QTest::newRow("backup into a FIFO, SIGTERM")
            << QStringList{"backup", "-o", "FIFO"} << int(SIGTERM);
        QTest::newRow("lamps --watch") << QStringList{"lamps", "--watch"} << int(SIGINT);
        QTest::newRow("lamps --watch --json")
            << QStringList{"lamps", "--watch", "--json"} << int(SIGINT);
        QTest::newRow("status --watch, SIGTERM")
            << QStringList{"status", "1", "--watch", "--interval", "20"} << int(SIGTERM);
    }
    void stopsEndEveryWait() {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        SimProcess sim;
        Rig rig;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), kTable));
        QVERIFY2(sim.Start({"--preload", sim.FilePath(QStringLiteral("t.vdk"))}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        const QString fifo = rig.File(QStringLiteral("fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        args.replaceInStrings(QStringLiteral("FIFO"), fifo);

        QProcess p;
        rig.Start(p, args);
        if (args.first() == QStringLiteral("backup")) {
            // The table read (four entries and the end of the list), the tool waits for a
            // reader and holds the line no more.
            QTRY_VERIFY_WITH_TIMEOUT(Count(sim.LogLines(), QStringLiteral("RawMap")) >= 5, 30000);
            const auto lineFree = [&] {
                QLockFile line(LineLockPath(sim.LinkPath()));
                return line.tryLock(0);
            };
            QTRY_VERIFY_WITH_TIMEOUT(lineFree(), 30000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(p.bytesAvailable() > 0, 30000);
            QTest::qWait(300);  // a few more polls
        }
        ::kill(pid_t(p.processId()), signal);
        QVERIFY2(p.waitForFinished(30000), "the tool did not end on the signal");
        QCOMPARE(p.exitCode(), 128 + signal);
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(!out.contains("does not answer") && !out.contains("\"lit\":null") &&
                     !out.contains("not sent"),
                 out.constData());
    }

    // SIGTERM (a service manager, kill) ends either program as its own close does, also while it
    // waits on a silent controller: the port closes, no lock file stays in either lock folder,
    // and the next program opens the line.
    void aStopSignalFreesTheLine_data() {
        QTest::addColumn<bool>("console");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("heard");  // the controller has heard this line: the line is held
        QTest::newRow("vendra, online") << true << QStringList{} << false << "RawMap 1";
        QTest::newRow("vendra, the controller silent") << true << QStringList{} << true << "VER";
        QTest::newRow("vendractl status --watch, the controller silent")
            << false << QStringList{"status", "1", "--watch"} << true << "BITS 1";
    }
    void aStopSignalFreesTheLine() {
        QFETCH(bool, console);
        QFETCH(QStringList, args);
        QFETCH(bool, silent);
        QFETCH(QString, heard);
        if (console && QStringLiteral(VENDRA_CONSOLE).isEmpty()) QSKIP("vendra is not built");
        SimProcess sim;
        Rig rig;
        QVERIFY2(sim.Start(silent ? QStringList{"--silent-after", "0"} : QStringList{}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        const QString held = QFileInfo(LineLockPath(sim.LinkPath())).fileName();
        QProcess p;
        if (console) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), rig.Runtime());
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(VENDRA_CONSOLE), {"--ini", rig.Ini()});
        } else {
            rig.Start(p, args);
        }
        QTRY_VERIFY_WITH_TIMEOUT(sim.LogLines().contains(heard), 30000);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        // The console ends as on its close; the tool reports the signal that stopped it.
        QCOMPARE(p.exitCode(), console ? 0 : 128 + SIGTERM);
        // A lock an earlier row's program is still giving up may come or go meanwhile: only
        // this line's matters.
        QVERIFY2(!LineLocksLeft().contains(held), qPrintable(held));
        QCOMPARE(SystemLocksOf(sim.Folder()), QStringList());
        const ToolRun next = rig.Run({"status", "1"});
        QVERIFY2(!next.err.contains("cannot open the port"), next.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestVendractl)
#include "test_vendractl.moc"
