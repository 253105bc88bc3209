#pragma once
// The controller's serial line reached through a network serial server: raw TCP (the line's
// bytes and nothing else) or Telnet with COM port control. Behaves like a local port: a
// connection the server drops is closed, and the next Open() connects again.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QTcpSocket>

#include "platform/serial_port.h"
#include "platform/telnet_codec.h"

namespace vendra {

class NetworkSerialPort : public BufferedPort {
    Q_OBJECT
public:
    // Bounds the name lookup and the connection together.
    static constexpr int kConnectMs = 3000;

    // True when `device` names a server, "tcp://HOST:PORT" or "rfc2217://HOST:PORT" (the
    // scheme in any case); anything else is a device path.
    static bool Names(const QString& device);

    // A malformed address makes a port whose Open() fails and says why.
    explicit NetworkSerialPort(const QString& device, QObject* parent = nullptr);
    ~NetworkSerialPort() override;

    int Open() override;
    void Close() override;
    bool IsOpen() const override { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool Write(const QByteArray& bytes) override;
    bool WaitForData(int msecs) override;
    // HOST:PORT, or the configured text when it is not a usable address.
    QString DeviceName() const override;
    bool PermissionDenied() const override { return false; }

private:
    bool Telnet() const { return telnet_; }
    bool Connect(const QDeadlineTimer& deadline);
    // Offers COM port control and, once the server agrees, sets the line (within the deadline).
    bool SetUpLine(const QDeadlineTimer& deadline);
    // The line's bytes; the server's option requests are answered.
    QByteArray Incoming(const QByteArray& in) override;
    void NoteFailure() override;
    void CloseDevice() override;

    QTcpSocket socket_;
    TelnetCodec codec_;
    QString device_;
    QString host_;
    quint16 port_ = 0;
    bool telnet_ = false;
    QString addressError_;
    // After a server that did not answer, the attempts of the next few seconds fail at once
    // with the same reason, so that an operation of several commands waits out one attempt only.
    QDeadlineTimer quietUntil_;
    QString quietReason_;
};

}  // namespace vendra
