// Compare, apply changes only, verify and the file check, through the real main window over a
// real pseudo-terminal against tally-sim: what the operator sees, and exactly what went over
// the wire.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <functional>

#include "changes/file_check.h"
#include "compare/change_controller.h"
#include "config/kavro_config.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"

using namespace vendra;

namespace {

// Outputs 1 .. 10 on unit 1, inputs 1 .. 8 on unit 2 (SampleIni). The controller's table:
const QByteArray kController =
    "[1][1][2][1][1][0][0][0]\r\n"   // out 1: In 1
    "[1][2][2][2][1][0][0][0]\r\n"   // out 2: In 2
    "[1][4][2][4][1][0][0][0]\r\n"   // out 4: In 4
    "[1][5][2][5][1][2][3][2]\r\n"   // out 5: In 5 || In 3
    "[1][6][2][6][1][0][0][0]\r\n"   // out 6: In 6
    "[3][9][2][1][1][0][0][0]\r\n";  // unit 3 channel 9: not in Kavro.ini
// The file: every kind of difference, and an output and an input Kavro.ini lacks.
const QByteArray kFile =
    "[1][1][2][1][1][0][0][0]\r\n"   // out 1 same
    "[1][2][2][6][1][0][0][0]\r\n"   // out 2 changed
    "[1][3][2][8][1][0][0][0]\r\n"   // out 3 added
    "[1][5][2][5][1][2][3][2]\r\n"   // out 5 same (OR)
    "[1][6][2][6][1][2][7][1]\r\n"   // out 6 changed to an AND
    "[1][7][2][40][1][0][0][0]\r\n"  // out 7 added, input 2/40 unknown
    "[4][1][2][1][1][0][0][0]\r\n";  // unit 4 channel 1 added, unknown, unit not enabled
// Out 4 and unit 3 channel 9 are removed: the file does not map them.

const QStringList kApplied = {"Map 1 2 2 6", "Map 1 3 2 8", "Res 1  4",     "ClrMap 1  4",
                              "Map 1 6 2 6", "AND 1 6 2 7", "Map 1 7 2 40", "Res 3  9",
                              "ClrMap 3  9", "Map 4 1 2 1"};
const QStringList kVerified = {"GetMap 1  2", "GetMap 1  3", "GetMap 1  4", "GetMap 1  6",
                               "GetMap 1  7", "GetMap 3  9", "GetMap 4  1"};

struct LiveRig {
    SimProcess sim;
    MainRig rig;
    QString file;

    bool Start(const QStringList& simArgs = {}) {
        const QString start = sim.FilePath(QStringLiteral("start.vdk"));
        file = rig.dir.filePath(QStringLiteral("show.vdk"));
        if (!Put(start, kController) || !Put(file, kFile)) return false;
        if (!sim.Start(QStringList{QStringLiteral("--preload"), start} + simArgs)) return false;
        rig.WriteIni(SampleIni(10, 8, QStringLiteral("CommDevice=") + sim.LinkPath() + "\r\n"));
        return rig.Start(true) && rig.window->Session().Link().IsOnline();
    }
    ChangeController& Changes() { return *rig.window->findChild<ChangeController*>(); }
    std::function<void()> Apply() {
        return [this] { Changes().ApplyFile(); };
    }
    // Runs one flow on the file with the queued answers; answers the lines the sim got.
    QStringList Run(const std::function<void()>& flow, const QList<Answer>& answers) {
        const qsizetype mark = sim.LogLines().size();
        rig.dialogs.Reset();
        rig.dialogs.fileAnswers = {file};
        rig.dialogs.answers = answers;
        flow();
        return sim.LogLines().mid(mark);
    }
};

QStringList RawMaps(int entries) {
    QStringList lines;
    for (int n = 1; n <= entries + 1; ++n)
        lines << QStringLiteral("RawMap ") + QString::number(n);
    return lines;
}

}  // namespace

class TestChangesPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    void compareShowsEveryKindOfDifference() {
        LiveRig live;
        QVERIFY(live.Start());
        // The first entry of the menu on "Load", also on the main window for its shortcut.
        QAction* compare = live.Changes().Actions().value(0);
        QVERIFY(compare && live.rig.window->actions().contains(compare));
        QVERIFY(live.rig.window->Face().cmdLoadMatrix->toolTip().contains("Right-click"));
        // Findings first (answered "go on"), then a fresh read-back of the whole table.
        QCOMPARE(live.Run([compare] { compare->trigger(); }, {Answer::Ok}),
                 QStringList{"Comp"} + RawMaps(6));
        QCOMPARE(live.rig.dialogs.Titles(), QStringList{"Check Tally File"});

        CompareWindow* w = live.Changes().Window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->VisibleRows(), 12);  // 10 configured outputs and 2 that Kavro.ini lacks
        QStringList kinds, sides;
        for (int r = 0; r < w->VisibleRows(); ++r) {
            kinds << w->Cell(r, CompareWindow::kDifference);
            sides << w->Cell(r, CompareWindow::kFile) + " | " +
                         w->Cell(r, CompareWindow::kController);
        }
        QCOMPARE(kinds, QStringList({"same", "changed", "added", "removed", "same", "changed",
                                     "added", "same", "same", "same", "removed", "added"}));
        QCOMPARE(sides[1], QStringLiteral("In 6 | In 2"));
        QCOMPARE(sides[4], QStringLiteral("In 5 || In 3 | In 5 || In 3"));
        QCOMPARE(sides[5], QStringLiteral("In 6 & In 7 | In 6"));
        QCOMPARE(sides[6], QStringLiteral("(2/40, not in Kavro.ini) | "));
        QCOMPARE(w->Cell(10, CompareWindow::kName), QStringLiteral("(not in Kavro.ini)"));
        QCOMPARE(w->Cell(11, CompareWindow::kLine), QStringLiteral("7"));

        w->chkDifferencesOnly->setChecked(true);
        QCOMPARE(w->VisibleRows(), 7);
        w->table->sortByColumn(CompareWindow::kLine, Qt::DescendingOrder);
        QCOMPARE(w->Cell(0, CompareWindow::kUnit), QStringLiteral("4"));
    }

    // The file and the controller map output 1 to the same input, but the controller holds it
    // disabled (as a test leaves it): the row says why it differs.
    void compareNamesAMappingDisabledInTheController() {
        LiveRig live;
        QVERIFY(live.Start());
        QVERIFY(live.rig.window->Session()
                    .Link()
                    .SendRaw(QStringLiteral("mapdisab 1  1"), QStringLiteral("send"))
                    .Answered());
        live.Run([&] { live.Changes().CompareFile(); }, {Answer::Ok});
        CompareWindow* w = live.Changes().Window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->Cell(0, CompareWindow::kController), QStringLiteral("In 1"));
        QCOMPARE(w->Cell(0, CompareWindow::kDifference),
                 QStringLiteral("changed: disabled in the controller"));
        QCOMPARE(w->Cell(1, CompareWindow::kDifference), QStringLiteral("changed"));
    }

    // The compare window's own "Apply changes only": the shown, fresh comparison is what is
    // sent, and success is reported only when every change is asked back and held.
    void compareWindowsOwnApply() {
        LiveRig live;
        QVERIFY(live.Start());
        live.Run([&] { live.Changes().CompareFile(); }, {Answer::Ok});
        CompareWindow* w = live.Changes().Window();
        QVERIFY(w && w->isVisible() && w->cmdApply->isEnabled());
        const QStringList sent =
            live.Run([w] { QTest::mouseClick(w->cmdApply, Qt::LeftButton); }, {Answer::Ok});
        QCOMPARE(sent, kApplied + kVerified);
        const QString report = live.rig.dialogs.Texts().value(1);
        QVERIFY2(report.contains("the tally system holds every mapping"), qPrintable(report));
        w->chkDifferencesOnly->setChecked(true);
        QCOMPARE(w->VisibleRows(), 0);
    }

    void verificationAfterAnOrdinaryLoad() {
        LiveRig live;
        // The controller acknowledges a line it does not carry out: only asking back tells.
        QVERIFY(live.Start({QStringLiteral("--ignore"), QStringLiteral("Map 1 2 2 6")}));
        live.rig.dialogs.fileAnswers = {live.file};
        live.rig.window->Session().Files().LoadMatrix();
        QCOMPARE(live.rig.Row(1), QStringLiteral("Out 2\t 6\t\t"));  // what was answered
        // Every output the copy maps is asked back, the one Kavro.ini lacks included.
        QCOMPARE(live.Run([&] { live.Changes().VerifyCopy(); }, {}),
                 QStringList({"GetMap 1  1", "GetMap 1  2", "GetMap 1  3", "GetMap 1  5",
                              "GetMap 1  6", "GetMap 1  7", "GetMap 4  1"}));
        QCOMPARE(live.rig.dialogs.Titles(), QStringList{"Verify"});
        QVERIFY2(live.rig.dialogs.Texts()[0].startsWith("1 of 7 outputs asked back does not "
                                                        "hold what was sent:\r\noutput 2 (Out 2)"),
                 qPrintable(live.rig.dialogs.Texts()[0]));
        QCOMPARE(live.rig.Row(1), QStringLiteral("Out 2\t\t\t"));  // the Load's Init cleared it
    }

    void staleCopyIsReadBackFirst() {
        LiveRig live;
        QVERIFY(live.Start());
        QVERIFY(!live.rig.window->Session().Changes().CopyMayBeStale());
        // The operator stops a read-back ("Cancel"): the copy holds only its first entry.
        QMetaObject::invokeMethod(&live.rig.window->Session().Table(),
                                  &TableOperations::CancelReadBack, Qt::QueuedConnection);
        live.rig.window->Session().Table().ReadControllerTable();
        QVERIFY(live.rig.window->Session().Changes().CopyMayBeStale());
        const QStringList sent = live.Run(live.Apply(), {Answer::Ok, Answer::Yes, Answer::Ok});
        const QStringList texts = live.rig.dialogs.Texts();
        QCOMPARE(live.rig.dialogs.Titles(),
                 QStringList({"Check Tally File", "Apply Changes Only", "Apply Changes Only",
                              "Apply Changes Only"}));
        QVERIFY(texts[1].contains("may not be what the tally system holds"));
        QVERIFY2(texts[2].startsWith("Apply 7 changes from show.vdk (3 added, 2 removed, 2 "
                                     "changed, 10 commands)"),
                 qPrintable(texts[2]));
        QVERIFY2(texts[3].contains("the tally system holds every mapping"), qPrintable(texts[3]));
        // The fresh read-back comes first, and with it the same changes as from a whole copy.
        QCOMPARE(sent, QStringList{"Comp"} + RawMaps(6) + kApplied + kVerified);
        QVERIFY(!live.rig.window->Session().Changes().CopyMayBeStale());
    }

    void fileCheckFindsEachKind_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("kind");
        const QByteArray good = "[1][1][2][1][1][0][0][0]\r\n";
        QTest::newRow("clean") << good + "[1][2][2][2][1][2][3][1]\r\n" << 0 << -1;
        QTest::newRow("not a mapping string") << good + "Cam 1 to PGM\r\n"
                                              << 2 << int(FindingKind::NotMappingString);
        QTest::newRow("output unit 0") << good + "[0][1][2][1]\r\n"
                                       << 2 << int(FindingKind::NotMappingString);
        QTest::newRow("four-digit channel") << good + "[1][1000][2][1][1][0][0][0]\r\n"
                                            << 2 << int(FindingKind::FieldTooWide);
        QTest::newRow("negative unit past the field") << good + "[1][1][-100][1][1][0][0][0]\r\n"
                                                      << 2 << int(FindingKind::FieldTooWide);
        QTest::newRow("output not configured") << good + "[1][11][2][1][1][0][0][0]\r\n"
                                               << 2 << int(FindingKind::UnknownOutput);
        QTest::newRow("input not configured")
            << QByteArray("[1][3][2][9][1][0][0][0]\r\n") << 1 << int(FindingKind::UnknownInput);
        QTest::newRow("second input not configured") << good + good + "[1][3][2][1][1][5][1][2]\r\n"
                                                     << 3 << int(FindingKind::UnknownInput);
        QTest::newRow("unit not enabled") << good + "[7][1][2][1][1][0][0][0]\r\n"
                                          << 2 << int(FindingKind::UnitNotEnabled);
        QTest::newRow("same output twice")
            << good + "[1][2][2][2][1][0][0][0]\r\n[1][1][2][3][1][0][0][0]\r\n"
            << 3 << int(FindingKind::DuplicateOutput);
    }
    void fileCheckFindsEachKind() {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(int, kind);
        QTemporaryDir dir;
        QVERIFY(Put(dir.filePath("Kavro.ini"), SampleIni(10, 8).toLatin1()));
        const QString path = dir.filePath("show.vdk");
        QVERIFY(Put(path, file));
        MappingTables tables;
        InstallationConfig config;
        EnabledUnits units;
        QVERIFY(IniRead(dir.path(), tables, config, units).Ok());

        const FileCheck check = CheckTallyFile(path, tables, units);
        QVERIFY(check.Readable);
        if (kind < 0) {
            QVERIFY2(check.Findings.isEmpty(), qPrintable(FindingsText(check.Findings)));
            return;
        }
        bool found = false;
        for (const Finding& f : check.Findings)
            found |= f.Line == line && int(f.Kind) == kind &&
                     f.Text.startsWith(QStringLiteral("line %1: ").arg(line));
        QVERIFY2(found, qPrintable(FindingsText(check.Findings)));
    }
};

QTEST_MAIN(TestChangesPty)
#include "test_changes_pty.moc"
