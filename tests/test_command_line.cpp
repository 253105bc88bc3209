// The console's command line, through the real program: --help and --version print and end
// without a display, --ini names the installation file, and "File Missing" names the path it
// looked for.
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#include "link/online_state.h"
#include "platform/version.h"
#include "shell/frm_kavro_main.h"
#include "shell/program.h"
#include "support/scripted_dialogs.h"
#include "support/sim_process.h"

using namespace vendra;

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void printsAndEnds_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");  // texts standard output contains
        QTest::addColumn<QString>("err");      // a text standard error contains
        const QString version = QStringLiteral("vendra %1\n").arg(kVersionText);
        QTest::newRow("--version")
            << QStringList{"--version"} << false << 0 << QStringList{version} << QString();
        QTest::newRow("--help")
            << QStringList{"--help"} << false << 0
            << QStringList{"vendra [options]",     "--ini <FILE>",         "--version",
                           "instead of Kavro.ini", "\n  CommDevice=PATH ", "\n  Journal=PATH ",
                           "\nEXIT STATUS\n"}
            << QString();
        QTest::newRow("help before a bad option") << QStringList{"-h", "--bogus"} << false << 0
                                                  << QStringList{"--ini <FILE>"} << QString();
        QTest::newRow("--ini without a file")
            << QStringList{"--ini"} << false << 2 << QStringList{}
            << QStringLiteral("vendra: Missing value after '--ini'.\nTry 'vendra --help'.\n");
        // Options the toolkit does not take either are refused once it has looked at them.
        QTest::newRow("unknown option") << QStringList{"--bogus"} << true << 2 << QStringList{}
                                        << QStringLiteral("Unknown option 'bogus'");
        QTest::newRow("unknown option, no display")
            << QStringList{"--bogus"} << false << 2 << QStringList{}
            << QStringLiteral("Unknown option 'bogus'");
        QTest::newRow("stray argument") << QStringList{"Kavro.ini"} << true << 2 << QStringList{}
                                        << QStringLiteral("unexpected argument 'Kavro.ini'");
    }
    void printsAndEnds() {
        QFETCH(QStringList, args);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        QProcess vendra;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!display) {
            // A window, a message box or the single-copy check would need the X display that
            // is not there: the program could only abort.
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        vendra.setProcessEnvironment(env);
        vendra.start(QStringLiteral(VENDRA_CONSOLE), args);
        QVERIFY(vendra.waitForFinished(30000));
        const QString stdOut = QString::fromLocal8Bit(vendra.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(vendra.readAllStandardError());
        QCOMPARE(vendra.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vendra.exitCode(), exitCode);
        for (const QString& text : out)
            QVERIFY2(stdOut.contains(text), qPrintable(stdOut));
        if (err.isEmpty())
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
        else
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    }

    void iniNamesTheInstallationFile() {
        SimProcess sim;
        QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
        const QString studio = sim.FilePath(QStringLiteral("studio-b.ini"));
        QFile file(studio);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Vendra]\r\nSystem=Studio B\r\nCommDevice=%1\r\n"
                                  "Output 1=Cam 1,1,1\r\nInput 1=PGM,2,1\r\n")
                       .arg(sim.LinkPath())
                       .toLatin1());
        file.close();
        QTemporaryDir programDir;  // holds no Kavro.ini: reading it would end the start

        QCOMPARE(ParseCommandLine({"vendra"}, programDir.path(), true).IniPath,
                 programDir.filePath(QStringLiteral("Kavro.ini")));
        const CommandLine line =
            ParseCommandLine({"vendra", "--ini", studio}, programDir.path(), true);
        QVERIFY(!line.Ends);
        QCOMPARE(line.IniPath, studio);

        ScriptedDialogs dialogs;
        std::unique_ptr<QLockFile> lock;
        auto window = StartProgram(dialogs, line.IniPath, LockPath(), lock);
        QVERIFY(window);
        QCOMPARE(dialogs.Titles(), QStringList());
        QCOMPARE(window->Session().Installation().Config().SystemName, QStringLiteral("Studio B"));
        QVERIFY(window->Session().Link().IsOnline());
        QCOMPARE(window->Session().Installation().Tables().NumOutputs, 1);
    }

    void fileMissingNamesThePath() {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("studio-c.ini"));
        ScriptedDialogs dialogs;
        std::unique_ptr<QLockFile> lock;
        QVERIFY(!StartProgram(dialogs, missing, LockPath(), lock));
        QCOMPARE(dialogs.Titles(), QStringList({"File Missing"}));
        QCOMPARE(dialogs.boxes[0].text,
                 QStringLiteral("Cannot locate Kavro.ini file in program directory\r\n"
                                "Please aquire a Kavro.ini file for this tally system and copy "
                                "it into the program directory\r\nLooked for: ") +
                     missing);
    }

private:
    QString LockPath() const { return runtime_.filePath(QStringLiteral("vendra.lock")); }
    QTemporaryDir runtime_;
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
