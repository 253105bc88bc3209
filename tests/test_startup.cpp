// Start-up of the real main window: configuration, single copy, port and online attempt.
#include <QLockFile>
#include <QPushButton>
#include <QtTest>

#include "editor/tally_list.h"
#include "link/online_state.h"
#include "shell/program.h"
#include "support/main_rig.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goesOnlineAndReadsTheTableBack() {
        MainRig rig;
        rig.WriteIni(SampleIni(6, 20));
        rig.model.AddMappingString(QStringLiteral("[1][3][2][17][1][0][0][0]"));
        rig.model.AddMappingString(QStringLiteral("[1][4][2][3][1][2][7][1]"));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        QVERIFY(w.Session().Link().IsOnline());
        QCOMPARE(w.Face().cmdOnline->text(), QStringLiteral("Online"));
        QCOMPARE(ButtonFace(w.Face().cmdOnline), ColourFromValue(kGreen));
        QVERIFY(w.Face().cmdTest->isEnabled() && w.Face().cmdRefresh->isEnabled());
        // The probe, the version request and the read-back of the compacted table, in that order.
        QCOMPARE(rig.TakeLog(), QStringList({"", "VER", "", "", "VER", "", "", "Comp", "RawMap 1",
                                             "RawMap 2", "RawMap 3"}));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("MAINV8\r\n"));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t\t\t"));
        QCOMPARE(rig.Row(2), QStringLiteral("Out 3\t 17\t\t"));
        QCOMPARE(rig.Row(3), QStringLiteral("Out 4\t 3\t&\t 7"));
        QCOMPARE(w.Face().list2->RowText(0), QStringLiteral("0\tUnassigned"));
        QCOMPARE(w.Face().list3->RowText(20), QStringLiteral("20\tIn 20"));
        QCOMPARE(w.Face().List1->SelectedIndex(), 0);
        QVERIFY(rig.dialogs.boxes.isEmpty());
        QVERIFY(w.Face().lblMainVersionInfo->toolTip().startsWith(QStringLiteral("MAINV8")));
        QVERIFY(
            w.Face().lblMainVersionInfo->toolTip().endsWith(QStringLiteral("Test Studio   Com 1")));
    }

    void missingOrUnusableConfigurationEnds_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QStringList>("titles");
        const QStringList missing{QStringLiteral("File Missing")};
        QTest::newRow("no file, OK") << QString() << Answer::Ok << missing;
        QTest::newRow("no file, Cancel") << QString() << Answer::Cancel << missing;
        QTest::newRow("no System")
            << QStringLiteral("[Vendra]\nCommPort=1\nOutput 1=A,1,1\n") << Answer::Ok << missing;
        QTest::newRow("port out of range")
            << QStringLiteral("[Vendra]\nSystem=S\nCommPort=300\n") << Answer::Ok
            << QStringList({"File Error", "File Missing"});
        QTest::newRow("unit out of range")
            << QStringLiteral("[Vendra]\nSystem=S\nOutput 1=A,70000,1\n") << Answer::Cancel
            << QStringList({"File Error", "File Missing"});
        // A mapping string has three characters a number: 1000 would be read back as 100.
        QTest::newRow("four-digit channel")
            << QStringLiteral("[Vendra]\nSystem=S\nInput 1=In,2,1\nOutput 1=Big,1,1000\n")
            << Answer::Ok << QStringList({"File Error", "File Missing"});
        QTest::newRow("four-digit input channel")
            << QStringLiteral("[Vendra]\nSystem=S\nOutput 1=Out,1,1\nInput 1=Far,2,1234\n")
            << Answer::Ok << QStringList({"File Error", "File Missing"});
    }
    void missingOrUnusableConfigurationEnds() {
        QFETCH(QString, ini);
        QFETCH(Answer, answer);
        QFETCH(QStringList, titles);
        MainRig rig;
        if (!ini.isEmpty()) rig.WriteIni(ini);
        rig.dialogs.answers = {answer, answer};
        QVERIFY(!rig.Start());
        QCOMPARE(rig.dialogs.Titles(), titles);
        QCOMPARE(rig.dialogs.boxes.last().buttons, Buttons::OkCancel);
        QVERIFY(rig.dialogs.boxes.last().text.startsWith(
            QStringLiteral("Cannot locate Kavro.ini file in program directory\r\nPlease aquire")));
        if (titles.size() > 1) {
            // The box names the key and quotes its value as written.
            const QString line = ini.section(u'\n', -2, -2);
            const QString text = rig.dialogs.boxes.first().text;
            for (const QString& part : {line.section(u'=', 0, 0), line.section(u'=', 1)})
                QVERIFY2(text.contains(QStringLiteral("\"%1\"").arg(part)), qPrintable(text));
        }
        QVERIFY(!rig.window->isVisible());
        QVERIFY(rig.TakeLog().isEmpty());
    }

    void portThatCannotBeOpenedGoesOffline() {
        MainRig rig;
        rig.WriteIni(SampleIni(3, 3));
        rig.refusePort = true;
        rig.dialogs.answers = {Answer::Ok, Answer::No, Answer::Ok};
        QElapsedTimer t;
        t.start();
        QVERIFY(rig.Start());
        QCOMPARE(rig.dialogs.Titles(),
                 QStringList({"Port Conflict", "Communication Error", "Communication Error"}));
        const ScriptedDialogs::Box& conflict = rig.dialogs.boxes[0];
        QVERIFY(conflict.text.startsWith(QStringLiteral(
            "The Serial Com port 1\rIs not available\rPlease correct and try again\r")));
        QVERIFY(conflict.text.contains(QStringLiteral("No such file or directory")));
        QCOMPARE(conflict.icon, Icon::Information);
        QCOMPARE(rig.dialogs.boxes[2].text, QStringLiteral("Going To Offline Mode"));
        QVERIFY(!rig.window->Session().Link().IsOnline());
        QCOMPARE(rig.window->Face().cmdOnline->text(), QStringLiteral("OFFLINE"));
        QVERIFY(!rig.window->Face().cmdTest->isEnabled());
        QVERIFY(rig.window->isVisible());
        QVERIFY(t.elapsed() < 6000);  // a dead port never waits longer than the two deadlines
    }

    void tooManyOutputsAreCutWithAWarning() {
        MainRig rig;
        rig.WriteIni(SampleIni(1005, 3));
        QVERIFY(rig.Start());
        QCOMPARE(rig.window->Face().List1->RowCount(), 999);
        QCOMPARE(rig.window->Session().Installation().Tables().NumOutputs, 999);
        QCOMPARE(rig.dialogs.boxes.size(), 1);
        QVERIFY(rig.dialogs.boxes[0].text.contains(QStringLiteral("999")));
    }

    void secondCopyIsRefusedBeforeAnythingIsRead() {
        QTemporaryDir runtime;
        const QString lockPath = runtime.filePath(QStringLiteral("vendra.lock"));
        std::unique_ptr<QLockFile> first;
        QVERIFY(!AnotherCopyRuns(lockPath, first));
        QVERIFY(first);

        ScriptedDialogs dialogs;
        QTemporaryDir emptyProgramDir;  // reading it would end in "File Missing"
        std::unique_ptr<QLockFile> second;
        QVERIFY(!StartProgram(dialogs, KavroIniPath(emptyProgramDir.path()), lockPath, second));
        QCOMPARE(dialogs.Titles(), QStringList({"Application Error"}));
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("An instance of Vendra is already running"));
        QCOMPARE(dialogs.boxes[0].buttons, Buttons::Ok);
        QVERIFY(!second);
    }

    void lockOfAKilledCopyDoesNotBlock() {
        QTemporaryDir runtime;
        const QString lockPath = runtime.filePath(QStringLiteral("vendra.lock"));
        QFile stale(lockPath);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        // A lock left behind by a process that no longer exists.
        stale.write(QByteArray::number(2147483) + "\nvendra\n" +
                    QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        std::unique_ptr<QLockFile> lock;
        QVERIFY(!AnotherCopyRuns(lockPath, lock));
        QVERIFY(lock);
    }

    void windowTitledVendraBlocks() {
        QWidget other;
        other.setWindowTitle(QStringLiteral("Vendra"));
        QTemporaryDir runtime;
        std::unique_ptr<QLockFile> lock;
        QVERIFY(AnotherCopyRuns(runtime.filePath(QStringLiteral("l")), lock));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
