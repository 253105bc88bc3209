#pragma once
// The serial port as the console needs it: one line out, characters in, nothing else.
#include <QByteArray>
#include <QObject>
#include <QString>

namespace vendra {

class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens the device at 9600 baud, 8 data bits, no parity, one stop bit.
    // Answers -1 when the port is not available; ErrorText() then keeps the system's reason.
    virtual int Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Writes the bytes in one write; false when the port is not open or the write failed.
    virtual bool Write(const QByteArray& bytes) = 0;
    // Characters received and not yet read (WaitForData(0) takes in what the system holds).
    virtual qint64 BytesWaiting() = 0;
    // Looks at up to n waiting characters without taking them.
    virtual QByteArray Peek(qint64 n) = 0;
    // Takes up to n waiting characters.
    virtual QByteArray Read(qint64 n) = 0;
    // Blocks until more characters arrive or msecs pass. False on time-out, and at once when the
    // port is closed or the device has gone away (the port is then closed).
    virtual bool WaitForData(int msecs) = 0;

    // What was opened: "/dev/ttyS0", "COM1", or the configured device path.
    virtual QString DeviceName() const = 0;
    // The line other programs could open too, and so must lock first; empty for a port that
    // belongs to this process alone.
    virtual QString LineName() const { return DeviceName(); }
    // The system's reason for the last failure.
    virtual QString ErrorText() const = 0;
    // True when the last failure was a refusal of access (on Linux, usually a missing
    // membership of the dialout group).
    virtual bool PermissionDenied() const = 0;

Q_SIGNALS:
    // Characters have arrived (delivered when the interface thread is idle or waiting).
    void DataReceived();
};

// A port that keeps what arrived in a buffer of its own: the device adapters move received bytes
// into `received_`, and the console looks at and takes them from there.
class BufferedPort : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;
    QByteArray Peek(qint64 n) override;
    QByteArray Read(qint64 n) override;

protected:
    QByteArray received_;
};

// Why the port could not be opened, for a person: "DEVICE: reason", with the hint about the
// dialout group where access was refused.
QString PortFailureText(const SerialPort& port);

// The device that stands for a configured port number on this platform:
// COMn on Windows, /dev/ttyS<n-1> elsewhere.
QString DeviceForPortNumber(int portNumber);

}  // namespace vendra
