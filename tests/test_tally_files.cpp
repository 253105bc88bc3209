// "Save" and "Load" through the real main window against the controller model: the files
// written byte for byte, what goes over the wire, what the rows show, and bad files and
// unwritable places.
#include <sys/resource.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include "editor/entry_box.h"
#include "editor/tally_list.h"
#include "link/online_state.h"
#include "mapping/read_back.h"
#include "session/tally_files.h"
#include "support/main_rig.h"
#include "support/test_files.h"
#include "widgets/controls.h"

using namespace vendra;

namespace {

const QString kFilter = QStringLiteral("Vendra Tally(*.vdk)|*.vdk");
const QString kSaveTitle = QStringLiteral("Save Tally Matrix to File");
const QString kOpenTitle = QStringLiteral("Open Tally file and upload to matrix");

std::unique_ptr<MainRig> Rig(bool online, const QStringList& preload = {}, int outputs = 10,
                             int inputs = 8, const QString& extraIni = {}) {
    auto rig = std::make_unique<MainRig>();
    rig->WriteIni(SampleIni(outputs, inputs, extraIni));
    for (const QString& m : preload)
        rig->model.AddMappingString(m);
    if (!rig->Start()) qFatal("start-up failed");
    if (!online) QTest::mouseClick(rig->window->Face().cmdOnline, Qt::LeftButton);
    if (rig->window->Session().IsOnline() != online) qFatal("wrong link state");
    rig->TakeLog();
    rig->dialogs.Reset();
    return rig;
}

void Save(MainRig& rig, const QString& path) {
    rig.dialogs.fileAnswers = {path};
    QTest::mouseClick(rig.window->Face().cmdSaveMatrix, Qt::LeftButton);
}

void Load(MainRig& rig, const QString& path) {
    rig.dialogs.fileAnswers = {path};
    QTest::mouseClick(rig.window->Face().cmdLoadMatrix, Qt::LeftButton);
}

// Maps the selected output from the entry box, as the operator types it.
void MapTo(frmKavroMain& w, int output, int input) {
    w.Face().List1->SetSelectedIndex(output - 1);
    w.Face().txtInput->setText(QString::number(input));
    QTest::keyClick(w.Face().txtInput, Qt::Key_Return);
}

void MapBool(frmKavroMain& w, int output, int first, int second, QPushButton* op) {
    QTest::mouseClick(w.Face().Check3, Qt::LeftButton);
    w.Face().List1->SetSelectedIndex(output - 1);
    w.Face().list2->SetSelectedIndex(first);
    w.Face().list3->SetSelectedIndex(second);
    QTest::mouseClick(op, Qt::LeftButton);
    QTest::mouseClick(w.Face().Check3, Qt::LeftButton);
}

QByteArray Lines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

// The controller's mappings without its holes.
std::vector<SimEntry> Mapped(const ControllerModel& model) {
    std::vector<SimEntry> entries;
    for (const SimEntry& e : model.Table())
        if (e.OutUnit != 0) entries.push_back(e);
    return entries;
}

// The file buttons hand the focus back to the output list; the click gave it to the button.
bool FocusOnList(const frmKavroMain& w) {
    return w.focusWidget() == w.Face().List1;
}

enum class LoadFault { Garbage, LongLine, ManyLines, OutputUnitZero, NoFields, Folder };

}  // namespace

Q_DECLARE_METATYPE(LoadFault)

class TestTallyFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cancelledDialogDoesNothing_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QStringList>("sent");
        // Online the table is compacted before the operator is asked for a name.
        QTest::newRow("save online") << true << true << QStringList{"Comp"};
        QTest::newRow("save offline") << true << false << QStringList{};
        QTest::newRow("load online") << false << true << QStringList{};
        QTest::newRow("load offline") << false << false << QStringList{};
    }
    void cancelledDialogDoesNothing() {
        QFETCH(bool, save);
        QFETCH(bool, online);
        QFETCH(QStringList, sent);
        auto rig = Rig(online, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        const QStringList rows = rig->Rows();
        QTest::mouseClick(save ? w.Face().cmdSaveMatrix : w.Face().cmdLoadMatrix, Qt::LeftButton);
        QCOMPARE(rig->dialogs.fileCalls.size(), 1);
        const ScriptedDialogs::FileCall& call = rig->dialogs.fileCalls.first();
        QCOMPARE(call.save, save);
        QCOMPARE(call.title, save ? kSaveTitle : kOpenTitle);
        QCOMPARE(call.filter, kFilter);
        QCOMPARE(rig->TakeLog(), sent);
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("keep.vdk"));
        QVERIFY(FocusOnList(w));
        QVERIFY(QDir(rig->dir.path()).entryList({"*.vdk"}, QDir::Files).isEmpty());
    }

    void offlineRoundTrip() {
        auto rig = Rig(false);
        frmKavroMain& w = *rig->window;
        // Made out of output order: the file comes in output order all the same.
        MapTo(w, 7, 5);
        MapBool(w, 3, 2, 6, w.Face().cmdBoolOr);
        MapTo(w, 1, 4);
        MapBool(w, 9, 8, 1, w.Face().cmdBoolAnd);
        const QStringList rows = rig->Rows();
        QCOMPARE(rows[2], QStringLiteral("Out 3\t 2\t||\t 6"));

        const QString path = rig->dir.filePath(QStringLiteral("studio"));  // no extension added
        Save(*rig, path);
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][1][2][4][1][0][0][0]", "[1][3][2][2][1][2][6][2]",
                                        "[1][7][2][5][1][0][0][0]", "[1][9][2][8][1][2][1][1]"}));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("studio"));
        QVERIFY(FocusOnList(w));

        rig->dialogs.answers = {Answer::Ok};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t\t\t"));
        QVERIFY(w.Face().lblFileName->text().isEmpty());

        Load(*rig, path);
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(w.Session().Tables().OutMapString[3], QStringLiteral("[1][3][2][2][1][2][6][2]"));
        QCOMPARE(w.Session().Tables().RawMapList[0], QStringLiteral("[1][1][2][4][1][0][0][0]"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("studio"));
        QVERIFY(FocusOnList(w));
        QVERIFY(rig->TakeLog().isEmpty());        // offline: nothing ever went to the controller
        QVERIFY(rig->dialogs.boxes.size() == 1);  // only the "Clear All" question
    }

    // Spare outputs ("Output n=Spare": unit 0, channel 0) are mapped by hand like any row; the
    // file saved with them loads again, each line back on its own row, offline and online.
    void spareOutputsLoadAgain() {
        MainRig rig;
        rig.WriteIni(SampleIni(3, 4, QStringLiteral("Output 4=Spare\r\nOutput 5=Spare\r\n")));
        QVERIFY(rig.Start());
        frmKavroMain& w = *rig.window;
        QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
        MapTo(w, 4, 2);
        MapTo(w, 5, 3);
        MapTo(w, 1, 1);
        const QStringList rows = rig.Rows();
        const QString path = rig.dir.filePath(QStringLiteral("spare.vdk"));
        Save(rig, path);
        QCOMPARE(Contents(path), Lines({"[1][1][2][1][1][0][0][0]", "[0][0][2][2][1][0][0][0]",
                                        "[0][0][2][3][1][0][0][0]"}));
        rig.dialogs.Reset();

        for (bool online : {false, true}) {
            rig.dialogs.answers = {Answer::Ok};
            QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
            QCOMPARE(rig.Row(4), QStringLiteral("\t\t\t"));
            if (online) QTest::mouseClick(w.Face().cmdOnline, Qt::LeftButton);
            rig.TakeLog();
            Load(rig, path);
            QCOMPARE(rig.Rows(), rows);
            QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("spare.vdk"));
            QCOMPARE(rig.TakeLog().filter(QStringLiteral("Map 0")),
                     online ? QStringList({"Map 0 0 2 2", "Map 0 0 2 3"}) : QStringList());
        }
        QCOMPARE(rig.dialogs.Titles(), QStringList({"Clear All", "Clear All", "Information!"}));
    }

    void onlineRoundTrip() {
        auto rig = Rig(true);
        frmKavroMain& w = *rig->window;
        MapTo(w, 6, 3);
        MapTo(w, 2, 7);
        MapBool(w, 4, 1, 5, w.Face().cmdBoolAnd);
        MapTo(w, 6, 0);  // a hole in the controller's table
        MapTo(w, 10, 2);
        const QStringList rows = rig->Rows();
        rig->TakeLog();

        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        Save(*rig, path);
        QCOMPARE(rig->TakeLog(),
                 QStringList({"Comp", "RawMap 1", "RawMap 2", "RawMap 3", "RawMap 4"}));
        // The controller's order once the hole is gone, not the output order.
        QCOMPARE(Contents(path), Lines({"[1][2][2][7][1][0][0][0]", "[1][4][2][1][1][2][5][1]",
                                        "[1][10][2][2][1][0][0][0]"}));
        QCOMPARE(rig->Rows(), rows);
        const std::vector<SimEntry> table = Mapped(rig->model);

        rig->dialogs.answers = {Answer::Ok};
        QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
        QVERIFY(rig->model.Table().empty());
        rig->TakeLog();

        Load(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 2 2 7",
                                              "Map 1 4 2 1", "AND 1 4 2 5", "Map 1 10 2 2"}));
        QCOMPARE(rig->Rows(), rows);
        QVERIFY(rig->model.Table() == table);
        QCOMPARE(rig->model.EnabledUnits(), (std::set<int>{1, 2}));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("show.vdk"));
        QVERIFY(FocusOnList(w));
    }

    void onlineSaveWritesTheControllersOrder() {
        MainRig rig;
        rig.WriteIni(SampleIni(10, 8));
        // Output 7 before output 2, with a hole between them that "Comp" removes.
        rig.model.SetTable({{1, 7, 2, 3, 1, 0, 0, 0}, {}, {1, 2, 2, 4, 1, 2, 5, 2}});
        QVERIFY(rig.Start());
        rig.TakeLog();
        const QString path = rig.dir.filePath(QStringLiteral("order.vdk"));
        Save(rig, path);
        QCOMPARE(rig.TakeLog(), QStringList({"Comp", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QCOMPARE(Contents(path), Lines({"[1][7][2][3][1][0][0][0]", "[1][2][2][4][1][2][5][2]"}));
        // The read-back before the write is what the rows now show.
        QCOMPARE(rig.Row(1), QStringLiteral("Out 2\t 4\t||\t 5"));
        QCOMPARE(rig.Row(6), QStringLiteral("Out 7\t 3\t\t"));
        QCOMPARE(rig.window->Session().Tables().MapStrings, 2);
    }

    void onlineLoadSendsEveryLineAndShowsProgress() {
        auto rig = Rig(true, {QStringLiteral("[1][8][2][8][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        const QString path = rig->dir.filePath(QStringLiteral("mixed.vdk"));
        QVERIFY(Put(path, Lines({"[1][3][2][5][1][0][0][0]", "[1][1][2][2][1][2][4][1]", "",
                                 "[1][6][2][7][1][2][1][2]", "[1][2][0][0][1][0][0][0]"})));
        QStringList progress;
        bool controlsLockedThroughout = true;
        connect(&w.Session(), &ConsoleSession::ProgressText, this, [&](const QString& text) {
            progress << w.Face().lblDownloading->text();
            QCOMPARE(text, w.Face().lblDownloading->text());
            // The first text comes before the controls are locked.
            if (!text.isEmpty())
                controlsLockedThroughout &=
                    w.Face().lblDownloading->isVisibleTo(&w) &&
                    !w.Face().lblTallyOutputs->isVisibleTo(&w) && !w.Face().list2->isEnabled() &&
                    !w.Face().cmdMapIt->isEnabled() && !w.Face().txtInput->isEnabled() &&
                    !w.Face().cmdInit->isEnabled();
        });
        Load(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 3 2 5",
                                              "Map 1 1 2 2", "AND 1 1 2 4", "Map 1 6 2 7",
                                              "OR 1 6 2 1", "Res 1  2", "ClrMap 1  2"}));
        QCOMPARE(progress,
                 QStringList({"", "Mapping  0", "Mapping  1", "Mapping  2", "Mapping  3"}));
        QVERIFY(controlsLockedThroughout);
        QVERIFY(!w.Face().lblDownloading->isVisibleTo(&w) &&
                w.Face().lblTallyOutputs->isVisibleTo(&w));
        QVERIFY(w.Face().list2->isEnabled() && w.Face().cmdMapIt->isEnabled() &&
                w.Face().cmdTest->isEnabled());

        // The load replaced the whole table: output 8 is gone, here and in the controller.
        QVERIFY(Mapped(rig->model) ==
                (std::vector<SimEntry>{
                    {1, 3, 2, 5, 1, 0, 0, 0}, {1, 1, 2, 2, 1, 2, 4, 1}, {1, 6, 2, 7, 1, 2, 1, 2}}));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 2\t&\t 4"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t 5\t\t"));
        QCOMPARE(rig->Row(5), QStringLiteral("Out 6\t 7\t||\t 1"));
        QCOMPARE(rig->Row(7), QStringLiteral("Out 8\t\t\t"));
        QCOMPARE(w.Session().Tables().RawMapList[3], QStringLiteral("[1][2][0][0][1][0][0][0]"));
        QCOMPARE(w.Session().Tables().MapStrings, 1);  // a load leaves the read-back count alone
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(w.Face().List1->SelectedIndex(), 0);
        QVERIFY(FocusOnList(w));
    }

    void emptyFiles_data() {
        QTest::addColumn<bool>("online");
        QTest::newRow("online") << true;
        QTest::newRow("offline") << false;
    }
    void emptyFiles() {
        QFETCH(bool, online);
        auto rig = Rig(online, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        if (!online) {
            // Nothing mapped: the file is created, and empty.
            rig->dialogs.answers = {Answer::Ok};
            QTest::mouseClick(w.Face().cmdInit, Qt::LeftButton);
            const QString path = rig->dir.filePath(QStringLiteral("none.vdk"));
            Save(*rig, path);
            QVERIFY(QFile::exists(path));
            QCOMPARE(Contents(path), QByteArray());
            rig->dialogs.Reset();
            MapTo(w, 5, 5);
        }
        // Online the operator is asked first: the file would clear the tally system.
        if (online) rig->dialogs.answers = {Answer::Yes};
        Load(*rig, QStringLiteral(VENDRA_FIXTURES "/vdk/empty.vdk"));
        QCOMPARE(rig->TakeLog(),
                 online ? QStringList({"Init", "Uenable  1", "Uenable  2"}) : QStringList());
        if (online) QVERIFY(rig->model.Table().empty());
        for (int i = 0; i < 10; ++i)
            QCOMPARE(rig->Row(i), QStringLiteral("Out %1\t\t\t").arg(i + 1));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("empty.vdk"));
        QCOMPARE(rig->dialogs.Titles(), online ? QStringList{"Empty File"} : QStringList());
    }

    void handMadeFileSkipsBlankItems() {
        auto rig = Rig(false);
        frmKavroMain& w = *rig->window;
        QSignalSpy progress(&w.Session(), &ConsoleSession::ProgressText);
        Load(*rig, QStringLiteral(VENDRA_FIXTURES "/vdk/hand_made.vdk"));
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(progress.size(), 5);  // the start, then four mapping strings
        QCOMPARE(progress.last().first().toString(), QStringLiteral("Mapping  3"));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 1\t\t"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t 1\t||\t 2"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 4\t 3\t\t"));
        QCOMPARE(w.Session().Tables().OutMapString[4], QStringLiteral("[1][4], ,[2][3]"));
    }

    void overwriteQuestion_data() {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("yes") << Answer::Yes;
        QTest::newRow("no") << Answer::No;
    }
    void overwriteQuestion() {
        QFETCH(Answer, answer);
        auto rig = Rig(false);
        frmKavroMain& w = *rig->window;
        MapTo(w, 2, 3);
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        const QString path = rig->dir.filePath(QStringLiteral("old.vdk"));
        const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
        QVERIFY(Put(path, old));
        rig->dialogs.answers = {answer};
        Save(*rig, path);
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.text, QStringLiteral("Do you want to Ovewrwrite existing file"));
        QCOMPARE(box.title, QStringLiteral("File Already Exists"));
        QCOMPARE(box.buttons, Buttons::YesNo);
        QCOMPARE(box.icon, Icon::None);
        const bool yes = answer == Answer::Yes;
        QCOMPARE(Contents(path), yes ? QByteArray("[1][2][2][3][1][0][0][0]\r\n") : old);
        QCOMPARE(w.Face().lblFileName->text(),
                 yes ? QStringLiteral("old.vdk") : QStringLiteral("keep.vdk"));
        QVERIFY(FocusOnList(w));
    }

    void loadOfMissingFile() {
        auto rig = Rig(true, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        Load(*rig, rig->dir.filePath(QStringLiteral("nowhere/gone.vdk")));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.text, QStringLiteral("File does not exist"));
        QCOMPARE(box.title, QStringLiteral("File Error"));
        QCOMPARE(box.buttons, Buttons::Ok);
        QCOMPARE(box.icon, Icon::Information);
        QVERIFY(rig->TakeLog().isEmpty());
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 3\t\t"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("keep.vdk"));
        QVERIFY(FocusOnList(w));
    }

    // "Save" into a place that cannot take the file: the old file stays as it was and the
    // message names the path and the system's reason.
    void saveFailureKeepsTheOldFile_data() {
        QTest::addColumn<SaveFault>("fault");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("mappings");
        QTest::addColumn<int>("reason");  // errno of the reason to name; 0: any
        QTest::newRow("parent is a regular file") << SaveFault::ParentIsFile << false << 300 << 0;
        QTest::newRow("vanished folder") << SaveFault::VanishedFolder << true << 300 << 0;
        QTest::newRow("folder in place of the file")
            << SaveFault::FolderInPlace << false << 300 << 0;
        // Some 8 KB, held back by the file's write buffer until the file is committed.
        QTest::newRow("file size limit, 8 KB") << SaveFault::SizeLimit << false << 300 << EFBIG;
        QTest::newRow("file size limit, 22 KB online")
            << SaveFault::SizeLimit << true << 800 << EFBIG;
    }
    void saveFailureKeepsTheOldFile() {
        QFETCH(SaveFault, fault);
        QFETCH(bool, online);
        QFETCH(int, mappings);
        QFETCH(int, reason);
        // Always more than the size limit below.
        QStringList preload;
        for (int ch = 1; ch <= mappings; ++ch)
            preload << QStringLiteral("[1][%1][2][%2][1][0][0][0]").arg(ch).arg(ch % 8 + 1);
        auto rig = Rig(online, preload, mappings, 8);
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        const QDir dir(rig->dir.path());
        const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
        const QString path = PrepareSaveFault(dir, fault, old);
        if (fault == SaveFault::SizeLimit) rig->dialogs.answers = {Answer::Yes};
        {
            std::optional<FileSizeLimit> full;
            if (fault == SaveFault::SizeLimit) QVERIFY(full.emplace(4096).Ok());
            Save(*rig, path);
        }

        // A folder is no file to be asked about: the only box is the failure.
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.last();
        QVERIFY2(rig->dialogs.boxes.size() == (fault == SaveFault::SizeLimit ? 2 : 1),
                 qPrintable(rig->dialogs.Texts().join(QLatin1Char('|'))));
        QCOMPARE(box.title, QStringLiteral("File Error"));
        QCOMPARE(box.icon, Icon::Information);
        const QString head =
            QStringLiteral("The tally file \"%1\" could not be written: ").arg(path);
        const QString tail = QStringLiteral(". The file was not changed.");
        QVERIFY2(box.text.startsWith(head) && box.text.endsWith(tail), qPrintable(box.text));
        const QString why = box.text.mid(head.size(), box.text.size() - head.size() - tail.size());
        QVERIFY2(!why.trimmed().isEmpty(), qPrintable(box.text));
        if (reason != 0) QCOMPARE(why, QString::fromLocal8Bit(std::strerror(reason)));
        QCOMPARE(w.Face().lblError->text(), QString());
        // Online, the table was read back whole and nothing else was sent.
        const QStringList heard = rig->TakeLog();
        QCOMPARE(heard.size(), online ? mappings + 2 : 0);
        if (online) QCOMPARE(heard.first(), QStringLiteral("Comp"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("keep.vdk"));
        QCOMPARE(rig->Row(mappings - 1),
                 QStringLiteral("Out %1\t %2\t\t").arg(mappings).arg(mappings % 8 + 1));
        QVERIFY(FocusOnList(w));
        switch (fault) {
            case SaveFault::ParentIsFile:
                QCOMPARE(Contents(dir.filePath(QStringLiteral("plain"))), old);
                break;
            case SaveFault::VanishedFolder:
                QVERIFY(!dir.exists(QStringLiteral("gone")));
                break;
            case SaveFault::FolderInPlace:
                QVERIFY(QFileInfo(path).isDir());
                QVERIFY(QDir(path).isEmpty());
                break;
            case SaveFault::SizeLimit:
                QCOMPARE(Contents(path), old);
                // No half-written temporary file is left beside it.
                QCOMPARE(dir.entryList({"*.vdk*"}, QDir::Files | QDir::Hidden),
                         QStringList{"show.vdk"});
                break;
        }
    }

    void refusedFileChangesNothing_data() {
        QTest::addColumn<LoadFault>("fault");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("reason");
        QTest::newRow("binary garbage") << LoadFault::Garbage << true << "is not a mapping string";
        QTest::newRow("binary garbage offline")
            << LoadFault::Garbage << false << "is not a mapping string";
        QTest::newRow("1 MB line") << LoadFault::LongLine << true << "line 1 (\"xxxxxxxx";
        QTest::newRow("5000 lines") << LoadFault::ManyLines << true << "5000 mapping strings";
        QTest::newRow("output unit 0")
            << LoadFault::OutputUnitZero << true << "line 3 (\"[0][2][2][2][1][0][0][0]\")";
        QTest::newRow("no fields") << LoadFault::NoFields << false << "line 2 (\"1,1,2,2\")";
        QTest::newRow("folder") << LoadFault::Folder << true << "it is a folder";
    }
    void refusedFileChangesNothing() {
        QFETCH(LoadFault, fault);
        QFETCH(bool, online);
        QFETCH(QString, reason);
        auto rig = Rig(online, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        const std::vector<SimEntry> table = rig->model.Table();
        const QStringList rows = rig->Rows();
        const QString path = rig->dir.filePath(QStringLiteral("bad.vdk"));
        const QByteArray good = "[1][1][2][1][1][0][0][0]\r\n";
        QByteArray bytes;
        switch (fault) {
            case LoadFault::Garbage:
                for (int i = 0; i < 4096; ++i)
                    bytes += char((i * 37 + 11) % 256);
                break;
            case LoadFault::LongLine:
                bytes = QByteArray(1024 * 1024, 'x');
                break;
            case LoadFault::ManyLines:
                for (int i = 0; i < 5000; ++i)
                    bytes +=
                        QStringLiteral("[1][%1][2][1][1][0][0][0]\r\n").arg(i % 10 + 1).toLatin1();
                break;
            case LoadFault::OutputUnitZero:
                bytes = good + "\r\n[0][2][2][2][1][0][0][0]\r\n";
                break;
            case LoadFault::NoFields:
                bytes = good + "\"1,1,2,2\"\r\n";
                break;
            case LoadFault::Folder:
                QVERIFY(QDir(rig->dir.path()).mkdir(QStringLiteral("bad.vdk")));
                break;
        }
        if (fault != LoadFault::Folder) QVERIFY(Put(path, bytes));

        Load(*rig, path);
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.title, QStringLiteral("File Error"));
        QVERIFY2(box.text.contains(QLatin1Char('"') + path + QLatin1Char('"')),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        QVERIFY2(box.text.size() < 400, qPrintable(box.text.left(500)));
        for (QChar c : box.text)
            QVERIFY(c.unicode() >= 0x20);
        // Not a word to the controller, not a row changed.
        QVERIFY(rig->TakeLog().isEmpty());
        QVERIFY(rig->model.Table() == table);
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(w.Session().Tables().OutMapString[2], QStringLiteral("[1][2][2][3][1][0][0][0]"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("keep.vdk"));
        QVERIFY(w.Face().list2->isEnabled() && w.Face().lblTallyOutputs->isVisibleTo(&w));
        QVERIFY(FocusOnList(w));
    }

    void tableSizeLimit_data() {
        QTest::addColumn<int>("items");
        QTest::newRow("1000 fit") << 1000;
        QTest::newRow("1001 do not") << 1001;
    }
    void tableSizeLimit() {
        QFETCH(int, items);
        auto rig = Rig(false, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        frmKavroMain& w = *rig->window;
        QStringList lines;
        for (int i = 0; i < items; ++i)
            lines << QStringLiteral("[1][%1][2][%2][1][0][0][0]").arg(i % 10 + 1).arg(i % 8 + 1);
        const QString path = rig->dir.filePath(QStringLiteral("full.vdk"));
        QVERIFY(Put(path, Lines(lines)));
        Load(*rig, path);
        if (items <= 1000) {
            QVERIFY(rig->dialogs.boxes.isEmpty());
            QCOMPARE(w.Session().Tables().RawMapList[999], lines.last());
            // Later lines for the same output win.
            QCOMPARE(rig->Row(9), QStringLiteral("Out 10\t %1\t\t").arg((items - 1) % 8 + 1));
        } else {
            QCOMPARE(rig->dialogs.boxes.size(), 1);
            QVERIFY2(rig->dialogs.boxes.first().text.contains(QStringLiteral("1001 mapping")),
                     qPrintable(rig->dialogs.boxes.first().text));
            QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 3\t\t"));
            QVERIFY(w.Session().Tables().RawMapList[999].isEmpty());
        }
    }

    void unconfiguredOutput_data() {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<bool>("online");
        QTest::newRow("spare slot online") << 10 << true;
        QTest::newRow("spare slot offline") << 10 << false;
        QTest::newRow("all 999 slots online") << 999 << true;
        QTest::newRow("all 999 slots offline") << 999 << false;
    }
    void unconfiguredOutput() {
        QFETCH(int, outputs);
        QFETCH(bool, online);
        auto rig = Rig(online, {}, outputs, 4);
        frmKavroMain& w = *rig->window;
        const QString path = rig->dir.filePath(QStringLiteral("other.vdk"));
        const QString foreign = QStringLiteral("[3][1][2][2][1][0][0][0]");
        QVERIFY(Put(path, Lines({"[1][5][2][1][1][0][0][0]", foreign, "[1][6][2][3][1][0][0][0]",
                                 "[3][2][2][1][1][0][0][0]"})));
        Load(*rig, path);
        // Online it reaches the controller in any case; the rows never show it.
        QCOMPARE(rig->TakeLog().contains(QStringLiteral("Map 3 1 2 2")), online);
        QCOMPARE(rig->Row(4), QStringLiteral("Out 5\t 1\t\t"));
        QCOMPARE(rig->Row(5), QStringLiteral("Out 6\t 3\t\t"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("other.vdk"));
        // Whether or not a hidden slot takes them, the operator is told of both lines.
        QCOMPARE(w.Session().LoadLeftOut(),
                 QStringList({foreign, QStringLiteral("[3][2][2][1][1][0][0][0]")}));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const QString text = rig->dialogs.boxes.first().text;
        QVERIFY2(text.contains(QStringLiteral("line 2 (") + foreign + ")") &&
                     text.contains(QStringLiteral("line 4 (")) &&
                     text.contains(QStringLiteral("2 lines of \"") + path + "\""),
                 qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("The tally system has them")), online);
        QCOMPARE(text.contains(QStringLiteral("a Save leaves them out")), !online);
        QCOMPARE(w.Session().Tables().OutMapString[kMaxOutputs], QString());
    }

    // A loaded line's row shows what the controller was sent, whatever the file or the
    // names hold.
    void loadedRowsShowWhatTheControllerHolds_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown mode goes as OR")
            << "[1][2][2][3][1][2][5][3]" << QStringList{"Map 1 2 2 3", "OR 1 2 2 5"} << 1
            << "Out 2\t 3\t||\t 5";
        QTest::newRow("TAB in the output's name")
            << "[1][11][2][1][1][0][0][0]" << QStringList{"Map 1 11 2 1"} << 10 << "Cam 1\t 1\t\t";
    }
    void loadedRowsShowWhatTheControllerHolds() {
        QFETCH(QString, line);
        QFETCH(QStringList, sent);
        QFETCH(int, row);
        QFETCH(QString, shown);
        auto rig = Rig(true, {}, 10, 8, QStringLiteral("Output 11=Cam\t1,1,11\r\n"));
        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(path, Lines({line})));
        Load(*rig, path);
        QCOMPARE(rig->TakeLog().mid(3), sent);  // after "Init" and the two "Uenable"
        QCOMPARE(rig->Row(row), shown);
        QVERIFY(rig->dialogs.boxes.isEmpty());
    }

    void onlineLoadStopsWhereTheControllerFallsSilent() {
        auto rig = Rig(true);
        frmKavroMain& w = *rig->window;
        const QString path = rig->dir.filePath(QStringLiteral("long.vdk"));
        QVERIFY(Put(path, Lines({"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]", "",
                                 "[1][3][2][3][1][2][4][2]", "[1][4][2][4][1][0][0][0]"})));
        // "Init", two "Uenable" and the first two "Map" lines are answered, then nothing.
        rig->model.SetAnswerLimit(5);
        QSignalSpy progress(&w.Session(), &ConsoleSession::ProgressText);
        Load(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 1 2 1",
                                              "Map 1 2 2 2", "Map 1 3 2 3"}));
        QCOMPARE(progress.last().first().toString(), QStringLiteral("Mapping  1"));
        QCOMPARE(rig->Row(0), QStringLiteral("Out 1\t 1\t\t"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t\t\t"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 4\t\t\t"));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.title, QStringLiteral("Load Stopped"));
        QVERIFY2(
            box.text.contains(QStringLiteral("stopped at line 4 ([1][3][2][3][1][2][4][2])")) &&
                box.text.contains(QStringLiteral("the 2 mappings of the lines before it")),
            qPrintable(box.text));
        QCOMPARE(w.Face().lblError->text(), QStringLiteral("Comm Error!"));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("long.vdk"));
        QVERIFY(w.Face().list2->isEnabled() && w.Face().lblTallyOutputs->isVisibleTo(&w));
    }

    void incompleteReadBackAsksBeforeWriting_data() {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("written") << Answer::Yes;
        QTest::newRow("declined") << Answer::No;
    }
    void incompleteReadBackAsksBeforeWriting() {
        QFETCH(Answer, answer);
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                              "[1][3][2][3][1][0][0][0]", "[1][4][2][4][1][0][0][0]"});
        frmKavroMain& w = *rig->window;
        w.Face().lblFileName->setText(QStringLiteral("keep.vdk"));
        const QString path = rig->dir.filePath(QStringLiteral("old.vdk"));
        const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
        QVERIFY(Put(path, old));
        rig->model.SetAnswerLimit(3);  // "Comp" and two entries
        rig->dialogs.answers = {Answer::Yes, Answer::Ok, answer};
        Save(*rig, path);
        QCOMPARE(rig->dialogs.boxes.size(), 3);
        QCOMPARE(rig->dialogs.boxes[1].title, QStringLiteral("Read-back incomplete"));
        const ScriptedDialogs::Box& box = rig->dialogs.boxes[2];
        QCOMPARE(box.buttons, Buttons::YesNo);
        QCOMPARE(box.defaultAnswer, Answer::No);
        QVERIFY2(box.text.contains(QStringLiteral("Only 2 mappings")) &&
                     box.text.contains(QLatin1Char('"') + path + QLatin1Char('"')),
                 qPrintable(box.text));
        const bool yes = answer == Answer::Yes;
        QCOMPARE(Contents(path),
                 yes ? Lines({"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]"}) : old);
        QCOMPARE(w.Face().lblFileName->text(),
                 yes ? QStringLiteral("old.vdk") : QStringLiteral("keep.vdk"));
        // The rows show what was read back either way.
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 3\t\t\t"));
    }

    void cancelledReadBackWritesWhatWasRead() {
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                              "[1][3][2][3][1][0][0][0]"});
        frmKavroMain& w = *rig->window;
        const QString path = rig->dir.filePath(QStringLiteral("part.vdk"));
        // Handled in the read-back's first pass, which still takes its entry.
        QTimer::singleShot(0, &w,
                           [&w] { QTest::mouseClick(w.Face().cmdCancelDownload, Qt::LeftButton); });
        Save(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Comp", "RawMap 1"}));
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][1][2][1][1][0][0][0]"}));
        QCOMPARE(w.Face().lblFileName->text(), QStringLiteral("part.vdk"));
        QVERIFY(!w.Face().cmdCancelDownload->isVisible());
    }

    void fileButtonsWaitForTheReadBack_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("load") << false;
    }
    void fileButtonsWaitForTheReadBack() {
        QFETCH(bool, save);
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]"});
        frmKavroMain& w = *rig->window;
        const QString path = rig->dir.filePath(QStringLiteral("during.vdk"));
        QVERIFY(Put(path, Lines({"[1][5][2][5][1][0][0][0]"})));
        rig->dialogs.fileAnswers = {path};
        // The file buttons stay enabled during a read-back, which lets clicks through.
        QPushButton* button = save ? w.Face().cmdSaveMatrix : w.Face().cmdLoadMatrix;
        QTimer::singleShot(0, &w, [button] { QTest::mouseClick(button, Qt::LeftButton); });
        QTest::mouseClick(w.Face().cmdRefresh, Qt::LeftButton);
        QCOMPARE(rig->TakeLog(), QStringList({"Refresh", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QVERIFY(rig->dialogs.fileCalls.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][5][2][5][1][0][0][0]"}));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 2\t 2\t\t"));
        // Once the read-back is over the button works again.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(rig->dialogs.fileCalls.size(), 1);
    }
};

QTEST_MAIN(TestTallyFiles)
#include "test_tally_files.moc"
