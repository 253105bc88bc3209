#pragma once
// Telnet with the COM port control option, as a network serial server speaks it: the line's
// bytes with 255 doubled, and option requests in between that are answered or refused.
#include <QByteArray>
#include <array>
#include <optional>

namespace vendra {

class TelnetCodec {
public:
    static constexpr char kIac = static_cast<char>(255);
    static constexpr unsigned char kComPortOption = 44;

    // The line's bytes as they go into the Telnet stream: every 255 doubled.
    static QByteArray Escape(const QByteArray& data);
    // Our offer to control the server's serial port.
    static QByteArray OfferComPort();
    // The line settings the controller needs: 9600 baud, 8 data bits, no parity, one stop bit,
    // no flow control.
    static QByteArray LineSettings();

    // Takes bytes from the server, in pieces of any size, and answers the line's bytes.
    // Answers owed to the server (option replies) are added to `replies`.
    QByteArray Decode(const QByteArray& in, QByteArray& replies);
    // The server's answer to OfferComPort(): none yet, accepted or refused.
    std::optional<bool> ComPortAccepted() const { return comPortAccepted_; }
    // Back to a fresh connection's state.
    void Reset() { *this = TelnetCodec(); }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };

    void Negotiate(unsigned char verb, unsigned char option, QByteArray& replies);

    State state_ = State::Data;
    unsigned char verb_ = 0;
    bool afterCr_ = false;
    // Options in force on our side and on the server's side.
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
    std::optional<bool> comPortAccepted_;
};

}  // namespace vendra
