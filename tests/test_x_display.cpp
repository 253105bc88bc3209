// The real program on a virtual X display with a window manager, against tally-sim on a
// pseudo-terminal, driven by synthetic mouse and key events as an operator's hand would. Skipped
// where Xvfb, openbox or xdotool are missing.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "support/main_rig.h"
#include "support/sim_process.h"
#include "support/test_files.h"

using namespace vendra;

namespace {

// Every wait is bounded; these are far above what a loaded machine needs.
constexpr int kWaitMs = 15000;

// Places on the main window, in pixels from its top-left corner.
const QPoint kEntryBox(451, 117);
const QPoint kCloseButton(506, 60);
const QPoint kTestButton(90, 423);
const QPoint kBesideTestButton(45, 423);
const QPoint kOnlineButton(308, 92);
const QPoint kFirstOutputRow(120, 140);
const QPoint kUnitStatusBox(78, 459);
const QPoint kLoadButton(432, 503);
const QPoint kSaveButton(495, 503);
const QPoint kLatchBox(135, 423);
const QPoint kBody(133, 93);
const QPoint kRefreshButton(300, 481);
// The output list's rows across, right of the names.
constexpr int kListLeft = 104;
constexpr int kListWidth = 180;

}  // namespace

class TestXDisplay : public QObject {
    Q_OBJECT

    QProcess xvfb_;
    QProcess openbox_;
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QStringList locksBefore_;

    // Runs xdotool to its end; its output, trimmed.
    QString XDo(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(kWaitMs)) {
            p.kill();
            p.waitForFinished();
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    QString Window(const QString& title) {
        return XDo({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')})
            .section(QLatin1Char('\n'), 0, 0);
    }
    bool WaitActive(const QString& window) {
        return QTest::qWaitFor([&] { return XDo({QStringLiteral("getactivewindow")}) == window; },
                               kWaitMs);
    }
    // Moves the pointer to `at` on the window, then does `then` (e.g. "click 1").
    void Pointer(const QString& window, QPoint at, const QStringList& then = {}) {
        XDo(QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                        QString::number(at.x()), QString::number(at.y())} +
            then);
    }
    void Click(const QString& window, QPoint at) {
        Pointer(window, at, {QStringLiteral("click"), QStringLiteral("1")});
    }

    // The program copied into a program folder of its own with a Kavro.ini for the sim's link
    // (it reads the file beside itself), started on the display.
    struct Console {
        QTemporaryDir folder;
        QProcess process;
        QString window;
        // A check that failed leaves the program running: ended as the system would end it,
        // it frees its line and its locks.
        ~Console() {
            if (process.state() == QProcess::NotRunning) return;
            process.terminate();
            if (!process.waitForFinished(kWaitMs)) process.kill();
            process.waitForFinished();
        }
    };
    bool Launch(Console& c, const SimProcess& sim, int outputs, int inputs,
                const QString& units = QStringLiteral("1,2"), const QString& extra = {}) {
        return LaunchOn(c, sim.LinkPath(), outputs, inputs, units, extra);
    }
    bool LaunchOn(Console& c, const QString& device, int outputs, int inputs,
                  const QString& units = QStringLiteral("1,2"), const QString& extra = {}) {
        const QString binary = c.folder.filePath(QStringLiteral("vendra"));
        if (!QFile::copy(QStringLiteral(VENDRA_BINARY), binary)) return false;
        QString ini =
            SampleIni(outputs, inputs, QStringLiteral("CommDevice=%1\r\n").arg(device) + extra);
        ini.replace(QStringLiteral("EnabledUnits=1,2"), QStringLiteral("EnabledUnits=") + units);
        Put(c.folder.filePath(QStringLiteral("Kavro.ini")), ini.toLatin1());
        QProcessEnvironment env = env_;
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
        c.process.setProcessEnvironment(env);
        c.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        c.process.start(binary, QStringList());
        return c.process.waitForStarted(kWaitMs) &&
               QTest::qWaitFor(
                   [&] { return !(c.window = Window(QStringLiteral("Vendra"))).isEmpty(); },
                   kWaitMs);
    }
    // Waits for the box or dialog titled `title` to be active, types `keys` into it and Enter.
    // A dialog can be active a moment before its field takes keys: what is typed then is lost,
    // so the field is emptied and the keys typed again while the dialog stays.
    bool Answer(const QString& title, const QStringList& keys, int appearMs = kWaitMs) {
        QString box;
        if (!QTest::qWaitFor([&] { return !(box = Window(title)).isEmpty(); }, appearMs))
            return false;
        for (int attempt = 0; attempt < 5; ++attempt) {
            // Keys go only to the dialog: once it has gone, they would reach the main window.
            if (Window(title).isEmpty()) return true;
            if (!WaitActive(box)) return false;
            XDo({QStringLiteral("key"), QStringLiteral("ctrl+a")});
            XDo(keys);
            XDo({QStringLiteral("key"), QStringLiteral("Return")});
            if (QTest::qWaitFor([&] { return Window(title).isEmpty(); }, kWaitMs / 5)) return true;
        }
        return false;
    }
    // Where the window stands on the screen, and the centre of a box.
    QRect Geometry(const QString& window) {
        QRect r;
        for (const QString& line :
             XDo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})
                 .split(QLatin1Char('\n'))) {
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QLatin1String("X="))) r.moveLeft(value.toInt());
            if (line.startsWith(QLatin1String("Y="))) r.moveTop(value.toInt());
            if (line.startsWith(QLatin1String("WIDTH="))) r.setWidth(value.toInt());
            if (line.startsWith(QLatin1String("HEIGHT="))) r.setHeight(value.toInt());
        }
        return r;
    }
    // The pixels of one line across the output list at `y`, as ImageMagick lists them (one
    // "#RRGGBB" a pixel).
    QString RowPixels(const QString& window, int y) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(QStringLiteral("import"),
                {QStringLiteral("-window"), window, QStringLiteral("-crop"),
                 QStringLiteral("%1x1+%2+%3").arg(kListWidth).arg(kListLeft).arg(y),
                 QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("txt:-")});
        if (!p.waitForFinished(kWaitMs)) {
            p.kill();
            p.waitForFinished();
        }
        return QString::fromLatin1(p.readAllStandardOutput());
    }
    // tally-sim at 9600 baud holding `entries` mappings, output n to input n % inputs + 1: a
    // read-back long enough to act during.
    bool StartSlowTable(SimProcess& sim, int entries, int inputs) {
        const QString table = sim.FilePath(QStringLiteral("table.vdk"));
        QByteArray lines;
        for (int n = 1; n <= entries; ++n)
            lines += QStringLiteral("[1][%1][2][%2][1][0][0][0]\r\n")
                         .arg(n)
                         .arg(n % inputs + 1)
                         .toLatin1();
        return Put(table, lines) && sim.Start({QStringLiteral("--preload"), table,
                                               QStringLiteral("--baud"), QStringLiteral("9600")});
    }
    bool WaitForLine(const SimProcess& sim, const QString& line) {
        return QTest::qWaitFor([&] { return sim.LogLines().contains(line); }, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase() {
        locksBefore_ = LineLocksLeft();
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        QVERIFY(dir_.isValid());  // owner only: the console's runtime folder
        // Xvfb picks a free display and names it once it listens.
        xvfb_.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QVERIFY(QTest::qWaitFor([&] { return xvfb_.canReadLine(); }, kWaitMs));
        const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb_.readLine()).trimmed();
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("DISPLAY"), display);
        const QString ready = dir_.filePath(QStringLiteral("wm-ready"));
        openbox_.setProcessEnvironment(env_);
        openbox_.start(QStringLiteral("openbox"),
                       {QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                        QStringLiteral("touch ") + ready});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(ready); }, kWaitMs));
    }

    void cleanupTestCase() {
        for (QProcess* p : {&openbox_, &xvfb_}) {
            p->terminate();
            if (!p->waitForFinished(kWaitMs)) p->kill();
        }
        // However each console ended ("X", the window manager's close, a port that never
        // opened), none left a line's lock behind.
        QCOMPARE(LineLocksLeft(), locksBefore_);
    }

    void entryErrorThenEnterAndTheHeldTestButton() {
        SimProcess sim;
        QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 4, 24));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 1")));  // started and online
        QVERIFY(WaitActive(c.window));
        const qsizetype started = sim.LogLines().size();

        // 30 is above the 24 inputs: "Entry Error", OK, and Enter maps input 24.
        Click(c.window, kEntryBox);
        XDo({QStringLiteral("type"), QStringLiteral("30")});
        QString box;
        QVERIFY(QTest::qWaitFor(
            [&] { return !(box = Window(QStringLiteral("Entry Error"))).isEmpty(); }, kWaitMs));
        QVERIFY(WaitActive(box));
        XDo({QStringLiteral("key"), QStringLiteral("Return")});
        QVERIFY(WaitActive(c.window));
        XDo({QStringLiteral("key"), QStringLiteral("Return")});
        QVERIFY(QTest::qWaitFor([&] { return sim.LogLines().size() > started; }, kWaitMs));
        QCOMPARE(sim.LogLines().mid(started), QStringList{"Map 1 1 2 24"});

        // "Test" held while the pointer slides off it and back, let go beside it.
        Pointer(c.window, kTestButton, {QStringLiteral("mousedown"), QStringLiteral("1")});
        QVERIFY(WaitForLine(sim, QStringLiteral("Set 1  2")));
        Pointer(c.window, kBesideTestButton);
        Pointer(c.window, kTestButton);
        Pointer(c.window, kBesideTestButton, {QStringLiteral("mouseup"), QStringLiteral("1")});
        // "X" comes after everything above, so the log is whole once the program has ended.
        Click(c.window, kCloseButton);
        QVERIFY(c.process.waitForFinished(kWaitMs));
        QCOMPARE(
            sim.LogLines().mid(started + 1),
            (QStringList{"GetMap 1  2", "mapdisab 1  2", "Set 1  2", "Res 1  2", "MapEnab 1  2"}));
    }

    void monitorWatchesTheEnabledUnitAndASavedSpareLoadsAgain() {
        SimProcess sim;
        QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 4, 8, QStringLiteral("3"), QStringLiteral("Output 5=Spare\r\n")));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 1")));
        QVERIFY(WaitActive(c.window));

        // The only enabled unit is the one watched.
        Click(c.window, kUnitStatusBox);
        QVERIFY(WaitForLine(sim, QStringLiteral("BITS 3")));
        Click(c.window, kUnitStatusBox);
        QVERIFY(WaitActive(c.window));
        QVERIFY(sim.LogLines()
                    .filter(QRegularExpression(QStringLiteral("^(BITS|GSTAT) 1$")))
                    .isEmpty());

        // Offline, the Spare output (the last row) mapped to input 2, saved, loaded again.
        Click(c.window, kOnlineButton);
        Click(c.window, kFirstOutputRow);
        XDo({QStringLiteral("key"), QStringLiteral("End")});
        Click(c.window, kEntryBox);
        XDo({QStringLiteral("type"), QStringLiteral("2")});
        XDo({QStringLiteral("key"), QStringLiteral("Return")});
        const QString saved = dir_.filePath(QStringLiteral("spare.vdk"));
        const QString again = dir_.filePath(QStringLiteral("again.vdk"));
        const QStringList typePath{QStringLiteral("type"), QStringLiteral("--delay"),
                                   QStringLiteral("5")};
        // A click made while the console still finishes the last step may come too early for
        // it: the dialog that does not appear is asked for again.
        auto save = [&](const QString& path) {
            for (int attempt = 0; attempt < 3; ++attempt) {
                if (!WaitActive(c.window)) return false;
                Click(c.window, kSaveButton);
                if (Answer(QStringLiteral("Save Tally Matrix to File"),
                           typePath + QStringList{path}, kWaitMs / 3))
                    return QTest::qWaitFor([&] { return QFile::exists(path); }, kWaitMs);
            }
            return false;
        };
        QVERIFY(save(saved));
        QCOMPARE(Contents(saved), QByteArray("[0][0][2][2][1][0][0][0]\r\n"));
        Click(c.window, kLoadButton);
        QVERIFY(Answer(QStringLiteral("Open Tally file and upload to matrix"),
                       typePath + QStringList{saved}));
        QVERIFY(WaitActive(c.window));  // no "File Error" or other box stands over it
        QVERIFY(save(again));
        QCOMPARE(Contents(again), Contents(saved));
        Click(c.window, kCloseButton);
        QVERIFY(c.process.waitForFinished(kWaitMs));
    }

    // What a hand does with the mouse and the keyboard acts once and ends on its own release:
    // a move by any button, a left click handled late (behind a silent controller), the
    // held Space with the server's key repeat, a right press on "Latch"; the first boxes open
    // over the window.
    void handsActOnceAndEndOnTheirRelease_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("left drag on the body") << "drag 1";
        QTest::newRow("right drag on the body") << "drag 3";
        QTest::newRow("middle drag on the body") << "drag 2";
        QTest::newRow("left click on the body while the controller is silent") << "late click";
        QTest::newRow("Space held in the output list, three times") << "hold Space";
        QTest::newRow("right presses on Latch") << "right Latch";
        QTest::newRow("Port Conflict at start-up") << "no port";
    }
    void handsActOnceAndEndOnTheirRelease() {
        QFETCH(QString, action);
        const QStringList mouse{QStringLiteral("mousemove_relative"), QStringLiteral("--")};
        Console c;
        if (action == QLatin1String("no port")) {
            QVERIFY(LaunchOn(c, dir_.filePath(QStringLiteral("no-such-device")), 4, 8));
            const QRect main = Geometry(c.window);
            // The boxes of a start-up without a port stand centred over the window.
            for (const char* title :
                 {"Port Conflict", "Communication Error", "Communication Error"}) {
                QString box;
                QVERIFY(QTest::qWaitFor(
                    [&] { return !(box = Window(QLatin1String(title))).isEmpty(); }, kWaitMs));
                const QPoint off = Geometry(box).center() - main.center();
                QVERIFY2(off.manhattanLength() < 40,
                         qPrintable(QStringLiteral("%1 is %2,%3 off the window's centre")
                                        .arg(QLatin1String(title))
                                        .arg(off.x())
                                        .arg(off.y())));
                QVERIFY(WaitActive(box));
                XDo({QStringLiteral("key"), QStringLiteral("Escape")});  // OK; No: offline
                QVERIFY(
                    QTest::qWaitFor([&] { return Window(QLatin1String(title)) != box; }, kWaitMs));
            }
            Click(c.window, kCloseButton);
            QVERIFY(c.process.waitForFinished(kWaitMs));
            return;
        }
        SimProcess sim;
        // Silent after the start-up: two probes (with the blank lines before them), "Comp" and
        // the read-back's first entry.
        const bool silent = action == QLatin1String("late click");
        QVERIFY2(
            sim.Start(silent ? QStringList{QStringLiteral("--silent-after"), QStringLiteral("9")}
                             : QStringList()),
            qPrintable(sim.ErrorText()));
        QVERIFY(Launch(c, sim, 4, 8));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 1")));
        QVERIFY(WaitActive(c.window));
        const qsizetype started = sim.LogLines().size();
        if (silent) QCOMPARE(started, 9);
        auto sent = [&](const QString& word) {
            return sim.LogLines()
                .mid(started)
                .filter(QRegularExpression(QStringLiteral("^%1 ").arg(word)))
                .size();
        };

        if (action.startsWith(QLatin1String("drag")) || silent) {
            const QPoint before = Geometry(c.window).topLeft();
            if (silent) {
                // "Map" waits 2 s for an answer that never comes; the click lies in that wait.
                Click(c.window, kEntryBox);
                XDo({QStringLiteral("type"), QStringLiteral("1")});
                XDo({QStringLiteral("key"), QStringLiteral("Return")});
                Click(c.window, kBody);
                QVERIFY(QTest::qWaitFor([&] { return sent(QStringLiteral("Map")) == 1; }, kWaitMs));
                QTest::qWait(2500);  // the wait is over and the click has been handled
            } else {
                const QString button = action.section(QLatin1Char(' '), 1);
                Pointer(c.window, kBody, {QStringLiteral("mousedown"), button});
                XDo(mouse + QStringList{QStringLiteral("40"), QStringLiteral("30")});
                XDo({QStringLiteral("mouseup"), button});
                QVERIFY(QTest::qWaitFor(
                    [&] { return Geometry(c.window).topLeft() == before + QPoint(40, 30); },
                    kWaitMs));
            }
            // With every button up, the pointer goes its way and the window stays.
            const QPoint released = Geometry(c.window).topLeft();
            XDo(mouse + QStringList{QStringLiteral("60"), QStringLiteral("50")});
            QTest::qWait(500);
            QCOMPARE(Geometry(c.window).topLeft(), released);
        } else if (action == QLatin1String("hold Space")) {
            Click(c.window, kFirstOutputRow);
            for (int held = 1; held <= 3; ++held) {
                XDo({QStringLiteral("keydown"), QStringLiteral("space")});
                QTest::qWait(1500);
                XDo({QStringLiteral("keyup"), QStringLiteral("space")});
                QVERIFY(QTest::qWaitFor([&] { return sent(QStringLiteral("MapEnab")) == held; },
                                        kWaitMs));
                QTest::qWait(300);  // a test that went on again would have sent by now
                QCOMPARE(sent(QStringLiteral("Set")), held);
                QCOMPARE(sent(QStringLiteral("Res")), held);
            }
        } else {
            Pointer(c.window, kLatchBox, {QStringLiteral("click"), QStringLiteral("3")});
            QVERIFY(WaitForLine(sim, QStringLiteral("Set 1  1")));
            Pointer(c.window, kLatchBox, {QStringLiteral("click"), QStringLiteral("3")});
            QVERIFY(WaitForLine(sim, QStringLiteral("MapEnab 1  1")));
            QCOMPARE(sim.LogLines().mid(started),
                     (QStringList{"GetMap 1  1", "mapdisab 1  1", "Set 1  1", "Res 1  1",
                                  "MapEnab 1  1"}));
        }
        Click(c.window, kCloseButton);
        QVERIFY(c.process.waitForFinished(kWaitMs));
    }

    void closeDuringTheStartUpReadBackEndsAtOnce_data() {
        QTest::addColumn<bool>("byWindowManager");
        QTest::newRow("X") << false;
        QTest::newRow("Alt+F4, the window manager's close") << true;
    }
    void closeDuringTheStartUpReadBackEndsAtOnce() {
        QFETCH(bool, byWindowManager);
        SimProcess sim;
        QVERIFY2(StartSlowTable(sim, 300, 24), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 300, 24));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 5")));
        QElapsedTimer ended;
        ended.start();
        if (byWindowManager) {
            QVERIFY(WaitActive(c.window));
            XDo({QStringLiteral("key"), QStringLiteral("alt+F4")});
        } else {
            Click(c.window, kCloseButton);
        }
        QVERIFY(c.process.waitForFinished(kWaitMs));
        qInfo("the program ended %lld ms after the click", static_cast<long long>(ended.elapsed()));
        QCOMPARE(c.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(c.process.exitCode(), 0);
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("vendra.lock"))));
        // The read-back stopped where it stood: most entries were never asked for.
        QVERIFY(sim.LogLines().filter(QStringLiteral("RawMap")).size() < 100);
    }

    // A test latched when the window closes is ended on the way out, however it closes: no
    // lamp stays forced on behind a console that is gone.
    void aLatchedTestEndsWhenTheWindowCloses_data() {
        QTest::addColumn<bool>("byWindowManager");
        QTest::newRow("X") << false;
        QTest::newRow("Alt+F4, the window manager's close") << true;
    }
    void aLatchedTestEndsWhenTheWindowCloses() {
        QFETCH(bool, byWindowManager);
        SimProcess sim;
        QVERIFY2(sim.Start(), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 4, 8));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 1")));
        QVERIFY(WaitActive(c.window));
        const qsizetype started = sim.LogLines().size();
        Click(c.window, kLatchBox);
        QVERIFY(WaitForLine(sim, QStringLiteral("Set 1  1")));
        if (byWindowManager) {
            QVERIFY(WaitActive(c.window));
            XDo({QStringLiteral("key"), QStringLiteral("alt+F4")});
        } else {
            Click(c.window, kCloseButton);
        }
        QVERIFY(c.process.waitForFinished(kWaitMs));
        QCOMPARE(c.process.exitCode(), 0);
        QCOMPARE(
            sim.LogLines().mid(started),
            (QStringList{"GetMap 1  1", "mapdisab 1  1", "Set 1  1", "Res 1  1", "MapEnab 1  1"}));
    }

    // "Refresh" clicked holds the keyboard and goes grey while its read-back holds the line. The
    // keys wait on the output list meanwhile (not on the next control, which may be "X"), so a
    // Space or Enter typed then starts nothing and ends nothing.
    void keysTypedOnAGreyedControlWaitOnTheOutputList() {
        SimProcess sim;
        QVERIFY2(StartSlowTable(sim, 40, 8), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 40, 8));
        const auto readBacks = [&] { return sim.LogLines().count(QStringLiteral("RawMap 41")); };
        QVERIFY(QTest::qWaitFor([&] { return readBacks() == 1; }, kWaitMs));
        QVERIFY(WaitActive(c.window));

        Click(c.window, kRefreshButton);
        QVERIFY(QTest::qWaitFor(
            [&] { return sim.LogLines().count(QStringLiteral("RawMap 5")) == 2; }, kWaitMs));
        XDo({QStringLiteral("key"), QStringLiteral("space"), QStringLiteral("Return"),
             QStringLiteral("space")});
        QVERIFY(QTest::qWaitFor([&] { return readBacks() == 2; }, kWaitMs));
        QCOMPARE(c.process.state(), QProcess::Running);
        QVERIFY(sim.LogLines()
                    .filter(QRegularExpression(QStringLiteral("^(GetMap|mapdisab|Set|Map) ")))
                    .isEmpty());

        // Once the read-back has ended the keys are the output list's: Down, then a Space tap
        // tests the second output.
        QVERIFY(WaitActive(c.window));
        XDo({QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("space")});
        QVERIFY(WaitForLine(sim, QStringLiteral("MapEnab 1  2")));
        Click(c.window, kCloseButton);
        QVERIFY(c.process.waitForFinished(kWaitMs));
    }

    // Space tapped on the first output and Down right behind it, as a quick hand does: the
    // test began on output 1 and ends there, and its row does not stay red.
    void aQuickSpaceTapEndsTheTestOfItsOwnOutput_data() {
        QTest::addColumn<QStringList>("line");
        QTest::addColumn<QString>("gap");  // seconds between the tap and Down
        QTest::newRow("Down at once") << QStringList() << QString();
        QTest::newRow("9600 baud, Down 30 ms later")
            << QStringList{QStringLiteral("--baud"), QStringLiteral("9600")}
            << QStringLiteral("0.03");
    }
    void aQuickSpaceTapEndsTheTestOfItsOwnOutput() {
        QFETCH(QStringList, line);
        QFETCH(QString, gap);
        SimProcess sim;
        QVERIFY2(sim.Start(line), qPrintable(sim.ErrorText()));
        Console c;
        QVERIFY(Launch(c, sim, 4, 8));
        QVERIFY(WaitForLine(sim, QStringLiteral("RawMap 1")));
        QVERIFY(WaitActive(c.window));
        Click(c.window, kFirstOutputRow);
        QStringList keys{QStringLiteral("keydown"), QStringLiteral("space"),
                         QStringLiteral("keyup"), QStringLiteral("space")};
        if (!gap.isEmpty()) keys << QStringLiteral("sleep") << gap;
        XDo(keys + QStringList{QStringLiteral("key"), QStringLiteral("Down")});
        QVERIFY(WaitForLine(sim, QStringLiteral("MapEnab 1  1")));
        QCOMPARE(
            sim.LogLines().filter(
                QRegularExpression(QStringLiteral("^(GetMap|mapdisab|Set|Res|MapEnab) "))),
            (QStringList{"GetMap 1  1", "mapdisab 1  1", "Set 1  1", "Res 1  1", "MapEnab 1  1"}));
        // The first row, no longer selected, shows the list's own colour again.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QString row = RowPixels(c.window, kFirstOutputRow.y());
                return !row.contains(QStringLiteral("#FF0000")) &&
                       row.contains(QStringLiteral("#5252A9"));
            },
            kWaitMs));
        Click(c.window, kCloseButton);
        QVERIFY(c.process.waitForFinished(kWaitMs));
    }
};

QTEST_GUILESS_MAIN(TestXDisplay)
#include "test_x_display.moc"
