#include "platform/serial_port.h"

#include <QIODevice>
#include <algorithm>

namespace vendra {

void BufferedPort::WatchArrivals(QIODevice& device) {
    device_ = &device;
    connect(&device, &QIODevice::readyRead, this, [this] {
        if (arrivalPending_) return;
        arrivalPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                arrivalPending_ = false;
                Q_EMIT DataReceived();
            },
            Qt::QueuedConnection);
    });
}

void BufferedPort::TakeBuffered() {
    if (device_ && device_->isOpen() && device_->bytesAvailable() > 0)
        received_ += Incoming(device_->readAll());
}

void BufferedPort::CloseAfterFailure() {
    TakeBuffered();
    NoteFailure();
    CloseDevice();
    Q_EMIT ClosedAfterFailure();
}

qint64 BufferedPort::BytesWaiting() {
    TakeBuffered();
    return received_.size();
}

QByteArray BufferedPort::Peek(qint64 n) {
    return received_.left(static_cast<qsizetype>(std::max<qint64>(0, n)));
}

QByteArray BufferedPort::Read(qint64 n) {
    const QByteArray taken = Peek(n);
    received_.remove(0, taken.size());
    return taken;
}

QString DeviceForPortNumber(int portNumber) {
    // Port numbers start at 1; there is no device for anything below.
    if (portNumber < 1) return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString PortFailureText(const SerialPort& port) {
    QString text = port.DeviceName() + QStringLiteral(": ") + port.ErrorText();
    if (port.PermissionDenied())
        text += QStringLiteral(" (is your user a member of the dialout group?)");
    return text;
}

}  // namespace vendra
