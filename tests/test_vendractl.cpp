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

    // A backup of a controller that maps outputs and inputs Kavro.ini lacks restores as it is,
    // whole or changes only, without --force.
    void aBackupOfTheToolRestoresAsItIs_data() {
        QTest::addColumn<QStringList>("how");
        QTest::newRow("whole") << QStringList{};
        QTest::newRow("changes only") << QStringList{"--changes-only"};
    }
    void aBackupOfTheToolRestoresAsItIs() {
        QFETCH(QStringList, how);
        SimProcess sim;
        Rig rig;
        const QByteArray table =
            kTable + "[1][77][2][1][1][0][0][0]\r\n[1][8][9][40][1][0][0][0]\r\n";
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), table));
        QVERIFY2(sim.Start({"--preload", sim.FilePath(QStringLiteral("t.vdk"))}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        const QString backup = rig.File(QStringLiteral("backup.vdk"));
        QCOMPARE(rig.Run({"backup", "-o", backup}).exit, 0);
        QCOMPARE(Contents(backup), table);
        QCOMPARE(rig.Run({"send", "ClrMap 1 77"}).exit, 0);
        const ToolRun r = rig.Run(QStringList{"restore", backup} + how);
        QVERIFY2(r.exit == 0, r.err.constData());
        // The same entries; a change goes to the end of the controller's list.
        const auto sorted = [](const QByteArray& bytes) {
            QList<QByteArray> lines = bytes.split('\n');
            std::sort(lines.begin(), lines.end());
            return lines;
        };
        QCOMPARE(sorted(rig.Run({"backup"}).out), sorted(table));
    }

    // Each failure: one line on standard error naming it, a non-zero exit, the old file kept.
    void failuresTouchNothing_data() {
        QTest::addColumn<QStringList>("simArgs");  // empty: no controller at all
        QTest::addColumn<QStringList>("args");     // "OLD" stands for the old backup's path
        QTest::addColumn<bool>("holdLock");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("controllerTouched");
        QTest::addColumn<int>("exit");

        QTest::newRow("silent controller")
            << QStringList{"--fault", "silent"} << QStringList{"backup", "-o", "OLD"} << false
            << "no answer from the tally controller" << true << 2;
        QTest::newRow("console holds the line")
            << QStringList{} << QStringList{"backup", "-o", "OLD"} << true
            << "another program is using this line" << false << 2;
        QTest::newRow("console holds the line, send")
            << QStringList{} << QStringList{"send", "Init"} << true
            << "another program is using this line" << false << 2;
        // The probe takes 7 lines, the compaction one, then two entries: the third is not
        // answered.
        QTest::newRow("controller stops mid backup")
            << QStringList{"--silent-after", "10"} << QStringList{"backup", "-o", "OLD"} << false
            << "read-back incomplete: the controller stopped answering after 2 mappings" << true
            << 2;
        QTest::newRow("port missing") << QStringList{"NOSIM"} << QStringList{"backup", "-o", "OLD"}
                                      << false << "cannot open the port" << false << 2;
        QTest::newRow("file unreadable")
            << QStringList{} << QStringList{"restore", "NOFILE"} << false << "NOFILE" << false << 2;
        // A restore reads its file twice: "-" names a file there, never standard input.
        QTest::newRow("restore of -") << QStringList{} << QStringList{"restore", "-"} << false
                                      << "The tally file \"-\" cannot be read" << false << 2;
        QTest::newRow("a watch without a pause")
            << QStringList{} << QStringList{"status", "1", "--watch", "--interval", "0"} << false
            << "--interval takes milliseconds, 1 or more" << false << 2;
        QTest::newRow("file with findings") << QStringList{} << QStringList{"restore", "BADFILE"}
                                            << false << "has 1 finding;" << false << 3;
    }

    void failuresTouchNothing() {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(bool, holdLock);
        QFETCH(QString, message);
        QFETCH(bool, controllerTouched);
        QFETCH(int, exit);

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
        // Output 7 twice: which line the controller keeps is not the file's to say.
        QVERIFY(Put(bad, "[1][7][2][1][1][0][0][0]\r\n[1][7][2][2][1][0][0][0]\r\n"));
        for (QString& a : args) {
            if (a == QStringLiteral("OLD")) a = old;
            if (a == QStringLiteral("NOFILE")) a = rig.File(QStringLiteral("missing.vdk"));
            if (a == QStringLiteral("BADFILE")) a = bad;
        }
        if (message == QStringLiteral("NOFILE")) message = rig.File(QStringLiteral("missing.vdk"));

        QLockFile console(LineLockPath(sim.LinkPath()));
        if (holdLock) QVERIFY(console.tryLock(0));

        const ToolRun r = rig.Run(args);
        QCOMPARE(r.exit, exit);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QCOMPARE(r.err.count('\n'), message.contains("finding") ? 2 : 1);
        QCOMPARE(Contents(old), QByteArray("[1][1][2][1][1][0][0][0]\r\n"));
        if (!noSim) {
            QCOMPARE(!sim.LogLines().isEmpty(), controllerTouched);
            QCOMPARE(Count(sim.LogLines(), QStringLiteral("Init")), 0);
        }
    }

    // One network line, one lock, however its host is spelt: a console on one spelling keeps
    // the tool on another out.
    void oneLineOneLockHoweverTheHostIsSpelt_data() {
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("asked");
        QTest::newRow("localhost held, 127.0.0.1 asked") << "localhost"
                                                         << "127.0.0.1";
        QTest::newRow("127.0.0.1 held, localhost asked") << "127.0.0.1"
                                                         << "localhost";
        QTest::newRow("127.0.0.1 held, LOCALHOST asked") << "127.0.0.1"
                                                         << "LOCALHOST";
        QTest::newRow("[::1] held, 127.0.0.1 asked") << "[::1]"
                                                     << "127.0.0.1";
    }
    void oneLineOneLockHoweverTheHostIsSpelt() {
        QFETCH(QString, held);
        QFETCH(QString, asked);
        SimProcess sim;
        Rig rig;
        QVERIFY2(sim.Start({"--listen", "0"}), qPrintable(sim.ErrorText()));
        const int port = sim.ListenPort();
        QVERIFY(port > 0);
        QVERIFY(rig.Prepare(QStringLiteral("tcp://%1:%2").arg(asked).arg(port)));
        QLockFile console(LineLockPath(QStringLiteral("%1:%2").arg(held).arg(port)));
        QVERIFY(console.tryLock(0));
        const ToolRun r = rig.Run({"status", "1"});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains("another program is using this line"), r.err.constData());
        QVERIFY(sim.LogLines().isEmpty());
    }

    // rfc2217:// tried on a raw port: the Telnet offer the controller took as the start of a
    // line is ended there, so the next client's first command is not refused for it.
    void aTelnetTryOnARawPortLeavesTheLineClean() {
        SimProcess sim;
        Rig rig;
        QVERIFY2(sim.Start({"--listen", "0"}), qPrintable(sim.ErrorText()));
        const int port = sim.ListenPort();
        QVERIFY(port > 0);
        QVERIFY(rig.Prepare(sim.LinkPath()));
        const ToolRun telnet = rig.Run(
            {"status", "1", "--device", QStringLiteral("rfc2217://127.0.0.1:%1").arg(port)});
        QCOMPARE(telnet.exit, 2);
        QVERIFY2(telnet.err.contains("did not take up COM port control"), telnet.err.constData());
        const ToolRun raw =
            rig.Run({"status", "1", "--device", QStringLiteral("tcp://127.0.0.1:%1").arg(port)});
        QVERIFY2(raw.exit == 0, raw.err.constData());
    }

    // A whole restore stopped after "Init" (Ctrl+C, or a controller that goes silent): the line
    // on the wire is finished, nothing after it is sent, and the tool says how far it got, how
    // many outputs "Init" left unmapped and how to put them back.
    void aStoppedRestoreSaysWhatIsUnmapped_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<bool>("ctrlC");
        QTest::newRow("Ctrl+C") << QStringList{"--delay", "100"} << true;
        // The probe takes 7 lines, Init and the two units 3: the fifth "Map" is not answered.
        QTest::newRow("controller silent") << QStringList{"--silent-after", "14"} << false;
    }
    void aStoppedRestoreSaysWhatIsUnmapped() {
        QFETCH(QStringList, simArgs);
        QFETCH(bool, ctrlC);
        SimProcess sim;
        Rig rig;
        QVERIFY2(sim.Start(simArgs), qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        QByteArray lines;
        for (int c = 1; c <= 10; ++c)
            lines +=
                QStringLiteral("[1][%1][2][%2][1][0][0][0]\r\n").arg(c).arg(c % 8 + 1).toLatin1();
        const QString file = rig.File(QStringLiteral("ten.vdk"));
        QVERIFY(Put(file, lines));

        QProcess p;
        rig.Start(p, {"restore", file});
        if (ctrlC) {
            QTRY_VERIFY_WITH_TIMEOUT(Count(sim.LogLines(), QStringLiteral("Map ")) >= 2, 30000);
            ::kill(pid_t(p.processId()), SIGINT);
        }
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), ctrlC ? 130 : 2);
        const QByteArray err = p.readAllStandardError();
        const int maps = Count(sim.LogLines(), QStringLiteral("Map "));
        QVERIFY(maps < 10);
        // Without an answer the last line sent is not known to be taken.
        const int sent = ctrlC ? maps : maps - 1;
        QVERIFY2(err.contains(QStringLiteral("lines up to %1 of %2 were sent (%1 mapping")
                                  .arg(sent)
                                  .arg(file)
                                  .toUtf8()),
                 err.constData());
        QVERIFY2(
            err.contains(QStringLiteral("\"Init\" cleared the controller's table, so %1 "
                                        "outputs of the file are unmapped now; run the same "
                                        "restore again to put them back (vendractl restore %2)")
                             .arg(10 - sent)
                             .arg(file)
                             .toUtf8()),
            err.constData());
    }

    // The help is whole: each command's summary a whole sentence; the manual (the manual
    // page's text) every command's options and the sections a manual page has.
    void theHelpIsWhole() {
        const ToolRun help = RunVendractl({"--help"});
        QCOMPARE(help.exit, 0);
        const QString overview = QString::fromUtf8(help.out);
        const QString commands = overview.section(QStringLiteral("Commands:\n"), 1)
                                     .section(QStringLiteral("\n\n"), 0, 0);
        QStringList summaries;
        for (const QString& line : commands.split(u'\n')) {
            if (line.startsWith(QStringLiteral("      ")))
                summaries.last() += line.trimmed() + u' ';
            else
                summaries << QString();
        }
        QCOMPARE(summaries.size(), 9);
        for (const QString& summary : summaries)
            QVERIFY2(summary.trimmed().endsWith(u'.'), qPrintable(summary));
        const ToolRun manual = RunVendractl({"--manual"});
        QCOMPARE(manual.exit, 0);
        for (const char* part : {"\nCOMMANDS\n", "\nJSON OUTPUT\n", "\nFILES\n", "\nENVIRONMENT\n",
                                 "\nEXIT STATUS\n", "\nEXAMPLES\n", "Usage: vendractl restore",
                                 "--changes-only", "Usage: vendractl journal", "--follow",
                                 "--interval <MS>", "Usage: vendractl serve", "--http <ADDR:PORT>"})
            QVERIFY2(manual.out.contains(part), part);
    }

    // lamps --output asks for one lamp; a watch's times carry their offset from UTC.
    void lampsOfOneOutput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("out");  // a pattern every line of standard output matches
        QTest::newRow("by number") << QStringList{"--output", "7"} << 0 << ".*";
        QTest::newRow("by address, watching")
            << QStringList{"--output", "1/9", "--watch"} << 130
            << R"(^\{"channel":9,.*"output":9,.*"time":"[-0-9T:.]+[+-]\d\d:\d\d",)";
        QTest::newRow("no such output") << QStringList{"--output", "Nowhere"} << 2 << "^$";
    }
    void lampsOfOneOutput() {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, out);
        SimProcess sim;
        Rig rig;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), kTable));
        QVERIFY2(sim.Start({"--preload", sim.FilePath(QStringLiteral("t.vdk"))}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        QProcess p;
        rig.Start(p, QStringList{"lamps", "--json"} + args);
        if (exit == 130) {
            QTRY_VERIFY_WITH_TIMEOUT(p.bytesAvailable() > 0, 30000);
            ::kill(pid_t(p.processId()), SIGINT);
        }
        const ToolRun r = FinishTool(p);
        QVERIFY2(r.exit == exit, r.err.constData());
        const QRegularExpression pattern(out);
        for (const QString& line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(pattern.match(line).hasMatch(), qPrintable(line));
        QCOMPARE(r.out.count("\"output\""), exit == 2 ? 0 : 1);
    }

    // The habits of a shell user: a usage error on standard error, '-' for standard input, a
    // relative device taken from the current folder (or /dev) and named where it was looked for.
    void shellHabits_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("err");  // a part of standard error; "-": empty
        QTest::newRow("no command")
            << QStringList{"--quiet"} << QByteArray() << 2 << "vendractl: no command given";
        QTest::newRow("diff from standard input") << QStringList{"diff", "-"} << kTable << 0 << "-";
        QTest::newRow("check from standard input")
            << QStringList{"check", "-"} << QByteArray("[1][77][2][1][1][0][0][0]\r\n") << 1 << "-";
        QTest::newRow("relative device in the current folder")
            << QStringList{"status", "1", "--device", "ttySIM"} << QByteArray() << 0 << "-";
        QTest::newRow("relative device below the current folder")
            << QStringList{"status", "1", "--device", "sub/none"} << QByteArray() << 2
            << "HERE/sub/none";
        QTest::newRow("bare name of no file")
            << QStringList{"status", "1", "--device", "none"} << QByteArray() << 2 << "/dev/none";
    }
    void shellHabits() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exit);
        QFETCH(QString, err);
        SimProcess sim;
        Rig rig;
        QVERIFY(Put(sim.FilePath(QStringLiteral("t.vdk")), kTable));
        QVERIFY2(sim.Start({"--preload", sim.FilePath(QStringLiteral("t.vdk"))}),
                 qPrintable(sim.ErrorText()));
        QVERIFY(rig.Prepare(sim.LinkPath()));
        QProcess p;
        p.setWorkingDirectory(sim.Folder());
        rig.Start(p, args);
        p.write(input);
        p.closeWriteChannel();
        const ToolRun r = FinishTool(p);
        QVERIFY2(r.exit == exit, r.err.constData());
        if (err == QStringLiteral("-"))
            QCOMPARE(r.err, QByteArray());
        else
            QVERIFY2(r.err.contains(QString(err).replace("HERE", sim.Folder()).toUtf8()),
                     r.err.constData());
        if (args.first() == QStringLiteral("--quiet")) QCOMPARE(r.out, QByteArray());
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
