#include "platform/telnet_codec.h"

#include "platform/serial_port.h"

namespace vendra {

namespace {

constexpr unsigned char kSe = 240;
constexpr unsigned char kSb = 250;
constexpr unsigned char kWill = 251;
constexpr unsigned char kWont = 252;
constexpr unsigned char kDo = 253;
constexpr unsigned char kDont = 254;
constexpr unsigned char kIacByte = 255;

constexpr unsigned char kBinary = 0;
constexpr unsigned char kSuppressGoAhead = 3;

// COM port control commands (client to server) and their values.
constexpr unsigned char kSetBaudRate = 1;
constexpr unsigned char kSetDataSize = 2;
constexpr unsigned char kSetParity = 3;
constexpr unsigned char kSetStopSize = 4;
constexpr unsigned char kSetControl = 5;
constexpr unsigned char kParityNone = 1;
constexpr unsigned char kOneStopBit = 1;
constexpr unsigned char kNoFlowControl = 1;

QByteArray Command(unsigned char verb, unsigned char option) {
    QByteArray bytes;
    bytes += TelnetCodec::kIac;
    bytes += static_cast<char>(verb);
    bytes += static_cast<char>(option);
    return bytes;
}

QByteArray ComPortCommand(unsigned char command, const QByteArray& value) {
    QByteArray bytes;
    bytes += TelnetCodec::kIac;
    bytes += static_cast<char>(kSb);
    bytes += static_cast<char>(TelnetCodec::kComPortOption);
    bytes += static_cast<char>(command);
    bytes += TelnetCodec::Escape(value);
    bytes += TelnetCodec::kIac;
    bytes += static_cast<char>(kSe);
    return bytes;
}

// Options worth having: an 8-bit clean stream without go-aheads. Everything else is refused.
bool Wanted(unsigned char option) {
    return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

QByteArray TelnetCodec::Escape(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    for (char c : data) {
        out += c;
        if (c == kIac) out += kIac;
    }
    return out;
}

QByteArray TelnetCodec::OfferComPort() {
    return Command(kWill, kComPortOption);
}

QByteArray TelnetCodec::LineSettings() {
    constexpr auto baud = quint32(kLineBaud);
    const char baudBytes[4] = {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                               static_cast<char>(baud >> 8), static_cast<char>(baud)};
    return ComPortCommand(kSetBaudRate, QByteArray(baudBytes, 4)) +
           ComPortCommand(kSetDataSize, QByteArray(1, 8)) +
           ComPortCommand(kSetParity, QByteArray(1, kParityNone)) +
           ComPortCommand(kSetStopSize, QByteArray(1, kOneStopBit)) +
           ComPortCommand(kSetControl, QByteArray(1, kNoFlowControl));
}

QByteArray TelnetCodec::Decode(const QByteArray& in, QByteArray& replies) {
    QByteArray data;
    data.reserve(in.size());
    for (char c : in) {
        const auto b = static_cast<unsigned char>(c);
        switch (state_) {
            case State::Data:
                if (b == kIacByte) {
                    state_ = State::Iac;
                    break;
                }
                // Outside binary mode a carriage return travels as CR NUL; the NUL is not ours.
                if (!(b == 0 && afterCr_ && !theirs_[kBinary])) data += c;
                afterCr_ = b == '\r';
                break;
            case State::Iac:
                if (b == kIacByte) {
                    data += c;
                    afterCr_ = false;
                    state_ = State::Data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::Option;
                } else {
                    // SB opens a subnegotiation; anything else (NOP, go-ahead, ...) is dropped.
                    state_ = b == kSb ? State::Sub : State::Data;
                }
                break;
            case State::Option:
                Negotiate(verb_, b, replies);
                state_ = State::Data;
                break;
            case State::Sub:
                // The server's confirmations and line state reports: nothing we act on.
                if (b == kIacByte) state_ = State::SubIac;
                break;
            case State::SubIac:
                state_ = b == kSe ? State::Data : State::Sub;
                break;
        }
    }
    return data;
}

// Answers only requests that change an option's state, so that two parties never bounce the
// same answer back and forth.
void TelnetCodec::Negotiate(unsigned char verb, unsigned char option, QByteArray& replies) {
    if (option == kComPortOption && (verb == kDo || verb == kDont)) {
        // The answer to our own offer.
        ours_[option] = verb == kDo;
        comPortAccepted_ = verb == kDo;
        return;
    }
    switch (verb) {
        case kDo:
            if (ours_[option]) break;
            ours_[option] = Wanted(option);
            replies += Command(ours_[option] ? kWill : kWont, option);
            break;
        case kDont:
            if (!ours_[option]) break;
            ours_[option] = false;
            replies += Command(kWont, option);
            break;
        case kWill:
            if (theirs_[option]) break;
            theirs_[option] = Wanted(option);
            replies += Command(theirs_[option] ? kDo : kDont, option);
            break;
        case kWont:
            if (!theirs_[option]) break;
            theirs_[option] = false;
            replies += Command(kDont, option);
            break;
    }
}

}  // namespace vendra
