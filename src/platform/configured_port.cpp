#include "platform/configured_port.h"

#include "platform/network_serial_port.h"
#include "platform/qt_serial_port.h"

namespace vendra {

std::unique_ptr<SerialPort> MakeSerialPort(const QString& devicePath, int portNumber) {
    if (NetworkSerialPort::Names(devicePath))
        return std::make_unique<NetworkSerialPort>(devicePath);
    auto port = std::make_unique<QtSerialPort>();
    port->SetPortNumber(portNumber);
    port->SetDevicePath(devicePath);
    return port;
}

ConfiguredPort::ConfiguredPort(QObject* parent) : SerialPort(parent) {
    Configure(QString(), 1);
}

void ConfiguredPort::Configure(const QString& devicePath, int portNumber) {
    if (port_) port_->Close();
    port_ = MakeSerialPort(devicePath, portNumber);
    connect(port_.get(), &SerialPort::DataReceived, this, &SerialPort::DataReceived);
}

}  // namespace vendra
