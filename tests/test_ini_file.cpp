#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/ini_file.h"

using vendra::IniFile;

namespace {

QString Chars(std::initializer_list<char16_t> units) {
    return QString(reinterpret_cast<const QChar*>(units.begin()), qsizetype(units.size()));
}

}  // namespace

class TestIniFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void values_data();
    void values();
    void decoding_data();
    void decoding();
    void fileStates_data();
    void fileStates();
    void unreadableFile();
    void everyLineEndCountsOnce();
};

void TestIniFile::values_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray basic = "[Vendra]\nSystem=Studio A\n";
    QTest::newRow("plain") << basic << "Vendra"
                           << "System"
                           << "Studio A";
    QTest::newRow("section case") << basic << "VENDRA"
                                  << "System"
                                  << "Studio A";
    QTest::newRow("key case") << basic << "Vendra"
                              << "sYSTEM"
                              << "Studio A";
    QTest::newRow("names in file in other case") << QByteArray("[vEnDrA]\nsystem=X\n") << "Vendra"
                                                 << "System"
                                                 << "X";
    QTest::newRow("blanks around names and value")
        << QByteArray("  [ Vendra ]  \n\t System \t=  \tStudio A \t\n") << "Vendra"
        << "System"
        << "Studio A";
    QTest::newRow("blank inside key kept")
        << QByteArray("[Vendra]\nOutput 12=Cam,1,2\n") << "Vendra"
        << "Output 12"
        << "Cam,1,2";
    QTest::newRow("key without the blank is another key")
        << QByteArray("[Vendra]\nOutput12=Cam,1,2\n") << "Vendra"
        << "Output 12"
        << "";
    QTest::newRow("first occurrence wins")
        << QByteArray("[Vendra]\nSystem=First\nSYSTEM=Second\n") << "Vendra"
        << "System"
        << "First";
    QTest::newRow("first wins across repeated section")
        << QByteArray("[Vendra]\nSystem=First\n[Other]\nSystem=O\n[vendra]\nSystem=Second\n")
        << "Vendra"
        << "System"
        << "First";
    QTest::newRow("repeated section adds new keys")
        << QByteArray("[Vendra]\nSystem=S\n[Other]\nx=1\n[Vendra]\nCommPort=4\n") << "Vendra"
        << "CommPort"
        << "4";
    QTest::newRow("value kept whole")
        << QByteArray("[Vendra]\nOutput 1=\"Cam 5 , 3 ;x\",1,2 ; not a comment\n") << "Vendra"
        << "Output 1"
        << "\"Cam 5 , 3 ;x\",1,2 ; not a comment";
    QTest::newRow("equals sign inside value") << QByteArray("[Vendra]\nSystem=a=b\n") << "Vendra"
                                              << "System"
                                              << "a=b";
    QTest::newRow("no escape processing")
        << QByteArray("[Vendra]\nSystem=C:\\tally\\n\n") << "Vendra"
        << "System"
        << "C:\\tally\\n";
    QTest::newRow("semicolon comment")
        << QByteArray("[Vendra]\n;System=Hidden\nSystem=Shown\n") << "Vendra"
        << "System"
        << "Shown";
    QTest::newRow("hash comment after blanks")
        << QByteArray("[Vendra]\n   # System=Hidden\n") << "Vendra"
        << "System"
        << "";
    QTest::newRow("line without equals ignored")
        << QByteArray("[Vendra]\nSystem\nSystem=Later\n") << "Vendra"
        << "System"
        << "Later";
    QTest::newRow("empty value is empty") << QByteArray("[Vendra]\nSystem=   \n") << "Vendra"
                                          << "System"
                                          << "";
    QTest::newRow("key outside any section not found")
        << QByteArray("System=Loose\n[Vendra]\n") << "Vendra"
        << "System"
        << "";
    QTest::newRow("missing section") << QByteArray("[Other]\nSystem=X\n") << "Vendra"
                                     << "System"
                                     << "";
    QTest::newRow("missing key") << basic << "Vendra"
                                 << "CommPort"
                                 << "";
    QTest::newRow("CRLF") << QByteArray("[Vendra]\r\nSystem=A\r\nCommPort=2\r\n") << "Vendra"
                          << "System"
                          << "A";
    QTest::newRow("CR only") << QByteArray("[Vendra]\rSystem=A\rCommPort=2\r") << "Vendra"
                             << "CommPort"
                             << "2";
    QTest::newRow("no line end at end of file") << QByteArray("[Vendra]\nSystem=Last") << "Vendra"
                                                << "System"
                                                << "Last";
    QTest::newRow("keys of other section not seen")
        << QByteArray("[Vendra]\nSystem=S\n[Other]\nCommPort=9\n") << "Vendra"
        << "CommPort"
        << "";
}

void TestIniFile::values() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    IniFile ini;
    ini.LoadBytes(bytes);
    QVERIFY(ini.IsRead());
    QCOMPARE(ini.Value(section, key), expected);
}

void TestIniFile::decoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << QByteArray("abc") << "abc";
    QTest::newRow("utf-8 e acute") << QByteArray("Caf\xC3\xA9") << QString::fromUtf8("Café");
    QTest::newRow("utf-8 with BOM") << QByteArray(
                                           "\xEF\xBB\xBF"
                                           "Caf\xC3\xA9")
                                    << QString::fromUtf8("Café");
    QTest::newRow("1252 e acute") << QByteArray("Caf\xE9") << QString::fromUtf8("Café");
    QTest::newRow("1252 euro") << QByteArray("\x80 5") << QString::fromUtf8("€ 5");
    QTest::newRow("1252 high controls")
        << QByteArray("\x8A\x99\x9F\x85\x96") << QString::fromUtf8("Š™Ÿ…–");
    QTest::newRow("1252 undefined bytes keep their value")
        << QByteArray("\x81\x8D\x8F\x90\x9D") << Chars({0x81, 0x8D, 0x8F, 0x90, 0x9D});
    QTest::newRow("1252 upper half is Latin-1")
        << QByteArray("\xA0\xC4\xFF") << Chars({0xA0, 0xC4, 0xFF});
    QByteArray high;
    for (int b = 0x80; b <= 0x9F; ++b)
        high += char(b);
    QTest::newRow("1252 whole 0x80..0x9F")
        << high << QString::fromUtf8("€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ");
    // One byte that is not UTF-8 makes the whole file 1252, also its valid UTF-8 look-alikes.
    QTest::newRow("mixed is 1252") << QByteArray("\xC3\xA9 \xE9") << QString::fromUtf8("Ã© é");
    QTest::newRow("truncated utf-8 sequence is 1252")
        << QByteArray("A\xE2\x82") << QString::fromUtf8("Aâ‚");
    QTest::newRow("BOM before 1252 text dropped")
        << QByteArray("\xEF\xBB\xBF\xE9") << QString::fromUtf8("é");
}

void TestIniFile::decoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(IniFile::Decode(bytes), expected);

    // The same decoding reaches values, and a BOM does not stick to the first section name.
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray body = bytes.startsWith(bom) ? bytes.mid(3) : bytes;
    IniFile ini;
    ini.LoadBytes((bytes.startsWith(bom) ? bom : QByteArray()) + "[Vendra]\nSystem=" + body + "\n");
    QCOMPARE(ini.Value(u"Vendra", u"System"), expected);
}

void TestIniFile::fileStates_data() {
    QTest::addColumn<QByteArray>("content");  // "<none>": no file, "<dir>": a folder
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("readable") << QByteArray("[Vendra]\nSystem=S\n") << int(IniFile::State::Read)
                              << "";
    QTest::newRow("empty file") << QByteArray("") << int(IniFile::State::Read) << "";
    QTest::newRow("missing") << QByteArray("<none>") << int(IniFile::State::Missing)
                             << "No such file";
    QTest::newRow("folder") << QByteArray("<dir>") << int(IniFile::State::Unreadable)
                            << "directory";
    QTest::newRow("binary") << QByteArray("[Vendra]\nSystem=S\n\0\x01\x02", 21)
                            << int(IniFile::State::Unreadable) << "binary";
    QTest::newRow("too large") << QByteArray(IniFile::kMaxBytes + 1, 'a')
                               << int(IniFile::State::Unreadable) << "too large";
}

void TestIniFile::fileStates() {
    QFETCH(QByteArray, content);
    QFETCH(int, state);
    QFETCH(QString, reasonPart);
    QTemporaryDir dir;
    const QString path = dir.filePath("Kavro.ini");
    if (content == "<dir>") {
        QVERIFY(QDir(dir.path()).mkdir("Kavro.ini"));
    } else if (content != "<none>") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    IniFile ini(path);
    QCOMPARE(int(ini.FileState()), state);
    QCOMPARE(ini.IsRead(), state == int(IniFile::State::Read));
    QCOMPARE(ini.Path(), path);
    if (reasonPart.isEmpty()) {
        QVERIFY(ini.ErrorText().isEmpty());
    } else {
        QVERIFY2(ini.ErrorText().contains(reasonPart, Qt::CaseInsensitive),
                 qPrintable(ini.ErrorText()));
        // An unusable file reads as empty, even where part of it would parse.
        QCOMPARE(ini.Value(u"Vendra", u"System"), QString());
    }
}

void TestIniFile::unreadableFile() {
    if (geteuid() == 0) QSKIP("file permissions do not bind the superuser");
    QTemporaryDir dir;
    const QString path = dir.filePath("Kavro.ini");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Vendra]\nSystem=S\n");
    f.close();
    QVERIFY(f.setPermissions(QFileDevice::Permissions()));
    IniFile ini(path);
    QCOMPARE(ini.FileState(), IniFile::State::Unreadable);
    QVERIFY2(ini.ErrorText().contains("Permission", Qt::CaseInsensitive),
             qPrintable(ini.ErrorText()));
}

void TestIniFile::everyLineEndCountsOnce() {
    // Mixed line ends in one file: each of CR LF, LF and a lone CR ends exactly one line, so no
    // key is glued to the next and none is lost.
    IniFile ini;
    ini.LoadBytes("[Vendra]\r\nA=1\nB=2\rC=3\r\n\r\nD=4\n\rE=5");
    const char* keys[] = {"A", "B", "C", "D", "E"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(ini.Value(u"Vendra", QString::fromLatin1(keys[i])), QString::number(i + 1));
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
