// The unit status monitor through the real main window against the controller model: switching
// it on and off, what each tick asks, the lamps, the spinner, and slow or silent controllers.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QtTest>
#include <optional>

#include "config/enabled_units.h"
#include "diag/frm_unit_bits.h"
#include "editor/tally_list.h"
#include "support/main_rig.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// "none": without the key.
QString IniWithUnits(const QString& units) {
    QString ini = SampleIni(4, 4);
    if (units == QLatin1String("none"))
        ini.remove(QStringLiteral("EnabledUnits=1,2\r\n"));
    else
        ini.replace(QStringLiteral("EnabledUnits=1,2"), QStringLiteral("EnabledUnits=") + units);
    return ini;
}

// A window online against the model on the model port.
std::unique_ptr<MainRig> Online(const QString& units = QStringLiteral("1,2")) {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(IniWithUnits(units));
    rig->Build();
    // Polls twenty times as often as the program, so tests that wait for ticks wait less.
    rig->window->Diag().tmrInputStatus.setInterval(10);
    if (!rig->window->Load()) qFatal("start-up failed");
    rig->TakeLog();
    return rig;
}

ModelPort& Port(MainRig& rig) {
    return *rig.port;
}

// "BITS" is answered with `bits` instead of the model's reply.
void AnswerBits(MainRig& rig, const QByteArray& bits) {
    Port(rig).reply = [bits](const QByteArray& line) -> std::optional<QByteArray> {
        if (!line.startsWith("BITS")) return std::nullopt;
        return line.trimmed() + "\r\n" + bits + "\r\n.";
    };
}

void ClickCheck1(frmKavroMain& w) {
    QTest::mouseClick(w.Face().Check1, Qt::LeftButton);
}

// Waits for the next tick of the poll timer to have run.
bool NextTick(frmKavroMain& w, int timeoutMs = 1000) {
    QSignalSpy tick(&w.Diag().tmrInputStatus, &QTimer::timeout);
    return tick.wait(timeoutMs);
}

// Lets four intervals of the poll timer pass: long enough for a poll that should not come.
void WaitIntervals(frmKavroMain& w) {
    QTest::qWait(4 * w.Diag().tmrInputStatus.interval());
}

// The lit lamps, as bit k - 1 for lamp k; fails the test on a lamp neither red nor black.
quint32 LitLamps(const frmUnitBits& u) {
    quint32 lit = 0;
    for (int k = 1; k <= frmUnitBits::kLamps; ++k) {
        const QColor c = u.Shape3(k)->Colour();
        if (c == ColourFromValue(kRed))
            lit |= 1u << (k - 1);
        else if (c != ColourFromValue(kBlack))
            qWarning("lamp %d is neither lit nor dark", k);
    }
    return lit;
}

bool MonitorOn(frmKavroMain& w) {
    return w.Diag().tmrInputStatus.isActive() && w.Face().Check1->isChecked() &&
           w.UnitBitsWindow() && w.UnitBitsWindow()->isVisible() &&
           TextColour(w.Face().Check1) == ColourFromValue(kRed);
}

bool MonitorOff(frmKavroMain& w) {
    return !w.Diag().tmrInputStatus.isActive() && !w.Face().Check1->isChecked() &&
           (!w.UnitBitsWindow() || !w.UnitBitsWindow()->isVisible()) &&
           TextColour(w.Face().Check1) == ColourFromValue(kBlack);
}

}  // namespace

class TestUnitMonitor : public QObject {
    Q_OBJECT
    SharedWindow shared_;

    // The rows' shared window, watching unit 1 with the model's own answers.
    MainRig& Watching() {
        MainRig& rig = shared_.Get([] {
            auto made = Online();
            ClickCheck1(*made->window);
            return made;
        });
        Port(rig).reply = nullptr;
        rig.TakeLog();
        return rig;
    }

private Q_SLOTS:
    void init() { shared_.Begin(); }
    void cleanupTestCase() { shared_.Drop(); }

    void switchingOnLoadsAndPollsTheFirstEnabledUnit_data() {
        QTest::addColumn<QString>("units");
        QTest::addColumn<int>("unit");
        QTest::newRow("unit 1 enabled") << "1,2" << 1;
        QTest::newRow("unit 1 not enabled") << "2,5" << 2;
        QTest::newRow("one unit") << "3" << 3;
        // No real unit is enabled: unit 1, not the unit 0 that the empty list holds.
        QTest::newRow("no EnabledUnits") << "none" << 1;
        QTest::newRow("empty EnabledUnits") << "" << 1;
        QTest::newRow("only unit 0") << "0" << 1;
    }
    void switchingOnLoadsAndPollsTheFirstEnabledUnit() {
        QFETCH(QString, units);
        QFETCH(int, unit);
        auto rig = Online(units);
        frmKavroMain& w = *rig->window;
        const QString n = QString::number(unit);
        rig->model.SetInputBits(unit, 0x5);
        QVERIFY(w.Face().Check1->isEnabled());
        ClickCheck1(w);
        QVERIFY(MonitorOn(w));
        frmUnitBits& u = *w.UnitBitsWindow();
        QCOMPARE(u.windowTitle(), QStringLiteral("Unit Status"));
        QCOMPARE(u.pos(), w.pos() + QPoint(8500 / 15, 450 / 15));
        QCOMPARE(u.lblWatchUnit->text(), n);
        QCOMPARE(LitLamps(u), 0u);  // dark until the first tick
        // The load step asks for the first status line at once.
        QCOMPARE(rig->TakeLog(), QStringList{"GSTAT " + n});
        QVERIFY(u.lblStatus->text().startsWith("UNIT " + n + " "));
        QVERIFY(u.lblStatus->text().contains(QStringLiteral("IN 0002")));
        QCOMPARE(w.focusWidget(), w.Face().List1);

        for (int tick = 0; tick < 2; ++tick) {
            QVERIFY(NextTick(w));
            QCOMPARE(rig->TakeLog(), (QStringList{"BITS " + n, "GSTAT " + n}));
        }
        QCOMPARE(LitLamps(u), 0x5u);
        const QByteArray tick = QStringLiteral("BITS %1\r\nGSTAT %1\r\n").arg(n).toLatin1();
        QCOMPARE(Port(*rig).written.right(tick.size()), tick);
    }

    void lampsFollowTheBitsReversed_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<quint32>("lit");
        // The reply's first bit is lamp 32, its last lamp 1.
        QTest::newRow("first and last two")
            << QByteArray("1000 0000 0000 0000 0000 0000 0000 0011") << quint32(0x80000003);
        QTest::newRow("other digits ignored")
            << QByteArray("2 1000 3 0000 4 0000 5 0000 6 0000 7 0000 8 0000 9 0001") << 0x80000001u;
        // The "1" of "U1" is a bit as good as any: with the 31 after it they make 32.
        QTest::newRow("a 1 inside a word counts") << "U1:" + QByteArray(31, '0') << 0x80000000u;
        QTest::newRow("all dark") << QByteArray(32, '0') << 0u;
        QTest::newRow("all lit") << QByteArray(32, '1') << 0xFFFFFFFFu;
    }
    void lampsFollowTheBitsReversed() {
        QFETCH(QByteArray, reply);
        QFETCH(quint32, lit);
        MainRig& rig = Watching();
        frmKavroMain& w = *rig.window;
        AnswerBits(rig, reply);
        QVERIFY(NextTick(w));
        QCOMPARE(LitLamps(*w.UnitBitsWindow()), lit);
    }

    void lampsFollowTheModel() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        for (quint32 bits : {0x80000003u, 0x12345678u, 0u}) {
            rig->model.SetInputBits(1, bits);
            QVERIFY(NextTick(w));
            QCOMPARE(LitLamps(*w.UnitBitsWindow()), bits);
        }
    }

    void wrongBitCountKeepsTheLamps_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("31") << QByteArray(31, '1');
        QTest::newRow("33") << QByteArray(33, '1');
        QTest::newRow("none") << QByteArray("ERR");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("255") << QByteArray(255, '1');
        QTest::newRow("300 grouped") << QByteArray("0101 ").repeated(60);
        QTest::newRow("100 KB") << QByteArray(100 * 1024, '1');
    }
    void wrongBitCountKeepsTheLamps() {
        QFETCH(QByteArray, reply);
        MainRig& rig = Watching();
        frmKavroMain& w = *rig.window;
        rig.model.SetInputBits(1, 0xF000000Fu);
        QVERIFY(NextTick(w));
        frmUnitBits& u = *w.UnitBitsWindow();
        QCOMPARE(LitLamps(u), 0xF000000Fu);

        AnswerBits(rig, reply);
        rig.model.SetInputBits(1, 0x3);  // would show in the status line
        QVERIFY(NextTick(w));
        QCOMPARE(LitLamps(u), 0xF000000Fu);
        QCOMPARE(rig.model.Log().mid(rig.model.Log().size() - 2),
                 (QStringList{"BITS 1", "GSTAT 1"}));
        QVERIFY(u.lblStatus->text().contains(QStringLiteral("IN 0002")));
        QVERIFY(MonitorOn(w));
    }

    void spinnerPicksEnabledUnitsInOrder_data() {
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("steps");      // + up, - down
        QTest::addColumn<QStringList>("shown");  // lblWatchUnit after each step
        QTest::newRow("three units") << "2,5,9"
                                     << "+++---" << QStringList{"5", "9", "9", "5", "2", "2"};
        QTest::newRow("down first stays") << "7,3"
                                          << "-+-" << QStringList{"7", "3", "7"};
        QTest::newRow("one unit") << "4"
                                  << "+-" << QStringList{"4", "4"};
        QTest::newRow("negative and zero") << "-3,0,12"
                                           << "++-" << QStringList{"0", "12", "0"};
    }
    void spinnerPicksEnabledUnitsInOrder() {
        QFETCH(QString, units);
        QFETCH(QString, steps);
        QFETCH(QStringList, shown);
        auto rig = Online(units);
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        frmUnitBits& u = *w.UnitBitsWindow();
        QCOMPARE(u.UpDown1->Min(), 1);
        QCOMPARE(u.UpDown1->Max(), w.Session().Installation().Enabled().EnabledUnitCount);
        w.Diag().tmrInputStatus.stop();  // ticks would mix their polls into the log
        rig->TakeLog();
        u.activateWindow();  // as a click on the status window does under a window manager
        QTRY_VERIFY(u.isActiveWindow());
        for (int i = 0; i < steps.size(); ++i) {
            const int before = u.UpDown1->Value();
            QToolButton* arrow = steps[i] == u'+' ? u.UpDown1->up : u.UpDown1->down;
            QTest::mouseClick(arrow, Qt::LeftButton);  // a disabled arrow takes no click
            QCOMPARE(u.lblWatchUnit->text(), shown[i]);
            if (u.UpDown1->Value() == before) {
                QVERIFY(rig->TakeLog().isEmpty());  // at a limit: nothing moves
                continue;
            }
            // A move asks for the new unit's status and hands the keyboard back.
            QCOMPARE(rig->TakeLog(), QStringList{"GSTAT " + shown[i]});
            QTRY_VERIFY(w.isActiveWindow());
            QCOMPARE(QApplication::focusWidget(), w.Face().List1);
        }
        // The tick polls the unit shown.
        w.Diag().tmrInputStatus.start();
        QVERIFY(NextTick(w));
        QCOMPARE(rig->TakeLog(), (QStringList{"BITS " + shown.last(), "GSTAT " + shown.last()}));
    }

    void spinnerKeys() {
        auto rig = Online(QStringLiteral("6,8"));
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        frmUnitBits& u = *w.UnitBitsWindow();
        QTest::keyClick(u.UpDown1, Qt::Key_Up);
        QCOMPARE(u.lblWatchUnit->text(), QStringLiteral("8"));
        QTest::keyClick(u.UpDown1, Qt::Key_Down);
        QCOMPARE(u.lblWatchUnit->text(), QStringLiteral("6"));
    }

    void noEnabledUnitsLeavesNothingToPick() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        frmUnitBits& u = *w.UnitBitsWindow();
        u.Load(u.pos(), EnabledUnits{});  // as before the configuration was parsed
        QCOMPARE(u.UpDown1->Max(), 0);
        QVERIFY(!u.UpDown1->up->isEnabled() && !u.UpDown1->down->isEnabled());
        QVERIFY(!u.UpDown1->StepUp() && !u.UpDown1->StepDown());
        QTest::keyClick(u.UpDown1, Qt::Key_Up);
        QCOMPARE(u.lblWatchUnit->text(), QStringLiteral("1"));
        rig->TakeLog();
        QVERIFY(NextTick(w));
        QCOMPARE(rig->TakeLog(), (QStringList{"BITS 1", "GSTAT 1"}));
    }

    void switchingOff_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("unloaded");
        QTest::newRow("Check1") << "check" << false;
        QTest::newRow("Close Window") << "button" << false;
        QTest::newRow("window frame") << "frame" << true;
    }
    void switchingOff() {
        QFETCH(QString, how);
        QFETCH(bool, unloaded);
        auto rig = Online(QStringLiteral("3,4"));
        frmKavroMain& w = *rig->window;
        rig->model.SetInputBits(4, 0x1);
        ClickCheck1(w);
        QPointer<frmUnitBits> first = w.UnitBitsWindow();
        QTest::mouseClick(first->UpDown1->up, Qt::LeftButton);
        QCOMPARE(first->lblWatchUnit->text(), QStringLiteral("4"));
        QVERIFY(NextTick(w));
        QCOMPARE(LitLamps(*first), 0x1u);

        if (how == "check")
            ClickCheck1(w);
        else if (how == "button")
            QTest::mouseClick(first->cmdClose, Qt::LeftButton);
        else
            QVERIFY(first->close());
        QVERIFY(MonitorOff(w));
        QCOMPARE(w.focusWidget(), w.Face().List1);
        rig->TakeLog();
        WaitIntervals(w);
        QVERIFY(rig->TakeLog().isEmpty());  // no more polls
        QCOMPARE(first.isNull(), unloaded);

        // Switching on again: a hidden window comes back as it was; an unloaded one is built
        // anew, watching the first enabled unit and asking for its status first.
        ClickCheck1(w);
        QVERIFY(MonitorOn(w));
        frmUnitBits& again = *w.UnitBitsWindow();
        QCOMPARE(&again == first.data(), !unloaded);
        QCOMPARE(again.lblWatchUnit->text(), unloaded ? QStringLiteral("3") : QStringLiteral("4"));
        QCOMPARE(LitLamps(again), unloaded ? 0u : 0x1u);
        QCOMPARE(again.UpDown1->Value(), unloaded ? 1 : 2);
        QCOMPARE(rig->TakeLog(), unloaded ? QStringList{"GSTAT 3"} : QStringList{});
        QVERIFY(NextTick(w));
        const QString unit = again.lblWatchUnit->text();
        QCOMPARE(rig->TakeLog(), (QStringList{"BITS " + unit, "GSTAT " + unit}));
    }

    void frameCloseAndSwitchOnBeforeTheDeleteRuns() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        QPointer<frmUnitBits> first = w.UnitBitsWindow();
        first->close();
        ClickCheck1(w);  // the closed window has not been deleted yet
        QVERIFY(w.UnitBitsWindow() != first.data());
        QTRY_VERIFY(first.isNull());
        QVERIFY(MonitorOn(w));
    }

    void goingOfflineKeepsPolling() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        QCOMPARE(w.Face().cmdOnline->text(), QStringLiteral("OFFLINE"));
        QVERIFY(MonitorOn(w));
        rig->TakeLog();
        QVERIFY(NextTick(w));
        QCOMPARE(rig->TakeLog(), (QStringList{"BITS 1", "GSTAT 1"}));
        // "Close Window" still switches it off.
        QTest::mouseClick(w.UnitBitsWindow()->cmdClose, Qt::LeftButton);
        QVERIFY(MonitorOff(w));
    }

    void mainWindowClosingUnloadsTheMonitor() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ClickCheck1(w);
        QPointer<frmUnitBits> u = w.UnitBitsWindow();
        QVERIFY(w.close());
        QVERIFY(u.isNull());
        QVERIFY(!w.Diag().tmrInputStatus.isActive());
        QVERIFY(!w.Face().Check1->isChecked());
        rig->window.reset();  // the destructor finds nothing left to unload
    }

    void slowTicksDoNotRunBackToBack() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ModelPort& port = Port(*rig);
        // Each exchange outlasts the interval: a tick takes four intervals.
        const int interval = w.Diag().tmrInputStatus.interval();
        const int delay = 2 * interval;
        ClickCheck1(w);
        port.delayMs = delay;
        QVERIFY(NextTick(w));
        QList<qint64> sentAt;
        QElapsedTimer clock;
        clock.start();
        port.onWrite = [&](const QByteArray&) { sentAt.append(clock.elapsed()); };
        for (int i = 0; i < 3; ++i)
            QVERIFY(NextTick(w));
        port.delayMs = 0;
        port.onWrite = nullptr;
        QCOMPARE(sentAt.size(), 6);  // BITS, GSTAT per tick
        // The next tick waits a whole interval after the end of the last (the timer may fire
        // a little early; back to back would be no gap at all).
        for (int i = 2; i < sentAt.size(); i += 2) {
            const qint64 tickEnded = sentAt[i - 1] + delay;
            QVERIFY2(sentAt[i] - tickEnded >= interval * 3 / 4,
                     qPrintable(QStringLiteral("tick %1 came %2 ms after the last ended")
                                    .arg(i / 2)
                                    .arg(sentAt[i] - tickEnded)));
        }
    }

    void silentControllerCanBeSwitchedOffBetweenTicks() {
        auto rig = Online();
        frmKavroMain& w = *rig->window;
        ModelPort& port = Port(*rig);
        rig->model.SetInputBits(1, 0x80000001u);
        ClickCheck1(w);
        QVERIFY(NextTick(w));
        frmUnitBits& u = *w.UnitBitsWindow();
        QCOMPARE(LitLamps(u), 0x80000001u);

        rig->model.SetFault(SimFault::Silent);
        constexpr int kDeadlineMs = 40;  // each silent exchange waits this long
        w.Session().Link().SetDeadlineMs(kDeadlineMs);
        rig->dialogs.beeps = 0;
        rig->TakeLog();
        // The operator clicks "Unit Status" while the first silent poll waits; the click is
        // handled once the tick is over.
        port.onWrite = [&w](const QByteArray& bytes) {
            if (!bytes.startsWith("BITS")) return;
            const QPointF at(10, w.Face().Check1->height() / 2);
            QCoreApplication::postEvent(
                w.Face().Check1,
                new QMouseEvent(QEvent::MouseButtonPress, at, w.Face().Check1->mapToGlobal(at),
                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                w.Face().Check1,
                new QMouseEvent(QEvent::MouseButtonRelease, at, w.Face().Check1->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        };
        const qint64 before = port.Now();
        QVERIFY(NextTick(w, 1000));
        QCOMPARE(port.Now() - before, qint64(2 * kDeadlineMs));  // two time-outs on the line
        port.onWrite = nullptr;
        QCOMPARE(rig->dialogs.beeps, 2);
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(LitLamps(u), 0x80000001u);
        QCOMPARE(u.lblStatus->text(), QString());
        QTRY_VERIFY(MonitorOff(w));
        WaitIntervals(w);
        QCOMPARE(rig->TakeLog(), (QStringList{"BITS 1", "GSTAT 1"}));
    }

    void lampGrid_data() {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("1") << 1 << QRect(450, 360, 150, 390);
        QTest::newRow("5") << 5 << QRect(1290, 360, 150, 390);
        QTest::newRow("16") << 16 << QRect(1830, 1050, 150, 390);
        QTest::newRow("17 shifted") << 17 << QRect(465, 1740, 150, 390);
        QTest::newRow("32 shifted") << 32 << QRect(1845, 2430, 150, 390);
    }
    void lampGrid() {
        QFETCH(int, lamp);
        QFETCH(QRect, twips);
        const frmUnitBits& u = *Watching().window->UnitBitsWindow();
        const QRect px(Px(twips.x()), Px(twips.y()), Px(twips.width()), Px(twips.height()));
        QCOMPARE(u.Shape3(lamp)->geometry(), px);
        // Every bit number stands over its own lamp.
        QStringList numbers;
        for (int i = 0; i < 16; ++i) {
            const QLabel* label = u.Label1(i);
            numbers << label->text();
            const Lamp* under = u.Shape3(label->text().toInt());
            QVERIFY(label->geometry().bottom() < under->geometry().top());
            QVERIFY(qAbs(label->geometry().center().x() - under->geometry().center().x()) <= 1);
        }
        QCOMPARE(numbers.join(u' '), QStringLiteral("1 4 5 8 9 12 13 16 17 20 21 24 25 28 29 32"));
    }
};

QTEST_MAIN(TestUnitMonitor)
#include "test_unit_monitor.moc"
