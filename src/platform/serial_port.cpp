#include "platform/serial_port.h"

namespace vendra {

QString DeviceForPortNumber(int portNumber) {
    // Port numbers start at 1; there is no device for anything below.
    if (portNumber < 1) return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

}  // namespace vendra
