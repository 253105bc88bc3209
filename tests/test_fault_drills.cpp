// Fault drills: the real main window over a real pseudo-terminal against tally-sim made to
// misbehave, with real files. Each drill checks what the operator sees (boxes, the error line,
// the rows, the online look) and what is kept (the table, files on disk byte for byte, what the
// controller received and still holds).
#include <signal.h>
#include <sys/resource.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QtTest>

#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/command_exchange.h"
#include "link/online_state.h"
#include "mapping/mapping_tables.h"
#include "mapping/read_back.h"
#include "support/main_rig.h"
#include "support/session_internals.h"
#include "support/sim_process.h"
#include "support/test_files.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

constexpr int kOutputs = 10;
constexpr int kInputs = 8;
// Lines the controller hears from a start-up before its read-back: the probe (an empty line
// and "VER"), then the version request (two empty lines, "VER", two empty lines).
constexpr int kProbeAndVersionLines = 7;
// Far below a core kept busy for the 2 s of a wait, far above what a blocked wait costs even
// under the sanitizers.
constexpr double kIdleCpuLimit = 0.5;

// One mapping of output unit 1 to input unit 2 (channel = number), optionally with a second
// input and mode 1 (AND) or 2 (OR).
struct Entry {
    int out = 0;
    int in = 0;
    int mode = 0;
    int in2 = 0;
};

QByteArray Line(const Entry& e) {
    return QStringLiteral("[1][%1][2][%2][1][%3][%4][%5]\r\n")
        .arg(e.out)
        .arg(e.in)
        .arg(e.mode ? 2 : 0)
        .arg(e.in2)
        .arg(e.mode)
        .toLatin1();
}

QByteArray Lines(const QList<Entry>& entries) {
    QByteArray bytes;
    for (const Entry& e : entries)
        bytes += Line(e);
    return bytes;
}

// The controller's table at the start of most drills, in its own order (not output order).
const QList<Entry> kTable = {{7, 3}, {2, 5, 1, 6}, {9, 1}, {4, 8, 2, 2}, {5, 4}};
// Start-up lines heard by a controller holding kTable: probe, version, "Comp", five entries and
// the entry of zeros that ends the list.
constexpr int kStartupLines = kProbeAndVersionLines + 1 + 5 + 1;

// The output list as it must read when the program's table holds `entries` (a later entry for
// the same output wins): name, first input, "&" or "||", second input.
QStringList RowsOf(const QList<Entry>& entries) {
    QStringList rows;
    for (int o = 1; o <= kOutputs; ++o) {
        QString row = QStringLiteral("Out %1\t\t\t").arg(o);
        for (const Entry& e : entries) {
            if (e.out != o) continue;
            const QString op = e.mode == 1 ? QStringLiteral("&") : QStringLiteral("||");
            row = e.mode == 0
                      ? QStringLiteral("Out %1\t %2\t\t").arg(o).arg(e.in)
                      : QStringLiteral("Out %1\t %2\t%3\t %4").arg(o).arg(e.in).arg(op).arg(e.in2);
        }
        rows << row;
    }
    return rows;
}

// The output list as Kavro.ini fills it, before any table is shown: name and an empty input.
QStringList IniRows() {
    QStringList rows;
    for (int o = 1; o <= kOutputs; ++o)
        rows << QStringLiteral("Out %1\t").arg(o);
    return rows;
}

// The lines the controller heard from the `from`th on.
QStringList Since(const SimProcess& sim, qsizetype from) {
    return sim.LogLines().mid(from);
}

QStringList RawMaps(int first, int last) {
    QStringList lines;
    for (int n = first; n <= last; ++n)
        lines << QStringLiteral("RawMap %1").arg(n);
    return lines;
}

// A controller on a pseudo-terminal holding `table`, misbehaving as `faultArgs` say, and the
// console started against it.
struct Drill {
    SimProcess sim;
    MainRig rig;
    QString preload;

    // False with the reason in `why` when the simulator does not come up.
    bool Begin(const QList<Entry>& table, const QStringList& faultArgs, QString& why) {
        preload = sim.FilePath(QStringLiteral("preload.vdk"));
        if (!Put(preload, Lines(table))) {
            why = QStringLiteral("cannot write %1").arg(preload);
            return false;
        }
        if (!sim.Start(QStringList{QStringLiteral("--preload"), preload} + faultArgs)) {
            why = sim.ErrorText();
            return false;
        }
        rig.WriteIni(
            SampleIni(kOutputs, kInputs, QStringLiteral("CommDevice=%1\r\n").arg(sim.LinkPath())));
        return true;
    }
    // The controller comes back on the same link, holding `table` and behaving.
    bool Restart(QString& why) {
        if (sim.Start({QStringLiteral("--preload"), preload})) return true;
        why = sim.ErrorText();
        return false;
    }

    frmKavroMain& w() { return *rig.window; }

    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Selects output row `row`, types the input number and Enter, as the operator does.
    void TypeMapping(int row, int input) {
        w().Face().List1->SetSelectedIndex(row);
        w().Face().txtInput->setText(QString::number(input));
        QTest::keyClick(w().Face().txtInput, Qt::Key_Return);
    }
    bool LooksOnline() {
        return w().Face().cmdOnline->text() == QStringLiteral("Online") &&
               w().Face().cmdTest->isEnabled() && w().Face().chkTest->isEnabled() &&
               w().Face().cmdRefresh->isEnabled() && w().Face().Check1->isEnabled() &&
               w().Face().Check2->isEnabled();
    }
    bool LooksOffline() {
        return w().Face().cmdOnline->text() == QStringLiteral("OFFLINE") &&
               !w().Face().cmdTest->isEnabled() && !w().Face().chkTest->isEnabled() &&
               !w().Face().cmdRefresh->isEnabled() && !w().Face().Check1->isEnabled() &&
               !w().Face().Check2->isEnabled();
    }
    // The mapping controls are usable again and no read-back or load shows its progress.
    bool ControlsBack() {
        return w().Face().List1->isEnabled() && w().Face().list2->isEnabled() &&
               w().Face().txtInput->isEnabled() && w().Face().cmdMapIt->isEnabled() &&
               w().Face().cmdInit->isEnabled() && w().Face().cmdCancelDownload->isHidden() &&
               w().Face().lblDownloading->isHidden() && !w().Face().lblTallyOutputs->isHidden();
    }
};

#define BEGIN_DRILL(drill, table, args)                                   \
    do {                                                                  \
        QString why_;                                                     \
        QVERIFY2((drill).Begin((table), (args), why_), qPrintable(why_)); \
    } while (false)

const QString kIncompleteTitle = QStringLiteral("Read-back incomplete");

enum class IniDamage {
    Missing,
    NoSystem,
    PortOutOfRange,
    UnitOutOfRange,
    BinaryGarbage,
    Huge,
    Utf16,
    Folder
};

}  // namespace

Q_DECLARE_METATYPE(IniDamage)

class TestFaultDrills : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStringLiteral(VENDRA_TALLY_SIM).isEmpty()) QSKIP("tally-sim is not built");
    }

    // The controller says nothing to the probe: the operator is asked, declines, and works
    // offline; the controller's table is never touched and is all there once it answers.
    void silentAtStartUp() {
        Drill d;
        BEGIN_DRILL(d, kTable, (QStringList{"--fault", "silent", "--fault-lines", "2"}));
        QStringList looks;
        d.rig.dialogs.answers = {Answer::No, Answer::Ok};
        d.rig.dialogs.onBox = [&](const ScriptedDialogs::Box&) {
            looks << d.rig.window->Face().cmdOnline->text();
        };
        QVERIFY(d.rig.Start(true));
        // Both probe commands waited out their deadline: nothing came back.
        QCOMPARE(d.w().Session().Link().LastReply().Kind, ReplyKind::TimedOut);

        QCOMPARE(d.rig.dialogs.Texts(),
                 QStringList({"No Communications to Tally system\r\nDo you want to retry?",
                              "Going To Offline Mode"}));
        QCOMPARE(d.rig.dialogs.Titles(),
                 QStringList({"Communication Error", "Communication Error"}));
        QCOMPARE(d.rig.dialogs.boxes[0].buttons, Buttons::YesNo);
        QCOMPARE(d.rig.dialogs.boxes[1].buttons, Buttons::Ok);
        // The offline look is set before the operator is told.
        QCOMPARE(looks, QStringList({"OFFLINE", "OFFLINE"}));
        QVERIFY(!d.w().Session().Link().IsOnline());
        QVERIFY(d.LooksOffline());
        QCOMPARE(d.w().Face().lblError->text(), QString());
        QCOMPARE(d.rig.dialogs.beeps, 2);
        // The configuration is all there; the controller heard the probe and nothing else.
        QCOMPARE(d.rig.Rows(), IniRows());
        QCOMPARE(d.w().Face().list2->RowCount(), kInputs + 1);
        QCOMPARE(d.sim.LogLines(), QStringList({"", "VER"}));
        QVERIFY(d.ControlsBack());

        // The controller answers again: online by the button, then "Refresh" shows its table
        // untouched.
        d.rig.dialogs.Reset();
        d.Click(d.w().Face().cmdOnline);
        QCOMPARE(d.rig.dialogs.Titles(), QStringList{"Information!"});
        QVERIFY(d.w().Session().Link().IsOnline());
        QVERIFY(d.LooksOnline());
        QCOMPARE(d.rig.Rows(), IniRows());  // going online reads nothing back
        d.Click(d.w().Face().cmdRefresh);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable));
        QCOMPARE(d.sim.LogLines(),
                 QStringList({"", "VER", "", "VER", "", "", "VER", "", "", "Refresh", "Comp"}) +
                     RawMaps(1, 6));
    }

    // The controller stops answering in the middle of "Refresh": what was read stays, the rest
    // is unmapped, and the operator is told the table is incomplete.
    void silentDuringRefresh() {
        Drill d;
        // Start-up, then "Refresh", "Comp" and two entries answered.
        BEGIN_DRILL(d, kTable, (QStringList{"--silent-after", QString::number(kStartupLines + 4)}));
        QVERIFY(d.rig.Start(true));
        QVERIFY(d.w().Session().Link().IsOnline());
        QCOMPARE(d.rig.Rows(), RowsOf(kTable));

        QString errorAtBox;
        bool controlsAtBox = false;
        d.rig.dialogs.onBox = [&](const ScriptedDialogs::Box&) {
            errorAtBox = d.rig.window->Face().lblError->text();
            controlsAtBox = d.ControlsBack();
        };
        const qsizetype mark = d.sim.LogLines().size();
        d.Click(d.w().Face().cmdRefresh);

        QCOMPARE(d.rig.dialogs.Titles(), QStringList{kIncompleteTitle});
        const ScriptedDialogs::Box& box = d.rig.dialogs.boxes.first();
        QVERIFY2(box.text.startsWith(
                     QStringLiteral("The tally system stopped answering after 2 mappings.")),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("\"Refresh\"")), qPrintable(box.text));
        QCOMPARE(box.icon, Icon::Information);
        QCOMPARE(errorAtBox, QStringLiteral("Comm Error!"));
        QVERIFY(controlsAtBox);

        QCOMPARE(d.w().Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(d.rig.dialogs.beeps, 1);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable.mid(0, 2)));
        QCOMPARE(d.w().Session().Installation().Tables().MapStringCount, 2);
        QVERIFY(d.ControlsBack());
        // A silent controller does not take the console offline.
        QVERIFY(d.w().Session().Link().IsOnline());
        QVERIFY(d.LooksOnline());
        // No retry: the unanswered entry was asked for once.
        QCOMPARE(Since(d.sim, mark), QStringList({"Refresh", "Comp"}) + RawMaps(1, 3));
    }

    // The controller hangs up in the middle of a read-back, like a pulled adapter: the wait ends
    // at once, the dead link costs no CPU, and once the controller is back on the same link
    // going offline and online heals the console.
    void hangUpMidExchangeAndRecovery() {
        Drill d;
        // Start-up, then "Refresh", "Comp" and two entries answered; the third is asked for as
        // the line goes dead.
        BEGIN_DRILL(d, kTable, (QStringList{"--hangup-after", QString::number(kStartupLines + 4)}));
        QVERIFY(d.rig.Start(true));
        QCOMPARE(d.rig.Rows(), RowsOf(kTable));

        d.Click(d.w().Face().cmdRefresh);
        // A hang-up ends the wait: the line closed, the deadline did not run out.
        QCOMPARE(d.w().Session().Link().LastReply().Kind, ReplyKind::Closed);
        QVERIFY(d.sim.WaitForExit(5000));
        QCOMPARE(d.rig.dialogs.Titles(), QStringList{kIncompleteTitle});
        QVERIFY2(d.rig.dialogs.boxes.first().text.contains(
                     QStringLiteral("stopped answering after 2 mappings")),
                 qPrintable(d.rig.dialogs.boxes.first().text));
        QCOMPARE(d.w().Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(d.rig.Rows(), RowsOf(kTable.mid(0, 2)));
        QVERIFY(d.ControlsBack());
        QVERIFY(d.LooksOnline());

        // Dead: idle for a while, then a mapping that cannot go out. Neither spins.
        const double cpuBefore = CpuSeconds();
        QTest::qWait(1000);
        d.TypeMapping(0, 5);
        // Nothing is waited for from a device that is gone.
        QCOMPARE(d.w().Session().Link().LastReply().Kind, ReplyKind::Closed);
        QTest::qWait(300);
        const double cpu = CpuSeconds() - cpuBefore;
        QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QString::number(cpu)));
        QCOMPARE(d.w().Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(d.rig.Row(0), QStringLiteral("Out 1\t\t\t"));  // not taken: it did not go out

        // Back on the same link: OFFLINE, then online again, and a mapping goes through.
        QString why;
        QVERIFY2(d.Restart(why), qPrintable(why));
        const qsizetype mark = d.sim.LogLines().size();
        d.Click(d.w().Face().cmdOnline);
        QVERIFY(d.LooksOffline());
        d.Click(d.w().Face().cmdOnline);
        QCOMPARE(d.rig.dialogs.Titles().last(), QStringLiteral("Information!"));
        QVERIFY(d.LooksOnline());
        d.TypeMapping(0, 5);
        QCOMPARE(d.rig.Row(0), QStringLiteral("Out 1\t 5\t\t"));
        QCOMPARE(d.w().Face().lblError->text(), QString());
        QCOMPARE(Since(d.sim, mark),
                 QStringList({"", "VER", "", "", "VER", "", "", "Map 1 1 2 5"}));
        d.Click(d.w().Face().cmdRefresh);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable + QList<Entry>{{1, 5}}));
    }

    // Replies spoiled on the line during "Refresh": binary bytes inside a reply are read past,
    // a reply without its "." is a "Comm Error!"; no row ever shows what the line brought in.
    void garbageAndBinaryBytesInReplies_data() {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("commError");
        // Start-up, then "Refresh", "Comp" and two entries answered: the third is spoiled.
        const QStringList third = {"--fault-after", QString::number(kStartupLines + 4),
                                   "--fault-lines", "1"};
        QTest::newRow("binary bytes inside every reply")
            << QStringList{"--fault", "noise"} << 5 << false;
        QTest::newRow("garbage instead of a reply")
            << (QStringList{"--fault", "garbage"} + third) << 2 << true;
        QTest::newRow("a whole reply without its \".\"")
            << (QStringList{"--fault", "no-terminator"} + third) << 2 << true;
    }
    void garbageAndBinaryBytesInReplies() {
        QFETCH(QStringList, fault);
        QFETCH(int, kept);
        QFETCH(bool, commError);
        Drill d;
        BEGIN_DRILL(d, kTable, fault);
        QVERIFY(d.rig.Start(true));
        QVERIFY(d.w().Session().Link().IsOnline());
        QVERIFY(SessionInternals::ControllerVersion(d.w().Session())
                    .startsWith(QStringLiteral("MAINV8")));
        QCOMPARE(d.rig.Rows(), RowsOf(kTable));

        d.Click(d.w().Face().cmdRefresh);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable.mid(0, kept)));
        QCOMPARE(d.w().Face().lblError->text(),
                 commError ? QStringLiteral("Comm Error!") : QString());
        QCOMPARE(d.rig.dialogs.beeps, commError ? 1 : 0);
        QCOMPARE(d.rig.dialogs.Titles(), commError ? QStringList{kIncompleteTitle} : QStringList{});
        QVERIFY(d.ControlsBack());

        // The next exchanges are clean again: the spoiled reply's rest never leaks into them.
        d.rig.dialogs.Reset();
        d.Click(d.w().Face().cmdRefresh);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable));
        QCOMPARE(d.rig.dialogs.boxes.size(), 0);
        d.TypeMapping(0, 6);
        QCOMPARE(d.rig.Row(0), QStringLiteral("Out 1\t 6\t\t"));
        QCOMPARE(d.w().Face().lblError->text(), QString());
        QCOMPARE(d.sim.LogLines().last(), QStringLiteral("Map 1 1 2 6"));
    }

    // A reply of 100 KB that never ends: the exchange ends at its deadline with the receive
    // text bounded, and the next exchange is clean.
    void endlessReply() {
        Drill d;
        BEGIN_DRILL(d, kTable,
                    (QStringList{"--fault", "flood", "--fault-after",
                                 QString::number(kStartupLines), "--fault-lines", "1"}));
        QVERIFY(d.rig.Start(true));
        d.TypeMapping(0, 6);
        // The flood never ends the reply: the exchange ends at its deadline, cut.
        QCOMPARE(d.w().Session().Link().LastReply().Kind, ReplyKind::Cut);
        const QString& received = SessionInternals::Exchange(d.w().Session()).IBuffer;
        QVERIFY2(received.size() <= CommandExchange::kMaxReceive,
                 qPrintable(QString::number(received.size())));
        QVERIFY(received.startsWith(QStringLiteral("Map 1 1 2 6\r\nFLOOD-")));
        QVERIFY(!received.contains(QLatin1Char('.')));
        QCOMPARE(d.w().Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(d.rig.dialogs.beeps, 1);
        // Cut short: nothing proves the mapping made, so the row keeps what it showed and the
        // copy may be stale until the next whole read-back.
        QCOMPARE(d.rig.Row(0), QStringLiteral("Out 1\t\t\t"));
        QVERIFY(d.w().Session().Changes().CopyMayBeStale());

        d.TypeMapping(1, 7);
        QCOMPARE(d.w().Session().Link().LastReply().Kind, ReplyKind::Answered);
        QCOMPARE(SessionInternals::Exchange(d.w().Session()).IBuffer,
                 QStringLiteral("Map 1 2 2 7\r\nOK\r\n."));
        QCOMPARE(d.w().Face().lblError->text(), QString());
        d.Click(d.w().Face().cmdRefresh);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable + QList<Entry>{{1, 6}, {2, 7}}));
    }

    // A "." inside a reply ends it early: the version is cut there, and a read-back reports a
    // broken reply instead of taking it for the end of the list.
    void dotInsideReplies_data() {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("kept");
        QTest::newRow("every reply") << QStringList{"--fault", "dot-in-reply"} << "MAIN" << 0;
        // Probe, version, "Comp" and two entries answered: the third entry is broken.
        QTest::newRow("the third entry")
            << QStringList{"--fault",       "dot-in-reply",
                           "--fault-after", QString::number(kProbeAndVersionLines + 3),
                           "--fault-lines", "1"}
            << "MAINV8\r\n"
            << 2;
    }
    void dotInsideReplies() {
        QFETCH(QStringList, fault);
        QFETCH(QString, version);
        QFETCH(int, kept);
        Drill d;
        BEGIN_DRILL(d, kTable, fault);
        QVERIFY(d.rig.Start(true));
        QVERIFY(d.w().Session().Link().IsOnline());
        QCOMPARE(SessionInternals::ControllerVersion(d.w().Session()), version);
        QCOMPARE(d.w().Face().lblError->text(), version);
        QVERIFY(d.w().Face().lblMainVersionInfo->toolTip().startsWith(version +
                                                                      QStringLiteral("   V")));
        QCOMPARE(d.rig.dialogs.Titles(), QStringList{kIncompleteTitle});
        const QString text = d.rig.dialogs.boxes.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The tally system sent a broken reply after %1 "
                                                "mappings.")
                                     .arg(kept)),
                 qPrintable(text));
        QCOMPARE(d.w().Session().Installation().Tables().MapStringCount, kept);
        QCOMPARE(d.rig.Rows(), RowsOf(kTable.mid(0, kept)));
        QCOMPARE(d.rig.dialogs.beeps, 0);  // every reply had its "."
        QVERIFY(d.ControlsBack());
        // The broken entry was asked for once, and nothing after it.
        QCOMPARE(d.sim.LogLines().mid(kProbeAndVersionLines),
                 QStringList{"Comp"} + RawMaps(1, kept + 1));
    }

    // A damaged Kavro.ini: the operator is told, the program ends before its window shows,
    // and the controller hears nothing.
    void damagedKavroIni_data() {
        QTest::addColumn<IniDamage>("damage");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("named");  // what the first message must name
        const QStringList missing{"File Missing"};
        const QStringList error{"File Error", "File Missing"};
        QTest::newRow("missing file") << IniDamage::Missing << missing << QString();
        QTest::newRow("missing System") << IniDamage::NoSystem << missing << QString();
        QTest::newRow("CommPort out of range")
            << IniDamage::PortOutOfRange << error << QStringLiteral("\"CommPort\" (\"256\")");
        QTest::newRow("unit out of range")
            << IniDamage::UnitOutOfRange << error << QStringLiteral("\"Input 3\"");
        // A file that is there but cannot be used: the reason comes before "File Missing".
        const QString unreadable = QStringLiteral("cannot be read");
        QTest::newRow("binary garbage") << IniDamage::BinaryGarbage << error << unreadable;
        QTest::newRow("huge file") << IniDamage::Huge << error << unreadable;
        QTest::newRow("UTF-16 file") << IniDamage::Utf16 << error << unreadable;
        QTest::newRow("folder named Kavro.ini") << IniDamage::Folder << error << unreadable;
    }
    void damagedKavroIni() {
        QFETCH(IniDamage, damage);
        QFETCH(QStringList, titles);
        QFETCH(QString, named);
        MainRig rig;
        rig.model.AddMappingString(QStringLiteral("[1][1][2][1][1][0][0][0]"));
        const QString ini = rig.dir.filePath(QStringLiteral("Kavro.ini"));
        const QString good = SampleIni(kOutputs, kInputs);
        switch (damage) {
            case IniDamage::Missing:
                break;
            case IniDamage::NoSystem: {
                QString text = good;
                text.remove(QStringLiteral("System=Test Studio\r\n"));
                rig.WriteIni(text);
                break;
            }
            case IniDamage::PortOutOfRange: {
                QString text = good;
                text.replace(QStringLiteral("CommPort=1"), QStringLiteral("CommPort=256"));
                rig.WriteIni(text);
                break;
            }
            case IniDamage::UnitOutOfRange:
                rig.WriteIni(
                    SampleIni(0, 0,
                              QStringLiteral("Output 1=A,1,1\r\nInput 1=B,2,1\r\nInput 2=C,2,2\r\n"
                                             "Input 3=D,-32769,3\r\n")));
                break;
            case IniDamage::BinaryGarbage: {
                QByteArray bytes;
                for (int i = 0; i < 4096; ++i)
                    bytes += static_cast<char>((i * 7919 + 13) % 256);
                QVERIFY(Put(ini, bytes));
                break;
            }
            case IniDamage::Huge: {
                // A whole installation at its head, then comment lines past any sensible size.
                QByteArray bytes = good.toLatin1();
                const QByteArray filler = "; " + QByteArray(98, 'x') + "\r\n";
                while (bytes.size() <= 5 * 1024 * 1024)
                    bytes += filler;
                QVERIFY(Put(ini, bytes));
                break;
            }
            case IniDamage::Utf16: {
                QByteArray bytes("\xFF\xFE", 2);
                for (QChar c : good) {
                    bytes += static_cast<char>(c.unicode() & 0xFF);
                    bytes += static_cast<char>(c.unicode() >> 8);
                }
                QVERIFY(Put(ini, bytes));
                break;
            }
            case IniDamage::Folder:
                QVERIFY(QDir(rig.dir.path()).mkdir(QStringLiteral("Kavro.ini")));
                QVERIFY(Put(ini + QStringLiteral("/Kavro.ini"), good.toLatin1()));
                break;
        }
        rig.dialogs.answers = {Answer::Ok, Answer::Cancel};

        QVERIFY(!rig.Start());
        QCOMPARE(rig.dialogs.Titles(), titles);
        const ScriptedDialogs::Box& last = rig.dialogs.boxes.last();
        QCOMPARE(last.text,
                 QStringLiteral("Cannot locate Kavro.ini file in program directory\r\nPlease "
                                "aquire a Kavro.ini file for this tally system and copy it into "
                                "the program directory\r\nLooked for: ") +
                     ini);
        QCOMPARE(last.buttons, Buttons::OkCancel);
        if (!named.isEmpty())
            QVERIFY2(rig.dialogs.boxes.first().text.contains(named),
                     qPrintable(rig.dialogs.boxes.first().text));
        QVERIFY(!rig.window->isVisible());
        QVERIFY(!rig.port->IsOpen());
        QVERIFY(rig.port->written.isEmpty());
        QVERIFY(rig.TakeLog().isEmpty());
        QCOMPARE(rig.window->Face().List1->RowCount(), 0);
        // The file is read, never written.
        if (damage == IniDamage::Folder) QVERIFY(QFileInfo(ini).isDir());
        if (damage == IniDamage::Missing) QVERIFY(!QFileInfo::exists(ini));
    }
};

QTEST_MAIN(TestFaultDrills)
#include "test_fault_drills.moc"
