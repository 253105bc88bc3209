#include <sys/resource.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "config/tally_file.h"
#include "support/test_files.h"

using namespace vendra;

using Items = QList<TallyItem>;
Q_DECLARE_METATYPE(vendra::TallyItem)

namespace vendra {
// Found by argument lookup when a comparison of items fails.
char* toString(const TallyItem& item) {
    return qstrdup(qPrintable(QStringLiteral("%1:\"%2\"").arg(item.Line).arg(item.Text)));
}
}  // namespace vendra

namespace {

QString Fixture(const char* name) {
    return QStringLiteral(VENDRA_FIXTURES "/vdk/") + QString::fromLatin1(name);
}

Items Numbered(int count) {
    Items items;
    for (int i = 1; i <= count; ++i)
        items << TallyItem{i, QStringLiteral("[1][%1][2][1][1][0][0][0]").arg(i % 1000)};
    return items;
}

// A message meant for a box: one readable paragraph of sensible length.
void VerifyShowable(const QString& message) {
    QVERIFY2(message.size() < 300, qPrintable(message.left(400)));
    for (QChar c : message)
        QVERIFY2(c.unicode() >= 0x20, "control character in message");
}

}  // namespace

class TestTallyFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void fixtures_data();
    void fixtures();
    void readErrors_data();
    void readErrors();
    void check_data();
    void check();
    void hostileFiles_data();
    void hostileFiles();
    void write_data();
    void write();
    void writeRefusesWhatCannotReadBack_data();
    void writeRefusesWhatCannotReadBack();
    void writeFailureKeepsOldFile();
    void writeIntoReadOnlyFolder();
    void writeWhereNoFolderIs();
    void parseFilename_data();
    void parseFilename();
};

void TestTallyFile::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Items>("items");
    QTest::addColumn<int>("skipped");

    const QString a = "[1][1][2][1][1][0][0][0]";
    const QString b = "[1][2][2][2][1][0][0][0]";
    const QByteArray A = a.toLatin1(), B = b.toLatin1();
    QTest::newRow("empty file") << QByteArray() << Items{} << 0;
    QTest::newRow("CRLF lines") << A + "\r\n" + B + "\r\n" << Items{{1, a}, {2, b}} << 0;
    QTest::newRow("LF lines") << A + "\n" + B + "\n" << Items{{1, a}, {2, b}} << 0;
    QTest::newRow("CR lines") << A + "\r" + B + "\r" << Items{{1, a}, {2, b}} << 0;
    QTest::newRow("no end after last line") << A + "\r\n" + B << Items{{1, a}, {2, b}} << 0;
    QTest::newRow("LF CR is two line ends") << A + "\n\r" + B << Items{{1, a}, {3, b}} << 1;
    QTest::newRow("comma makes two items") << A + "," + B + "\r\n" << Items{{1, a}, {1, b}} << 0;
    QTest::newRow("blanks before item skipped")
        << " \t " + A + ",  " + B << Items{{1, a}, {1, b}} << 0;
    QTest::newRow("blanks after item dropped") << A + "   \r\n" << Items{{1, a}} << 0;
    QTest::newRow("blank lines skipped") << "\r\n" + A + "\r\n   \r\n\r\n" + B + "\r\n"
                                         << Items{{2, a}, {5, b}} << 3;
    QTest::newRow("trailing comma") << A + ",\r\n" << Items{{1, a}} << 1;
    QTest::newRow("double comma") << A + ",," + B << Items{{1, a}, {1, b}} << 1;
    QTest::newRow("quoted spans a comma")
        << QByteArray("\"[1][2], [3]\"\r\n") << Items{{1, "[1][2], [3]"}} << 0;
    QTest::newRow("text after closing quote dropped")
        << QByteArray("\"[1][2]\" junk,[3]\r\n") << Items{{1, "[1][2]"}, {1, "[3]"}} << 0;
    QTest::newRow("missing closing quote runs to line end")
        << QByteArray("\"[1][2],[3]\r\n[4]") << Items{{1, "[1][2],[3]"}, {2, "[4]"}} << 0;
    QTest::newRow("empty quotes are blank") << QByteArray("\"\",[5]") << Items{{1, "[5]"}} << 1;
    QTest::newRow("blanks inside quotes kept")
        << QByteArray("\"  [1] \"") << Items{{1, "  [1] "}} << 0;
    QTest::newRow("single-byte text")
        << QByteArray("[1]\xE9\x80") << Items{{1, QString::fromLatin1("[1]\xE9\x80")}} << 0;
    // Empty items are skipped, not counted as mappings.
    QTest::newRow("comma storm") << QByteArray(200000, ',') + "[1]" << Items{{1, "[1]"}} << 200000;
}

void TestTallyFile::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(Items, items);
    QFETCH(int, skipped);
    const TallyReadResult r = ParseTallyItems(bytes);
    QVERIFY(r.Ok);
    QCOMPARE(r.Items, items);
    QCOMPARE(r.SkippedBlank, skipped);
}

void TestTallyFile::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<Items>("items");
    QTest::addColumn<int>("skipped");

    QTest::newRow("saved") << "saved.vdk"
                           << Items{{1, "[1][1][2][1][1][0][0][0]"},
                                    {2, "[1][2][2][2][1][0][0][0]"},
                                    {3, "[1][3][2][1][1][2][2][1]"}}
                           << 0;
    QTest::newRow("hand made") << "hand_made.vdk"
                               << Items{{1, "[1][1][2][1][1][0][0][0]"},
                                        {1, "[1][2][2][2][1][0][0][0]"},
                                        {3, "[1][3][2][1][1][2][2][2]"},
                                        {4, "[1][4], ,[2][3]"}}
                               << 2;
    QTest::newRow("empty") << "empty.vdk" << Items{} << 0;
}

void TestTallyFile::fixtures() {
    QFETCH(QString, file);
    QFETCH(Items, items);
    QFETCH(int, skipped);
    const TallyReadResult r = ReadTallyItems(Fixture(qPrintable(file)));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Items, items);
    QCOMPARE(r.SkippedBlank, skipped);
}

void TestTallyFile::readErrors_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << "missing"
                             << "No such file";
    QTest::newRow("folder") << "folder"
                            << "folder";
    QTest::newRow("too large") << "large"
                               << "larger than 8 MB";
}

void TestTallyFile::readErrors() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("show.vdk");
    if (kind == "folder") QVERIFY(QDir(dir.path()).mkdir("show.vdk"));
    if (kind == "large") Put(path, QByteArray(kMaxTallyFileBytes + 1, '['));
    const TallyReadResult r = ReadTallyItems(path);
    QVERIFY(!r.Ok);
    QVERIFY(r.Items.isEmpty());
    QVERIFY2(r.Error.contains(reason), qPrintable(r.Error));
    QVERIFY2(r.Error.contains("\"" + path + "\""), qPrintable(r.Error));
}

void TestTallyFile::check_data() {
    QTest::addColumn<Items>("items");
    QTest::addColumn<QString>("message");  // empty: accepted

    QTest::newRow("no items") << Items{} << "";
    QTest::newRow("good") << Items{{1, "[1][1][2][1][1][0][0][0]"}, {2, "[2][5][0][0]"}} << "";
    QTest::newRow("one field is enough") << Items{{1, "[3]"}} << "";
    QTest::newRow("no bracket")
        << Items{{1, "[1][1][2][1][1][0][0][0]"}, {2, "hello"}, {3, "bad"}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 2 (\"hello\") is not a mapping "
           "string. Nothing was changed.";
    QTest::newRow("output unit 0")
        << Items{{7, "[0][1][2][1][1][0][0][0]"}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 7 (\"[0][1][2][1][1][0][0][0]\") "
           "is not a mapping string. Nothing was changed.";
    QTest::newRow("output unit not a number")
        << Items{{1, "[x][1]"}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 1 (\"[x][1]\") is not a mapping "
           "string. Nothing was changed.";
    QTest::newRow("long line shortened")
        << Items{{4, QString(100, u'z')}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 4 (\"" + QString(40, u'z') +
               "...\") is not a mapping string. Nothing was changed.";
    QTest::newRow("control characters shown as ?")
        << Items{{1, QString::fromLatin1("a\x01\tb\x85")}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 1 (\"a??b?\") is not a mapping "
           "string. Nothing was changed.";
    QTest::newRow("four-digit channel")
        << Items{{3, "[1][1000][2][1][1][0][0][0]"}}
        << "The tally file \"/t/show.vdk\" was not loaded: line 3 holds \"[1000]\", wider than "
           "the three characters of a field. Nothing was changed.";
    QTest::newRow("1000 items") << Numbered(1000) << "";
    QTest::newRow("1001 items")
        << Numbered(1001)
        << "The tally file \"/t/show.vdk\" was not loaded: it holds 1001 mapping strings, more "
           "than the 1000 the console can hold. Nothing was changed.";
}

void TestTallyFile::check() {
    QFETCH(Items, items);
    QFETCH(QString, message);
    const TallyCheck c = CheckTallyItems(items, "/t/show.vdk");
    QCOMPARE(c.Ok, message.isEmpty());
    QCOMPARE(c.Message, message);
}

void TestTallyFile::hostileFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("1 MB line without line end")
        << QByteArray(1024 * 1024, 'x') << "line 1 (\"xxxxxxxx";
    QByteArray garbage(64 * 1024, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 256);
    QTest::newRow("binary garbage") << garbage << "is not a mapping string";
    QByteArray many;
    for (int i = 1; i <= 5000; ++i)
        many += "[1][" + QByteArray::number(i % 999) + "][2][1]\r\n";
    QTest::newRow("5000 lines") << many << "holds 5000 mapping strings";
}

void TestTallyFile::hostileFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    const QString path = dir.filePath("hostile.vdk");
    QVERIFY(Put(path, bytes));
    const TallyReadResult r = ReadTallyItems(path);
    QVERIFY(r.Ok);
    const TallyCheck c = CheckTallyItems(r.Items, path);
    QVERIFY(!c.Ok);
    QVERIFY2(c.Message.contains(messagePart), qPrintable(c.Message.left(400)));
    VerifyShowable(c.Message);
}

void TestTallyFile::write_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("none") << QStringList{} << QByteArray();
    QTest::newRow("one") << QStringList{"[1][5][2][3][1][0][0][0]"}
                         << QByteArray("[1][5][2][3][1][0][0][0]\r\n");
    QTest::newRow("order kept") << QStringList{"[2][1][2][3][1][0][0][0]",
                                               "[1][1][4][4][1][2][2][2]"}
                                << QByteArray(
                                       "[2][1][2][3][1][0][0][0]\r\n[1][1][4][4][1][2][2][2]\r\n");
    QTest::newRow("controller text as sent") << QStringList{"[ 1][ 2][ 3][ 4][1][0][0][0]"}
                                             << QByteArray("[ 1][ 2][ 3][ 4][1][0][0][0]\r\n");
    QTest::newRow("single-byte character")
        << QStringList{QString::fromLatin1("[1]\xE9")} << QByteArray("[1]\xE9\r\n");
}

void TestTallyFile::write() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("show.vdk");
    QVERIFY(Put(path, "an older and much longer file that must be replaced whole\r\n"));
    const TallyWriteResult w = WriteTallyFile(path, lines);
    QVERIFY2(w.Ok, qPrintable(w.Error));
    QCOMPARE(Contents(path), bytes);
    // Nothing but the file is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"show.vdk"});

    // What was written reads back as the same items, one per line.
    const TallyReadResult r = ReadTallyItems(path);
    QVERIFY(r.Ok);
    QCOMPARE(r.Items.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(r.Items[i].Line, i + 1);
        QCOMPARE(r.Items[i].Text, lines[i].trimmed());
    }
}

void TestTallyFile::writeRefusesWhatCannotReadBack_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("outside single byte") << QString::fromUtf8("[1][2]€");
    QTest::newRow("line feed inside") << QStringLiteral("[1][2]\n[3]");
    QTest::newRow("carriage return inside") << QStringLiteral("[1][2]\r");
}

void TestTallyFile::writeRefusesWhatCannotReadBack() {
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString path = dir.filePath("show.vdk");
    const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
    QVERIFY(Put(path, old));
    const TallyWriteResult w = WriteTallyFile(path, {"[1][1][2][1][1][0][0][0]", line});
    QVERIFY(!w.Ok);
    QVERIFY2(w.Error.contains("mapping 2"), qPrintable(w.Error));
    QVERIFY(w.Error.contains("\"" + path + "\""));
    QCOMPARE(Contents(path), old);
}

void TestTallyFile::writeFailureKeepsOldFile() {
    // A write that fails half-way (here: the file size limit of the process, which binds the
    // superuser too) must leave the old file as it was.
    QTemporaryDir dir;
    const QString path = dir.filePath("show.vdk");
    const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
    QVERIFY(Put(path, old));
    QStringList lines;
    for (const TallyItem& item : Numbered(999))
        lines << item.Text;

    TallyWriteResult w;
    {
        FileSizeLimit full(4096);
        QVERIFY(full.Ok());
        w = WriteTallyFile(path, lines);
    }

    QVERIFY(!w.Ok);
    QVERIFY2(w.Error.contains("\"" + path + "\""), qPrintable(w.Error));
    QVERIFY2(w.Error.contains("was not changed"), qPrintable(w.Error));
    QCOMPARE(Contents(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"show.vdk"});
}

void TestTallyFile::writeIntoReadOnlyFolder() {
    if (geteuid() == 0) QSKIP("folder permissions do not bind the superuser");
    QTemporaryDir dir;
    const QString path = dir.filePath("show.vdk");
    const QByteArray old = "[9][9][9][9][1][0][0][0]\r\n";
    QVERIFY(Put(path, old));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const TallyWriteResult w = WriteTallyFile(path, {"[1][1][2][1][1][0][0][0]"});
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!w.Ok);
    QVERIFY2(w.Error.contains("Permission denied", Qt::CaseInsensitive), qPrintable(w.Error));
    QCOMPARE(Contents(path), old);
}

void TestTallyFile::writeWhereNoFolderIs() {
    QTemporaryDir dir;
    const QString path = dir.filePath("gone/show.vdk");
    const TallyWriteResult w = WriteTallyFile(path, {"[1][1][2][1][1][0][0][0]"});
    QVERIFY(!w.Ok);
    QVERIFY2(w.Error.startsWith("The tally file \"" + path + "\" could not be written: "),
             qPrintable(w.Error));
    QVERIFY(!QFile::exists(path));
}

void TestTallyFile::parseFilename_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");

    QTest::newRow("usual") << "/home/op/show.vdk"
                           << "show.vdk";
    QTest::newRow("relative") << "tally/show.vdk"
                              << "show.vdk";
    QTest::newRow("separator second") << "a/b.vdk"
                                      << "b.vdk";
    QTest::newRow("separator first") << "/show.vdk"
                                     << "";
    QTest::newRow("two at the start") << "//show.vdk"
                                      << "show.vdk";
    QTest::newRow("no separator") << "show.vdk"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("ends with separator") << "/home/op/"
                                         << "";
    QTest::newRow("name of 50") << "/t/" + QString(50, u'n') << QString(50, u'n');
    QTest::newRow("name over 50") << "/t/" + QString(45, u'n') + "12345678.vdk"
                                  << QString(45, u'n') + "12345";
    QTest::newRow("blanks kept") << "/t/ my show .vdk"
                                 << " my show .vdk";
#ifdef Q_OS_WIN
    QTest::newRow("backslash") << "C:\\tally\\show.vdk"
                               << "show.vdk";
    QTest::newRow("mixed") << "C:\\tally/sub\\show.vdk"
                           << "show.vdk";
#else
    QTest::newRow("backslash is a name character") << "/t/a\\b.vdk"
                                                   << "a\\b.vdk";
#endif
}

void TestTallyFile::parseFilename() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(ParseFilename(path), name);
}

QTEST_GUILESS_MAIN(TestTallyFile)
#include "test_tally_file.moc"
