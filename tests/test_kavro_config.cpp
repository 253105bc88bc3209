#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "config/kavro_config.h"
#include "platform/ini_file.h"

using namespace vendra;

namespace {

struct Entry {
    QString name;
    int unit = 0;
    int channel = 0;
    friend bool operator==(const Entry&, const Entry&) = default;
};

}  // namespace

Q_DECLARE_METATYPE(Entry)

namespace {

// Found by argument lookup when a comparison of entries fails.
char* toString(const Entry& e) {
    return qstrdup(
        qPrintable(QStringLiteral("(\"%1\",%2,%3)").arg(e.name).arg(e.unit).arg(e.channel)));
}

QString Fixture(const char* name) {
    return QStringLiteral(VENDRA_FIXTURES "/kavro/") + QString::fromLatin1(name);
}

// What start-up holds before the file is read; a refused file must leave all of it alone.
struct Targets {
    MappingTables tables;
    InstallationConfig config;
    EnabledUnits units;

    Targets() {
        tables.NumOutputs = 1;
        tables.OutName[1] = QStringLiteral("before");
        tables.OutUnit[1] = 77;
        tables.NumInputs = 1;
        tables.InName[1] = QStringLiteral("before");
        config.SystemName = QStringLiteral("before");
        config.VendraCommport = 9;
        units = ParseEnabledUnits(u"8,9");
    }
    bool Untouched() const {
        return tables.NumOutputs == 1 && tables.OutName[1] == "before" && tables.OutUnit[1] == 77 &&
               tables.NumInputs == 1 && tables.InName[1] == "before" &&
               config.SystemName == "before" && config.VendraCommport == 9 &&
               units.EnabledUnitCount == 2 && units.EnabledUnitList[1] == 8;
    }
    IniReadResult Read(const QByteArray& bytes) {
        IniFile ini;
        ini.LoadBytes(bytes);
        return IniRead(ini, tables, config, units);
    }
    QList<Entry> Outputs() const {
        QList<Entry> out;
        for (int n = 1; n <= tables.NumOutputs; ++n)
            out << Entry{tables.OutName[n], tables.OutUnit[n], tables.OutChannel[n]};
        return out;
    }
    QList<Entry> Inputs() const {
        QList<Entry> out;
        for (int n = 1; n <= tables.NumInputs; ++n)
            out << Entry{tables.InName[n], tables.InUnit[n], tables.InChannel[n]};
        return out;
    }
};

const QByteArray kHead = "[Vendra]\nSystem=S\n";

QByteArray Numbered(const char* word, int count, const char* format = "%1 %2=Name %2,1,%2") {
    QByteArray out;
    for (int n = 1; n <= count; ++n)
        out += QString::fromLatin1(format).arg(QLatin1String(word)).arg(n).toLatin1() + '\n';
    return out;
}

}  // namespace

class TestKavroConfig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exampleFile();
    void windowsEditorFile();
    void entries_data();
    void entries();
    void commPort_data();
    void commPort();
    void outOfRange_data();
    void outOfRange();
    void missing_data();
    void missing();
    void missingOrUnreadableFile();
    void tooManyEntries();
    void commDevice();
    void listRows();
    void fullInstallationFromFile();
};

void TestKavroConfig::exampleFile() {
    Targets t;
    const IniReadResult r = IniRead(Fixture("studio_a"), t.tables, t.config, t.units);
    QCOMPARE(r.Outcome, IniOutcome::Ok);
    QVERIFY(r.Warnings.isEmpty());
    QCOMPARE(t.config.SystemName, "Studio A");
    QCOMPARE(t.config.VendraCommport, 2);
    QCOMPARE(t.config.EnabledUnitsText, "1,2");
    QVERIFY(t.config.CommDevice.isEmpty());
    QCOMPARE(t.units.EnabledUnitCount, 2);
    QCOMPARE(t.units.EnabledUnitList[2], 2);
    QCOMPARE(t.Outputs(), (QList<Entry>{{"Out A", 1, 1}, {"Out B", 1, 2}}));
    QCOMPARE(t.Inputs(), (QList<Entry>{{"Source A", 2, 1}, {"Source B", 2, 2}}));
    QCOMPARE(t.tables.InName[0], "Unassigned");
    QCOMPARE(t.tables.InUnit[0], 0);
    QCOMPARE(t.tables.InChannel[0], 0);
}

void TestKavroConfig::windowsEditorFile() {
    // CR LF, Windows-1252 bytes, names in other case, blanks around "=", a decoy section and a
    // repeated key: what an installer's editor leaves behind.
    Targets t;
    const IniReadResult r = IniRead(Fixture("windows_1252"), t.tables, t.config, t.units);
    QCOMPARE(r.Outcome, IniOutcome::Ok);
    QCOMPARE(t.config.SystemName, QString::fromUtf8("Salle été"));
    QCOMPARE(t.config.VendraCommport, 4);
    QCOMPARE(t.units.EnabledUnitCount, 2);
    QCOMPARE(t.units.EnabledUnitList[1], 3);
    QCOMPARE(t.Outputs(),
             (QList<Entry>{{QString::fromUtf8("Caméra 1 "), 3, 1}, {"", 0, 0}, {"Cam 3", 3, 3}}));
    QCOMPARE(t.Inputs(), (QList<Entry>{{"Mixer", 4, 1}}));
}

void TestKavroConfig::entries_data() {
    // Every row is read once as outputs and once as inputs: both lists follow one rule.
    QTest::addColumn<QByteArray>("lines");  // "W" stands for the word
    QTest::addColumn<QList<Entry>>("expected");

    QTest::newRow("two") << QByteArray("W 1=A,1,1\nW 2=B,1,2\n")
                         << QList<Entry>{{"A", 1, 1}, {"B", 1, 2}};
    QTest::newRow("key without the blank") << QByteArray("W1=A,1,1\nW2=B,1,2\n") << QList<Entry>{};
    QTest::newRow("leading zero") << QByteArray("W 01=A,1,1\n") << QList<Entry>{};
    QTest::newRow("gap ends the list") << QByteArray("W 1=A,1,1\nW 2=B,1,2\nW 4=D,1,4\n")
                                       << QList<Entry>{{"A", 1, 1}, {"B", 1, 2}};
    QTest::newRow("empty value ends the list")
        << QByteArray("W 1=A,1,1\nW 2=  \nW 3=C,1,3\n") << QList<Entry>{{"A", 1, 1}};
    QTest::newRow("line order does not matter")
        << QByteArray("W 3=C,1,3\nW 1=A,1,1\nW 2=B,1,2\n")
        << QList<Entry>{{"A", 1, 1}, {"B", 1, 2}, {"C", 1, 3}};
    QTest::newRow("blank entries keep their row")
        << QByteArray("W 1=A,1,1\nW 2=Spare\nW 3=Spare,4\nW 4=D,2,4\n")
        << QList<Entry>{{"A", 1, 1}, {"", 0, 0}, {"", 0, 0}, {"D", 2, 4}};
    QTest::newRow("name kept as written")
        << QByteArray("W 1=Cam 5 , 3 ,12\n") << QList<Entry>{{"Cam 5 ", 3, 12}};
    QTest::newRow("blanks before the value are not part of it")
        << QByteArray("W 1=   Cam,1,2\n") << QList<Entry>{{"Cam", 1, 2}};
    QTest::newRow("quotes and semicolons are name")
        << QByteArray("W 1=\"Cam;1\",1,2\n") << QList<Entry>{{"\"Cam;1\"", 1, 2}};
    QTest::newRow("empty name") << QByteArray("W 1=,4,5\n") << QList<Entry>{{"", 4, 5}};
    QTest::newRow("further commas end the channel")
        << QByteArray("W 1=A,1,2,3\n") << QList<Entry>{{"A", 1, 2}};
    QTest::newRow("not numbers give 0") << QByteArray("W 1=A, x ,y\n") << QList<Entry>{{"A", 0, 0}};
    QTest::newRow("leading number counts")
        << QByteArray("W 1=A,3rd,7b\n") << QList<Entry>{{"A", 3, 7}};
    QTest::newRow("halves to even")
        << QByteArray("W 1=A,2.5,3.5\nW 2=B,-0.5,1.49\n") << QList<Entry>{{"A", 2, 4}, {"B", 0, 1}};
    QTest::newRow("edges of a mapping field")
        << QByteArray("W 1=A,-99,999\n") << QList<Entry>{{"A", -99, 999}};
    QTest::newRow("key in lower case") << QByteArray("w 1=A,1,1\n") << QList<Entry>{{"A", 1, 1}};
    QTest::newRow("first of a repeated key")
        << QByteArray("W 1=A,1,1\nW 1=Z,9,9\n") << QList<Entry>{{"A", 1, 1}};
}

void TestKavroConfig::entries() {
    QFETCH(QByteArray, lines);
    QFETCH(QList<Entry>, expected);
    for (const char* word : {"Output", "Input"}) {
        Targets t;
        QByteArray body = lines;
        body.replace("W", word).replace("w", QByteArray(word).toLower());
        const IniReadResult r = t.Read(kHead + body);
        QCOMPARE(r.Outcome, IniOutcome::Ok);
        if (QByteArray(word) == "Output") {
            QCOMPARE(t.Outputs(), expected);
            QCOMPARE(t.tables.NumInputs, 0);
        } else {
            QCOMPARE(t.Inputs(), expected);
            QCOMPARE(t.tables.NumOutputs, 0);
        }
    }
}

void TestKavroConfig::commPort_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("port");  // 0: refused

    QTest::newRow("missing") << QByteArray() << 1;
    QTest::newRow("empty") << QByteArray("CommPort=\n") << 1;
    QTest::newRow("zero") << QByteArray("CommPort=0\n") << 1;
    QTest::newRow("not a number") << QByteArray("CommPort=COM3\n") << 1;
    QTest::newRow("two") << QByteArray("CommPort=2\n") << 2;
    QTest::newRow("blanks") << QByteArray("CommPort = 7 \n") << 7;
    QTest::newRow("255") << QByteArray("CommPort=255\n") << 255;
    QTest::newRow("rounded") << QByteArray("CommPort=2.5\n") << 2;
    QTest::newRow("256") << QByteArray("CommPort=256\n") << 0;
    QTest::newRow("rounds to 256") << QByteArray("CommPort=255.5\n") << 0;
    QTest::newRow("-1") << QByteArray("CommPort=-1\n") << 0;
    QTest::newRow("huge") << QByteArray("CommPort=99999999999999999999999\n") << 0;
}

void TestKavroConfig::commPort() {
    QFETCH(QByteArray, line);
    QFETCH(int, port);
    Targets t;
    const IniReadResult r = t.Read(kHead + line + "Output 1=A,1,1\n");
    if (port != 0) {
        QCOMPARE(r.Outcome, IniOutcome::Ok);
        QCOMPARE(t.config.VendraCommport, port);
        return;
    }
    QCOMPARE(r.Outcome, IniOutcome::Invalid);
    const QString value = QString::fromLatin1(line.mid(line.indexOf('=') + 1).trimmed());
    QCOMPARE(r.Message, QStringLiteral("Kavro.ini: the value of \"CommPort\" (\"%1\") is outside "
                                       "0 .. 255.")
                            .arg(value));
    QVERIFY(t.Untouched());
}

void TestKavroConfig::outOfRange_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("message");

    const QByteArray six = Numbered("Output", 6);
    QTest::newRow("channel of output 7")
        << six + "Output 7=Cam 7,1,70000\n"
        << "Kavro.ini: the value of \"Output 7\" (\"Cam 7,1,70000\") has a unit or channel "
           "outside -99 .. 999.";
    QTest::newRow("four-digit channel")
        << QByteArray("Output 1=Big,1,1000\n")
        << "Kavro.ini: the value of \"Output 1\" (\"Big,1,1000\") has a unit or channel outside "
           "-99 .. 999.";
    QTest::newRow("input unit below")
        << QByteArray("Input 1=A,1,1\nInput 2=Mic, -100 ,3\n")
        << "Kavro.ini: the value of \"Input 2\" (\"Mic, -100 ,3\") has a unit or channel "
           "outside -99 .. 999.";
    QTest::newRow("rounds past the edge")
        << QByteArray("Input 1=A,1,999.5\n")
        << "Kavro.ini: the value of \"Input 1\" (\"A,1,999.5\") has a unit or channel outside "
           "-99 .. 999.";
    QTest::newRow("enabled unit")
        << QByteArray("EnabledUnits=1,70000\n")
        << "Kavro.ini: the value of \"EnabledUnits\" (\"1,70000\") has a unit outside "
           "-32768 .. 32767.";
}

void TestKavroConfig::outOfRange() {
    QFETCH(QByteArray, lines);
    QFETCH(QString, message);
    Targets t;
    const IniReadResult r = t.Read(kHead + lines);
    QCOMPARE(r.Outcome, IniOutcome::Invalid);
    QCOMPARE(r.Message, message);
    QVERIFY(t.Untouched());
}

void TestKavroConfig::missing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");

    const QByteArray rest = "CommPort=3\nEnabledUnits=1\nOutput 1=A,1,1\nInput 1=B,2,1\n";
    QTest::newRow("no System") << "[Vendra]\n" + rest << "\"System\"";
    QTest::newRow("empty System") << "[Vendra]\nSystem=  \n" + rest << "\"System\"";
    QTest::newRow("System in another section")
        << "[Other]\nSystem=S\n[Vendra]\n" + rest << "\"System\"";
    QTest::newRow("no section") << "[Other]\nSystem=S\n" + rest << "[Vendra]";
    QTest::newRow("empty file") << QByteArray() << "[Vendra]";
}

void TestKavroConfig::missing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    Targets t;
    const IniReadResult r = t.Read(bytes);
    QCOMPARE(r.Outcome, IniOutcome::Missing);
    QVERIFY2(r.Message.contains(why), qPrintable(r.Message));
    QVERIFY(t.Untouched());
}

void TestKavroConfig::missingOrUnreadableFile() {
    Targets t;
    IniReadResult r = IniRead(Fixture("no_system"), t.tables, t.config, t.units);
    QCOMPARE(r.Outcome, IniOutcome::Missing);
    QVERIFY(t.Untouched());

    QTemporaryDir dir;
    r = IniRead(dir.path(), t.tables, t.config, t.units);
    QCOMPARE(r.Outcome, IniOutcome::Missing);
    QVERIFY2(r.Message.contains("does not exist"), qPrintable(r.Message));
    QVERIFY(r.Message.contains(dir.path()));

    QVERIFY(QDir(dir.path()).mkdir("Kavro.ini"));
    r = IniRead(dir.path(), t.tables, t.config, t.units);
    QCOMPARE(r.Outcome, IniOutcome::Missing);
    QVERIFY2(r.Message.contains("cannot be read"), qPrintable(r.Message));
    QVERIFY(t.Untouched());
}

void TestKavroConfig::tooManyEntries() {
    QByteArray bytes = kHead + Numbered("Output", 1200) + Numbered("Input", 250);
    // Entries past the tables' room are never split, so a bad one there refuses nothing.
    bytes.replace("Output 1100=Name 1100,1,1100", "Output 1100=Name 1100,1,99999");
    QStringList many;
    for (int i = 1; i <= 55; ++i)
        many << QString::number(i);
    bytes += "EnabledUnits=" + many.join(u',').toLatin1() + "\n";
    Targets t;
    const IniReadResult r = t.Read(bytes);
    QCOMPARE(r.Outcome, IniOutcome::Ok);
    QCOMPARE(t.tables.NumOutputs, 999);
    QCOMPARE(t.tables.NumInputs, 200);
    QCOMPARE(t.tables.OutName[999], "Name 999");
    QCOMPARE(t.tables.OutChannel[999], 999);
    QCOMPARE(t.tables.InName[200], "Name 200");
    QCOMPARE(t.units.EnabledUnitCount, 50);
    QCOMPARE(r.Warnings,
             (QStringList{"Kavro.ini: \"EnabledUnits\" lists 55 units, but at most 50 can be "
                          "enabled: the units after the 50th were ignored.",
                          "Kavro.ini configures 1200 outputs, but the console has room for 999 "
                          "only: \"Output 1000\" to \"Output 1200\" were ignored.",
                          "Kavro.ini configures 250 inputs, but the console has room for 200 "
                          "only: \"Input 201\" to \"Input 250\" were ignored."}));

    // Exactly as many as there is room for: no warning.
    Targets full;
    const IniReadResult exact = full.Read(kHead + Numbered("Output", 999) + Numbered("Input", 200));
    QCOMPARE(exact.Outcome, IniOutcome::Ok);
    QVERIFY(exact.Warnings.isEmpty());
    QCOMPARE(full.tables.NumOutputs, 999);
    QCOMPARE(full.tables.NumInputs, 200);
}

void TestKavroConfig::commDevice() {
    Targets t;
    QCOMPARE(t.Read(kHead + "CommPort=3\nCommDevice = /tmp/tally sim \n").Outcome, IniOutcome::Ok);
    QCOMPARE(t.config.CommDevice, "/tmp/tally sim");
    QCOMPARE(t.config.VendraCommport, 3);

    Targets none;
    QCOMPARE(none.Read(kHead + "CommDevice=\n").Outcome, IniOutcome::Ok);
    QVERIFY(none.config.CommDevice.isEmpty());
}

void TestKavroConfig::listRows() {
    Targets t;
    // A TAB inside a name shows as a blank: it would start the next column.
    QCOMPARE(
        t.Read(kHead + "Output 1=Cam 1 ,1,1\nOutput 2=Spare\nInput 1=Mic\t1,2,1\nInput 2=,2,2\n")
            .Outcome,
        IniOutcome::Ok);
    QCOMPARE(OutputListRows(t.tables), (QStringList{"Cam 1 \t", "\t"}));
    QCOMPARE(InputListRows(t.tables), (QStringList{"0\tUnassigned", "1\tMic 1", "2\t"}));
    t.tables.OutMapInput[2] = QStringLiteral(" 1");
    QCOMPARE(OutputListRows(t.tables).at(1), "\t 1");

    // No inputs configured: the list still offers "Unassigned".
    Targets bare;
    QCOMPARE(bare.Read(kHead).Outcome, IniOutcome::Ok);
    QCOMPARE(bare.tables.NumInputs, 0);
    QCOMPARE(InputListRows(bare.tables), QStringList{"0\tUnassigned"});
    QVERIFY(OutputListRows(bare.tables).isEmpty());
}

void TestKavroConfig::fullInstallationFromFile() {
    // A full installation goes through the reader from a real file; every name lands in its row.
    QTemporaryDir dir;
    QFile f(dir.filePath("Kavro.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kHead + Numbered("Output", 999, "%1 %2=Camera %2 tally,%2,%2") +
            Numbered("Input", 200));
    f.close();
    Targets t;
    QCOMPARE(IniRead(dir.path(), t.tables, t.config, t.units).Outcome, IniOutcome::Ok);
    QCOMPARE(t.tables.NumOutputs, 999);
    for (int n : {1, 500, 999}) {
        QCOMPARE(t.tables.OutName[n], QStringLiteral("Camera %1 tally").arg(n));
        QCOMPARE(t.tables.OutUnit[n], n);
    }
}

QTEST_GUILESS_MAIN(TestKavroConfig)
#include "test_kavro_config.moc"
