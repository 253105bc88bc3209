// The UMD packets byte for byte against the protocol's documented layout, and the "[Tally Out]"
// section of Kavro.ini: what it accepts, and what it leaves out with a message.
#include <QTest>
#include <climits>

#include "config/kavro_config.h"
#include "platform/ini_file.h"
#include "platform/tsl_umd.h"

using namespace vendra;
using namespace vendra::tsl;

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

TallyOutConfig Read(const QByteArray& section, QStringList& problems, int outputs = 4) {
    IniFile ini;
    ini.LoadBytes("[Tally Out]\r\n" + section);
    return ReadTallyOut(ini, outputs, problems);
}

}  // namespace

class TestTallyOut : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void v31Packet_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("tallies");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("packet");
        QTest::newRow("tally 1, full, padded")
            << 5 << 0b0001 << 3 << QStringLiteral("Cam 1") << Hex("8531") + "Cam 1           ";
        QTest::newRow("dark, tally 4 alone, dim")
            << 0 << 0b1000 << 0 << QStringLiteral("PGM") << Hex("8008") + "PGM             ";
        QTest::newRow("clamped, cut, non-ASCII")
            << 200 << 0xFF << 9 << QStringLiteral("Kamera \u00fc 1234567890")
            << Hex("FE3F") + "Kamera ? 1234567";
    }
    void v31Packet() {
        QFETCH(int, address);
        QFETCH(int, tallies);
        QFETCH(int, brightness);
        QFETCH(QString, text);
        QFETCH(QByteArray, packet);
        const QByteArray got = EncodeV31({address, quint8(tallies), brightness, text});
        QCOMPARE(got.size(), 18);
        QCOMPARE(got.toHex(' '), packet.toHex(' '));
    }

    void v5Packet_data() {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("packet");
        // byte count, version, flags, screen; index, control, length, text
        QTest::newRow("red, full") << 0 << 1 << int(Colour::Red) << QStringLiteral("Cam 1")
                                   << Hex("0F00 00 00 0000 0100 D500 0500") + "Cam 1";
        QTest::newRow("green, screen 2, index 300")
            << 2 << 300 << int(Colour::Green) << QStringLiteral("VT")
            << Hex("0C00 00 00 0200 2C01 EA00 0200") + "VT";
        QTest::newRow("off, UTF-8 text") << 0 << 7 << int(Colour::Off) << QStringLiteral("\u00c9")
                                         << Hex("0C00 00 00 0000 0700 C000 0200 C389");
    }
    void v5Packet() {
        QFETCH(int, screen);
        QFETCH(int, index);
        QFETCH(int, colour);
        QFETCH(QString, text);
        QFETCH(QByteArray, packet);
        const auto c = Colour(colour);
        const QList<QByteArray> got = EncodeV5(screen, {{index, c, c, c, kMaxBrightness, text}});
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].toHex(' '), packet.toHex(' '));
    }

    // One display a packet by default; packed, as many as fit 2048 bytes, none cut apart.
    void v5Packing() {
        QList<V5Display> displays;
        for (int i = 1; i <= 300; ++i)
            displays.append({i, Colour::Red, Colour::Off, Colour::Off, 3, QString(20, u'x')});
        QCOMPARE(EncodeV5(0, displays).size(), 300);
        const QList<QByteArray> packed = EncodeV5(0, displays, INT_MAX);
        const int perPacket = (kV5MaxPacket - 6) / 26;
        QCOMPARE(packed.size(), (300 + perPacket - 1) / perPacket);
        int seen = 0;
        for (const QByteArray& p : packed) {
            QVERIFY(p.size() <= kV5MaxPacket);
            QCOMPARE(quint8(p[0]) | quint8(p[1]) << 8, p.size() - 2);
            seen += int(p.size() - 6) / 26;
        }
        QCOMPARE(seen, 300);
        // A text too long for any packet is cut at a character's edge.
        const QList<QByteArray> one =
            EncodeV5(0, {{1, Colour::Red, Colour::Red, Colour::Red, 3, QString(1500, u'\u00e9')}});
        QCOMPARE(one[0].size(), 12 + 2036 / 2 * 2);
        QVERIFY(QString::fromUtf8(one[0].mid(12)).count(u'\u00e9') == 1018);
    }

    void dleStxFraming() {
        const QByteArray packet =
            EncodeV5(0, {{254, Colour::Off, Colour::Off, Colour::Off, 0, {}}})[0];
        QCOMPARE(packet.toHex(' '), QByteArray("0a 00 00 00 00 00 fe 00 00 00 00 00"));
        QCOMPARE(FrameDleStx(packet).toHex(' '),
                 QByteArray("fe 02 0a 00 00 00 00 00 fe fe 00 00 00 00 00"));
    }

    void destinations_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("kept");      // address, protocol, screen, packed
        QTest::addColumn<QStringList>("problems");  // a word each message must hold
        QTest::newRow("three kinds")
            << QByteArray(
                   "Destination 1=udp://127.0.0.1:8900, v5.0, screen 3\r\n"
                   "Destination 2=TCP://tally.local:9000,V5,packed\r\n"
                   "Destination 3=udp://10.0.0.9:4000, v3.1\r\n")
            << QStringList{"udp 127.0.0.1 8900 v5 3 0", "tcp tally.local 9000 v5 0 1",
                           "udp 10.0.0.9 4000 v3 0 0"}
            << QStringList{};
        QTest::newRow("bad ones left out, the others kept")
            << QByteArray(
                   "Destination 1=http://h:80\r\n"
                   "Destination 2=udp://h\r\n"
                   "Destination 3=udp://h:99999\r\n"
                   "Destination 4=udp://h:7, v4\r\n"
                   "Destination 5=udp://h:7, screen 70000\r\n"
                   "Destination 6=udp://h:7, v3.1, packed\r\n"
                   "Destination 7=udp://h:7\r\n")
            << QStringList{"udp h 7 v5 0 0"}
            << QStringList{
                   "\"Destination 1\"", "\"Destination 2\"", "\"Destination 3\"", "v4", "screen",
                   "version 5.0"};
        QTest::newRow("numbered from 1, up to the first gap")
            << QByteArray("Destination 2=udp://h:7\r\n") << QStringList{} << QStringList{};
    }
    void destinations() {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, problems);
        QStringList said;
        const TallyOutConfig c = Read(lines, said);
        QStringList got;
        for (const TallyDestination& d : c.Destinations)
            got << QStringLiteral("%1 %2 %3 %4 %5 %6")
                       .arg(d.Via == TallyDestination::Transport::Udp ? "udp" : "tcp", d.Host)
                       .arg(d.Port)
                       .arg(d.Version == TallyDestination::Protocol::V5 ? "v5" : "v3")
                       .arg(d.Screen)
                       .arg(int(d.Packed));
        QCOMPARE(got, kept);
        QCOMPARE(said.size(), problems.size());
        for (int i = 0; i < problems.size(); ++i)
            QVERIFY2(said[i].contains(problems[i]), qPrintable(said[i]));
    }

    void displays() {
        QStringList said;
        const TallyOutConfig c = Read(
            "Destination 1=udp://h:7\r\nSayUnknown=yes\r\nRefresh=0\r\n"
            "Output 1=index 12, Green, quiet unknown\r\nOutput 2=amber, tally 3, tally 4\r\n"
            "Output 3=purple\r\nOutput 4=index 2\r\nOutput 9=red\r\n",
            said);
        QCOMPARE(c.DisplayOf(1), (TallyDisplay{12, TallyColour::Green, 0, 0}));
        QCOMPARE(c.DisplayOf(2), (TallyDisplay{2, TallyColour::Amber, 0b1100, 1}));
        QCOMPARE(c.DisplayOf(3), (TallyDisplay{3, TallyColour::Red, 0, 1}));  // left out
        QCOMPARE(TallyOutConfig::V31TalliesOf(c.DisplayOf(1)), 0b10);
        QCOMPARE(TallyOutConfig::V31TalliesOf(c.DisplayOf(2)), 0b1100);
        QCOMPARE(c.RefreshSeconds, TallyOutConfig::kDefaultRefreshSeconds);
        QCOMPARE(said.size(), 3);  // purple, index 2 twice, Refresh; output 9 is not configured
        QVERIFY(said[0].contains("purple"));
        QVERIFY2(said[1].contains("outputs 2 and 4 share display index 2"), qPrintable(said[1]));
    }

    // Kavro.ini's reader keeps its tolerance: a bad entry is a warning, the console starts.
    void kavroIniWarns() {
        IniFile ini;
        ini.LoadBytes(
            "[Vendra]\r\nSystem=S\r\nOutput 1=Cam,1,1\r\n"
            "[Tally Out]\r\nDestination 1=udp:nowhere\r\nDestination 2=udp://h:7\r\n");
        MappingTables tables;
        InstallationConfig config;
        EnabledUnits units;
        const IniReadResult r = IniRead(ini, tables, config, units);
        QVERIFY(r.Ok());
        QCOMPARE(r.Warnings.size(), 1);
        QVERIFY(r.Warnings[0].contains("Destination 1"));
        QCOMPARE(config.TallyOut.Destinations.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTallyOut)
#include "test_tally_out.moc"
