// Why a lamp is lit: one table of cases through the lamp logic, through `vendractl lamps --json`
// against tally-sim, and the overview window following an input that tally-sim changes.
#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QtTest>

#include "changes/lamp_state.h"
#include "diag/frm_unit_bits.h"
#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/input_poll.h"
#include "overview/frm_overview.h"
#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "support/tool_run.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// Output n is unit 1 channel n, mapped as its case says. Unit 2 has channels 1, 3 and 32 on;
// unit 3 does not answer "BITS"; unit 7 carries no configured input.
struct Case {
    const char* tag;
    const char* inputs;  // the mapping string after [1][n]; empty: unmapped
    bool underTest;
    const char* lamp;
    const char* reason;
};
const Case kCases[] = {
    {"single on", "[2][1][1][0][0][0]", false, "lit", "Cam 1 on"},
    {"single off", "[2][2][1][0][0][0]", false, "dark", "Cam 2 off"},
    {"AND, one off", "[2][1][1][2][2][1]", false, "dark", "Cam 1 on, Cam 2 off"},
    {"AND, both on", "[2][1][1][2][3][1]", false, "lit", "Cam 1 on, Cam 3 on"},
    {"OR, one on", "[2][2][1][2][1][2]", false, "lit", "Cam 2 off, Cam 1 on"},
    {"OR, both off", "[2][2][1][2][2][2]", false, "dark", "Cam 2 off, Cam 2 off"},
    {"disabled", "[2][1][0][0][0][0]", false, "dark", "mapping disabled"},
    {"unmapped", "", false, "dark", "no input"},
    {"input on an unpolled unit", "[7][1][1][0][0][0]", false, "unknown",
     "(7/1, not in Kavro.ini): input not polled"},
    {"channel past the 32 bits", "[2][40][1][0][0][0]", false, "unknown",
     "(2/40, not in Kavro.ini): input not polled"},
    {"unit silent", "[3][1][1][0][0][0]", false, "unknown", "Mic unknown: unit 3 does not answer"},
    {"OR settled by the other input", "[3][1][1][2][1][2]", false, "lit",
     "Mic unknown: unit 3 does not answer, Cam 1 on"},
    {"AND settled by the other input", "[3][1][1][2][2][1]", false, "dark",
     "Mic unknown: unit 3 does not answer, Cam 2 off"},
    {"AND left open by the silent unit", "[3][1][1][2][1][1]", false, "unknown",
     "Mic unknown: unit 3 does not answer, Cam 1 on"},
    {"channel 32, the last bit", "[2][32][1][0][0][0]", false, "lit",
     "(2/32, not in Kavro.ini) on"},
    {"under test", "[2][2][1][0][0][0]", true, "lit", "under test"},
};
constexpr int kOutputs = int(std::size(kCases));
constexpr quint32 kUnit2Bits = 0x80000005;
const char kUnit2Line[] = "2 1000 0000 0000 0000 0000 0000 0000 0101\n";

QString MapOf(int output) {
    const Case& c = kCases[output - 1];
    return *c.inputs ? QStringLiteral("[1][%1]%2").arg(output).arg(QLatin1String(c.inputs))
                     : QString();
}

QString Ini(const QString& device) {
    QString ini = QStringLiteral("[Vendra]\r\nSystem=Overview\r\nCommPort=1\r\nEnabledUnits=2\r\n");
    for (int o = 1; o <= kOutputs; ++o)
        ini += QStringLiteral("Output %1=Out %1,1,%1\r\n").arg(o);
    ini += QStringLiteral(
        "Input 1=Cam 1,2,1\r\nInput 2=Cam 2,2,2\r\nInput 3=Cam 3,2,3\r\nInput 4=Mic,3,1\r\n");
    if (!device.isEmpty()) ini += QStringLiteral("CommDevice=%1\r\n").arg(device);
    return ini + QStringLiteral("[Tally Out]\r\nOutput 4=green\r\n");
}

QByteArray Preload() {
    QByteArray vdk;
    for (int o = 1; o <= kOutputs; ++o)
        if (!MapOf(o).isEmpty()) vdk += MapOf(o).toLatin1() + "\r\n";
    return vdk;
}

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

class TestTallyOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    void lampAndReason_data() {
        QTest::addColumn<int>("output");
        for (int o = 1; o <= kOutputs; ++o)
            QTest::newRow(kCases[o - 1].tag) << o;
    }

    void lampAndReason() {
        QFETCH(int, output);
        MappingTables tables;
        tables.NumOutputs = kOutputs;
        for (int o = 1; o <= kOutputs; ++o) {
            tables.OutName[o] = QStringLiteral("Out %1").arg(o);
            tables.OutUnit[o] = 1;
            tables.OutChannel[o] = o;
            tables.OutMapString[o] = MapOf(o);
            tables.OutTest[o] = kCases[o - 1].underTest ? -1 : 0;
        }
        const QStringList names{"Cam 1", "Cam 2", "Cam 3", "Mic"};
        tables.NumInputs = 4;
        for (int j = 1; j <= 4; ++j) {
            tables.InName[j] = names[j - 1];
            tables.InUnit[j] = j == 4 ? 3 : 2;
            tables.InChannel[j] = j == 4 ? 1 : j;
        }
        QCOMPARE(UnitsWithInputs(tables), (QList<int>{2, 3}));
        InputBits inputs;
        inputs.SetPolled(UnitsWithInputs(tables));
        QVERIFY(inputs.Set(2, kUnit2Bits));
        QVERIFY(inputs.Set(3, std::nullopt));
        QVERIFY(!inputs.Set(2, kUnit2Bits));  // the same answer again changes nothing

        const LampRow row = ComputeLamp(tables, output, inputs);
        const Case& c = kCases[output - 1];
        QCOMPARE(StateText(row.Lamp), QLatin1String(c.lamp));
        QCOMPARE(row.Reason, QLatin1String(c.reason));
        QCOMPARE(LampJson(row).value("lit").isNull(), row.Lamp == LampState::Unknown);
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

QTEST_MAIN(TestTallyOverview)
#include "test_tally_overview.moc"
