// The console session's start-up with no window, over a real pseudo-terminal against tally-sim:
// what the operator is told, whether it ends online, and what it read back.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "link/command_exchange.h"
#include "session/console_lock.h"
#include "session/console_session.h"
#include "support/main_rig.h"
#include "support/scripted_dialogs.h"
#include "support/session_internals.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/captions.h"

using namespace vendra;

class TestSessionPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    void startUp_data() {
        QTest::addColumn<QStringList>("simArgs");  // empty: no controller, no device
        QTest::addColumn<bool>("online");
        QTest::addColumn<QStringList>("titles");  // boxes shown, in order
        QTest::addColumn<int>("mapStrings");
        QTest::addColumn<QStringList>("received");  // every line the controller received

        const QStringList talk = {"", "VER", "", "", "VER", "", ""};
        QTest::newRow("online, reads back")
            << QStringList{"--version", "MAINV9"} << true << QStringList{} << 2
            << (talk + QStringList{"Comp", "RawMap 1", "RawMap 2", "RawMap 3"});
        QTest::newRow("silent controller")
            << QStringList{"--fault", "silent"} << false
            << QStringList{"Communication Error", "Communication Error"} << 0
            << QStringList{"", "VER"};
        QTest::newRow("port cannot open")
            << QStringList{} << false
            << QStringList{"Port Conflict", "Communication Error", "Communication Error"} << 0
            << QStringList{};
    }

    void startUp() {
        QFETCH(QStringList, simArgs);
        QFETCH(bool, online);
        QFETCH(QStringList, titles);
        QFETCH(int, mapStrings);
        QFETCH(QStringList, received);

        SimProcess sim;
        const QString table = sim.FilePath(QStringLiteral("table.vdk"));
        QVERIFY(Put(table, "[1][3][2][4][1][0][0][0]\r\n[1][5][2][1][1][2][2][2]\r\n"));
        QString device = sim.FilePath(QStringLiteral("no-such-tty"));
        if (!simArgs.isEmpty()) {
            QVERIFY2(sim.Start(simArgs + QStringList{"--preload", table}),
                     qPrintable(sim.ErrorText()));
            device = sim.LinkPath();
        }
        QTemporaryDir dir;
        QVERIFY(Put(dir.filePath(QStringLiteral("Kavro.ini")),
                    SampleIni(6, 4, QStringLiteral("CommDevice=") + device + "\r\n").toLatin1()));

        ScriptedDialogs dialogs;
        dialogs.answers = {Answer::Ok, Answer::No};  // after a conflict: decline the retry
        if (!titles.startsWith(QStringLiteral("Port Conflict"))) dialogs.answers = {Answer::No};
        ConsoleSession session(dialogs, SerialPortFactory(), {300, 0, 0});
        int rebuilds = 0;
        QString errorLine;
        connect(&session.Table(), &TableOperations::ListRebuild, this, [&] { ++rebuilds; });
        FollowErrorLine(session, this, [&](const ErrorReport& e) { errorLine = ErrorCaption(e); });

        QVERIFY(session.LoadConfiguration(dir.filePath(QStringLiteral("Kavro.ini"))));
        QCOMPARE(session.Connect(), online);
        QCOMPARE(session.Link().IsOnline(), online);
        QCOMPARE(dialogs.Titles(), titles);
        QCOMPARE(session.Installation().Tables().MapStringCount, mapStrings);
        QCOMPARE(rebuilds, online ? 1 : 0);
        if (!simArgs.isEmpty()) QCOMPARE(sim.LogLines(), received);
        if (online) {
            QCOMPARE(errorLine, QStringLiteral("MAINV9\r\n"));
            QCOMPARE(session.Installation().Tables().OutMapString[5],
                     QStringLiteral("[1][5][2][1][1][2][2][2]"));
        }
        if (titles.startsWith(QStringLiteral("Port Conflict")))
            QVERIFY(dialogs.Texts().first().contains(device));
    }

    // The line's lock is held while the line is open, for the device the line names then: a
    // controller that hangs up frees it (the system gives that pseudo-terminal's name to the next
    // one it makes), a device that cannot be opened holds none, and a link moved to another
    // device locks that one on the next command.
    void theLineLockFollowsTheOpenDevice() {
        SimProcess first;
        SimProcess second;
        // The start-up's probe, version and read-back are answered, then the line goes dead.
        QVERIFY2(first.Start({"--hangup-after", "9"}), qPrintable(first.ErrorText()));
        QVERIFY2(second.Start(), qPrintable(second.ErrorText()));
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("tally"));
        auto pointAt = [&](const QString& device) {
            QFile::remove(link);
            const QFileInfo target(device);
            return QFile::link(target.exists() ? target.canonicalFilePath() : device, link);
        };
        auto lockOf = [](const QString& device) {
            return QFileInfo(LineLockPath(device)).fileName();
        };
        QVERIFY(pointAt(first.LinkPath()));
        QVERIFY(Put(dir.filePath(QStringLiteral("Kavro.ini")),
                    SampleIni(6, 4, QStringLiteral("CommDevice=") + link + "\r\n").toLatin1()));
        const QStringList before = LineLocksLeft();
        // Named while the device exists: on a loaded machine the line may already be dead when
        // the lock is looked at.
        const QString held = lockOf(first.LinkPath());
        ScriptedDialogs dialogs;
        ConsoleSession session(dialogs, SerialPortFactory(), {300, 0, 0});
        QVERIFY(session.LoadConfiguration(dir.filePath(QStringLiteral("Kavro.ini"))));
        QVERIFY(session.Connect());
        QCOMPARE(LineLocksLeft(), before + QStringList{held});

        QCOMPARE(session.Link().SendRaw(QStringLiteral("VER"), QStringLiteral("send")).Kind,
                 ReplyKind::Closed);
        QVERIFY(first.WaitForExit(5000));
        QCOMPARE(LineLocksLeft(), before);
        QVERIFY(pointAt(dir.filePath(QStringLiteral("gone"))));
        QVERIFY(!session.Link().SendRaw(QStringLiteral("VER"), QStringLiteral("send")).Answered());
        QCOMPARE(LineLocksLeft(), before);

        QVERIFY(pointAt(second.LinkPath()));
        QVERIFY(session.Link().SendRaw(QStringLiteral("VER"), QStringLiteral("send")).Answered());
        QCOMPARE(LineLocksLeft(), before + QStringList{lockOf(second.LinkPath())});
        session.Link().ClosePort();
        QCOMPARE(LineLocksLeft(), before);
    }

    void missingConfigurationEndsWithFileMissing() {
        QTemporaryDir dir;
        ScriptedDialogs dialogs;
        ConsoleSession session(dialogs);
        const QString ini = dir.filePath(QStringLiteral("Kavro.ini"));
        QVERIFY(!session.LoadConfiguration(ini));
        QCOMPARE(dialogs.Titles(), QStringList{QStringLiteral("File Missing")});
        QVERIFY(dialogs.Texts().first().endsWith(QDir::toNativeSeparators(ini)));
        QVERIFY(!SessionInternals::PortOpen(session));
    }
};

QTEST_GUILESS_MAIN(TestSessionPty)
#include "test_session_pty.moc"
