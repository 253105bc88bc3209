#pragma once
// The two forms of UMD tally packet that multiviewers and tally systems receive: the fixed
// 18-byte packet of version 3.1 and the length-prefixed packets of version 5.0 (several displays
// may share one), with the DLE/STX framing that version 5.0 uses on TCP. Pure functions.
#include <QByteArray>
#include <QList>
#include <QString>

namespace vendra::tsl {

// A version 5.0 tally lamp's colour; the numbers are the protocol's own.
enum class Colour : quint8 { Off = 0, Red = 1, Green = 2, Amber = 3 };

inline constexpr int kV31TextLength = 16;
inline constexpr int kV31MaxAddress = 126;
inline constexpr int kMaxBrightness = 3;
// A version 5.0 packet's largest size, its byte count included.
inline constexpr int kV5MaxPacket = 2048;
inline constexpr char kDle = char(0xFE);
inline constexpr char kStx = char(0x02);

// One version 3.1 display: address 0 .. 126, tally bits 1 to 4 (bit 0 of `tallies` is tally 1),
// brightness 0 .. 3.
struct V31Display {
    int Address = 0;
    quint8 Tallies = 0;
    int Brightness = kMaxBrightness;
    QString Text;
};

// The text as version 3.1 carries it: printable ASCII only (anything else becomes "?"), cut or
// padded with spaces to 16 characters.
QByteArray V31Text(const QString& text);
// The 18-byte packet: address + 0x80, the control byte (tallies in bits 0-3, brightness in
// bits 4-5), then the text. Out-of-range numbers are clamped.
QByteArray EncodeV31(const V31Display& display);

// One version 5.0 display message: index 0 .. 65534 (65535 is every display), the right-hand,
// text and left-hand tally lamps, brightness 0 .. 3.
struct V5Display {
    int Index = 0;
    Colour RightHand = Colour::Off;
    Colour TextTally = Colour::Off;
    Colour LeftHand = Colour::Off;
    int Brightness = kMaxBrightness;
    QString Text;
};

// The display message: index, control word (RH bits 0-1, text 2-3, LH 4-5, brightness 6-7;
// bit 15 clear: display data), then the text's length and the text in UTF-8 (plain ASCII for
// an ASCII name), cut at a character's edge to what fits one packet.
QByteArray EncodeV5Message(const V5Display& display);
// Packets for the screen, each holding at most `perPacket` displays and never more than
// kV5MaxPacket bytes: byte count (of what follows it), version 0, flags 0, screen, messages.
// All numbers little-endian.
QList<QByteArray> EncodeV5(int screen, const QList<V5Display>& displays, int perPacket = 1);
// A packet as version 5.0 sends it on TCP: DLE/STX first, every DLE inside doubled.
QByteArray FrameDleStx(const QByteArray& packet);

}  // namespace vendra::tsl
