// Output test and latch, "Clear All" and "Refresh" through the real main window.
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "support/main_rig.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

std::unique_ptr<MainRig> Online(const QStringList& preload = {}) {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(SampleIni(10, 8));
    for (const QString& m : preload)
        rig->model.AddMappingString(m);
    if (!rig->Start()) qFatal("start-up failed");
    rig->TakeLog();
    return rig;
}

const QStringList kTestOfOutput4{"GetMap 1  4", "mapdisab 1  4", "Set 1  4"};
const QStringList kEndOfOutput4{"Res 1  4", "MapEnab 1  4"};

}  // namespace

class TestSystemOps : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void testButtonLightsOnlyTheSelectedOutputWhileHeld() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(3);
        QTest::mousePress(w.Face().cmdTest, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), kTestOfOutput4);
        QCOMPARE(w.Face().List1->RowBackground(3), ColourFromValue(kRed));
        QCOMPARE(ButtonFace(w.Face().cmdTest), ColourFromValue(kRed));
        for (int ch = 1; ch <= 10; ++ch)
            QCOMPARE(rig->model.IsOutputOn(1, ch), ch == 4);
        QTest::mouseRelease(w.Face().cmdTest, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), kEndOfOutput4);
        QCOMPARE(w.Face().List1->RowBackground(3), ListBackground());
        QVERIFY(!ButtonFace(w.Face().cmdTest).isValid());
        QVERIFY(!rig->model.IsOutputOn(1, 4));
    }

    void testAfterAMappingFromTheEntryBoxAddressesTheNewRow() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(2);
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);  // maps output 3, moves to output 4
        rig->TakeLog();
        QTest::mousePress(w.Face().cmdTest, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), kTestOfOutput4);
        QCOMPARE(w.Face().List1->RowBackground(3), ColourFromValue(kRed));
        QCOMPARE(w.Face().lblOutChannel->text(), QStringLiteral("4"));
        QTest::mouseRelease(w.Face().cmdTest, Qt::LeftButton);
    }

    void latchTogglesOnceAndShowsOnReselection() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(3);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);
        QVERIFY(w.Face().chkTest->isChecked());  // the press latched it; the click did not undo it
        QCOMPARE(TextColour(w.Face().chkTest), ColourFromValue(kRed));
        QCOMPARE(rig->TakeLog(), kTestOfOutput4);

        // Move away and back with the keyboard: the latch follows the selected output.
        QTest::keyClick(w.Face().List1, Qt::Key_Down);
        QCOMPARE(w.Face().List1->SelectedIndex(), 4);
        QVERIFY(!w.Face().chkTest->isChecked());
        QVERIFY(!ButtonFace(w.Face().cmdTest).isValid());
        QTest::keyClick(w.Face().List1, Qt::Key_Up);
        QVERIFY(w.Face().chkTest->isChecked());
        QCOMPARE(ButtonFace(w.Face().cmdTest), ColourFromValue(kRed));
        QVERIFY(rig->TakeLog().isEmpty());  // selecting never talks to the controller

        w.Face().chkTest->setFocus();
        QTest::keyClick(w.Face().chkTest, Qt::Key_Return);
        QVERIFY(!w.Face().chkTest->isChecked());
        QCOMPARE(TextColour(w.Face().chkTest), ColourFromValue(kBlack));
        QCOMPARE(rig->TakeLog(), kEndOfOutput4);
        QVERIFY(!rig->model.IsOutputOn(1, 4));
    }

    void offlineTestsSendNothing() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        QVERIFY(!w.Face().cmdTest->isEnabled() && !w.Face().chkTest->isEnabled());
        QTest::keyPress(w.Face().List1, Qt::Key_Space);
        QTest::keyRelease(w.Face().List1, Qt::Key_Space);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(w.Face().List1->RowBackground(0), ListBackground());
    }

    void clearAllOnlineInitialisesAndReenablesUnits() {
        auto rig = Online({QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("show.vdk"));
        w.Face().List1->SetSelectedIndex(6);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);  // output 7 latched
        rig->TakeLog();
        rig->dialogs.answers = {Answer::Ok};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.last();
        QCOMPARE(box.text, QStringLiteral("Are you absolutely sure you want to Clear ALL ??"));
        QCOMPARE(box.title, QStringLiteral("Clear All"));
        QCOMPARE(box.buttons, Buttons::OkCancel);
        QCOMPARE(box.defaultAnswer, Answer::Cancel);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2"}));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t\t\t"));
        QCOMPARE(w.Face().List1->RowBackground(6), ListBackground());
        QVERIFY(w.Face().lblFileName->text().isEmpty());
        QVERIFY(rig->model.Table().empty());
        // The output can be tested again.
        w.Face().List1->SetSelectedIndex(6);
        QTest::mousePress(w.Face().cmdTest, Qt::LeftButton);
        QCOMPARE(rig->TakeLog().value(1), QStringLiteral("mapdisab 1  7"));
        QTest::mouseRelease(w.Face().cmdTest, Qt::LeftButton);
    }

    void clearAllCancelledChangesNothing() {
        auto rig = Online({QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("show.vdk"));
        rig->dialogs.answers = {Answer::Cancel};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 3\t\t"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("show.vdk"));
    }

    void clearAllOfflineClearsOnlyTheProgramsCopy() {
        auto rig = Online({QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        rig->dialogs.answers = {Answer::Ok};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t\t\t"));
        QCOMPARE(rig->model.Table().size(), size_t(1));  // the controller keeps its table
    }

    void refreshEndsTestsAndReadsBack() {
        auto rig = Online({QStringLiteral("[1][2][2][3][1][0][0][0]"),
                           QStringLiteral("[1][5][2][1][1][2][2][2]")});
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(1);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);
        w.Face().List1->SetSelectedIndex(6);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);
        rig->TakeLog();
        QTest::mouseClick(w.Face().cmdRefresh, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(),
                 QStringList({"Refresh", "Comp", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QCOMPARE(w.Face().List1->RowBackground(1), ListBackground());
        QCOMPARE(w.Face().List1->RowBackground(6), ListBackground());
        QCOMPARE(w.Session().Installation().Tables().OutTest[2], 0);
        QCOMPARE(rig->Row(4), QStringLiteral("Out 5\t 1\t||\t 2"));
        QCOMPARE(w.Face().List1->SelectedIndex(), 0);
    }
};

QTEST_MAIN(TestSystemOps)
#include "test_system_ops.moc"
