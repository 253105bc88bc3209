// Why a lamp is lit, through the programs: the table of cases (support/lamp_cases.h) through
// `vendractl lamps --json` against tally-sim, and the overview window following an input that
// tally-sim changes.
#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QtTest>

#include "diag/frm_unit_bits.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/input_poll.h"
#include "overview/frm_overview.h"
#include "support/lamp_cases.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// The simulator holding every case's mapping, unit 2's bits set through its inputs FIFO, and a
// refusal of "BITS 3" for the silent unit.
bool StartSim(SimProcess& sim) {
    const QString vdk = sim.FilePath(QStringLiteral("cases.vdk"));
    if (!Put(vdk, Preload())) return false;
    if (!sim.Start({"--preload", vdk, "--inputs", sim.FilePath("inputs"), "--refuse", "BITS 3"}))
        return false;
    return Put(sim.FilePath(QStringLiteral("inputs")), kUnit2Line);
}

}  // namespace

class TestTallyOverviewPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    // The tool prints what the logic computes, from the controller's table and live bits.
    void vendractlLampsJson() {
        SimProcess sim;
        QVERIFY2(StartSim(sim), qPrintable(sim.ErrorText()));
        const QString ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(ini, Ini(QString()).toLatin1()));
        ToolRun tool = RunVendractl({"lamps", "--json", "--ini", ini, "--device", sim.LinkPath()});
        // Unit 3 stayed silent: its inputs are shown unknown and the tool says so.
        QCOMPARE(tool.exit, 2);
        QVERIFY(tool.err.contains("no input bits from unit 3"));
        const QJsonArray rows = QJsonDocument::fromJson(tool.out).array();
        QCOMPARE(rows.size(), kOutputs);
        for (int o = 1; o <= kOutputs; ++o) {
            const Case& c = kCases[o - 1];
            const QJsonObject row = rows[o - 1].toObject();
            QCOMPARE(row["output"].toInt(), o);
            QCOMPARE(row["channel"].toInt(), o);
            if (c.underTest) continue;  // a test is the console's own, not the controller's
            QCOMPARE(row["lamp"].toString(), QLatin1String(c.lamp));
            QCOMPARE(row["reason"].toString(), QLatin1String(c.reason));
        }
        const QJsonArray andInputs = rows[2].toObject()["inputs"].toArray();
        QCOMPARE(andInputs.size(), 2);
        QCOMPARE(andInputs[1].toObject()["state"].toString(), QStringLiteral("off"));
        // Read only: the table, then each unit with a configured input once.
        QStringList bits = sim.LogLines().filter(QRegularExpression("^BITS"));
        QCOMPARE(bits, (QStringList{"BITS 2", "BITS 3"}));

        // A controller that falls silent during the read-back: no lamp is printed.
        SimProcess cut;
        QVERIFY(Put(cut.FilePath(QStringLiteral("cases.vdk")), Preload()));
        QVERIFY(cut.Start({"--preload", cut.FilePath("cases.vdk"), "--silent-after", "8"}));
        tool = RunVendractl({"lamps", "--ini", ini, "--device", cut.LinkPath()});
        QCOMPARE(tool.exit, 2);
        QCOMPARE(tool.out, QByteArray());
        QVERIFY(tool.err.contains("could not be read whole"));
    }

    // A test the console holds when it closes is ended: no lamp stays forced on behind it.
    void closingTheConsoleEndsItsTest() {
        SimProcess sim;
        QVERIFY2(StartSim(sim), qPrintable(sim.ErrorText()));
        MainRig rig;
        rig.WriteIni(Ini(sim.LinkPath()));
        QVERIFY(rig.Start(/*realPort=*/true));
        frmKavroMain& w = *rig.window;
        w.Face().List1->SetSelectedIndex(1);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);
        QVERIFY(w.Face().chkTest->isChecked());
        const qsizetype latched = sim.LogLines().size();
        w.close();
        QVERIFY(rig.ended);
        QCOMPARE(sim.LogLines().mid(latched), (QStringList{"Res 1  2", "MapEnab 1  2"}));
    }

    // An output forced on behind the table's back (a test latched by a console that was killed)
    // is never called dark: the unit's own count of outputs on says otherwise. Outputs 1 and 2
    // are mapped to inputs that are off, output 3 is unmapped; unit 1 drives all three.
    void lampsSayWhyAnOutputIsForcedOn_data() {
        QTest::addColumn<QStringList>("sent");  // by hand, before the lamps are asked for
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("lamp");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a test left on a mapped output")
            << QStringList{"mapdisab 1 2", "Set 1 2"} << 2 << "lit"
            << "forced on: its mapping is disabled, and unit 1 reports 1 output on (an output "
               "test left on)";
        QTest::newRow("a test left on an unmapped output")
            << QStringList{"mapdisab 1 3", "Set 1 3"} << 1 << "unknown"
            << "Cam 1 off; unit 1 reports 1 output on, 1 more than its mappings light (an "
               "output test left on?)";
        QTest::newRow("a mapping disabled, nothing forced")
            << QStringList{"mapdisab 1 2"} << 2 << "dark"
            << "mapping disabled";
    }
    void lampsSayWhyAnOutputIsForcedOn() {
        QFETCH(QStringList, sent);
        QFETCH(int, output);
        QFETCH(QString, lamp);
        QFETCH(QString, reason);
        SimProcess sim;
        const QString vdk = sim.FilePath(QStringLiteral("two.vdk"));
        QVERIFY(Put(vdk, "[1][1][2][1][1][0][0][0]\r\n[1][2][2][2][1][0][0][0]\r\n"));
        QVERIFY2(sim.Start({"--preload", vdk}), qPrintable(sim.ErrorText()));
        const QString ini = sim.FilePath(QStringLiteral("Kavro.ini"));
        QVERIFY(Put(ini,
                    "[Vendra]\r\nSystem=Forced\r\nCommPort=1\r\nEnabledUnits=2\r\n"
                    "Output 1=A,1,1\r\nOutput 2=B,1,2\r\nOutput 3=C,1,3\r\n"
                    "Input 1=Cam 1,2,1\r\nInput 2=Cam 2,2,2\r\n"));
        const QStringList line{"--ini", ini, "--device", sim.LinkPath()};
        for (const QString& command : sent)
            QCOMPARE(RunVendractl(QStringList{"send", command} + line).exit, 0);
        const ToolRun tool = RunVendractl(QStringList{"lamps", "--json"} + line);
        QCOMPARE(tool.exit, 0);
        const QJsonObject row = QJsonDocument::fromJson(tool.out).array()[output - 1].toObject();
        QCOMPARE(row["lamp"].toString(), lamp);
        QCOMPARE(row["reason"].toString(), reason);
        QCOMPARE(row["underTest"].toBool(), lamp == "lit");
        QCOMPARE(row["enabled"], QJsonValue(output == 1));
    }

    // The real window over a real pseudo-terminal: the simulator changes an input and the
    // overview's row follows; the unit status window's unit is asked once per cycle for both.
    void overviewFollowsTheSimulator() {
        SimProcess sim;
        QVERIFY2(StartSim(sim), qPrintable(sim.ErrorText()));
        MainRig rig;
        rig.WriteIni(Ini(sim.LinkPath()));
        QVERIFY(rig.Start(/*realPort=*/true));
        frmKavroMain& w = *rig.window;
        QVERIFY(w.Session().Link().IsOnline());
        QVERIFY(w.Face().Check1->toolTip().contains("Ctrl+Shift+O"));
        QAction* open = nullptr;
        for (QAction* a : w.actions())
            if (a->shortcut() == QKeySequence(QStringLiteral("Ctrl+Shift+O"))) open = a;
        QVERIFY(open);
        QTest::mouseClick(w.Face().Check1, Qt::LeftButton);  // the unit status window, unit 2
        const qsizetype opened = sim.LogLines().size();
        open->trigger();
        frmOverview* view = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<frmOverview*>(top)) view = f;
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->table->rowCount(), kOutputs);
        auto cell = [view](int output, int column) {
            return view->table->item(output - 1, column)->text();
        };
        QTRY_COMPARE_WITH_TIMEOUT(cell(1, frmOverview::kLamp), QStringLiteral("lit"), 5000);
        QCOMPARE(cell(1, frmOverview::kReason), QStringLiteral("Cam 1 on"));
        QCOMPARE(cell(5, frmOverview::kMapping), QStringLiteral("Cam 2 || Cam 1"));
        // A lit lamp in the colour Kavro.ini gives it; red, as ever, where it gives none.
        auto shade = [view](int output) {
            return view->table->item(output - 1, frmOverview::kLamp)->background().color();
        };
        QCOMPARE(cell(4, frmOverview::kLamp), QStringLiteral("lit"));
        QCOMPARE(shade(4), QColor(30, 160, 60));
        QCOMPARE(shade(1), QColor(230, 30, 30));

        // Channel 1 of unit 2 goes off in the simulator.
        QVERIFY(Put(sim.FilePath(QStringLiteral("inputs")),
                    "2 0000 0000 0000 0000 0000 0000 0000 0100\n"));
        QTRY_COMPARE_WITH_TIMEOUT(cell(1, frmOverview::kLamp), QStringLiteral("dark"), 5000);
        QCOMPARE(cell(1, frmOverview::kReason), QStringLiteral("Cam 1 off"));
        QCOMPARE(cell(5, frmOverview::kLamp), QStringLiteral("dark"));
        QCOMPARE(cell(12, frmOverview::kLamp), QStringLiteral("unknown"));
        // Four lamps hang on inputs nobody knows; unit 3's silence is an alarm, not only grey.
        QCOMPARE(view->lblLitCount->text(), QStringLiteral("0 of %1 lit, 4 unknown").arg(kOutputs));
        QVERIFY(view->lblAlarm->isVisible());
        QCOMPARE(view->lblAlarm->text(),
                 QStringLiteral("Unit 3 does not answer: its inputs are unknown"));
        // The unit status window shows the same answer.
        QCOMPARE(w.UnitBitsWindow()->Shape3(3)->Colour(), ColourFromValue(kRed));
        QCOMPARE(w.UnitBitsWindow()->Shape3(1)->Colour(), ColourFromValue(kBlack));

        // A mapping made in the main window, and a latched test, show at once.
        w.Face().List1->SetSelectedIndex(7);
        w.Face().txtInput->setText(QStringLiteral("3"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        QTRY_COMPARE(cell(8, frmOverview::kMapping), QStringLiteral("Cam 3"));
        QCOMPARE(cell(8, frmOverview::kLamp), QStringLiteral("lit"));
        w.Face().List1->SetSelectedIndex(kOutputs - 1);
        QTest::mouseClick(w.Face().chkTest, Qt::LeftButton);
        QTRY_COMPARE(cell(kOutputs, frmOverview::kReason), QStringLiteral("under test"));
        QCOMPARE(view->lblLitCount->text(), QStringLiteral("2 of %1 lit, 4 unknown").arg(kOutputs));
        view->chkLitOnly->setChecked(true);
        QVERIFY(view->table->isRowHidden(0));
        QVERIFY(!view->table->isRowHidden(7));
        // Selecting a row selects the output in the output list.
        view->table->selectRow(7);
        QCOMPARE(w.Face().List1->SelectedIndex(), 7);
        QCOMPARE(w.Face().lblOutChannel->text(), QStringLiteral("8"));

        // Each cycle asks unit 2 once, for the overview and the unit status window together.
        auto asked = [&] { return sim.LogLines().mid(opened).filter(QRegularExpression("^BITS")); };
        QTRY_VERIFY(asked().size() >= 6);
        const QStringList bits = asked();
        for (int i = 1; i < bits.size(); ++i)
            QVERIFY2(bits[i] != bits[i - 1], qPrintable(bits.join(u',')));
        QVERIFY(!bits.contains(QStringLiteral("BITS 7")));
        // Closing the overview ends its polling.
        view->close();
        QVERIFY(!w.Session().Inputs().Polling());
    }
};

QTEST_MAIN(TestTallyOverviewPty)
#include "test_tally_overview_pty.moc"
