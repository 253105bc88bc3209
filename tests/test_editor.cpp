// The mapping editor of the real main window against the controller model: what the operator
// types and clicks, what goes over the wire, and what the rows show.
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "support/main_rig.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

void SendKey(QWidget* w, QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
             bool autoRepeat = false) {
    QKeyEvent e(type, key, mods, key == Qt::Key_Space ? QStringLiteral(" ") : QString(),
                autoRepeat);
    QApplication::sendEvent(w, &e);
}

// A window online against the model with 12 outputs and 20 inputs.
std::unique_ptr<MainRig> Online(const QStringList& preload = {}) {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(SampleIni(12, 20));
    for (const QString& m : preload)
        rig->model.AddMappingString(m);
    if (!rig->Start()) qFatal("start-up failed");
    rig->TakeLog();
    return rig;
}

}  // namespace

class TestEditor : public QObject {
    Q_OBJECT
    SharedWindow shared_;

    // The rows' shared window with the first output selected and nothing said yet.
    MainRig& Shared() {
        MainRig& rig = shared_.Get([] { return Online(); });
        rig.window->Face().List1->SetSelectedIndex(0);
        rig.dialogs.Reset();
        rig.TakeLog();
        return rig;
    }

private Q_SLOTS:
    void init() { shared_.Begin(); }
    void cleanupTestCase() { shared_.Drop(); }

    void typedNumberAndEnterMapsAndMovesOn() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().txtInput->clear();
        QTest::keyClicks(w.Face().txtInput, QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QCOMPARE(rig->TakeLog(), QStringList({"Map 1 1 2 5"}));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 5\t\t"));
        QCOMPARE(w.Session().Installation().Tables().OutMapString[1],
                 QStringLiteral("[1][1][2][5][1][0][0][0]"));
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);
        QCOMPARE(w.Face().list2->SelectedIndex(), 5);
        QCOMPARE(w.Face().txtInput->text(), QStringLiteral("5"));  // plain, while the row has " 5"
        QCOMPARE(w.Face().txtInput->selectedText(), QStringLiteral("5"));
        // The output labels follow the selection, so "Test" addresses the row it shows.
        QCOMPARE(w.Face().lblOutChannel->text(), QStringLiteral("2"));
        QCOMPARE(ButtonFace(w.Face().cmdMapIt), ColourFromValue(kRed));
        QTRY_VERIFY(!ButtonFace(w.Face().cmdMapIt).isValid());  // back to the button face
    }

    void zeroAndEnterUnmaps() {
        auto rig = Online({QStringLiteral("[1][1][2][4][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 4\t\t"));
        w.Face().txtInput->setText(QStringLiteral("0"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QCOMPARE(rig->TakeLog(), QStringList({"Res 1  1", "ClrMap 1  1"}));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t\t\t"));
        QVERIFY(w.Session().Installation().Tables().OutMapString[1].isEmpty());
        QVERIFY(rig->model.Table().front().OutUnit == 0);  // a hole in the controller's table
    }

    void enterOnLastOutputStaysThere() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(11);
        w.Face().list2->SetSelectedIndex(2);
        QTest::keyClick(w.Face().List1, Qt::Key_Return);
        QCOMPARE(rig->TakeLog(), QStringList({"Map 1 12 2 2"}));
        QCOMPARE(w.Face().List1->SelectedIndex(), 11);
        QCOMPARE(w.Face().txtInput->text(), QStringLiteral("2"));
    }

    void failedMapKeepsTheRow() {
        auto rig = Online({QStringLiteral("[1][1][2][4][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        rig->model.SetFault(SimFault::Silent);
        w.Face().list2->SetSelectedIndex(9);
        QTest::mouseClick(w.Face().cmdMapIt, Qt::LeftButton);
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 4\t\t"));
        QCOMPARE(w.Session().Installation().Tables().OutMapString[1],
                 QStringLiteral("[1][1][2][4][1][0][0][0]"));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);  // the selection advances all the same
    }

    void andSendsSingleThenBoolean() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().list2->SetSelectedIndex(9);
        QTest::mouseClick(w.Face().Check3, Qt::LeftButton);
        QVERIFY(w.Face().list3->isVisible() && w.Face().cmdBoolAnd->isVisible());
        QCOMPARE(w.Face().list2->SelectedIndex(), 1);
        QCOMPARE(w.Face().list3->SelectedIndex(), 1);
        QCOMPARE(TextColour(w.Face().Check3), ColourFromValue(kRed));
        QCOMPARE(w.Face().list2->height(), 1950 / 15);

        w.Face().list2->SetSelectedIndex(3);
        w.Face().list3->SetSelectedIndex(7);
        QTest::mouseClick(w.Face().cmdBoolAnd, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), QStringList({"Map 1 1 2 3", "AND 1 1 2 7"}));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 3\t&\t 7"));
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);

        w.Face().list3->SetSelectedIndex(0);  // "Unassigned" as the second input does nothing
        QTest::mouseClick(w.Face().cmdBoolOr, Qt::LeftButton);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);

        w.Face().list3->SetSelectedIndex(3);
        QTest::mouseClick(w.Face().cmdBoolOr, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), QStringList({"Map 1 2 2 3", "OR 1 2 2 3"}));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 3\t||\t 3"));

        QTest::mouseClick(w.Face().Check3, Qt::LeftButton);  // back to single mode
        QVERIFY(!w.Face().list3->isVisible());
        QCOMPARE(w.Face().list2->height(), 4110 / 15);
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 3\t&\t 7"));
    }

    void booleanModeWithoutInputsStaysInsideTheLists() {
        MainRig rig;
        rig.WriteIni(SampleIni(3, 0));
        QVERIFY(rig.Start());
        rig.TakeLog();
        frmKavroMain& w = *rig.window;
        QTest::mouseClick(w.Face().Check3, Qt::LeftButton);
        QCOMPARE(w.Face().list2->SelectedIndex(), 0);
        QCOMPARE(w.Face().list3->SelectedIndex(), 0);
        QTest::mouseClick(w.Face().cmdBoolAnd, Qt::LeftButton);
        QVERIFY(rig.TakeLog().isEmpty());
    }

    void offlineEditsOnlyTheProgramsCopy() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // online -> offline, no traffic
        QCOMPARE(w.Face().cmdOnline->text(), QStringLiteral("OFFLINE"));
        w.Face().txtInput->setText(QStringLiteral("7"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        w.Face().txtInput->setText(QStringLiteral("0"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 7\t\t"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t\t\t"));
        QVERIFY(rig->dialogs.boxes.isEmpty());
    }

    void entryBoxKeepsNumbersInsideTheInputs_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("mapped");
        QTest::newRow("above the inputs") << "30"
                                          << "20"
                                          << "Highest Input allowable\ron this system is 20"
                                          << "Map 1 1 2 20";
        QTest::newRow("negative") << "-3"
                                  << "0"
                                  << "Lowest Input allowable\ron this system is 0"
                                  << "Res 1  1";
        QTest::newRow("half rounds to even") << "2.5"
                                             << "2.5"
                                             << ""
                                             << "Map 1 1 2 2";
        QTest::newRow("fraction rounds") << "19.7"
                                         << "19.7"
                                         << ""
                                         << "Map 1 1 2 20";
        QTest::newRow("text") << "x"
                              << "x"
                              << ""
                              << "Res 1  1";
    }
    void entryBoxKeepsNumbersInsideTheInputs() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        QFETCH(QString, mapped);
        MainRig& rig = Shared();
        frmKavroMain& w = *rig.window;
        w.Face().txtInput->clear();
        QTest::keyClicks(w.Face().txtInput, typed);
        QCOMPARE(w.Face().txtInput->text(), shown);
        if (message.isEmpty()) {
            QVERIFY(rig.dialogs.boxes.isEmpty());
        } else {
            QCOMPARE(rig.dialogs.boxes.size(), 1);  // once, not again for the replaced text
            QCOMPARE(rig.dialogs.boxes[0].title, QStringLiteral("Entry Error"));
            QCOMPARE(rig.dialogs.boxes[0].text, message);
        }
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QCOMPARE(rig.TakeLog().first(), mapped);
    }

    void entryBoxSwallowsSpaceAndDeleteAndMovesOutputs() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().txtInput->setText(QStringLiteral("12"));
        w.Face().txtInput->setCursorPosition(0);
        QTest::keyClick(w.Face().txtInput, Qt::Key_Space);
        QTest::keyClick(w.Face().txtInput, Qt::Key_Delete);
        QCOMPARE(w.Face().txtInput->text(), QStringLiteral("12"));
        w.Face().txtInput->setCursorPosition(2);
        QTest::keyClick(w.Face().txtInput, Qt::Key_Backspace);
        QCOMPARE(w.Face().txtInput->text(), QStringLiteral("1"));

        w.Face().List1->SetSelectedIndex(4);
        QTest::keyClick(w.Face().txtInput, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(w.Face().List1->SelectedIndex(), 0);
        QTest::keyClick(w.Face().txtInput, Qt::Key_Down);
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);
        QCOMPARE(w.Face().lblOutChannel->text(), QStringLiteral("2"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(w.Face().List1->SelectedIndex(),
                 11);  // 1 + 10 would be past 12 - 10: the last row
        QTest::keyClick(w.Face().txtInput, Qt::Key_Up);
        QCOMPARE(w.Face().List1->SelectedIndex(), 10);
        QVERIFY(rig->TakeLog().isEmpty());
    }

    void leftRightAndDeleteMoveTheInputSelection_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        QTest::addColumn<int>("expected");
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
        QTest::newRow("left") << 5 << int(Qt::Key_Left) << none << 4;
        QTest::newRow("left at 0") << 0 << int(Qt::Key_Left) << none << 0;
        QTest::newRow("left x10 from 7") << 7 << int(Qt::Key_Left) << shift << 0;
        QTest::newRow("left x10 from 15") << 15 << int(Qt::Key_Left) << alt << 5;
        QTest::newRow("right") << 5 << int(Qt::Key_Right) << none << 6;
        QTest::newRow("right at last") << 20 << int(Qt::Key_Right) << none << 20;
        QTest::newRow("right x10 from 16") << 16 << int(Qt::Key_Right) << shift << 20;
        QTest::newRow("right x10 from 9")
            << 9 << int(Qt::Key_Right) << int(Qt::ControlModifier) << 19;
        QTest::newRow("delete") << 9 << int(Qt::Key_Delete) << none << 0;
    }
    void leftRightAndDeleteMoveTheInputSelection() {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, mods);
        QFETCH(int, expected);
        MainRig& rig = Shared();
        frmKavroMain& w = *rig.window;
        w.Face().list2->SetSelectedIndex(start);
        w.Face().List1->SetSelectedIndex(3);
        QTest::keyClick(w.Face().List1, Qt::Key(key), Qt::KeyboardModifiers(mods));
        QCOMPARE(w.Face().list2->SelectedIndex(), expected);
        QCOMPARE(w.Face().List1->SelectedIndex(), 3);  // the key went to the editor, not the list
        if (key != Qt::Key_Delete)
            QCOMPARE(w.Face().lblInChannel->text(), QString::number(expected));
        QVERIFY(rig.TakeLog().isEmpty());
    }

    void heldSpaceTestsTheSelectedOutputOnce() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        w.Face().List1->SetSelectedIndex(2);
        SendKey(w.Face().List1, QEvent::KeyPress, Qt::Key_Space);
        QCOMPARE(w.Face().List1->RowBackground(2), ColourFromValue(kRed));
        QVERIFY(rig->model.IsForcedOn(1, 3));
        // Key repeat: release and press pairs, marked as repeats or (as X sometimes gives
        // them) not.
        for (const bool marked : {true, false, true, false}) {
            SendKey(w.Face().List1, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, marked);
            SendKey(w.Face().List1, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, marked);
        }
        QTest::qWait(3 * MappingEditor::kRepeatGapMs);
        QVERIFY(rig->model.IsForcedOn(1, 3));
        QCOMPARE(w.Face().List1->SelectedIndex(), 2);
        SendKey(w.Face().List1, QEvent::KeyRelease, Qt::Key_Space);
        QTRY_VERIFY(!rig->model.IsForcedOn(1, 3));
        QCOMPARE(rig->TakeLog(), QStringList({"GetMap 1  3", "mapdisab 1  3", "Set 1  3",
                                              "Res 1  3", "MapEnab 1  3"}));
        QCOMPARE(w.Face().List1->RowBackground(2), ListBackground());
        QVERIFY(!rig->model.IsForcedOn(1, 3));
        for (int ch = 1; ch <= 12; ++ch)
            QVERIFY(!rig->model.IsOutputOn(1, ch));
    }

    void incompleteReadBackIsReported() {
        QStringList preload;
        for (int i = 1; i <= 6; ++i)
            preload << QStringLiteral("[1][%1][2][%1][1][0][0][0]").arg(i);
        auto rig = Online(preload);
        frmKavroMain& w = *rig->window;
        rig->model.SetAnswerLimit(4);  // "Refresh", "Comp", two entries, then silence
        QTest::mouseClick(w.Face().cmdRefresh, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(),
                 QStringList({"Refresh", "Comp", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QCOMPARE(w.Session().Installation().Tables().MapStringCount, 2);
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t\t\t"));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        QVERIFY(rig->dialogs.boxes[0].text.contains(QStringLiteral("incomplete")));
        QVERIFY(w.Face().list2->isEnabled() && w.Face().txtInput->isEnabled() &&
                w.Face().cmdMapIt->isEnabled());
        QVERIFY(w.Face().lblTallyOutputs->isVisibleTo(&w) &&
                !w.Face().lblDownloading->isVisibleTo(&w));
        QVERIFY(!w.Face().cmdCancelDownload->isVisibleTo(&w));
    }

    void inputListClicksAndDoubleClicks() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        QTreeWidgetItem* item = w.Face().list2->topLevelItem(6);
        const QRect r = w.Face().list2->visualItemRect(item);
        QTest::mouseClick(w.Face().list2->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(w.Face().txtInput->text(), QStringLiteral("6"));
        QCOMPARE(w.Face().lblInChannel->text(), QStringLiteral("6"));
        QVERIFY(rig->TakeLog().isEmpty());
        QTest::mouseDClick(w.Face().list2->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(rig->TakeLog(), QStringList({"Map 1 1 2 6"}));
        QCOMPARE(w.Face().List1->SelectedIndex(), 1);
    }
};

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
