// The console over a real pseudo-terminal, through the real serial port, against tally-sim:
// start-up read-back, a mapping typed at the keyboard, a controller that goes away and comes
// back.
#include <sys/resource.h>
#include <QPushButton>
#include <QtTest>

#include "changes/journal.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {}  // namespace

class TestEditorPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mapsOverTheWireAndSurvivesAHangUp() {
        SimProcess sim;
        const QString vdk = sim.FilePath(QStringLiteral("preload.vdk"));
        {
            QFile f(vdk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[1][3][2][17][1][0][0][0]\r\n[1][4][2][3][1][2][7][2]\r\n");
        }
        QVERIFY2(sim.Start({QStringLiteral("--preload"), vdk}), qPrintable(sim.ErrorText()));

        MainRig rig;
        rig.WriteIni(SampleIni(8, 20, QStringLiteral("CommDevice=%1\r\n").arg(sim.LinkPath())));
        QVERIFY(rig.Start(/*realPort=*/true));
        frmKavroMain& w = *rig.window;
        QVERIFY(w.Session().Link().IsOnline());
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("MAINV8\r\n"));
        QCOMPARE(rig.Row(2), QStringLiteral("Out 3\t 17\t\t"));
        QCOMPARE(rig.Row(3), QStringLiteral("Out 4\t 3\t||\t 7"));

        w.Face().txtInput->clear();
        QTest::keyClicks(w.Face().txtInput, QStringLiteral("12"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 12\t\t"));
        QTRY_VERIFY(sim.LogLines().contains(QStringLiteral("Map 1 1 2 12")));
        QCOMPARE(sim.LogLines().mid(0, 9),
                 QStringList({"", "VER", "", "", "VER", "", "", "Comp", "RawMap 1"}));

        // The controller goes away: the next mapping fails within its deadline, the row keeps
        // its text, and waiting on the dead link costs no CPU.
        sim.Stop();
        const double cpu0 = CpuSeconds();
        QElapsedTimer t;
        t.start();
        w.Face().List1->SetSelectedIndex(1);
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QVERIFY(t.elapsed() < 3000);
        QVERIFY2(CpuSeconds() - cpu0 < 0.5, "a dead link must not spin");
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(rig.Row(1), QStringLiteral("Out 2\t\t\t"));

        // It comes back on the same link: going offline and online again heals the link.
        QVERIFY(sim.Start({QStringLiteral("--preload"), vdk}));
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // online -> offline
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // "Information!", then the probe
        QCOMPARE(rig.dialogs.boxes.last().title, QStringLiteral("Information!"));
        QVERIFY(w.Session().Link().IsOnline());
        w.Face().List1->SetSelectedIndex(1);
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QCOMPARE(rig.Row(1), QStringLiteral("Out 2\t 5\t\t"));
        QTRY_VERIFY(sim.LogLines().contains(QStringLiteral("Map 1 2 2 5")));
    }

    // A mapping the controller refuses, typed in the real window: the row keeps what the
    // controller holds, the error line shows its words, the journal says "refused", and a save
    // made offline afterwards does not write it.
    void refusedMappingStaysOut() {
        SimProcess sim;
        const QString vdk = sim.FilePath(QStringLiteral("preload.vdk"));
        QVERIFY(Put(vdk, "[1][1][2][4][1][0][0][0]\r\n"));
        QVERIFY2(sim.Start({"--preload", vdk, "--refuse", "Map 1 1 2 12"}),
                 qPrintable(sim.ErrorText()));
        MainRig rig;
        rig.WriteIni(SampleIni(
            8, 20, QStringLiteral("CommDevice=%1\r\nJournal=j.jsonl\r\n").arg(sim.LinkPath())));
        QVERIFY(rig.Start(/*realPort=*/true));
        frmKavroMain& w = *rig.window;
        w.Face().txtInput->setText(QStringLiteral("12"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QTRY_VERIFY(sim.LogLines().contains(QStringLiteral("Map 1 1 2 12")));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 4\t\t"));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("ERR REFUSED"));
        const JournalRead j = ReadJournal(rig.dir.filePath(QStringLiteral("j.jsonl")));
        QCOMPARE(j.Entries.size(), 1);
        QCOMPARE(j.Entries[0].Outcome, QStringLiteral("refused"));

        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // offline
        QVERIFY(!w.Session().Link().IsOnline());
        const QString saved = rig.dir.filePath(QStringLiteral("saved.vdk"));
        rig.dialogs.fileAnswers = {saved};
        QTest::mouseClick(w.Face().cmdSaveMatrix, Qt::LeftButton);
        QCOMPARE(Contents(saved), QByteArray("[1][1][2][4][1][0][0][0]\r\n"));
    }
};

QTEST_MAIN(TestEditorPty)
#include "test_editor_pty.moc"
