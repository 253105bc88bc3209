// The simulated controller's protocol: framing, the mapping table, output state and faults.
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "sim/controller_model.h"

using vendra::ControllerModel;
using vendra::SimEntry;
using vendra::SimFault;

namespace {

// What the controller sends for a command with a reply line.
QByteArray Answer(const QByteArray& command, const QByteArray& reply) {
    return command + "\r\n" + reply + "\r\n.";
}

void Run(ControllerModel& model, const QList<QByteArray>& commands) {
    for (const QByteArray& c : commands)
        model.Receive(c);
}

}  // namespace

class TestControllerModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replies_data();
    void replies();
    void bitsOrder_data();
    void bitsOrder();
    void status();
    void outputState_data();
    void outputState();
    void faults_data();
    void faults();
    void answerLimit();
    void noDotInAnyReply();
    void feed_data();
    void feed();
    void overlongLine();
    void loadTallyFile_data();
    void loadTallyFile();
};

void TestControllerModel::replies_data() {
    QTest::addColumn<QList<QByteArray>>("before");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray map13 = "Map 1 3 2 17";
    const QByteArray map14 = "Map 1 4 2 18";
    const QByteArray zeros = "[0][0][0][0][0][0][0][0]";

    QTest::newRow("empty line: echo and terminator only")
        << QList<QByteArray>{} << QByteArray() << QByteArray("\r\n.");
    QTest::newRow("VER") << QList<QByteArray>{} << QByteArray("VER") << Answer("VER", "MAINV8");
    QTest::newRow("command words ignore case")
        << QList<QByteArray>{} << QByteArray("vEr") << Answer("vEr", "MAINV8");
    QTest::newRow("Map in sign-column form")
        << QList<QByteArray>{} << QByteArray(" Map 1 3 2 17") << Answer(" Map 1 3 2 17", "OK");
    QTest::newRow("Map then RawMap 1") << QList<QByteArray>{map13} << QByteArray("RawMap 1")
                                       << Answer("RawMap 1", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("RawMap keeps the table's order")
        << QList<QByteArray>{map14, map13} << QByteArray("RawMap 2")
        << Answer("RawMap 2", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("Map again updates in place")
        << QList<QByteArray>{map13, map14, "Map 1 3 5 6"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][5][6][1][0][0][0]");
    QTest::newRow("Map again adds no entry") << QList<QByteArray>{map13, "Map 1 3 5 6"}
                                             << QByteArray("RawMap 2") << Answer("RawMap 2", zeros);
    QTest::newRow("OR sets the second input")
        << QList<QByteArray>{map13, "OR 1 3 4 9"} << QByteArray("GetMap 1  3")
        << Answer("GetMap 1  3", "[1][3][2][17][1][4][9][2]");
    QTest::newRow("AND sets the second input")
        << QList<QByteArray>{map13, "and 1 3 4 9"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][2][17][1][4][9][1]");
    QTest::newRow("Map after AND is single again")
        << QList<QByteArray>{map13, "AND 1 3 4 9", map13} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("AND without a mapping") << QList<QByteArray>{map14} << QByteArray("AND 1 3 4 9")
                                           << Answer("AND 1 3 4 9", "ERR NO MAP");
    QTest::newRow("OR without a mapping adds nothing")
        << QList<QByteArray>{"OR 1 3 4 9"} << QByteArray("RawMap 1") << Answer("RawMap 1", zeros);
    QTest::newRow("RawMap past the end")
        << QList<QByteArray>{map13} << QByteArray("RawMap 2") << Answer("RawMap 2", zeros);
    QTest::newRow("RawMap 0") << QList<QByteArray>{map13} << QByteArray("RawMap 0")
                              << Answer("RawMap 0", zeros);
    QTest::newRow("GetMap of an unmapped output")
        << QList<QByteArray>{map13} << QByteArray("GetMap 3  12")
        << Answer("GetMap 3  12", "[3][12][0][0][0][0][0][0]");
    QTest::newRow("ClrMap leaves a hole") << QList<QByteArray>{map13, map14, "ClrMap 1  3"}
                                          << QByteArray("RawMap 1") << Answer("RawMap 1", zeros);
    QTest::newRow("entries after a hole stay put")
        << QList<QByteArray>{map13, map14, "ClrMap 1  3"} << QByteArray("RawMap 2")
        << Answer("RawMap 2", "[1][4][2][18][1][0][0][0]");
    QTest::newRow("Comp removes the holes")
        << QList<QByteArray>{map13, map14, "ClrMap 1  3", "Comp"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][4][2][18][1][0][0][0]");
    QTest::newRow("a cleared output is unmapped")
        << QList<QByteArray>{map13, "ClrMap 1  3"} << QByteArray("GetMap 1  3")
        << Answer("GetMap 1  3", "[1][3][0][0][0][0][0][0]");
    QTest::newRow("Map after ClrMap appends")
        << QList<QByteArray>{map13, "ClrMap 1  3", map13} << QByteArray("RawMap 2")
        << Answer("RawMap 2", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("Init clears the table")
        << QList<QByteArray>{map13, "Init"} << QByteArray("RawMap 1") << Answer("RawMap 1", zeros);
    QTest::newRow("mapdisab shows the entry disabled")
        << QList<QByteArray>{map13, "mapdisab 1  3"} << QByteArray("GetMap 1  3")
        << Answer("GetMap 1  3", "[1][3][2][17][0][0][0][0]");
    QTest::newRow("MapEnab enables it again")
        << QList<QByteArray>{map13, "mapdisab 1  3", "MapEnab 1  3"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][2][17][1][0][0][0]");
    QTest::newRow("Uenable with the console's two blanks")
        << QList<QByteArray>{} << QByteArray("Uenable  3") << Answer("Uenable  3", "OK");
    QTest::newRow("Refresh") << QList<QByteArray>{} << QByteArray("Refresh")
                             << Answer("Refresh", "OK");
    QTest::newRow("negative numbers are numbers")
        << QList<QByteArray>{"Map 1 3 -2 17"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][-2][17][1][0][0][0]");
    QTest::newRow("a minus sign starts a number, as the console sends it")
        << QList<QByteArray>{"Map 1 3-2-7"} << QByteArray("RawMap 1")
        << Answer("RawMap 1", "[1][3][-2][-7][1][0][0][0]");

    QTest::newRow("unknown command")
        << QList<QByteArray>{} << QByteArray("HELLO") << Answer("HELLO", "ERR UNKNOWN COMMAND");
    QTest::newRow("too few arguments") << QList<QByteArray>{} << QByteArray("Map 1 3 2")
                                       << Answer("Map 1 3 2", "ERR BAD ARGUMENTS");
    QTest::newRow("too many arguments")
        << QList<QByteArray>{} << QByteArray("VER 1") << Answer("VER 1", "ERR BAD ARGUMENTS");
    QTest::newRow("missing argument")
        << QList<QByteArray>{} << QByteArray("RawMap") << Answer("RawMap", "ERR BAD ARGUMENTS");
    QTest::newRow("not a number") << QList<QByteArray>{} << QByteArray("ClrMap 1 x")
                                  << Answer("ClrMap 1 x", "ERR BAD ARGUMENTS");
    QTest::newRow("a fraction is not a channel") << QList<QByteArray>{} << QByteArray("Set 1 2.5")
                                                 << Answer("Set 1 2.5", "ERR BAD ARGUMENTS");
    QTest::newRow("out of the 16-bit range") << QList<QByteArray>{} << QByteArray("Map 1 3 2 99999")
                                             << Answer("Map 1 3 2 99999", "ERR BAD ARGUMENTS");
    QTest::newRow("output unit 0 would be a hole")
        << QList<QByteArray>{} << QByteArray("Map 0 3 2 17")
        << Answer("Map 0 3 2 17", "ERR BAD OUTPUT");
    QTest::newRow("BITS of unit 0")
        << QList<QByteArray>{} << QByteArray("BITS 0") << Answer("BITS 0", "ERR BAD UNIT");
}

void TestControllerModel::replies() {
    QFETCH(QList<QByteArray>, before);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    ControllerModel model;
    Run(model, before);
    QCOMPARE(model.Receive(command), expected);
    QCOMPARE(model.Log().size(), before.size() + 1);
    QCOMPARE(model.Log().last(), QString::fromLatin1(command));
}

void TestControllerModel::bitsOrder_data() {
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("none") << 0u << QByteArray("0000 0000 0000 0000 0000 0000 0000 0000");
    QTest::newRow("channel 1 is the last character")
        << 1u << QByteArray("0000 0000 0000 0000 0000 0000 0000 0001");
    QTest::newRow("channel 32 is the first character")
        << 0x80000000u << QByteArray("1000 0000 0000 0000 0000 0000 0000 0000");
    QTest::newRow("channels 1, 2 and 32")
        << 0x80000003u << QByteArray("1000 0000 0000 0000 0000 0000 0000 0011");
    QTest::newRow("channel 5 opens the second group from the right")
        << 0x10u << QByteArray("0000 0000 0000 0000 0000 0000 0001 0000");
}

void TestControllerModel::bitsOrder() {
    QFETCH(quint32, bits);
    QFETCH(QByteArray, reply);
    ControllerModel model;
    model.SetInputBits(3, bits);
    model.SetInputBits(4, ~bits);  // another unit's bits must not leak in
    QCOMPARE(model.Receive("BITS 3"), Answer("BITS 3", reply));
}

void TestControllerModel::status() {
    ControllerModel model;
    Run(model, {"Uenable  2", "Map 2 1 3 1", "Map 2 2 3 2", "Set 2  7", "Set 5  1"});
    model.SetInputBits(2, 0b101);
    model.SetInputBits(3, 0b01);
    // Inputs 1 and 3 of unit 2 are active; outputs 2/1 (by its mapping) and 2/7 (forced) are lit.
    QCOMPARE(model.Receive("GSTAT 2"), Answer("GSTAT 2", "UNIT 2 OK IN 0002 OUT 0002"));
    QCOMPARE(model.Receive("GSTAT 4"), Answer("GSTAT 4", "UNIT 4 OFF IN 0000 OUT 0000"));
}

void TestControllerModel::outputState_data() {
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<quint32>("unit2Bits");
    QTest::addColumn<quint32>("unit4Bits");
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<bool>("enabled");

    const QByteArray map = "Map 1 3 2 17";  // input unit 2 channel 17 = bit 16
    const quint32 in17 = 1u << 16;
    const quint32 in9 = 1u << 8;  // unit 4 channel 9, the second input

    QTest::newRow("unmapped") << QList<QByteArray>{} << ~0u << ~0u << false << false << false;
    QTest::newRow("single, input active")
        << QList<QByteArray>{map} << in17 << 0u << true << false << true;
    QTest::newRow("single, another input active")
        << QList<QByteArray>{map} << (in17 >> 1) << 0u << false << false << true;
    QTest::newRow("AND, both") << QList<QByteArray>{map, "AND 1 3 4 9"} << in17 << in9 << true
                               << false << true;
    QTest::newRow("AND, first only")
        << QList<QByteArray>{map, "AND 1 3 4 9"} << in17 << 0u << false << false << true;
    QTest::newRow("AND, second only")
        << QList<QByteArray>{map, "AND 1 3 4 9"} << 0u << in9 << false << false << true;
    QTest::newRow("OR, second only")
        << QList<QByteArray>{map, "OR 1 3 4 9"} << 0u << in9 << true << false << true;
    QTest::newRow("OR, none") << QList<QByteArray>{map, "OR 1 3 4 9"} << 0u << 0u << false << false
                              << true;
    QTest::newRow("Set forces an unmapped output on")
        << QList<QByteArray>{"Set 1  3"} << 0u << 0u << true << true << false;
    QTest::newRow("Res ends the forcing")
        << QList<QByteArray>{"Set 1  3", "Res 1  3"} << 0u << 0u << false << false << false;
    QTest::newRow("mapdisab stops the mapping driving")
        << QList<QByteArray>{map, "mapdisab 1  3"} << in17 << 0u << false << false << false;
    QTest::newRow("the output test: disabled and set")
        << QList<QByteArray>{map, "mapdisab 1  3", "Set 1  3"} << 0u << 0u << true << true << false;
    QTest::newRow("the output test ended")
        << QList<QByteArray>{map, "mapdisab 1  3", "Set 1  3", "Res 1  3", "MapEnab 1  3"} << in17
        << 0u << true << false << true;
    QTest::newRow("Refresh ends every output test")
        << QList<QByteArray>{map, "mapdisab 1  3", "Set 1  3", "Refresh"} << 0u << 0u << false
        << false << true;
    QTest::newRow("Init forgets mapping and forcing")
        << QList<QByteArray>{map, "Set 1  3", "Init"} << in17 << 0u << false << false << false;
    QTest::newRow("ClrMap unmaps")
        << QList<QByteArray>{map, "ClrMap 1  3"} << in17 << 0u << false << false << false;
    QTest::newRow("a new Map enables a disabled output")
        << QList<QByteArray>{map, "mapdisab 1  3", map} << in17 << 0u << true << false << true;
    QTest::newRow("channel 33 is never an active input")
        << QList<QByteArray>{"Map 1 3 2 33"} << ~0u << 0u << false << false << true;
}

void TestControllerModel::outputState() {
    QFETCH(QList<QByteArray>, commands);
    QFETCH(quint32, unit2Bits);
    QFETCH(quint32, unit4Bits);
    QFETCH(bool, on);
    QFETCH(bool, forced);
    QFETCH(bool, enabled);
    ControllerModel model;
    model.SetInputBits(2, unit2Bits);
    model.SetInputBits(4, unit4Bits);
    Run(model, commands);
    QCOMPARE(model.IsOutputOn(1, 3), on);
    QCOMPARE(model.IsForcedOn(1, 3), forced);
    QCOMPARE(model.IsEntryEnabled(1, 3), enabled);
    QVERIFY(!model.IsOutputOn(1, 4));  // a neighbour stays dark
}

void TestControllerModel::faults_data() {
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("silent") << SimFault::Silent << QByteArray("VER") << QByteArray();
    QTest::newRow("silent to an empty line") << SimFault::Silent << QByteArray() << QByteArray();
    QTest::newRow("no terminator")
        << SimFault::NoTerminator << QByteArray("VER") << QByteArray("VER\r\nMAINV8\r\n");
    QTest::newRow("no terminator after an empty line")
        << SimFault::NoTerminator << QByteArray() << QByteArray("\r\n");
    QTest::newRow("dot in the version")
        << SimFault::DotInReply << QByteArray("VER") << QByteArray("VER\r\nMAIN.V8\r\n.");
    QTest::newRow("dot in another reply") << SimFault::DotInReply << QByteArray("Map 1 3 2 17")
                                          << QByteArray("Map 1 3 2 17\r\nO.K\r\n.");
    QTest::newRow("an empty line has no reply to spoil")
        << SimFault::DotInReply << QByteArray() << QByteArray("\r\n.");
}

void TestControllerModel::faults() {
    QFETCH(SimFault, fault);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    ControllerModel model;
    model.SetFault(fault);
    QCOMPARE(model.Receive(command), expected);
    QCOMPARE(model.Log(), QStringList{QString::fromLatin1(command)});

    // Garbage: binary bytes and never the terminator.
    model.SetFault(SimFault::Garbage);
    const QByteArray garbage = model.Receive("VER");
    QVERIFY(!garbage.isEmpty());
    QVERIFY(garbage.contains('\0'));
    QVERIFY(garbage.contains('\xFF'));
    QVERIFY(!garbage.contains('.'));

    // The faults only spoil the answer: the command still acts.
    model.SetFault(fault);
    model.Receive("Map 1 5 2 17");
    model.SetFault(SimFault::None);
    QCOMPARE(model.Receive("GetMap 1  5"), Answer("GetMap 1  5", "[1][5][2][17][1][0][0][0]"));
}

void TestControllerModel::answerLimit() {
    ControllerModel model;
    model.SetAnswerLimit(2);
    QCOMPARE(model.Receive("VER"), Answer("VER", "MAINV8"));
    QCOMPARE(model.Feed("\r\n"), QByteArray("\r\n."));
    QCOMPARE(model.Receive("VER"), QByteArray());
    QCOMPARE(model.Receive("Map 1 3 2 17"), QByteArray());
    QCOMPARE(model.Log(), (QStringList{"VER", "", "VER", "Map 1 3 2 17"}));
    QCOMPARE(model.Table().size(), size_t{1});  // heard, though not answered

    model.SetAnswerLimit(-1);
    QCOMPARE(model.Receive("VER"), Answer("VER", "MAINV8"));
    model.SetAnswerLimit(0);
    QCOMPARE(model.Receive("VER"), QByteArray());

    // A version text cannot smuggle in a terminator or a line end.
    model.SetAnswerLimit(-1);
    model.SetVersionText("MAIN.V9\r\n");
    QCOMPARE(model.Receive("VER"), Answer("VER", "MAINV9"));
}

void TestControllerModel::noDotInAnyReply() {
    // Whatever the line, the only "." of an answer is its last byte (unless the echo had one),
    // and every answer is framed.
    ControllerModel model;
    model.SetInputBits(1, 0xA5A5A5A5u);
    QRandomGenerator random(20240611);
    const QList<QByteArray> words = {"Map",     "AND",     "OR",   "ClrMap", "Comp",     "RawMap",
                                     "GetMap",  "Init",    "Res",  "Set",    "mapdisab", "MapEnab",
                                     "Refresh", "Uenable", "BITS", "GSTAT",  "VER",      "x"};
    for (int i = 0; i < 3000; ++i) {
        QByteArray line = words[random.bounded(words.size())];
        const int args = random.bounded(6);
        for (int a = 0; a < args; ++a) {
            line += random.bounded(3) == 0 ? "  " : " ";
            const int kind = random.bounded(10);
            if (kind == 0) line += "-";
            if (kind == 1) {
                const char odd = static_cast<char>(random.bounded(1, 256));
                if (odd != '\r' && odd != '\n') line += odd;
            }
            line += QByteArray::number(random.bounded(kind == 2 ? 100000 : 40));
        }
        const QByteArray answer = model.Receive(line);
        const QByteArray echo = line;
        QVERIFY2(answer.startsWith(echo + "\r\n"), line.constData());
        QVERIFY2(answer.endsWith("\r\n."), line.constData());
        const QByteArray rest = answer.mid(echo.size() + 2);
        QVERIFY2(rest.indexOf('.') == rest.size() - 1, answer.constData());
        QVERIFY(model.Table().size() <= size_t{ControllerModel::kMaxEntries});
    }
}

void TestControllerModel::feed_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("log");
    const QByteArray ver = Answer("VER", "MAINV8");
    QTest::newRow("the console's probe")
        << QList<QByteArray>{"\rVER\r\n"} << ver << QStringList{"VER"};
    QTest::newRow("a lone line feed ends a line")
        << QList<QByteArray>{"VER\n"} << ver << QStringList{"VER"};
    QTest::newRow("split across chunks")
        << QList<QByteArray>{"V", "ER\r", "\n"} << ver << QStringList{"VER"};
    QTest::newRow("a carriage return inside the line")
        << QList<QByteArray>{"VE\rR\r\n"} << ver << QStringList{"VER"};
    QTest::newRow("two lines in one chunk")
        << QList<QByteArray>{"\r\nVER\r\n"} << QByteArray("\r\n.") + ver << QStringList{"", "VER"};
    QTest::newRow("an unfinished line waits")
        << QList<QByteArray>{"VER", "\r"} << QByteArray() << QStringList{};
    QTest::newRow("an unfinished line, then its end")
        << QList<QByteArray>{"Map 1 3", " 2 17\r\nRawMap 1\r\n"}
        << Answer("Map 1 3 2 17", "OK") + Answer("RawMap 1", "[1][3][2][17][1][0][0][0]")
        << QStringList{"Map 1 3 2 17", "RawMap 1"};
}

void TestControllerModel::feed() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, log);
    ControllerModel model;
    QByteArray answer;
    for (const QByteArray& chunk : chunks)
        answer += model.Feed(chunk);
    QCOMPARE(answer, expected);
    QCOMPARE(model.Log(), log);
}

void TestControllerModel::overlongLine() {
    ControllerModel model;
    const QByteArray line(5000, 'A');
    const QByteArray answer = model.Feed(line + "\r\n");
    QCOMPARE(answer, Answer(line.left(ControllerModel::kMaxLine), "ERR LINE TOO LONG"));
    QCOMPARE(model.Log().last().size(), ControllerModel::kMaxLine);
    // The next line is a line of its own again.
    QCOMPARE(model.Feed("VER\r\n"), Answer("VER", "MAINV8"));
    QCOMPARE(model.Receive(line),
             Answer(line.left(ControllerModel::kMaxLine), "ERR LINE TOO LONG"));
}

void TestControllerModel::loadTallyFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("errorPart");  // empty: the load succeeds
    QTest::addColumn<QList<QByteArray>>("rawMaps");

    const QByteArray existing = "[9][9][9][9][1][0][0][0]";
    QTest::newRow("CR LF lines and blank lines")
        << QByteArray("[1][3][2][17][1][0][0][0]\r\n\r\n  \r\n[1][4][2][18][1][4][9][2]\r\n")
        << QString()
        << QList<QByteArray>{existing, "[1][3][2][17][1][0][0][0]", "[1][4][2][18][1][4][9][2]"};
    QTest::newRow("LF lines without a last line end")
        << QByteArray("[1][3][2][17][1][0][0][0]\n[1][4][2][18][1][0][0][0]") << QString()
        << QList<QByteArray>{existing, "[1][3][2][17][1][0][0][0]", "[1][4][2][18][1][0][0][0]"};
    QTest::newRow("fields read from three characters")
        << QByteArray("[1234][ 9][10 ]\n[5][6]\n") << QString()
        << QList<QByteArray>{existing, "[123][9][10][0][0][0][0][0]", "[5][6][0][0][0][0][0][0]"};
    QTest::newRow("a line without a field names its number")
        << QByteArray("[1][3][2][17][1][0][0][0]\r\n\r\nnot a mapping\r\n") << QString("line 3")
        << QList<QByteArray>{existing, "[0][0][0][0][0][0][0][0]"};
    QByteArray tooMany;
    for (int i = 0; i < ControllerModel::kMaxEntries; ++i)
        tooMany += "[1][1][1][1][1][0][0][0]\n";
    QTest::newRow("more than the table holds")
        << tooMany << QString("room for %1").arg(ControllerModel::kMaxEntries - 1)
        << QList<QByteArray>{existing, "[0][0][0][0][0][0][0][0]"};
}

void TestControllerModel::loadTallyFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, errorPart);
    QFETCH(QList<QByteArray>, rawMaps);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("table.vdk");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    ControllerModel model;
    model.AddMappingString("[9][9][9][9][1][0][0][0]");
    QString error;
    QCOMPARE(model.LoadTallyFile(path, &error), errorPart.isEmpty());
    if (errorPart.isEmpty()) {
        QVERIFY(error.isEmpty());
    } else {
        QVERIFY2(error.contains(errorPart), qPrintable(error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
    for (int i = 0; i < rawMaps.size(); ++i) {
        const QByteArray command = "RawMap " + QByteArray::number(i + 1);
        QCOMPARE(model.Receive(command), Answer(command, rawMaps[i]));
    }

    QVERIFY(!model.LoadTallyFile(dir.filePath("missing.vdk"), &error));
    QVERIFY2(error.contains("missing.vdk"), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestControllerModel)
#include "test_controller_model.moc"
