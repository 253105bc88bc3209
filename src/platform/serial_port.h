#pragma once
// The serial port as the console needs it: one line out, characters in, nothing else.
#include <QByteArray>
#include <QObject>
#include <QString>

namespace vendra {

// The controller's line: 9600 baud, 8 data bits, no parity, one stop bit, ten bits a character.
inline constexpr int kLineBaud = 9600;

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
    // The port closed itself: the device went away or failed (a hang-up, a write refused).
    void ClosedAfterFailure();
};

// A port on top of a Qt device (a serial port, a socket) that keeps what arrived in a buffer of
// its own, so that what came before a hang-up survives the close. The adapters supply the
// device and its own steps; arrivals, the read-in and the close after a failure are shared.
class BufferedPort : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;
    qint64 BytesWaiting() override;
    QByteArray Peek(qint64 n) override;
    QByteArray Read(qint64 n) override;
    QString ErrorText() const override { return errorText_; }

protected:
    // Called once by the adapter's constructor with the device it owns. Arrivals are announced
    // when the interface thread is idle again, never from inside a blocking wait (the RX lamp
    // lights after the exchange), and one announcement at a time is enough for a lamp.
    void WatchArrivals(QIODevice& device);
    // Moves what the device holds into received_, through Incoming().
    void TakeBuffered();
    // Keeps what had arrived, takes the device's reason for the failure and closes the device,
    // so that the next wait returns at once and the next Open() starts afresh.
    void CloseAfterFailure();

    // The line's bytes in what the device delivered (the network port takes out Telnet).
    virtual QByteArray Incoming(const QByteArray& in) { return in; }
    // Sets errorText_ from the device's last error when that error is a real one.
    virtual void NoteFailure() = 0;
    // Closes the device and forgets its state, leaving received_ alone.
    virtual void CloseDevice() = 0;

    QByteArray received_;
    QString errorText_;

private:
    QIODevice* device_ = nullptr;
    bool arrivalPending_ = false;
};

// Why the port could not be opened, for a person: "DEVICE: reason", with the hint about the
// dialout group where access was refused.
QString PortFailureText(const SerialPort& port);

// The device that stands for a configured port number on this platform:
// COMn on Windows, /dev/ttyS<n-1> elsewhere.
QString DeviceForPortNumber(int portNumber);

}  // namespace vendra
