// The main window driven by the operator's keys and mouse: where the keyboard goes after a box,
// "X" and the window system's close in the middle of a read-back, what a read-back lets through,
// and how long "Test" and "Latch" hold an output.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

#include "compare/change_controller.h"
#include "diag/frm_unit_bits.h"
#include "diag/frm_verbose.h"
#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "mapping/read_back.h"
#include "support/main_rig.h"
#include "support/test_files.h"
#include "widgets/busy_grey.h"
#include "widgets/captions.h"
#include "widgets/colours.h"
#include "widgets/controls.h"
#include "widgets/qt_dialogs.h"

using namespace vendra;

namespace {

constexpr int kEntries = 6;

// A controller holding kEntries mappings (output n to input n).
void Fill(MainRig& rig) {
    for (int n = 1; n <= kEntries; ++n)
        rig.model.AddMappingString(QStringLiteral("[1][%1][2][%1][1][0][0][0]").arg(n));
}

// Runs `action` from the read-back's own event pump, once entry `entry` is in.
void DuringReadBack(frmKavroMain& w, int entry, std::function<void()> action) {
    auto* hook = new QObject(&w);
    QObject::connect(&w.Session().Table(), &TableOperations::Progressed, hook,
                     [&w, hook, entry, action](const ProgressReport& p) {
                         if (ProgressCaption(p) != QStringLiteral("Downloading  %1").arg(entry))
                             return;
                         QTimer::singleShot(0, &w, action);
                         hook->deleteLater();
                     });
}

// A console started against that controller, kEntries outputs and inputs configured.
bool StartFilled(MainRig& rig) {
    rig.WriteIni(SampleIni(kEntries, kEntries));
    Fill(rig);
    return rig.Start();
}

QStringList RawMaps(int first, int last) {
    QStringList lines;
    for (int n = first; n <= last; ++n)
        lines << QStringLiteral("RawMap %1").arg(n);
    return lines;
}

// What the operator sees and what the program holds, for a before-and-after comparison.
QStringList Seen(MainRig& rig) {
    frmKavroMain& w = *rig.window;
    int underTest = 0;
    for (int o = 1; o <= w.Session().Installation().Tables().NumOutputs; ++o)
        underTest += w.Session().Installation().Tables().OutTest[o] == -1;
    return rig.Rows() + QStringList{w.Face().cmdOnline->text(), w.Face().txtInput->text(),
                                    QString::number(w.Face().list2->SelectedIndex()),
                                    QString::number(underTest),
                                    w.UnitBitsWindow()->lblStatus->text()};
}

// Every control and action that starts a controller operation.
QList<QObject*> Starters(frmKavroMain& w) {
    const MainFace& f = w.Face();
    QList<QObject*> all{f.cmdOnline, f.cmdTest, f.chkTest, f.cmdInit, f.cmdRefresh, f.list2};
    all << f.cmdSaveMatrix << f.cmdLoadMatrix << f.cmdMapIt << f.txtInput
        << w.Verbose()->txtDirectCommand << w.Verbose()->cmdDirectCommand
        << w.findChild<ChangeController*>()->Window()->cmdApply;
    for (QAction* a : w.actions())
        if (!a->text().contains(QRegularExpression(QStringLiteral("^(Change history|Tally Ov)"))))
            all << a;
    return all;
}

QStringList Enabled(const QList<QObject*>& controls) {
    QStringList names;
    for (QObject* c : controls)
        if (c->property("enabled").toBool()) names << c->property("text").toString();
    return names;
}

// What the operator's hand does to each: a click, Enter, the action's keys.
void Press(const QList<QObject*>& controls) {
    for (QObject* c : controls) {
        if (auto* a = qobject_cast<QAction*>(c))
            a->trigger();
        else if (auto* b = qobject_cast<QAbstractButton*>(c))
            QTest::mouseClick(b, Qt::LeftButton);
        else
            QTest::keyClick(static_cast<QWidget*>(c), Qt::Key_Return);
    }
}

}  // namespace

class TestOperatorInput : public QObject {
    Q_OBJECT

    // One console for every press during a read-back: each press must leave it as it was.
    std::unique_ptr<MainRig> reading_;
    MainRig& Reading() {
        if (reading_) return *reading_;
        reading_ = std::make_unique<MainRig>();
        MainRig& rig = *reading_;
        rig.model.SetInputBits(1, 0x5);
        if (!StartFilled(rig)) qFatal("start-up failed");
        QTest::mouseClick(rig.window->Face().Check2, Qt::LeftButton);
        rig.window->Verbose()->txtDirectCommand->setText(QStringLiteral("VER"));
        QTest::mouseClick(rig.window->Face().Check1, Qt::LeftButton);
        return rig;
    }

private Q_SLOTS:
    void cleanupTestCase() { reading_.reset(); }

    void entryErrorLeavesTheKeyboardInTheEntryBox() {
        MainRig rig;
        rig.WriteIni(SampleIni(4, 24));
        QtDialogs boxes;
        rig.Build(false, &boxes);
        frmKavroMain& w = *rig.window;
        boxes.SetOwnerWindow(&w);
        QVERIFY(w.Load());
        QVERIFY(QTest::qWaitForWindowActive(&w));
        rig.TakeLog();

        QString shown;
        bool boxActive = false;
        QTimer::singleShot(0, this, [&] {
            // The window manager hands the keyboard to the box; the operator presses Enter.
            QWidget* box = QApplication::activeModalWidget();
            if (!box) return;
            shown = box->windowTitle();
            box->activateWindow();
            boxActive = QTest::qWaitForWindowActive(box);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTest::mouseClick(w.Face().txtInput, Qt::LeftButton);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("30"));
        QCOMPARE(shown, QStringLiteral("Entry Error"));
        QVERIFY(boxActive);
        // The box is gone and the window manager gives the main window the keyboard again.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.Face().txtInput);
        QCOMPARE(w.Face().txtInput->selectedText(), QStringLiteral("24"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(rig.TakeLog(), QStringList{"Map 1 1 2 24"});

        // Back from the console's own window, the output list takes the keyboard.
        QTest::mouseClick(w.Face().Check2, Qt::LeftButton);
        w.Verbose()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.Verbose()));
        w.Face().txtInput->setFocus();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.Face().List1);
    }

    void closingEndsAtOnceEvenInARead_data() {
        QTest::addColumn<bool>("atStartUp");
        QTest::addColumn<bool>("byWindowSystem");
        QTest::newRow("X at start-up") << true << false;
        QTest::newRow("window system close at start-up") << true << true;
        QTest::newRow("X during Refresh") << false << false;
    }
    void closingEndsAtOnceEvenInARead() {
        QFETCH(bool, atStartUp);
        QFETCH(bool, byWindowSystem);
        MainRig rig;
        rig.WriteIni(SampleIni(kEntries, kEntries));
        Fill(rig);
        rig.Build();
        frmKavroMain& w = *rig.window;
        auto close = [&] {
            if (byWindowSystem)
                w.windowHandle()->close();
            else
                QTest::mouseClick(w.Face().cmdClose, Qt::LeftButton);
        };
        if (!atStartUp) QVERIFY(w.Load());
        rig.TakeLog();
        DuringReadBack(w, 3, close);
        if (atStartUp)
            QVERIFY(!w.Load());  // the event loop must not start
        else
            QTest::mouseClick(w.Face().cmdRefresh, Qt::LeftButton);
        QVERIFY(rig.ended);
        QVERIFY(!rig.port->IsOpen());
        QCOMPARE(rig.TakeLog().filter(QStringLiteral("RawMap")), RawMaps(1, 3));
        QVERIFY(rig.dialogs.boxes.isEmpty());
    }

    void oneCommandAtATime_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");  // 0: a left click
        QTest::newRow("nothing: the poll tick only") << QString() << 0;
        for (const char* key : {"Enter", "Space", "Delete"})
            QTest::addRow("%s on the outputs", key)
                << QStringLiteral("List1") << int(QKeySequence(QString::fromLatin1(key))[0].key());
        QTest::newRow("Enter in the entry box") << QStringLiteral("txtInput") << int(Qt::Key_Enter);
        QTest::newRow("console send") << QStringLiteral("console") << int(Qt::Key_Return);
        for (const char* button :
             {"Latch", "Test", "OFFLINE", "Save", "Load", "Refresh", "Clear All"})
            QTest::newRow(button) << QString::fromLatin1(button) << 0;
    }
    void oneCommandAtATime() {
        QFETCH(QString, control);
        QFETCH(int, key);
        MainRig& rig = Reading();
        frmKavroMain& w = *rig.window;
        w.Face().list2->SetSelectedIndex(3);
        w.Face().txtInput->setText(QStringLiteral("0"));
        rig.dialogs.fileAnswers = {rig.dir.filePath(QStringLiteral("t.vdk"))};
        const QStringList before = Seen(rig);
        const int beeps = rig.dialogs.beeps;

        qsizetype sentBefore = -1;
        DuringReadBack(w, 2, [&] {
            sentBefore = rig.model.Log().size();
            const QHash<QString, QWidget*> controls{
                {"List1", w.Face().List1},        {"txtInput", w.Face().txtInput},
                {"Latch", w.Face().chkTest},      {"console", w.Verbose()->txtDirectCommand},
                {"Test", w.Face().cmdTest},       {"OFFLINE", w.Face().cmdOnline},
                {"Save", w.Face().cmdSaveMatrix}, {"Load", w.Face().cmdLoadMatrix},
                {"Refresh", w.Face().cmdRefresh}, {"Clear All", w.Face().cmdInit}};
            // A key is pressed and held: its release would come after the read-back.
            if (QWidget* c = controls.value(control))
                key ? QTest::keyPress(c, Qt::Key(key)) : QTest::mouseClick(c, Qt::LeftButton);
        });
        rig.TakeLog();
        QTest::mouseClick(w.Face().cmdRefresh, Qt::LeftButton);
        QVERIFY(sentBefore > 0);
        QCOMPARE(rig.model.Log().mid(sentBefore), RawMaps(3, kEntries + 1));
        QCOMPARE(Seen(rig), before);
        QCOMPARE(rig.dialogs.beeps, beeps);
        QVERIFY(rig.dialogs.boxes.isEmpty() && rig.dialogs.fileCalls.isEmpty());

        // Nothing was queued, and the poll goes on.
        rig.TakeLog();
        QSignalSpy tick(&w.Diag().tmrInputStatus, &QTimer::timeout);
        QVERIFY(tick.wait(1000));
        QCOMPARE(rig.TakeLog(), (QStringList{"BITS 1", "GSTAT 1"}));
    }

    // While the line is busy, whatever would start an operation is grey and sends nothing when
    // pressed; afterwards each is as it was, grey where it was grey (offline).
    void busyGreysWhatStartsAnOperation_data() {
        QTest::addColumn<QString>("busy");
        QTest::addColumn<bool>("online");
        QTest::newRow("Refresh's read-back") << QStringLiteral("Refresh") << true;
        QTest::newRow("a load") << QStringLiteral("Load") << true;
        QTest::newRow("a load offline") << QStringLiteral("Load") << false;
        QTest::newRow("Verify's closing box") << QStringLiteral("Verify") << true;
    }
    void busyGreysWhatStartsAnOperation() {
        QFETCH(QString, busy);
        QFETCH(bool, online);
        MainRig rig;
        QVERIFY(StartFilled(rig));
        frmKavroMain& w = *rig.window;
        auto* changes = w.findChild<ChangeController*>();
        QTest::mouseClick(w.Face().Check2, Qt::LeftButton);
        // Something to undo, and a comparison whose changes could be applied.
        QTest::mouseClick(w.Face().cmdMapIt, Qt::LeftButton);
        const QString file = rig.dir.filePath(QStringLiteral("t.vdk"));
        QVERIFY(Put(file, "[1][1][2][5][1][0][0][0]\r\n[1][2][2][4][1][0][0][0]\r\n"));
        rig.dialogs.fileAnswers = {file, file};
        changes->CompareFile();
        if (!online) QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        const QList<QObject*> starters = Starters(w);
        const QStringList before = Enabled(starters);
        QVERIFY(before.contains(QStringLiteral("Apply changes only")));
        QCOMPARE(before.contains(QStringLiteral("Test")), online);

        QStringList during{"never busy"}, sent;
        bool looked = false;
        auto look = [&] {
            if (std::exchange(looked, true)) return;
            during = Enabled(starters);
            QVERIFY(w.Face().cmdClose->isEnabled() && w.Face().List1->isEnabled());
            const qsizetype at = rig.model.Log().size();
            Press(starters);
            sent = rig.model.Log().mid(at);
        };
        QObject hook;
        connect(&w.Session().Files(), &TallyFileService::Progressed, &hook, look);
        rig.dialogs.onBox = [&](const ScriptedDialogs::Box& b) {
            if (b.title == busy) look();
        };
        if (busy == QStringLiteral("Refresh")) DuringReadBack(w, 2, look);
        if (busy == QStringLiteral("Verify"))
            changes->VerifyCopy();
        else
            QTest::mouseClick(
                busy == QStringLiteral("Load") ? w.Face().cmdLoadMatrix : w.Face().cmdRefresh,
                Qt::LeftButton);
        QCOMPARE(during, QStringList());
        QCOMPARE(sent, QStringList());
        QCOMPARE(Enabled(starters), before);
    }

    void testAndLatchHoldAsLongAsTheOperatorDoes_data() {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("focus");
        QTest::newRow("Test held, pointer off and back, let go off it")
            << QStringLiteral("test") << QStringLiteral("List1");
        QTest::newRow("Enter twice on Latch") << QStringLiteral("enter") << QStringLiteral("Latch");
        QTest::newRow("Space twice on Latch") << QStringLiteral("space") << QStringLiteral("Latch");
    }
    // A control made while the line is busy (the compare window's, inside a compare flow) is
    // grey from the start, and has its own state back with the line.
    void aControlMadeWhileBusyIsGreyAtOnce() {
        MainRig rig;
        rig.WriteIni(SampleIni(2, 2));
        QVERIFY(rig.Start());
        ControllerLink& link = rig.window->Session().Link();
        BusyGrey grey(link);
        QPushButton made(QStringLiteral("Apply"));
        {
            const BusyState::Scope busy = link.Hold();
            grey.Add({&made});
            QVERIFY(!made.isEnabled());
        }
        QVERIFY(made.isEnabled());
    }

    void testAndLatchHoldAsLongAsTheOperatorDoes() {
        QFETCH(QString, gesture);
        QFETCH(QString, focus);
        MainRig rig;
        rig.WriteIni(SampleIni(4, 4));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        rig.TakeLog();
        const QStringList on{"GetMap 1  1", "mapdisab 1  1", "Set 1  1"};
        if (gesture == QStringLiteral("test")) {
            const QPoint off(-w.Face().cmdTest->width(), w.Face().cmdTest->height() / 2);
            QTest::mousePress(w.Face().cmdTest, Qt::LeftButton);
            QTest::mouseMove(w.Face().cmdTest, off);
            QTest::mouseMove(w.Face().cmdTest, w.Face().cmdTest->rect().center());
            QCOMPARE(rig.TakeLog(), on);
            QTest::mouseMove(w.Face().cmdTest, off);
            QTest::mouseRelease(w.Face().cmdTest, Qt::LeftButton, {}, off);
        } else {
            w.Face().chkTest->setFocus();
            const Qt::Key key = gesture == QStringLiteral("enter") ? Qt::Key_Return : Qt::Key_Space;
            QTest::keyClick(w.focusWidget(), key);
            QCOMPARE(rig.TakeLog(), on);
            QVERIFY(w.Face().chkTest->isChecked());
            QTest::keyClick(w.focusWidget(), key);
            QVERIFY(!w.Face().chkTest->isChecked());
        }
        QCOMPARE(rig.TakeLog(), (QStringList{"Res 1  1", "MapEnab 1  1"}));
        QCOMPARE(w.focusWidget(), focus == QStringLiteral("Latch")
                                      ? static_cast<QWidget*>(w.Face().chkTest)
                                      : w.Face().List1);
        QCOMPARE(w.Face().List1->SelectedIndex(), 0);
    }

    // A test ends on the output it started on, whatever comes between the press and the end:
    // the selection moves on at once, or a save's read-back holds the line when the end comes.
    void aTestEndsOnTheOutputItStarted_data() {
        QTest::addColumn<bool>("byButton");  // "Test" held, or Space in the output list
        QTest::addColumn<QString>("between");
        for (const bool button : {false, true}) {
            const char* how = button ? "Test" : "Space";
            QTest::addRow("%s, Down at once", how) << button << QStringLiteral("Down");
            QTest::addRow(button ? "%s held as a read-back begins" : "%s let go in a read-back",
                          how)
                << button << QStringLiteral("release");
        }
        QTest::newRow("Space tapped, its end falls in a read-back")
            << false << QStringLiteral("tap");
    }
    void aTestEndsOnTheOutputItStarted() {
        QFETCH(bool, byButton);
        QFETCH(QString, between);
        MainRig rig;
        QVERIFY(StartFilled(rig));
        frmKavroMain& w = *rig.window;
        rig.dialogs.fileAnswers = {rig.dir.filePath(QStringLiteral("t.vdk"))};
        auto press = [&] {
            if (byButton)
                QTest::mousePress(w.Face().cmdTest, Qt::LeftButton);
            else
                QTest::keyPress(w.Face().List1, Qt::Key_Space);
        };
        auto release = [&] {
            if (byButton)
                QTest::mouseRelease(w.Face().cmdTest, Qt::LeftButton);
            else
                QTest::keyRelease(w.Face().List1, Qt::Key_Space);
        };
        press();
        QVERIFY(rig.model.IsForcedOn(1, 1));
        if (between == QStringLiteral("Down")) {
            if (!byButton) release();  // its end waits for a repeat's press
            QTest::keyClick(w.Face().List1, Qt::Key_Down);
            if (byButton) release();
        } else {
            if (between == QStringLiteral("tap")) release();
            // The read-back disables "Test": a hand's release could not reach it.
            DuringReadBack(w, 2, [&] {
                if (between == QStringLiteral("tap"))
                    QTest::qWait(3 * MappingEditor::kRepeatGapMs);
                else if (!byButton)
                    release();
            });
            w.Face().cmdSaveMatrix->click();  // a hand that holds "Test" cannot click it
        }
        QTRY_VERIFY(!rig.model.IsForcedOn(1, 1));
        if (byButton && between != QStringLiteral("Down")) release();  // changes nothing
        QCOMPARE(rig.model.Log().filter(QRegularExpression(QStringLiteral("^(Res|MapEnab) "))),
                 (QStringList{"Res 1  1", "MapEnab 1  1"}));
        QCOMPARE(w.Face().List1->RowBackground(0), ListBackground());
    }
};

QTEST_MAIN(TestOperatorInput)
#include "test_operator_input.moc"
