#pragma once
// The port Kavro.ini names: a local serial device, or a network serial server when CommDevice
// is "tcp://HOST:PORT" or "rfc2217://HOST:PORT".
#include <memory>

#include "platform/serial_port.h"

namespace vendra {

// The port for a configured port number (1..255) and CommDevice value (empty: the number's
// device). Not opened yet.
std::unique_ptr<SerialPort> MakeSerialPort(const QString& devicePath, int portNumber);

// A port that exists before the configuration is read and takes its kind from it, so the
// pieces built on it keep one port for the whole run. Until Configure() it is port number 1.
class ConfiguredPort : public SerialPort {
    Q_OBJECT
public:
    explicit ConfiguredPort(QObject* parent = nullptr);

    // Closes the present port and makes the configured one (opened by the next Open()).
    void Configure(const QString& devicePath, int portNumber);

    int Open() override { return port_->Open(); }
    void Close() override { port_->Close(); }
    bool IsOpen() const override { return port_->IsOpen(); }
    bool Write(const QByteArray& bytes) override { return port_->Write(bytes); }
    qint64 BytesWaiting() override { return port_->BytesWaiting(); }
    QByteArray Peek(qint64 n) override { return port_->Peek(n); }
    QByteArray Read(qint64 n) override { return port_->Read(n); }
    bool WaitForData(int msecs) override { return port_->WaitForData(msecs); }
    QString DeviceName() const override { return port_->DeviceName(); }
    QString ErrorText() const override { return port_->ErrorText(); }
    bool PermissionDenied() const override { return port_->PermissionDenied(); }

private:
    std::unique_ptr<SerialPort> port_;
};

}  // namespace vendra
