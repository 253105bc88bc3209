// The advanced console opened from the main window: raw commands and every exchange shown.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "editor/tally_list.h"
#include "widgets/colours.h"
#include "widgets/controls.h"
#include "support/main_rig.h"

using namespace vendra;

class TestConsole : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsTheLastExchangeOfAnyPartAndClosesCleanly() {
        MainRig rig;
        rig.WriteIni(SampleIni(4, 4));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        rig.TakeLog();

        QTest::mouseClick(w.Face().Check2, Qt::LeftButton);
        QVERIFY(w.Face().Check2->isChecked());
        QVERIFY(w.Verbose() && w.Verbose()->isVisible());
        QCOMPARE(w.Verbose()->windowTitle(), QStringLiteral("Kavro Advanced Config"));
        QCOMPARE(TextColour(w.Face().Check2), ColourFromValue(kRed));

        QTest::keyClicks(w.Verbose()->txtDirectCommand, QStringLiteral("VER"));
        QTest::keyClick(w.Verbose()->txtDirectCommand, Qt::Key_Return);
        QCOMPARE(rig.TakeLog(), QStringList({"VER"}));
        QCOMPARE(rig.port->written.right(5), QByteArray("VER\r\n"));
        const QStringList shown = w.Verbose()->txtIBuffer->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(shown.mid(1), QStringList({"VER", "MAINV8", "."}));
        QVERIFY(QTime::fromString(shown[0], QStringLiteral("HH:mm:ss")).isValid());
        QCOMPARE(w.Verbose()->txtDirectCommand->text(),
                 QStringLiteral("VER"));  // kept for resending

        // A mapping made in the editor replaces the box with its own exchange.
        w.Face().list2->SetSelectedIndex(2);
        QTest::mouseClick(w.Face().cmdMapIt, Qt::LeftButton);
        QVERIFY(w.Verbose()->txtIBuffer->toPlainText().contains(QStringLiteral("Map 1 1 2 2")));
        QVERIFY(!w.Verbose()->txtIBuffer->toPlainText().contains(QStringLiteral("MAINV8")));

        // Going offline leaves it open; commands typed there still go out.
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        QVERIFY(w.Verbose()->isVisible());
        QTest::mouseClick(w.Verbose()->cmdDirectCommand, Qt::LeftButton);
        QCOMPARE(rig.TakeLog().last(), QStringLiteral("VER"));

        // Closing the console window unticks "Advanced" and stops the copies.
        w.Verbose()->close();
        QTRY_VERIFY(!w.Verbose());
        QVERIFY(!w.Face().Check2->isChecked());
        QCOMPARE(TextColour(w.Face().Check2), ColourFromValue(kBlack));
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // online again; nothing to copy to
        QVERIFY(rig.dialogs.boxes.last().title == QStringLiteral("Information!"));
    }

    void errorLineIsClearedByAClick() {
        MainRig rig;
        rig.WriteIni(SampleIni(2, 2));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        QVERIFY(!w.Face().lblError->text().isEmpty());  // the controller's version after start-up
        QTest::mouseClick(w.Face().lblError, Qt::LeftButton);
        QVERIFY(w.Face().lblError->text().isEmpty());
    }

    void closeButtonEndsTheProgramAtOnce() {
        MainRig rig;
        rig.WriteIni(SampleIni(2, 2));
        QVERIFY(rig.Start());
        QTest::mouseClick(rig.window->Face().cmdClose, Qt::LeftButton);
        QVERIFY(rig.ended);
        QVERIFY(rig.dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(TestConsole)
#include "test_console.moc"
