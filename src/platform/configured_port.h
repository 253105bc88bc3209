#pragma once
// The port Kavro.ini names: a local serial device, or a network serial server when CommDevice
// is "tcp://HOST:PORT" or "rfc2217://HOST:PORT".
#include <memory>

#include "platform/serial_port.h"

namespace vendra {

// The port for a configured port number (1..255) and CommDevice value (empty: the number's
// device). Not opened yet.
std::unique_ptr<SerialPort> MakeSerialPort(const QString& devicePath, int portNumber);

}  // namespace vendra
