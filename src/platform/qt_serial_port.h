#pragma once
// The serial port of the real system, on top of QSerialPort. Also serves pseudo-terminals
// (the simulated controller), where modem-line calls fail harmlessly.
#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include "platform/serial_port.h"

namespace vendra {

class QtSerialPort : public BufferedPort {
    Q_OBJECT
public:
    // How long one write may block before the rest is left to the next wait on the port.
    static constexpr int kWriteFlushMs = 250;

    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    // The configured port number (1..255) and, when not empty, a device path that replaces
    // the number's device. Take effect at the next Open().
    void SetPortNumber(int portNumber) { portNumber_ = portNumber; }
    void SetDevicePath(const QString& path) { devicePath_ = path; }

    int Open() override;
    void Close() override;
    bool IsOpen() const override { return port_.isOpen(); }
    bool Write(const QByteArray& bytes) override;
    bool WaitForData(int msecs) override;
    QString DeviceName() const override;
    bool PermissionDenied() const override { return permissionDenied_; }

private:
    void NoteFailure() override;
    void CloseDevice() override;
    void OnError(QSerialPort::SerialPortError error);
    void ClearError();

    QSerialPort port_;
    int portNumber_ = 1;
    QString devicePath_;
    // The device the open port was opened on; empty while closed.
    QString openedDevice_;
    bool permissionDenied_ = false;
};

}  // namespace vendra
