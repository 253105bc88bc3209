// "Save" and "Load" of the real main window over a real pseudo-terminal against tally-sim: a
// table saved, loaded back and saved again comes out byte for byte the same.
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "editor/tally_list.h"
#include "link/online_state.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// The controller's table at start, in its own order (not the output order).
const QByteArray kStartTable =
    "[1][7][2][3][1][0][0][0]\r\n"
    "[1][2][2][5][1][2][6][1]\r\n"
    "[1][9][2][1][1][0][0][0]\r\n"
    "[1][4][2][8][1][2][2][2]\r\n";

void Click(MainRig& rig, QPushButton* button, const QString& path) {
    rig.dialogs.fileAnswers = {path};
    QTest::mouseClick(button, Qt::LeftButton);
}

// The lines the controller received since `from` lines had been logged.
QStringList Since(const SimProcess& sim, qsizetype from) {
    return sim.LogLines().mid(from);
}

}  // namespace

class TestTallyFilesPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    void roundTripThroughTheController() {
        SimProcess sim;
        const QString start = sim.FilePath(QStringLiteral("start.vdk"));
        QVERIFY(Put(start, kStartTable));
        QVERIFY2(sim.Start({QStringLiteral("--preload"), start}), qPrintable(sim.ErrorText()));
        MainRig rig;
        rig.WriteIni(SampleIni(10, 8, QStringLiteral("CommDevice=") + sim.LinkPath() + "\r\n"));
        QVERIFY(rig.Start(true));
        frmKavroMain& w = *rig.window;
        QVERIFY(w.Session().Link().IsOnline());
        const QStringList rows = rig.Rows();
        QCOMPARE(rows[3], QStringLiteral("Out 4\t 8\t||\t 2"));

        const QString first = rig.dir.filePath(QStringLiteral("first.vdk"));
        qsizetype mark = sim.LogLines().size();
        Click(rig, w.Face().cmdSaveMatrix, first);
        QCOMPARE(Since(sim, mark),
                 QStringList({"Comp", "RawMap 1", "RawMap 2", "RawMap 3", "RawMap 4", "RawMap 5"}));
        QCOMPARE(Contents(first), kStartTable);

        rig.dialogs.answers = {Answer::Ok};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QCOMPARE(rig.Row(3), QStringLiteral("Out 4\t\t\t"));

        mark = sim.LogLines().size();
        Click(rig, w.Face().cmdLoadMatrix, first);
        QCOMPARE(Since(sim, mark),
                 QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 7 2 3", "Map 1 2 2 5",
                              "AND 1 2 2 6", "Map 1 9 2 1", "Map 1 4 2 8", "OR 1 4 2 2"}));
        QCOMPARE(rig.Rows(), rows);
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("first.vdk"));
        QVERIFY(rig.dialogs.boxes.size() == 1);          // only the "Clear All" question
        QCOMPARE(w.Face().lblError->text(), QString());  // no "Comm Error!"

        // What the controller holds now, read back and saved again, is the same file.
        const QString second = rig.dir.filePath(QStringLiteral("second.vdk"));
        Click(rig, w.Face().cmdSaveMatrix, second);
        QCOMPARE(Contents(second), kStartTable);
        QCOMPARE(rig.Rows(), rows);
    }
};

QTEST_MAIN(TestTallyFilesPty)
#include "test_tally_files_pty.moc"
