// Undo and redo in the console, over a real pseudo-terminal against tally-sim: each takes a
// change back with exactly the commands that mapping the row by hand sends, asks the output
// back, and is journalled; a bulk "Load" is one step; the history window shows it in words.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "changes/journal.h"
#include "changes/live_changes.h"
#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "history/history_window.h"
#include "session/undo_history.h"
#include "support/main_rig.h"
#include "support/session_internals.h"
#include "support/sim_process.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

// Output 3: input 17; output 4: input 3 OR input 7.
const QByteArray kPreload = "[1][3][2][17][1][0][0][0]\r\n[1][4][2][3][1][2][7][2]\r\n";

struct Console {
    SimProcess sim;
    MainRig rig;
    int logged = 0;

    bool Start(const QStringList& simArgs = {}) {
        QFile f(sim.FilePath(QStringLiteral("preload.vdk")));
        if (!f.open(QIODevice::WriteOnly) || f.write(kPreload) != kPreload.size()) return false;
        f.close();
        if (!sim.Start(QStringList{QStringLiteral("--preload"), f.fileName()} + simArgs))
            return false;
        rig.WriteIni(SampleIni(
            8, 20,
            QStringLiteral("CommDevice=%1\r\nJournal=changes.jsonl\r\n").arg(sim.LinkPath())));
        if (!rig.Start(/*realPort=*/true)) return false;
        rig.window->activateWindow();
        return QTest::qWaitForWindowActive(rig.window.get());
    }
    frmKavroMain& W() { return *rig.window; }
    // The lines the sim received since the last call.
    QStringList Sent() {
        QStringList all;
        QTest::qWait(50);
        all = sim.LogLines();
        const QStringList fresh = all.mid(logged);
        logged = int(all.size());
        return fresh;
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods) {
        QTest::keyClick(W().Face().txtInput, key, mods);
    }
    JournalRead Journal() { return ReadJournal(rig.dir.filePath(QStringLiteral("changes.jsonl"))); }
};

}  // namespace

class TestUndoPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void undoAndRedoSendExactlyTheRestoringCommands_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("undone");
        QTest::addColumn<QStringList>("redone");
        QTest::addColumn<QString>("words");
        QTest::newRow("mapping over an OR")
            << 3 << "map 5" << QStringList{"Map 1 4 2 3", "OR 1 4 2 7", "GetMap 1  4"}
            << QStringList{"Map 1 4 2 5", "GetMap 1  4"}
            << "Out 4: In 5 -> In 3 || In 7, verified (undo mapping, ";
        QTest::newRow("AND/OR over a single input")
            << 2 << "and 5 6" << QStringList{"Map 1 3 2 17", "GetMap 1  3"}
            << QStringList{"Map 1 3 2 5", "AND 1 3 2 6", "GetMap 1  3"}
            << "Out 3: In 5 & In 6 -> In 17, verified (undo AND/OR, ";
        QTest::newRow("clear") << 2 << "map 0" << QStringList{"Map 1 3 2 17", "GetMap 1  3"}
                               << QStringList{"Res 1  3", "ClrMap 1  3", "GetMap 1  3"}
                               << "Out 3: unmapped -> In 17, verified (undo clear, ";
    }
    void undoAndRedoSendExactlyTheRestoringCommands() {
        QFETCH(int, row);
        QFETCH(QString, action);
        QFETCH(QStringList, undone);
        QFETCH(QStringList, redone);
        QFETCH(QString, words);
        Console c;
        QVERIFY2(c.Start(), qPrintable(c.sim.ErrorText()));
        frmKavroMain& w = c.W();
        const QString before = c.rig.Row(row);

        // Nothing to undo yet: a note, and nothing sent.
        c.Sent();
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Nothing to undo"));
        QCOMPARE(c.Sent(), QStringList());

        const QStringList a = action.split(u' ');
        w.Face().List1->SetSelectedIndex(row);
        if (a[0] == QStringLiteral("map")) {
            w.Face().txtInput->setText(a[1]);
            QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        } else {
            w.Editor().SetBooleanMode(true);
            w.Face().list2->SetSelectedIndex(a[1].toInt());
            w.Face().list3->SetSelectedIndex(a[2].toInt());
            QTest::mouseClick(w.Face().cmdBoolAnd, Qt::LeftButton);
        }
        const QString after = c.rig.Row(row);
        QVERIFY(after != before);
        c.Sent();

        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(c.Sent(), undone);
        QCOMPARE(c.rig.Row(row), before);
        c.Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(c.Sent(), redone);
        QCOMPARE(c.rig.Row(row), after);
        c.Key(Qt::Key_Y, Qt::ControlModifier);  // nothing left to redo
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Nothing to redo"));
        QCOMPARE(c.Sent(), QStringList());

        // The change, its undo and its redo, one entry each; undo and redo asked back.
        const JournalRead j = c.Journal();
        QCOMPARE(j.Entries.size(), 3);
        QCOMPARE(j.Entries[0].Outcome, outcome::kAnswered);
        QCOMPARE(j.Entries[1].Outcome, outcome::kVerified);
        QCOMPARE(j.Entries[2].Outcome, outcome::kVerified);
        QVERIFY2(EntryInWords(j.Entries[1]).contains(words),
                 qPrintable(EntryInWords(j.Entries[1])));
        QCOMPARE(j.Entries[2].After, j.Entries[0].After);
    }

    void anUndoTheControllerDoesNotTakeIsSaidJournalledAndStays() {
        Console c;
        // The controller answers the restoring "Map" with an error and keeps what it holds.
        QVERIFY2(c.Start({QStringLiteral("--refuse"), QStringLiteral("Map 1 3 2 17")}),
                 qPrintable(c.sim.ErrorText()));
        frmKavroMain& w = c.W();
        w.Face().List1->SetSelectedIndex(2);
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.Face().lblError->text(),
                 QStringLiteral("Undo \"mapping\" incomplete: 1 output of 1 not as before"));
        QCOMPARE(c.rig.Row(2), QStringLiteral("Out 3\t 5\t\t"));  // what the controller holds
        QCOMPARE(c.Journal().Entries.last().Outcome, outcome::kRefused);
        c.Key(Qt::Key_Y, Qt::ControlModifier);  // the step was not taken back: nothing to redo
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Nothing to redo"));
        QVERIFY(SessionInternals::CanUndo(w.Session()));
    }

    // The overview asks unit 2 for its bits several times a second; the operator's note and
    // undo's outcome must stay readable through those exchanges.
    void aNoteOutlivesTheOverviewsPoll() {
        Console c;
        QVERIFY2(c.Start(), qPrintable(c.sim.ErrorText()));
        frmKavroMain& w = c.W();
        for (QAction* a : w.actions())
            if (a->shortcut() == QKeySequence(QStringLiteral("Ctrl+Shift+O"))) a->trigger();
        QVERIFY(w.Session().Inputs().Polling());
        w.activateWindow();  // back to the main window, the overview beside it
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto pollsPass = [&c] {
            const qsizetype from = c.sim.LogLines().size();
            return QTest::qWaitFor(
                [&] {
                    return c.sim.LogLines().mid(from).filter(QStringLiteral("BITS")).size() >= 3;
                },
                5000);
        };
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(pollsPass());
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Nothing to undo"));

        w.Face().List1->SetSelectedIndex(2);
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(pollsPass());
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Undo \"mapping\": 1 output verified"));
    }

    // A console killed after clearing an output leaves a hole in the table; the next console
    // still reads every entry after it, so undoing "Clear All" puts back the whole table, the
    // outputs Kavro.ini lacks too. Where the copy may have been stale, the undo says so.
    void undoingClearAllPutsBackTheWholeTableOrSaysItCannot() {
        Console c;
        QVERIFY2(c.Start(), qPrintable(c.sim.ErrorText()));
        for (const char* line : {"Map 1 12 2 9", "Map 1 13 2 10", "ClrMap 1 3"})
            QVERIFY(c.W().Session().Link().SendRaw(QString::fromLatin1(line), "send").Answered());
        c.rig.window.reset();
        MainRig next;
        next.WriteIni(SampleIni(8, 20, QStringLiteral("CommDevice=%1\r\n").arg(c.sim.LinkPath())));
        QVERIFY(next.Start(/*realPort=*/true));
        ConsoleSession& s = next.window->Session();
        const QStringList held = {"[1][4][2][3][1][2][7][2]", "[1][12][2][9][1][0][0][0]",
                                  "[1][13][2][10][1][0][0][0]"};
        QCOMPARE(s.Changes().ConsoleCopyItems().size(), held.size());
        next.dialogs.answers << Answer::Ok << Answer::Ok;
        QTest::mouseClick(next.window->Face().cmdInit, Qt::LeftButton);
        s.History().Undo();
        QVERIFY(!next.dialogs.boxes.last().text.contains(QStringLiteral("may not")));
        QCOMPARE(s.Table().ReadWholeTable().lines, held);

        // An entry sent by hand is not in the copy: the undo cannot put it back, and says so,
        // also once the (now empty) table has been read back.
        QVERIFY(s.Link().SendRaw(QStringLiteral("Map 1 14 2 11"), "send").Answered());
        next.dialogs.answers << Answer::Ok << Answer::Ok;
        QTest::mouseClick(next.window->Face().cmdInit, Qt::LeftButton);
        QTest::mouseClick(next.window->Face().cmdRefresh, Qt::LeftButton);
        s.History().Undo();
        QVERIFY(next.dialogs.boxes.last().text.contains(
            QStringLiteral("outputs the copy lacked are not put back")));
        QVERIFY(next.window->Face().lblError->text().endsWith(
            QStringLiteral("; the copy may have lacked others")));
        QCOMPARE(s.Table().ReadWholeTable().lines, held);
    }

    void offlineUndoEditsTheConsolesCopyAndSendsNothing() {
        MainRig rig;
        rig.WriteIni(SampleIni(4, 8, QStringLiteral("Journal=changes.jsonl\r\n")));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);  // offline
        QVERIFY(!w.Session().Link().IsOnline());
        rig.TakeLog();
        w.Face().txtInput->setText(QStringLiteral("5"));
        QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
        w.Session().History().Undo();
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t\t\t"));
        QCOMPARE(rig.TakeLog(), QStringList());
        const JournalRead j = ReadJournal(rig.dir.filePath(QStringLiteral("changes.jsonl")));
        QCOMPARE(j.Entries.size(), 2);
        QCOMPARE(j.Entries[1].Outcome, outcome::kOffline);
        QCOMPARE(j.Entries[1].Operation, QStringLiteral("undo mapping"));

        // "Clear All" is one step: every mapped output journalled, all taken back at once.
        w.Session().History().Redo();
        rig.dialogs.answers << Answer::Ok << Answer::Ok;
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t\t\t"));
        w.Session().History().Undo();
        QVERIFY(rig.dialogs.boxes.last().text.startsWith(
            QStringLiteral("Undo \"Clear All\"? 1 output")));
        QCOMPARE(rig.Row(0), QStringLiteral("Out 1\t 5\t\t"));
        QCOMPARE(rig.TakeLog(), QStringList());
        const JournalRead all = ReadJournal(rig.dir.filePath(QStringLiteral("changes.jsonl")));
        QCOMPARE(all.Entries.size(), 5);
        QCOMPARE(all.Entries[3].Operation, QStringLiteral("Clear All"));
        QCOMPARE(all.Entries[3].Before, QStringLiteral("[1][1][2][5][1][0][0][0]"));
    }

    void bulkLoadIsOneStepAndASecondUndoRestoresTheController() {
        Console c;
        QVERIFY2(c.Start(), qPrintable(c.sim.ErrorText()));
        frmKavroMain& w = c.W();
        const QStringList before = c.rig.Rows();
        const QString file = c.sim.FilePath(QStringLiteral("show.vdk"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[1][1][2][1][1][0][0][0]\r\n[1][3][2][9][1][2][4][1]\r\n");
        }
        c.rig.dialogs.fileAnswers << file;
        QTest::mouseClick(w.Face().cmdLoadMatrix, Qt::LeftButton);
        const QStringList loaded = c.rig.Rows();
        QVERIFY(loaded != before);

        auto readBack = [&] {
            w.Session().Table().ReadWholeTable();  // holes removed first: a read-back ends at one
            return c.rig.Rows();
        };
        // Undo asks with the number of outputs (1 added, 1 changed, 1 removed by the Init).
        c.rig.dialogs.answers << Answer::Cancel;
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(c.rig.dialogs.boxes.last().text.startsWith(
            QStringLiteral("Undo \"Load\"? 3 outputs will change back")));
        QCOMPARE(c.rig.Rows(), loaded);  // declined: nothing sent, still undoable
        c.Sent();
        c.rig.dialogs.answers << Answer::Ok << Answer::Ok << Answer::Ok;
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        const QStringList undoLines = c.Sent();
        QVERIFY(!undoLines.contains(QStringLiteral("Init")));  // changes only
        QCOMPARE(readBack(), before);
        c.Key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(readBack(), loaded);
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Undo \"Load\": 3 outputs verified"));
        QCOMPARE(readBack(), before);

        // The history window: newest first, filtered by output and time.
        const JournalRead j = c.Journal();
        QCOMPARE(j.Entries.size(), 12);  // the load, its undo, redo and second undo
        QAction* history = nullptr;
        for (QAction* a : w.actions())
            if (a->text() == QStringLiteral("Change history...")) history = a;
        QVERIFY(history);
        history->trigger();
        auto* h = w.findChild<HistoryWindow*>();
        QVERIFY(h && h->isVisible());
        QCOMPARE(h->list->count(), 12);
        QVERIFY(h->list->item(0)->text().contains(QStringLiteral("(undo Load, ")));
        QVERIFY(h->list->item(11)->text().contains(QStringLiteral(", answered (Load, ")));
        h->txtOutput->setText(QStringLiteral("1/3"));
        QCOMPARE(h->list->count(), 4);
        h->txtOutput->setText(QStringLiteral("out 4"));
        QCOMPARE(h->list->count(), 4);
        // Seen on the day it was written, the newest entry shows its time; two days on, its date.
        const QDateTime newest = j.Entries.last().Time.toLocalTime();
        h->now = [newest] { return newest; };
        h->cmdRefresh->click();
        QVERIFY(h->list->item(0)->text().startsWith(newest.toString("HH:mm:ss ")));
        h->now = [newest] { return newest.addDays(2); };
        h->cmdRefresh->click();
        QVERIFY(h->list->item(0)->text().startsWith(newest.toString("yyyy-MM-dd HH:mm:ss ")));
        h->now = [] { return QDateTime::currentDateTime().addDays(2); };
        h->cboSince->setCurrentIndex(1);  // the last hour, two days on
        QCOMPARE(h->list->count(), 0);

        // "Apply changes only" is one step too; its entries are written once asked back.
        c.rig.dialogs.fileAnswers << file;
        c.rig.dialogs.answers << Answer::Ok << Answer::Ok << Answer::Ok << Answer::Ok;
        for (QAction* a : w.actions())
            if (a->text() == QStringLiteral("Apply changes only from a file...")) a->trigger();
        QCOMPARE(c.rig.Rows(), loaded);
        c.Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(readBack(), before);
        const JournalRead all = c.Journal();
        QCOMPARE(all.Entries.size(), 18);
        for (int i = 12; i < 18; ++i) {
            QCOMPARE(all.Entries[i].Outcome, outcome::kVerified);
            QCOMPARE(all.Entries[i].Operation, i < 15 ? QStringLiteral("Apply changes only")
                                                      : QStringLiteral("undo Apply changes only"));
        }
    }
};

QTEST_MAIN(TestUndoPty)
#include "test_undo_pty.moc"
