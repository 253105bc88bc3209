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

}  // namespace vendra
