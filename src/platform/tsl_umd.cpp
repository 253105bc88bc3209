#include "platform/tsl_umd.h"

#include <algorithm>

namespace vendra::tsl {

namespace {

constexpr int kV5Header = 6;   // byte count, version, flags, screen
constexpr int kV5Message = 6;  // index, control, text length
constexpr int kV5MaxText = kV5MaxPacket - kV5Header - kV5Message;

void PutLe16(QByteArray& out, int value) {
    const auto v = quint16(std::clamp(value, 0, 0xFFFF));
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

// UTF-8 cut to at most `limit` bytes without splitting a character.
QByteArray CutUtf8(const QString& text, int limit) {
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= limit) return bytes;
    qsizetype end = limit;
    while (end > 0 && (quint8(bytes[end]) & 0xC0) == 0x80)
        --end;
    return bytes.left(end);
}

}  // namespace

QByteArray V31Text(const QString& text) {
    QByteArray out(kV31TextLength, ' ');
    const qsizetype n = std::min<qsizetype>(text.size(), kV31TextLength);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        out[i] = c >= 0x20 && c <= 0x7E ? char(c) : '?';
    }
    return out;
}

QByteArray EncodeV31(const V31Display& display) {
    QByteArray out;
    out.reserve(2 + kV31TextLength);
    out.append(char(0x80 + std::clamp(display.Address, 0, kV31MaxAddress)));
    const int brightness = std::clamp(display.Brightness, 0, kMaxBrightness);
    out.append(char((display.Tallies & 0x0F) | (brightness << 4)));
    out.append(V31Text(display.Text));
    return out;
}

QByteArray EncodeV5Message(const V5Display& display) {
    const QByteArray text = CutUtf8(display.Text, kV5MaxText);
    QByteArray out;
    out.reserve(kV5Message + text.size());
    PutLe16(out, display.Index);
    const int control = int(display.RightHand) | int(display.TextTally) << 2 |
                        int(display.LeftHand) << 4 |
                        std::clamp(display.Brightness, 0, kMaxBrightness) << 6;
    PutLe16(out, control);
    PutLe16(out, int(text.size()));
    out.append(text);
    return out;
}

QList<QByteArray> EncodeV5(int screen, const QList<V5Display>& displays, int perPacket) {
    perPacket = std::max(perPacket, 1);
    QList<QByteArray> packets;
    QByteArray body;
    int inBody = 0;
    auto flush = [&] {
        if (inBody == 0) return;
        QByteArray packet;
        PutLe16(packet, int(body.size()) + kV5Header - 2);
        packet.append(char(0));  // version
        packet.append(char(0));  // flags: ASCII/UTF-8 text, display data
        PutLe16(packet, screen);
        packets.append(packet + body);
        body.clear();
        inBody = 0;
    };
    for (const V5Display& d : displays) {
        const QByteArray message = EncodeV5Message(d);
        if (inBody == perPacket || kV5Header + body.size() + message.size() > kV5MaxPacket) flush();
        body.append(message);
        ++inBody;
    }
    flush();
    return packets;
}

QByteArray FrameDleStx(const QByteArray& packet) {
    QByteArray out;
    out.reserve(packet.size() + 2 + packet.count(kDle));
    out.append(kDle);
    out.append(kStx);
    for (char c : packet) {
        out.append(c);
        if (c == kDle) out.append(kDle);
    }
    return out;
}

}  // namespace vendra::tsl
