// "Save" and "Load" in the real main window: what only the window shows. What the files hold
// and what goes over the wire is tested on the session itself.
#include <QPushButton>
#include <QtTest>

#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "support/main_rig.h"
#include "support/test_files.h"
#include "widgets/captions.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

std::unique_ptr<MainRig> Rig() {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(SampleIni(10, 8));
    rig->model.AddMappingString(QStringLiteral("[1][8][2][8][1][0][0][0]"));
    if (!rig->Start() || !rig->window->Session().Link().IsOnline()) qFatal("start-up failed");
    rig->dialogs.Reset();
    return rig;
}

}  // namespace

class TestTallyFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each file button greys the mapping controls while its progress shows in place of the
    // "Tally Outputs" label, hands the focus back to the output list (the click gave it to the
    // button) and names the file only when one was written or loaded.
    void fileButtons_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("answer");  // the file chosen; empty: cancelled
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("progress");
        QTest::newRow("save") << true << "saved.vdk"
                              << "saved.vdk" << QStringList{"", "Downloading  1"};
        QTest::newRow("save cancelled") << true << ""
                                        << "keep.vdk" << QStringList{};
        QTest::newRow("load") << false << "good.vdk"
                              << "good.vdk" << QStringList{"", "Mapping  0", "Mapping  1"};
        QTest::newRow("load refused") << false << "bad.vdk"
                                      << "keep.vdk" << QStringList{};
        QTest::newRow("load cancelled") << false << ""
                                        << "keep.vdk" << QStringList{};
    }
    void fileButtons() {
        QFETCH(bool, save);
        QFETCH(QString, answer);
        QFETCH(QString, label);
        QFETCH(QStringList, progress);
        auto rig = Rig();
        frmKavroMain& w = *rig->window;
        const MainFace& f = w.Face();
        QVERIFY(Put(rig->dir.filePath(QStringLiteral("good.vdk")),
                    "[1][3][2][5][1][0][0][0]\r\n[1][1][2][2][1][2][4][1]\r\n"));
        QVERIFY(Put(rig->dir.filePath(QStringLiteral("bad.vdk")), "Cam 1\r\n"));
        f.lblFileName->setText(QStringLiteral("keep.vdk"));
        QStringList shown;
        bool greyedThroughout = true;
        FollowProgress(w.Session(), this, [&](const ProgressReport& p) {
            shown << f.lblDownloading->text();
            // The first text comes before the controls are greyed.
            if (!ProgressCaption(p).isEmpty())
                greyedThroughout &= f.lblDownloading->isVisibleTo(&w) &&
                                    !f.lblTallyOutputs->isVisibleTo(&w) && !f.list2->isEnabled() &&
                                    !f.cmdMapIt->isEnabled() && !f.txtInput->isEnabled() &&
                                    !f.cmdInit->isEnabled();
        });
        if (!answer.isEmpty()) rig->dialogs.fileAnswers = {rig->dir.filePath(answer)};
        QTest::mouseClick(save ? f.cmdSaveMatrix : f.cmdLoadMatrix, Qt::LeftButton);
        QCOMPARE(rig->dialogs.fileCalls.size(), 1);
        QCOMPARE(rig->dialogs.fileCalls.first().save, save);
        QCOMPARE(shown, progress);
        QVERIFY(greyedThroughout);
        QVERIFY(!f.lblDownloading->isVisibleTo(&w) && f.lblTallyOutputs->isVisibleTo(&w));
        QVERIFY(f.list2->isEnabled() && f.cmdMapIt->isEnabled() && f.cmdTest->isEnabled());
        QCOMPARE(f.lblFileName->text(), label);
        QCOMPARE(f.List1->SelectedIndex(), 0);
        QCOMPARE(w.focusWidget(), static_cast<QWidget*>(f.List1));
    }
};

QTEST_MAIN(TestTallyFiles)
#include "test_tally_files.moc"
