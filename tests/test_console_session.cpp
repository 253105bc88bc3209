// The console session's "Save" and "Load" and its live changes, against the controller model
// and without a window: the files written byte for byte, what goes over the wire, the rows, bad
// files and unwritable places; changes applied, verified and undone.
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "mapping/mapping_tables.h"
#include "mapping/output_test.h"
#include "support/session_internals.h"
#include "support/session_rig.h"
#include "support/test_files.h"

using namespace vendra;

namespace {

std::unique_ptr<SessionRig> Rig(bool online, const QStringList& preload = {}, int outputs = 10,
                                int inputs = 8, const QString& extraIni = {}) {
    auto rig = std::make_unique<SessionRig>();
    rig->WriteIni(SampleIni(outputs, inputs, extraIni));
    for (const QString& m : preload)
        rig->model.AddMappingString(m);
    if (!rig->Start(online)) qFatal("start-up failed");
    return rig;
}

void Save(SessionRig& rig, const QString& path) {
    rig.dialogs.fileAnswers = {path};
    rig.session->Files().SaveMatrix();
}

void Load(SessionRig& rig, const QString& path) {
    rig.dialogs.fileAnswers = {path};
    rig.session->Files().LoadMatrix();
}

QByteArray Lines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

// How the controller answers the line a test is about.
enum class Told { Takes, Refuses, Silent };

enum class LoadFault { Garbage, LongLine, ManyLines, OutputUnitZero, NoFields, Folder, Missing };

// The live-change flow's questions, answered from a script.
struct Questions : ChangeQuestions {
    bool confirm = true;
    int confirms = 0;
    bool GoOnWithFindings(const QString&, const FileCheck&) override { return true; }
    bool ReadBackFirst() override { return true; }
    bool Confirm(const QString&, const QList<PlannedChange>&) override {
        ++confirms;
        return confirm;
    }
};

// Outputs 1 .. 10 on unit 1, inputs 1 .. 8 on unit 2. The controller's table, and a file that
// keeps outputs 1 and 5, changes 2, adds 3 and removes 4.
const QStringList kHeld = {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                           "[1][4][2][4][1][0][0][0]", "[1][5][2][5][1][2][3][2]"};
const QStringList kWanted = {"[1][1][2][1][1][0][0][0]", "[1][2][2][6][1][0][0][0]",
                             "[1][3][2][8][1][0][0][0]", "[1][5][2][5][1][2][3][2]"};
const QStringList kChanges = {"Map 1 2 2 6", "Map 1 3 2 8", "Res 1  4", "ClrMap 1  4"};
const QStringList kAskedBack = {"GetMap 1  2", "GetMap 1  3", "GetMap 1  4"};

// The controller's mappings, holes left out, in output order.
std::vector<SimEntry> Mapped(const ControllerModel& model) {
    std::vector<SimEntry> entries;
    for (const SimEntry& e : model.Table())
        if (e.OutUnit != 0) entries.push_back(e);
    std::sort(entries.begin(), entries.end(), [](const SimEntry& a, const SimEntry& b) {
        return std::pair(a.OutUnit, a.OutChannel) < std::pair(b.OutUnit, b.OutChannel);
    });
    return entries;
}

std::vector<SimEntry> TableOf(const QStringList& lines) {
    ControllerModel model;
    for (const QString& line : lines)
        model.AddMappingString(line);
    return Mapped(model);
}

}  // namespace

Q_DECLARE_METATYPE(LoadFault)
Q_DECLARE_METATYPE(Told)
Q_DECLARE_METATYPE(FlowOutcome)

class TestConsoleSession : public QObject {
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
        rig->fileName = QStringLiteral("keep.vdk");
        const QStringList rows = rig->Rows();
        save ? rig->session->Files().SaveMatrix() : rig->session->Files().LoadMatrix();
        QCOMPARE(rig->dialogs.fileCalls.size(), 1);
        const ScriptedDialogs::FileCall& call = rig->dialogs.fileCalls.first();
        QCOMPARE(call.save, save);
        QCOMPARE(call.title, save ? QStringLiteral("Save Tally Matrix to File")
                                  : QStringLiteral("Open Tally file and upload to matrix"));
        QCOMPARE(call.filter, QStringLiteral("Vendra Tally(*.vdk)|*.vdk"));
        QCOMPARE(rig->TakeLog(), sent);
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(rig->fileName, QStringLiteral("keep.vdk"));
        QVERIFY(QDir(rig->dir.path()).entryList({"*.vdk"}, QDir::Files).isEmpty());
    }

    void offlineRoundTrip() {
        auto rig = Rig(false);
        ConsoleSession& s = *rig->session;
        // Made out of output order: the file comes in output order all the same.
        QVERIFY(s.Table().MapOutput(7, 5));
        QVERIFY(s.Table().MapOutputBoolean(3, 2, 6, BoolOp::Or));
        QVERIFY(s.Table().MapOutput(1, 4));
        QVERIFY(s.Table().MapOutputBoolean(9, 8, 1, BoolOp::And));
        const QStringList rows = rig->Rows();
        QCOMPARE(rows[2], QStringLiteral("Out 3\t 2\t||\t 6"));

        const QString path = rig->dir.filePath(QStringLiteral("studio"));  // no extension added
        Save(*rig, path);
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][1][2][4][1][0][0][0]", "[1][3][2][2][1][2][6][2]",
                                        "[1][7][2][5][1][0][0][0]", "[1][9][2][8][1][2][1][1]"}));
        QCOMPARE(rig->fileName, QStringLiteral("studio"));

        rig->dialogs.answers = {Answer::Ok};
        s.Table().ResetAndClearAll();
        QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t\t\t"));
        QVERIFY(rig->fileName.isEmpty());

        Load(*rig, path);
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(s.Installation().Tables().OutMapString[3],
                 QStringLiteral("[1][3][2][2][1][2][6][2]"));
        QCOMPARE(s.Installation().Tables().RawMapList[0],
                 QStringLiteral("[1][1][2][4][1][0][0][0]"));
        QCOMPARE(rig->fileName, QStringLiteral("studio"));
        QVERIFY(rig->TakeLog().isEmpty());  // offline: nothing ever went to the controller
        QCOMPARE(rig->dialogs.Titles(), QStringList{"Clear All"});
    }

    // Spare outputs ("Output n=Spare": unit 0, channel 0) are mapped by hand offline like any
    // row, and the file saved with them loads again offline, each line back on its own row.
    // Online nothing is sent for them (the controller's list would end at an output unit 0):
    // neither a mapping nor a load line, and the operator is told why.
    void spareOutputsAreNeverSent() {
        SessionRig rig;
        rig.WriteIni(SampleIni(3, 4, QStringLiteral("Output 4=Spare\r\nOutput 5=Spare\r\n")));
        QVERIFY(rig.Start(false));
        ConsoleSession& s = *rig.session;
        s.Table().MapOutput(4, 2);
        s.Table().MapOutput(5, 3);
        s.Table().MapOutput(1, 1);
        const QStringList rows = rig.Rows();
        const QString path = rig.dir.filePath(QStringLiteral("spare.vdk"));
        Save(rig, path);
        QCOMPARE(Contents(path), Lines({"[1][1][2][1][1][0][0][0]", "[0][0][2][2][1][0][0][0]",
                                        "[0][0][2][3][1][0][0][0]"}));

        for (bool online : {false, true}) {
            rig.dialogs.answers = {Answer::Ok};
            s.Table().ResetAndClearAll();
            QCOMPARE(rig.Row(5), QStringLiteral("\t\t\t"));
            if (online) s.Link().ToggleOnline();
            rig.TakeLog();
            Load(rig, path);
            QCOMPARE(rig.Rows(),
                     online ? QStringList({rows[0], rows[1], rows[2], "\t\t\t", "\t\t\t"}) : rows);
            QCOMPARE(rig.fileName, QStringLiteral("spare.vdk"));
            QCOMPARE(rig.TakeLog().filter(QStringLiteral("Map 0")), QStringList());
        }
        QCOMPARE(rig.dialogs.Titles(),
                 QStringList({"Clear All", "Clear All", "Information!", "Lines Not Taken"}));
        QVERIFY2(rig.dialogs.boxes.last().text.contains(
                     "line 2 ([0][0][2][2][1][0][0][0]): not sent, the output has no unit"),
                 qPrintable(rig.dialogs.boxes.last().text));
        QVERIFY(!s.Table().MapOutput(4, 2));
        QVERIFY(rig.TakeLog().isEmpty());
        QCOMPARE(rig.errorLine,
                 QStringLiteral("Output 4 has no unit in Kavro.ini: nothing was sent"));
    }

    void onlineRoundTrip() {
        SessionRig rig;
        // Output 7 before output 2, with a hole between them.
        rig.WriteIni(SampleIni(10, 8));
        rig.model.SetTable({{1, 7, 2, 3, 1, 0, 0, 0}, {}, {1, 2, 2, 4, 1, 2, 5, 2}});
        QVERIFY(rig.Start(true));
        ConsoleSession& s = *rig.session;
        s.Table().MapOutput(6, 3);
        s.Table().MapOutputBoolean(4, 1, 5, BoolOp::And);
        s.Table().MapOutput(6, 0);  // another hole
        s.Table().MapOutput(10, 2);
        rig.TakeLog();

        const QString path = rig.dir.filePath(QStringLiteral("show.vdk"));
        Save(rig, path);
        QCOMPARE(rig.TakeLog(),
                 QStringList({"Comp", "RawMap 1", "RawMap 2", "RawMap 3", "RawMap 4", "RawMap 5"}));
        // The controller's order once the holes are gone, not the output order.
        QCOMPARE(Contents(path), Lines({"[1][7][2][3][1][0][0][0]", "[1][2][2][4][1][2][5][2]",
                                        "[1][4][2][1][1][2][5][1]", "[1][10][2][2][1][0][0][0]"}));
        // The read-back before the write is what the rows show: the start-up's ended at the hole.
        QCOMPARE(rig.Row(2), QStringLiteral("Out 2\t 4\t||\t 5"));
        const QStringList rows = rig.Rows();
        QCOMPARE(s.Installation().Tables().MapStringCount, 4);
        const std::vector<SimEntry> table = rig.model.Table();

        rig.dialogs.answers = {Answer::Ok};
        s.Table().ResetAndClearAll();
        QVERIFY(rig.model.Table().empty());
        rig.TakeLog();

        Load(rig, path);
        QCOMPARE(rig.TakeLog(),
                 QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 7 2 3", "Map 1 2 2 4",
                              "OR 1 2 2 5", "Map 1 4 2 1", "AND 1 4 2 5", "Map 1 10 2 2"}));
        QCOMPARE(rig.Rows(), rows);
        QVERIFY(rig.model.Table() == table);
        QCOMPARE(rig.model.EnabledUnits(), (std::set<int>{1, 2}));
        QCOMPARE(rig.fileName, QStringLiteral("show.vdk"));
    }

    void onlineLoadSendsEveryLineAndShowsProgress() {
        auto rig = Rig(true, {QStringLiteral("[1][8][2][8][1][0][0][0]")});
        const QString path = rig->dir.filePath(QStringLiteral("mixed.vdk"));
        QVERIFY(Put(path, Lines({"[1][3][2][5][1][0][0][0]", "[1][1][2][2][1][2][4][1]", "",
                                 "[1][6][2][7][1][2][1][2]", "[1][2][0][0][1][0][0][0]"})));
        Load(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 3 2 5",
                                              "Map 1 1 2 2", "AND 1 1 2 4", "Map 1 6 2 7",
                                              "OR 1 6 2 1", "Res 1  2", "ClrMap 1  2"}));
        QCOMPARE(rig->progress,
                 QStringList({"", "Mapping  0", "Mapping  1", "Mapping  2", "Mapping  3"}));
        QVERIFY(rig->controlsEnabled);
        // The load replaced the whole table: output 8 is gone, here and in the controller.
        QVERIFY(Mapped(rig->model) ==
                (std::vector<SimEntry>{
                    {1, 1, 2, 2, 1, 2, 4, 1}, {1, 3, 2, 5, 1, 0, 0, 0}, {1, 6, 2, 7, 1, 2, 1, 2}}));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 1\t 2\t&\t 4"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t\t\t"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t 5\t\t"));
        QCOMPARE(rig->Row(6), QStringLiteral("Out 6\t 7\t||\t 1"));
        QCOMPARE(rig->Row(8), QStringLiteral("Out 8\t\t\t"));
        const MappingTables& t = rig->session->Installation().Tables();
        QCOMPARE(t.RawMapList[3], QStringLiteral("[1][2][0][0][1][0][0][0]"));
        QCOMPARE(t.MapStringCount, 1);  // a load leaves the read-back count alone
        QVERIFY(rig->dialogs.boxes.isEmpty());
    }

    void emptyFiles_data() {
        QTest::addColumn<bool>("online");
        QTest::newRow("online") << true;
        QTest::newRow("offline") << false;
    }
    void emptyFiles() {
        QFETCH(bool, online);
        auto rig = Rig(online, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        if (!online) {
            // Nothing mapped: the file is created, and empty.
            rig->dialogs.answers = {Answer::Ok};
            rig->session->Table().ResetAndClearAll();
            const QString path = rig->dir.filePath(QStringLiteral("none.vdk"));
            Save(*rig, path);
            QVERIFY(QFile::exists(path));
            QCOMPARE(Contents(path), QByteArray());
            rig->dialogs.Reset();
            rig->session->Table().MapOutput(5, 5);
        }
        // Online the operator is asked first: the file would clear the tally system.
        if (online) rig->dialogs.answers = {Answer::Yes};
        Load(*rig, QStringLiteral(VENDRA_FIXTURES "/vdk/empty.vdk"));
        QCOMPARE(rig->TakeLog(),
                 online ? QStringList({"Init", "Uenable  1", "Uenable  2"}) : QStringList());
        if (online) QVERIFY(rig->model.Table().empty());
        for (int o = 1; o <= 10; ++o)
            QCOMPARE(rig->Row(o), QStringLiteral("Out %1\t\t\t").arg(o));
        QCOMPARE(rig->fileName, QStringLiteral("empty.vdk"));
        QCOMPARE(rig->dialogs.Titles(), online ? QStringList{"Empty File"} : QStringList());
    }

    void handMadeFileSkipsBlankItems() {
        auto rig = Rig(false);
        Load(*rig, QStringLiteral(VENDRA_FIXTURES "/vdk/hand_made.vdk"));
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(rig->progress.size(), 5);  // the start, then four mapping strings
        QCOMPARE(rig->progress.last(), QStringLiteral("Mapping  3"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 1\t 1\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t 1\t||\t 2"));
        QCOMPARE(rig->Row(4), QStringLiteral("Out 4\t 3\t\t"));
        QCOMPARE(rig->session->Installation().Tables().OutMapString[4],
                 QStringLiteral("[1][4], ,[2][3]"));
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
        rig->fileName = QStringLiteral("keep.vdk");
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
        QVERIFY2(rig->dialogs.boxes.size() == (fault == SaveFault::SizeLimit ? 2 : 1),
                 qPrintable(rig->dialogs.Texts().join(QLatin1Char('|'))));
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.last();
        QCOMPARE(box.title, QStringLiteral("File Error"));
        QCOMPARE(box.icon, Icon::Information);
        const QString head =
            QStringLiteral("The tally file \"%1\" could not be written: ").arg(path);
        const QString tail = QStringLiteral(". The file was not changed.");
        QVERIFY2(box.text.startsWith(head) && box.text.endsWith(tail), qPrintable(box.text));
        const QString why = box.text.mid(head.size(), box.text.size() - head.size() - tail.size());
        QVERIFY2(!why.trimmed().isEmpty(), qPrintable(box.text));
        if (reason != 0) QCOMPARE(why, QString::fromLocal8Bit(std::strerror(reason)));
        QCOMPARE(rig->errorLine, QString());
        // Online, the table was read back whole and nothing else was sent.
        const QStringList heard = rig->TakeLog();
        QCOMPARE(heard.size(), online ? mappings + 2 : 0);
        if (online) QCOMPARE(heard.first(), QStringLiteral("Comp"));
        QCOMPARE(rig->fileName, QStringLiteral("keep.vdk"));
        QCOMPARE(rig->Row(mappings),
                 QStringLiteral("Out %1\t %2\t\t").arg(mappings).arg(mappings % 8 + 1));
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
        QTest::newRow("1001 lines") << LoadFault::ManyLines << true << "1001 mapping strings";
        QTest::newRow("output unit 0")
            << LoadFault::OutputUnitZero << true << "line 3 (\"[0][2][2][2][1][0][0][0]\")";
        QTest::newRow("no fields") << LoadFault::NoFields << false << "line 2 (\"1,1,2,2\")";
        QTest::newRow("folder") << LoadFault::Folder << true << "it is a folder";
        QTest::newRow("missing") << LoadFault::Missing << true << "File does not exist";
    }
    void refusedFileChangesNothing() {
        QFETCH(LoadFault, fault);
        QFETCH(bool, online);
        QFETCH(QString, reason);
        auto rig = Rig(online, {QStringLiteral("[1][2][2][3][1][0][0][0]")});
        rig->fileName = QStringLiteral("keep.vdk");
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
                for (int i = 0; i < 1001; ++i)
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
            case LoadFault::Missing:
                break;
        }
        if (!bytes.isEmpty()) QVERIFY(Put(path, bytes));

        Load(*rig, path);
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.title, QStringLiteral("File Error"));
        QCOMPARE(box.icon, Icon::Information);
        QVERIFY2(fault == LoadFault::Missing ||
                     box.text.contains(QLatin1Char('"') + path + QLatin1Char('"')),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        QVERIFY2(box.text.size() < 400, qPrintable(box.text.left(500)));
        for (QChar c : box.text)
            QVERIFY(c.unicode() >= 0x20);
        // Not a word to the controller, not a row changed.
        QVERIFY(rig->TakeLog().isEmpty());
        QVERIFY(rig->model.Table() == table);
        QCOMPARE(rig->Rows(), rows);
        QCOMPARE(rig->session->Installation().Tables().OutMapString[2],
                 QStringLiteral("[1][2][2][3][1][0][0][0]"));
        QCOMPARE(rig->fileName, QStringLiteral("keep.vdk"));
        QVERIFY(rig->controlsEnabled);
    }

    // A full table: 1000 lines fit (the 1001st is refused with the damaged files above), and
    // later lines for the same output win.
    void thousandLinesFit() {
        auto rig = Rig(false);
        QStringList lines;
        for (int i = 0; i < 1000; ++i)
            lines << QStringLiteral("[1][%1][2][%2][1][0][0][0]").arg(i % 10 + 1).arg(i % 8 + 1);
        const QString path = rig->dir.filePath(QStringLiteral("full.vdk"));
        QVERIFY(Put(path, Lines(lines)));
        Load(*rig, path);
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(rig->session->Installation().Tables().RawMapList[999], lines.last());
        QCOMPARE(rig->Row(10), QStringLiteral("Out 10\t 8\t\t"));
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
        const QString path = rig->dir.filePath(QStringLiteral("other.vdk"));
        const QString foreign = QStringLiteral("[3][1][2][2][1][0][0][0]");
        QVERIFY(Put(path, Lines({"[1][5][2][1][1][0][0][0]", foreign, "[1][6][2][3][1][0][0][0]",
                                 "[3][2][2][1][1][0][0][0]"})));
        Load(*rig, path);
        // Online it reaches the controller in any case; the rows never show it.
        QCOMPARE(rig->TakeLog().contains(QStringLiteral("Map 3 1 2 2")), online);
        QCOMPARE(rig->Row(5), QStringLiteral("Out 5\t 1\t\t"));
        QCOMPARE(rig->Row(6), QStringLiteral("Out 6\t 3\t\t"));
        QCOMPARE(rig->fileName, QStringLiteral("other.vdk"));
        // Whether or not a hidden slot takes them, the operator is told of both lines.
        QCOMPARE(SessionInternals::LoadLeftOut(*rig->session),
                 QStringList({foreign, QStringLiteral("[3][2][2][1][1][0][0][0]")}));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const QString text = rig->dialogs.boxes.first().text;
        QVERIFY2(text.contains(QStringLiteral("line 2 (") + foreign + ")") &&
                     text.contains(QStringLiteral("line 4 (")) &&
                     text.contains(QStringLiteral("2 lines of \"") + path + "\""),
                 qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("The tally system has them")), online);
        QCOMPARE(text.contains(QStringLiteral("a Save leaves them out")), !online);
        QCOMPARE(rig->session->Installation().Tables().OutMapString[kMaxOutputs], QString());
    }

    // A loaded line's row shows what the controller was sent, whatever the file or the
    // names hold.
    void loadedRowsShowWhatTheControllerHolds_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown mode goes as OR")
            << "[1][2][2][3][1][2][5][3]" << QStringList{"Map 1 2 2 3", "OR 1 2 2 5"} << 2
            << "Out 2\t 3\t||\t 5";
        QTest::newRow("TAB in the output's name")
            << "[1][11][2][1][1][0][0][0]" << QStringList{"Map 1 11 2 1"} << 11 << "Cam 1\t 1\t\t";
    }
    void loadedRowsShowWhatTheControllerHolds() {
        QFETCH(QString, line);
        QFETCH(QStringList, sent);
        QFETCH(int, output);
        QFETCH(QString, shown);
        auto rig = Rig(true, {}, 10, 8, QStringLiteral("Output 11=Cam\t1,1,11\r\n"));
        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(path, Lines({line})));
        Load(*rig, path);
        QCOMPARE(rig->TakeLog().mid(3), sent);  // after "Init" and the two "Uenable"
        QCOMPARE(rig->Row(output), shown);
        QVERIFY(rig->dialogs.boxes.isEmpty());
    }

    void onlineLoadStopsWhereTheControllerFallsSilent() {
        auto rig = Rig(true);
        const QString path = rig->dir.filePath(QStringLiteral("long.vdk"));
        QVERIFY(Put(path, Lines({"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]", "",
                                 "[1][3][2][3][1][2][4][2]", "[1][4][2][4][1][0][0][0]"})));
        // "Init", two "Uenable" and the first two "Map" lines are answered, then nothing.
        rig->model.SetAnswerLimit(5);
        Load(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Init", "Uenable  1", "Uenable  2", "Map 1 1 2 1",
                                              "Map 1 2 2 2", "Map 1 3 2 3"}));
        QCOMPARE(rig->progress.last(), QStringLiteral("Mapping  1"));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 1\t 1\t\t"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t\t\t"));
        QCOMPARE(rig->Row(4), QStringLiteral("Out 4\t\t\t"));
        QCOMPARE(rig->dialogs.boxes.size(), 1);
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.first();
        QCOMPARE(box.title, QStringLiteral("Load Stopped"));
        QVERIFY2(
            box.text.contains(QStringLiteral("stopped at line 4 ([1][3][2][3][1][2][4][2])")) &&
                box.text.contains(QStringLiteral("the 2 mappings of the lines before it")),
            qPrintable(box.text));
        QCOMPARE(rig->errorLine, QStringLiteral("Comm Error!"));
        QCOMPARE(rig->fileName, QStringLiteral("long.vdk"));
        QVERIFY(rig->controlsEnabled);
    }

    // The operator is asked before a file is replaced, and before a table the controller cut
    // short is written; only Yes writes it. The rows show what was read back either way.
    void askedBeforeWriting_data() {
        QTest::addColumn<bool>("online");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("existing file, yes") << false << Answer::Yes;
        QTest::newRow("existing file, no") << false << Answer::No;
        QTest::newRow("incomplete table, yes") << true << Answer::Yes;
        QTest::newRow("incomplete table, no") << true << Answer::No;
    }
    void askedBeforeWriting() {
        QFETCH(bool, online);
        QFETCH(Answer, answer);
        const QStringList held = {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                                  "[1][3][2][3][1][0][0][0]", "[1][4][2][4][1][0][0][0]"};
        auto rig = Rig(online, held);
        rig->fileName = QStringLiteral("keep.vdk");
        const QString path = rig->dir.filePath(QStringLiteral("old.vdk"));
        const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
        QVERIFY(Put(path, old));
        if (online) rig->model.SetAnswerLimit(3);  // "Comp" and two entries
        rig->dialogs.answers = {Answer::Yes, Answer::Ok, answer};
        if (!online) rig->dialogs.answers = {answer};
        Save(*rig, path);
        QCOMPARE(rig->dialogs.Titles(),
                 online ? QStringList(
                              {"File Already Exists", "Read-back incomplete", "Incomplete Table"})
                        : QStringList{"File Already Exists"});
        const ScriptedDialogs::Box& box = rig->dialogs.boxes.last();
        QCOMPARE(box.buttons, Buttons::YesNo);
        QCOMPARE(box.defaultAnswer, Answer::No);
        if (!online) QCOMPARE(box.text, QStringLiteral("Do you want to Ovewrwrite existing file"));
        if (online)
            QVERIFY2(box.text.contains(QStringLiteral("Only 2 mappings")) &&
                         box.text.contains(QLatin1Char('"') + path + QLatin1Char('"')),
                     qPrintable(box.text));
        const bool yes = answer == Answer::Yes;
        QCOMPARE(Contents(path), yes ? Lines(held.mid(0, online ? 2 : 4)) : old);
        QCOMPARE(rig->fileName, yes ? QStringLiteral("old.vdk") : QStringLiteral("keep.vdk"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(3),
                 online ? QStringLiteral("Out 3\t\t\t") : QStringLiteral("Out 3\t 3\t\t"));
    }

    // A table the controller did not compact is read only up to its first gap: the save says
    // so, writes only when told, and the copy is no longer taken for the controller's.
    void saveAfterARefusedCompactionAsks() {
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                              "[1][3][2][3][1][0][0][0]"});
        rig->model.Receive("ClrMap 1  2\r\n");  // a gap where entry 2 stood
        rig->model.AddRefusal("Comp");
        const QString path = rig->dir.filePath(QStringLiteral("gap.vdk"));
        rig->dialogs.answers = {Answer::No};
        Save(*rig, path);
        QCOMPARE(rig->dialogs.Titles(), QStringList{"Incomplete Table"});
        QVERIFY2(rig->dialogs.boxes.last().text.contains(QStringLiteral("did not compact")),
                 qPrintable(rig->dialogs.boxes.last().text));
        QVERIFY(!QFile::exists(path));
        QVERIFY(rig->session->Changes().CopyMayBeStale());
    }

    // "Refresh" ends the tests only where the controller made it: refused, the test stays
    // shown (and on); unanswered, each test is ended by hand before the read-back; that
    // unanswered too, the row stays red and the copy is not called the controller's, read-back
    // or not.
    void refreshNotMadeLeavesNoTestBehind_data() {
        QTest::addColumn<QStringList>("silent");  // lines taken but not answered; else refused
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("ended");
        QTest::newRow("refused") << QStringList() << QStringList{"Refresh", "Comp", "RawMap 1"}
                                 << false;
        QTest::newRow("unanswered")
            << QStringList{"Refresh"} << QStringList{"Refresh", "Res 1  2", "MapEnab 1  2"} << true;
        QTest::newRow("unanswered, and its take-back")
            << QStringList{"Refresh", "Res 1  2"} << QStringList{"Refresh", "Res 1  2", "Comp"}
            << false;
    }
    void refreshNotMadeLeavesNoTestBehind() {
        QFETCH(QStringList, silent);
        QFETCH(QStringList, sent);
        QFETCH(bool, ended);
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]"});
        ConsoleSession& s = *rig->session;
        s.Tests().TestLatchChange(2);
        QVERIFY(rig->model.IsForcedOn(1, 2));
        if (silent.isEmpty()) rig->model.AddRefusal("Refresh");
        rig->port->reply = [silent](const QByteArray& l) {
            return silent.contains(QString::fromLatin1(l.trimmed()))
                       ? std::optional<QByteArray>(QByteArray())
                       : std::nullopt;
        };
        rig->TakeLog();
        rig->dialogs.answers = {Answer::Ok, Answer::Ok};
        s.Table().Refresh();
        QCOMPARE(rig->TakeLog().mid(0, 3), sent);
        QCOMPARE(SessionInternals::UnderTest(s, 2), !ended);
        QCOMPARE(s.Changes().CopyMayBeStale(), silent.size() == 2);
    }

    void cancelledReadBackWritesWhatWasRead() {
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]",
                              "[1][3][2][3][1][0][0][0]"});
        ConsoleSession& s = *rig->session;
        const QString path = rig->dir.filePath(QStringLiteral("part.vdk"));
        // Handled in the read-back's first pass, which still takes its entry.
        QTimer::singleShot(0, &s, [&s] { s.Table().CancelReadBack(); });
        Save(*rig, path);
        QCOMPARE(rig->TakeLog(), QStringList({"Comp", "RawMap 1"}));
        QVERIFY(rig->dialogs.boxes.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][1][2][1][1][0][0][0]"}));
        QCOMPARE(rig->fileName, QStringLiteral("part.vdk"));
    }

    // A read-back lets events through: a save or a load asked for meanwhile does nothing.
    void fileOperationsWaitForTheReadBack_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("load") << false;
    }
    void fileOperationsWaitForTheReadBack() {
        QFETCH(bool, save);
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]"});
        ConsoleSession& s = *rig->session;
        const QString path = rig->dir.filePath(QStringLiteral("during.vdk"));
        QVERIFY(Put(path, Lines({"[1][5][2][5][1][0][0][0]"})));
        rig->dialogs.fileAnswers = {path};
        const auto operation = [&s, save] {
            save ? s.Files().SaveMatrix() : s.Files().LoadMatrix();
        };
        QTimer::singleShot(0, &s, operation);
        s.Table().Refresh();
        QCOMPARE(rig->TakeLog(),
                 QStringList({"Refresh", "Comp", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QVERIFY(rig->dialogs.fileCalls.isEmpty());
        QCOMPARE(Contents(path), Lines({"[1][5][2][5][1][0][0][0]"}));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 2\t\t"));
        // Once the read-back is over the operation works again.
        operation();
        QCOMPARE(rig->dialogs.fileCalls.size(), 1);
    }

    // A read-back asked for from the events of a running one does not start: the running one
    // owns the table, and nothing it has read is lost.
    void aReadBackDoesNotStartInsideAnother() {
        auto rig = Rig(true, {"[1][1][2][1][1][0][0][0]", "[1][2][2][2][1][0][0][0]"});
        ConsoleSession& s = *rig->session;
        std::optional<ReadBackResult> inner;
        QTimer::singleShot(0, &s, [&] { inner = s.Table().ReadControllerTable(); });
        QVERIFY(s.Table().Refresh().Complete());
        QVERIFY(inner && inner->end == ReadBackEnd::Cancelled);
        QCOMPARE(rig->TakeLog(),
                 QStringList({"Refresh", "Comp", "RawMap 1", "RawMap 2", "RawMap 3"}));
        QCOMPARE(rig->Row(1), QStringLiteral("Out 1\t 1\t\t"));
        QVERIFY(rig->dialogs.boxes.isEmpty());
    }

    // Only the changes go out, and success is claimed only where the outputs asked back prove
    // it: not when the controller falls silent part-way, not when the copy was compared.
    void applyChanges_data() {
        QTest::addColumn<QStringList>("file");
        QTest::addColumn<bool>("fresh");      // read the whole table back first
        QTest::addColumn<bool>("confirm");    // the operator's answer to the plan
        QTest::addColumn<int>("silentFrom");  // the change the controller stops answering at
        QTest::addColumn<FlowOutcome>("outcome");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("holds");
        const QStringList readBack = {"Comp",     "RawMap 1", "RawMap 2",
                                      "RawMap 3", "RawMap 4", "RawMap 5"};
        QTest::newRow("nothing to change, compared with the copy")
            << kHeld << false << true << 0 << FlowOutcome::NothingToChange << QStringList{}
            << false;
        QTest::newRow("nothing to change, read back")
            << kHeld << true << true << 0 << FlowOutcome::NothingToChange << readBack << true;
        QTest::newRow("applied and verified")
            << kWanted << false << true << 0 << FlowOutcome::Applied << kChanges + kAskedBack
            << true;
        QTest::newRow("read back, applied and verified")
            << kWanted << true << true << 0 << FlowOutcome::Applied
            << readBack + kChanges + kAskedBack << true;
        QTest::newRow("declined") << kWanted << false << false << 0 << FlowOutcome::Declined
                                  << QStringList{} << false;
        // The third command, "Res", goes unanswered: "ClrMap" is not sent, and the three
        // changed outputs are asked back without an answer.
        QTest::newRow("silent part-way") << kWanted << false << true << 3 << FlowOutcome::Stopped
                                         << kChanges.mid(0, 3) + kAskedBack << false;
    }
    void applyChanges() {
        QFETCH(QStringList, file);
        QFETCH(bool, fresh);
        QFETCH(bool, confirm);
        QFETCH(int, silentFrom);
        QFETCH(FlowOutcome, outcome);
        QFETCH(QStringList, sent);
        QFETCH(bool, holds);
        auto rig = Rig(true, kHeld);
        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(path, Lines(file)));
        if (silentFrom > 0) rig->port->FaultOn(SimFault::Silent, rig->port->writes + silentFrom);
        Questions questions;
        questions.confirm = confirm;
        const ChangeReport r = rig->session->Changes().ApplyChanges(
            {QStringLiteral("show.vdk"), path, {}, std::nullopt}, {fresh, true}, questions);
        QCOMPARE(r.Outcome, outcome);
        QCOMPARE(rig->TakeLog(), sent);
        QCOMPARE(r.Holds(), holds);
        QCOMPARE(questions.confirms, outcome == FlowOutcome::NothingToChange ? 0 : 1);
        if (outcome == FlowOutcome::Applied) {
            QVERIFY(Mapped(rig->model) == TableOf(file));
            QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 6\t\t"));
            QCOMPARE(rig->Row(4), QStringLiteral("Out 4\t\t\t"));
        }
        if (!confirm) QVERIFY(Mapped(rig->model) == TableOf(kHeld));
        // Asked back, or stopped at a change without an answer: never "not asked back".
        QVERIFY2(!r.Text().contains(QStringLiteral("every command was answered")),
                 qPrintable(r.Text()));
        if (outcome == FlowOutcome::Stopped)
            QVERIFY2(r.Text().contains(QStringLiteral("got no answer")) &&
                         r.Text().contains(QStringLiteral("no answer (should hold")),
                     qPrintable(r.Text()));
    }

    // One rule on every path that changes the controller: the row, the copy's stale mark, the
    // journal and the error line follow what the controller answered to the line that decides.
    void everyPathFollowsTheAnswer_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("decides");  // the line the controller answers as the row says
        QTest::addColumn<Told>("told");
        QTest::addColumn<QString>("row");  // output 2's row afterwards
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("journal");  // the outcome of output 2's last entry
        QTest::addColumn<QString>("error");
        const QString two = QStringLiteral("Out 2\t 2\t\t");
        const QString five = QStringLiteral("Out 2\t 5\t\t");
        const QString none = QStringLiteral("Out 2\t\t\t");
        const QString err = QStringLiteral("ERR REFUSED");
        const QString comm = QStringLiteral("Comm Error!");
        const QString undone =
            QStringLiteral("Undo \"mapping\" incomplete: 1 output of 1 not as before");
        struct Path {
            const char* name;
            const char* decides;
            QStringList rows;    // after the line is taken, refused, not answered
            QStringList errors;  // the same
            QString made = outcome::kAnswered;
            // The journal's word when the deciding line is refused, or goes unanswered.
            QString refused = outcome::kRefused;
            QString silent = outcome::kFailed;
            // A change made and not asked back leaves the copy as the controller's.
            bool silentStale = true;
        };
        // A refused or failed load line stays cleared; a refused "Init" keeps the table. The
        // undo asks the output back: its row then shows what the controller holds.
        const QList<Path> paths = {
            {"map", "Map 1 2 2 5", {five, two, two}, {"", err, comm}},
            {"AND/OR", "OR 1 2 2 6", {"Out 2\t 5\t||\t 6", five, five}, {"", err, comm}},
            // The second input goes only to a mapping the controller made.
            {"AND/OR map", "Map 1 2 2 5", {"Out 2\t 5\t||\t 6", two, two}, {"", err, comm}},
            {"clear", "ClrMap 1  2", {none, two, two}, {"", err, comm}},
            {"load line", "Map 1 2 2 5", {five, none, none}, {"", "", comm}},
            // An unanswered "Init" may or may not have cleared the table: no line goes on it.
            {"load line", "Init", {five, two, none}, {"", "", comm}},
            // A refused second input leaves the first, which the controller made, in the row.
            {"load AND line", "AND 1 2 2 6", {"Out 2\t 5\t&\t 6", five, none}, {"", "", comm}},
            {"Clear All", "Init", {none, two, none}, {"", err, comm}},
            // "Init" ends the controller's tests too: made or perhaps made, no test stays shown.
            {"Clear All latched", "Init", {none, two, none}, {"", err, comm}},
            {"latch", "Set 1  2", {two, two, two}, {"", err, comm}},
            {"apply unverified", "Map 1 2 2 5", {five, two, two}, {"", "", comm}},
            {"undo",
             "Map 1 2 2 2",
             {two, five, two},
             {"Undo \"mapping\": 1 output verified", undone, undone},
             outcome::kVerified},
            // The change is answered; only the question back goes unanswered.
            {"undo",
             "GetMap 1  2",
             {two, two, two},
             {"Undo \"mapping\": 1 output verified", undone, undone},
             outcome::kVerified,
             outcome::kUnverified,
             outcome::kUnverified,
             false},
            {"raw", "Map 1 2 2 5", {two, two, two}, {"", err, comm}},
            {"raw question", "GetMap 1  2", {two, two, two}, {"", err, comm}},
        };
        for (const Path& p : paths) {
            // A raw command may change the table whatever it is: the copy may then be stale.
            const bool raw = QLatin1String(p.name) == QLatin1String("raw");
            QTest::addRow("%s (%s), taken", p.name, p.decides)
                << p.name << p.decides << Told::Takes << p.rows[0] << raw << p.made << p.errors[0];
            QTest::addRow("%s (%s), refused", p.name, p.decides)
                << p.name << p.decides << Told::Refuses << p.rows[1] << false << p.refused
                << p.errors[1];
            QTest::addRow("%s (%s), silent", p.name, p.decides)
                << p.name << p.decides << Told::Silent << p.rows[2] << p.silentStale << p.silent
                << p.errors[2];
        }
    }
    void everyPathFollowsTheAnswer() {
        QFETCH(QString, path);
        QFETCH(QString, decides);
        QFETCH(Told, told);
        QFETCH(QString, row);
        QFETCH(bool, stale);
        QFETCH(QString, journal);
        QFETCH(QString, error);
        auto rig = Rig(true, {"[1][2][2][2][1][0][0][0]", "[1][4][2][4][1][0][0][0]"}, 10, 8,
                       QStringLiteral("Journal=journal.jsonl\r\n"));
        ConsoleSession& s = *rig->session;
        const QByteArray line = decides.toLatin1() + "\r\n";
        if (told == Told::Refuses) rig->model.AddRefusal(decides.toLatin1());
        // Silent to that line: the controller takes it but its answer never comes.
        if (told == Told::Silent)
            rig->port->reply = [line](const QByteArray& l) {
                return l == line ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
            };
        const QString file = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(file, Lines({"[1][2][2][5][1][0][0][0]", "[1][3][2][3][1][0][0][0]"})));
        const QString change = rig->dir.filePath(QStringLiteral("change.vdk"));
        QVERIFY(Put(change, Lines({"[1][2][2][5][1][0][0][0]", "[1][4][2][4][1][0][0][0]"})));
        if (path == "undo") s.Table().MapOutput(2, 5);
        rig->dialogs.answers = {Answer::Ok};
        Questions yes;
        std::optional<bool> changed;  // what the editor's mapping answered
        if (path == "map") changed = s.Table().MapOutput(2, 5);
        if (path.startsWith("AND/OR")) changed = s.Table().MapOutputBoolean(2, 5, 6, BoolOp::Or);
        if (path == "clear") s.Table().MapOutput(2, 0);
        if (path == "load line") Load(*rig, file);
        if (path == "load AND line") {
            QVERIFY(Put(file, Lines({"[1][2][2][5][1][2][6][1]", "[1][3][2][3][1][0][0][0]"})));
            Load(*rig, file);
        }
        if (path == "Clear All latched") s.Tests().TestLatchChange(2);
        if (path.startsWith("Clear All")) s.Table().ResetAndClearAll();
        if (path == "latch") s.Tests().TestLatchChange(2);
        if (path.startsWith("raw")) s.Link().SendRaw(decides, QStringLiteral("send"));
        if (path == "apply unverified")
            s.Changes().ApplyChanges({QStringLiteral("change.vdk"), change, {}, std::nullopt},
                                     {false, false}, yes);
        if (path == "undo") s.History().Undo();
        QVERIFY2(rig->model.Log().contains(decides), qPrintable(rig->model.Log().join('|')));

        QCOMPARE(rig->Row(2), row);
        // True when the output's mapping changed, if only to the first input.
        if (changed) QCOMPARE(*changed, told == Told::Takes || path == "AND/OR");
        QCOMPARE(s.Changes().CopyMayBeStale(), stale);
        QCOMPARE(rig->errorLine, error);
        const JournalRead j = ReadJournal(rig->dir.filePath(QStringLiteral("journal.jsonl")));
        QString last;
        for (const JournalEntry& e : j.Entries)
            if (e.Channel == 2 || !e.HasOutput()) last = e.Outcome;
        QCOMPARE(last, journal);
        // Whatever the copy does not mark as stale is what the controller holds; a test is
        // shown as on exactly when the controller has the output forced on.
        QStringList copy;
        for (const TallyItem& item : s.Changes().ConsoleCopyItems())
            copy << item.Text;
        if (!stale) QVERIFY(TableOf(copy) == Mapped(rig->model));
        QCOMPARE(SessionInternals::UnderTest(s, 2), rig->model.IsForcedOn(1, 2));
        // A refused load line does not stop the load: the next line is sent and shown.
        if (path == "load line" && decides.startsWith(QLatin1String("Map")) &&
            told == Told::Refuses)
            QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t 3\t\t"));
    }

    // A Clear All made offline clears the rows only: the test the controller still holds stays
    // shown, and its release, once online, reaches the controller.
    void anOfflineClearAllKeepsTheControllersTest() {
        auto rig = Rig(true, {"[1][2][2][2][1][0][0][0]"});
        ConsoleSession& s = *rig->session;
        s.Tests().TestLatchChange(2);
        QVERIFY(rig->model.IsForcedOn(1, 2));
        s.Link().ToggleOnline();
        rig->dialogs.answers = {Answer::Ok};
        s.Table().ResetAndClearAll();
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t\t\t"));
        QVERIFY(SessionInternals::UnderTest(s, 2));
        s.Link().ToggleOnline();
        s.Tests().TestLatchChange(2);
        QVERIFY(!rig->model.IsForcedOn(1, 2));
        QVERIFY(!SessionInternals::UnderTest(s, 2));
    }

    // Only input 0, "Unassigned", clears: an input on a unit below 1 is mapped like any other,
    // from the editor and from a file, and the row shows what the controller holds.
    void inputsOnUnitsBelowOne_data() {
        QTest::addColumn<QString>("line");  // a file line to load; empty: input 1 in the editor
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("row");
        QTest::newRow("editor") << ""
                                << "Map 1 3-2-7" << 3 << "Out 3\t 1\t\t";
        QTest::newRow("load line") << "[1][3][-2][-7][1][0][0][0]"
                                   << "Map 1 3-2-7" << 3 << "Out 3\t 1\t\t";
        QTest::newRow("AND line") << "[1][3][-2][-7][1][2][2][1]"
                                  << "AND 1 3 2 2" << 3 << "Out 3\t 1\t&\t 2";
        // The controller refuses an output unit below 1: the row does not claim it.
        QTest::newRow("output below 1") << "[-5][-3][-2][-7][1][0][0][0]"
                                        << "Map-5-3-2-7" << 11 << "O11\t\t\t";
    }
    void inputsOnUnitsBelowOne() {
        QFETCH(QString, line);
        QFETCH(QString, sent);
        QFETCH(int, output);
        QFETCH(QString, row);
        SessionRig fresh;
        fresh.WriteIni(
            SampleIni(10, 8, QStringLiteral("Output 11=O11,-5,-3\r\n"))
                .replace(QStringLiteral("Input 1=In 1,2,1"), QStringLiteral("Input 1=In 1,-2,-7")));
        QVERIFY(fresh.Start(true));
        ConsoleSession& s = *fresh.session;
        if (line.isEmpty()) {
            QVERIFY(s.Table().MapOutput(3, 1));
        } else {
            const QString path = fresh.dir.filePath(QStringLiteral("low.vdk"));
            QVERIFY(Put(path, Lines({line})));
            fresh.dialogs.answers = {Answer::Ok};
            Load(fresh, path);
        }
        QVERIFY2(fresh.TakeLog().contains(sent), qPrintable(sent));
        QCOMPARE(fresh.Row(output), row);
        QStringList copy;
        for (const TallyItem& item : s.Changes().ConsoleCopyItems())
            copy << item.Text;
        QVERIFY(TableOf(copy) == Mapped(fresh.model));
    }

    // Ctrl+C between the two commands of one change: the second is refused unsent, and the
    // apply reads as interrupted (the tool's 130), not as a controller that did not answer.
    void aStopInsideAChangeIsAnInterruption() {
        auto rig = Rig(true, kHeld);
        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(path, Lines(kWanted)));
        rig->port->onWrite = [&](const QByteArray& line) {
            if (line.startsWith("Res")) rig->session->Link().RequestStop();
        };
        Questions yes;
        const ChangeReport r = rig->session->Changes().ApplyChanges(
            {QStringLiteral("show.vdk"), path, {}, std::nullopt}, {}, yes);
        QCOMPARE(rig->TakeLog(), kChanges.mid(0, 3));
        QVERIFY(r.Applied.Interrupted);
        QCOMPARE(r.Applied.StoppedReply.Kind, ReplyKind::Refused);
        QCOMPARE(r.Outcome, FlowOutcome::Interrupted);
    }

    // A change made behind the console's back: asking the copy back finds it, and the row then
    // shows what the controller holds.
    void verifyCopyFindsAChangeBehindItsBack() {
        auto rig = Rig(true, kHeld);
        rig->model.Receive("Map 1 2 2 7");
        rig->TakeLog();
        const VerifyResult v = rig->session->Changes().VerifyCopy();
        QCOMPARE(rig->TakeLog(),
                 QStringList({"GetMap 1  1", "GetMap 1  2", "GetMap 1  4", "GetMap 1  5"}));
        QVERIFY(!v.Ok());
        QCOMPARE(v.Checked, 4);
        QCOMPARE(v.Mismatches.size(), 1);
        QCOMPARE(v.Mismatches[0].Output, 2);
        QCOMPARE(v.Mismatches[0].Held, QStringLiteral("[1][2][2][7][1][0][0][0]"));
        QCOMPARE(v.Mismatches[0].Wanted, QStringLiteral("[1][2][2][2][1][0][0][0]"));
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 7\t\t"));
    }

    // The applied changes are one step: undone, the controller holds its old table again.
    void undoOfAppliedChangesRestoresTheController() {
        auto rig = Rig(true, kHeld);
        const QString path = rig->dir.filePath(QStringLiteral("show.vdk"));
        QVERIFY(Put(path, Lines(kWanted)));
        Questions yes;
        ConsoleSession& s = *rig->session;
        QVERIFY(s.Changes()
                    .ApplyChanges({QStringLiteral("show.vdk"), path, {}, std::nullopt}, {}, yes)
                    .Holds());
        QVERIFY(SessionInternals::CanUndo(s));
        rig->TakeLog();
        rig->dialogs.answers = {Answer::Ok};
        s.History().Undo();
        QCOMPARE(rig->dialogs.Titles(), QStringList{"Undo"});
        QVERIFY(!SessionInternals::CanUndo(s));
        QVERIFY(Mapped(rig->model) == TableOf(kHeld));
        // Only the changed outputs are restored, and asked back.
        QCOMPARE(
            rig->TakeLog(),
            QStringList({"Map 1 2 2 2", "Res 1  3", "ClrMap 1  3", "Map 1 4 2 4"}) + kAskedBack);
        QCOMPARE(rig->Row(2), QStringLiteral("Out 2\t 2\t\t"));
        QCOMPARE(rig->Row(3), QStringLiteral("Out 3\t\t\t"));
    }
};

QTEST_GUILESS_MAIN(TestConsoleSession)
#include "test_console_session.moc"
