// The main window's face as the operator meets it: what a press moves, where the information
// tooltip shows, the boxes' owner, the "Map Tally" caption, painting during a load, and the
// scale of window, outline, face and controls together (also run at 120 dpi, unscaled).
#include <QCheckBox>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "link/command_exchange.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/test_files.h"
#include "widgets/captions.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

std::unique_ptr<MainRig> Started(int outputs = 4) {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(SampleIni(outputs, 4));
    if (!rig->Start()) qFatal("start-up failed");
    return rig;
}

// Perceived brightness, 0 .. 255.
int Luma(const QColor& c) {
    return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
}

bool CaptionReads(const QPushButton* b) {
    const QPalette& p = b->palette();
    return std::abs(Luma(p.color(QPalette::ButtonText)) - Luma(p.color(QPalette::Button))) >= 100;
}

}  // namespace

class TestFace : public QObject {
    Q_OBJECT
    SharedWindow shared_;

private Q_SLOTS:
    void init() { shared_.Begin(); }
    void cleanupTestCase() { shared_.Drop(); }

    void pressesMoveTheWindowOnlyOnTheBody_data() {
        QTest::addColumn<QString>("target");  // empty: the body
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("moves");
        for (auto [name, b] : {std::pair{"left", Qt::LeftButton},
                               {"right", Qt::RightButton},
                               {"middle", Qt::MiddleButton}}) {
            QTest::addRow("body, %s", name) << QString() << b << true;
            QTest::addRow("button, %s", name) << "cmdRefresh" << b << false;
            QTest::addRow("check box, %s", name) << "Check3" << b << false;
        }
        QTest::newRow("TX lamp, right") << "Shape1" << Qt::RightButton << true;
        QTest::newRow("label, left") << "lblFileName" << Qt::LeftButton << false;
    }
    void pressesMoveTheWindowOnlyOnTheBody() {
        QFETCH(QString, target);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, moves);
        frmKavroMain& w = *shared_.Get([] { return Started(); }).window;
        const std::map<QString, QWidget*> controls = {{"cmdRefresh", w.Face().cmdRefresh},
                                                      {"Check3", w.Face().Check3},
                                                      {"Shape1", w.Face().Shape1},
                                                      {"lblFileName", w.Face().lblFileName}};
        const QPoint at = target.isEmpty() ? QPoint(Px(2000), Px(1400))
                                           : controls.at(target)->geometry().center();
        QVERIFY(!target.isEmpty() || !w.childAt(at));
        // The press and the move go where the window system sends them: to the control under
        // the pointer, and on to the window when the control lets them through.
        QWidget* under = w.childAt(at) ? w.childAt(at) : &w;
        const QPoint local = under->mapFrom(&w, at);
        const QPoint before = w.pos();
        QTest::mousePress(under, button, {}, local);
        QMouseEvent drag(QEvent::MouseMove, QPointF(local),
                         QPointF(under->mapToGlobal(local) + QPoint(40, 30)), Qt::NoButton, button,
                         {});
        QApplication::sendEvent(under, &drag);
        QTest::mouseRelease(under, button, {}, local + QPoint(40, 30));
        QCOMPARE(w.pos() != before, moves);
    }

    void informationTooltipAllAlongItsLabel() {
        auto rig = Started();
        frmKavroMain& w = *rig->window;
        const QString info = w.Face().lblMainVersionInfo->toolTip();
        QVERIFY(info.startsWith(QStringLiteral("MAINV8")));
        const QRect r = w.Face().lblMainVersionInfo->geometry();
        for (const QPoint at : {r.topLeft(), r.center(), r.bottomRight() - QPoint(1, 1),
                                QPoint(r.center().x(), r.bottom() - 1)}) {
            QWidget* under = w.childAt(at);
            QVERIFY(under);
            // Another tip first (a hidden one takes a while to go): only the label's replaces it.
            QToolTip::showText(w.mapToGlobal(at), QStringLiteral("another tip"));
            QHelpEvent help(QEvent::ToolTip, under->mapFrom(&w, at), w.mapToGlobal(at));
            QApplication::sendEvent(under, &help);
            QVERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), info);
        }
    }

    // A message longer than the error line keeps its start (the outcome) in sight, cut at the
    // end, with the whole text in the tooltip; a click empties both.
    void errorLineKeepsTheStartOfALongMessage() {
        MainRig rig;
        rig.WriteIni(SampleIni(4, 4, QStringLiteral("Output 5=Spare,0,5\r\n")));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        MessageLabel* line = w.Face().lblError;
        QCOMPARE(line->ShownText(), line->text());  // the version: short, shown whole
        w.Face().List1->SetSelectedIndex(4);
        w.Face().txtInput->setText(QStringLiteral("1"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        const QString text = QStringLiteral("Output 5 has no unit in Kavro.ini: nothing was sent");
        QCOMPARE(line->text(), text);
        QCOMPARE(line->toolTip(), text);
        const QString shown = line->ShownText();
        QVERIFY2(
            shown.size() > 1 && shown.endsWith(QChar(0x2026)) && text.startsWith(shown.chopped(1)),
            qPrintable(shown));
        QTest::mouseClick(line, Qt::LeftButton);
        QCOMPARE(line->text(), QString());
        QCOMPARE(line->toolTip(), QString());
    }

    void startUpBoxesOpenOverTheMainWindow() {
        MainRig rig;
        rig.WriteIni(SampleIni(2, 2));
        rig.refusePort = true;  // "Port Conflict", then the probe fails at once
        rig.dialogs.answers = {Answer::Ok, Answer::No, Answer::Ok};
        QVERIFY(rig.Start());
        QCOMPARE(rig.dialogs.Titles(),
                 QStringList({"Port Conflict", "Communication Error", "Communication Error"}));
        for (const ScriptedDialogs::Box& box : rig.dialogs.boxes)
            QCOMPARE(box.owner, rig.window.get());
    }

    void mapTallyCaptionReadsOnBothFaces() {
        auto rig = Started();
        frmKavroMain& w = *rig->window;
        QVERIFY(CaptionReads(w.Face().cmdMapIt));
        QTest::mouseClick(w.Face().cmdMapIt, Qt::LeftButton);
        QVERIFY(CaptionReads(w.Face().cmdMapIt));  // the red flash
        QSignalSpy restored(&w.Timer3, &QTimer::timeout);
        QVERIFY(restored.wait());
        QVERIFY(CaptionReads(w.Face().cmdMapIt));  // the system's face it comes back to
    }

    // Whatever colour a control shows while enabled, disabled it shows the system's greyed
    // caption, as "Refresh" always did: offline for the online-only controls, and for
    // "Map Tally" while the mapping controls are off.
    void disabledControlsLookDisabled() {
        auto rig = Started();
        frmKavroMain& w = *rig->window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // offline
        w.Editor().EnableControls(false);
        QList<QWidget*> controls = w.Face().OnlineOnly();
        controls << w.Face().cmdMapIt;
        for (QWidget* c : controls) {
            QVERIFY(!c->isEnabled());
            for (const auto role : {QPalette::ButtonText, QPalette::WindowText})
                QCOMPARE(c->palette().color(QPalette::Disabled, role),
                         QApplication::palette(c).color(QPalette::Disabled, role));
        }
    }

    void loadLetsTheWindowPaint() {
        auto rig = Started(30);
        frmKavroMain& w = *rig->window;
        QStringList lines;
        for (int i = 1; i <= 30; ++i)
            lines << QStringLiteral("[1][%1][2][1][1][0][0][0]").arg(i);
        const QString path = rig->dir.filePath(QStringLiteral("many.vdk"));
        QVERIFY(Put(path, (lines.join(QStringLiteral("\r\n")) + "\r\n").toLatin1()));
        // A paint request made while the load runs is served before it ends, in the busy state.
        int servedAt = -1;
        bool servedBusy = false;
        QStringList progress;
        QObject context;
        connect(&w.Session().Files(), &TallyFileService::Progressed, &context,
                [&](const ProgressReport& p) {
                    progress << ProgressCaption(p);
                    if (progress.size() == 2)
                        QTimer::singleShot(0, &context, [&] {
                            servedAt = int(progress.size());
                            servedBusy = w.Session().Link().IsBusy();
                        });
                });
        rig->dialogs.fileAnswers = {path};
        QTest::mouseClick(w.Face().cmdLoadMatrix, Qt::LeftButton);
        QCOMPARE(progress.last(), QStringLiteral("Mapping  29"));
        QVERIFY2(servedAt > 0 && servedAt < progress.size(), qPrintable(QString::number(servedAt)));
        QVERIFY(servedBusy);
        QVERIFY(!w.Session().Link().IsBusy());
    }

    // Window, outline, face and controls at the screen's scale: 96 dpi gives the face's own
    // 592 by 587 pixels; 120 dpi with scaling off gives 1.25 times that.
    void everythingScalesTogether() {
        auto rig = Started();
        frmKavroMain& w = *rig->window;
        const double scale = w.logicalDpiX() / 96.0;
        QCOMPARE(ScreenScale(), scale);
        QCOMPARE(w.size(), QSize(int(592 * scale), int(587 * scale)));
        // The outline spans x 43 .. 563 and y 29 .. 568 of the face.
        const QRect outline = w.mask().boundingRect();
        QVERIFY2(std::abs(outline.left() - 43 * scale) <= 1 &&
                     std::abs(outline.right() - 563 * scale) <= 1 &&
                     std::abs(outline.bottom() - 568 * scale) <= 1,
                 qPrintable(QStringLiteral("%1 %2 %3")
                                .arg(outline.left())
                                .arg(outline.right())
                                .arg(outline.bottom())));
        // "X" at 7440, 750 twips, 300 square; the output list at 1050, 1980, 3690 by 4110.
        QCOMPARE(w.Face().cmdClose->geometry(),
                 QRect(int(496 * scale), int(50 * scale), int(20 * scale), int(20 * scale)));
        QCOMPARE(w.Face().List1->geometry(),
                 QRect(int(70 * scale), int(132 * scale), int(246 * scale), int(274 * scale)));
        // The face: a corner screw, drawn around 548, 553, sits inside the outline's corner.
        const QImage face = w.grab().toImage();
        QCOMPARE(face.size(), w.size());
        const QColor screw = face.pixelColor(int(548 * scale), int(550 * scale));
        QVERIFY2(std::abs(screw.red() - 170) + std::abs(screw.blue() - 210) <= 8,
                 qPrintable(screw.name()));
    }
};

QTEST_MAIN(TestFace)
#include "test_face.moc"
