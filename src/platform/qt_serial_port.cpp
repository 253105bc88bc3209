#include "platform/qt_serial_port.h"

#include <QElapsedTimer>
#include <algorithm>

namespace vendra {

namespace {

// Bounds what a device streaming into an idle console can pile up in memory; past it the
// port stops reading until the next command's flush empties it.
constexpr qint64 kReadBufferLimit = 256 * 1024;

bool IsHarmless(QSerialPort::SerialPortError error) {
    return error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : BufferedPort(parent) {
    port_.setReadBufferSize(kReadBufferLimit);
    WatchArrivals(port_);
    // A hang-up noticed by the event loop (no exchange running) must close the port there
    // too, or the loop would be woken for the dead descriptor over and over. Time-outs and
    // cleared errors come with every exchange and need no handling.
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (!IsHarmless(e))
            QMetaObject::invokeMethod(
                this, [this, e] { OnError(e); }, Qt::QueuedConnection);
    });
}

QtSerialPort::~QtSerialPort() {
    port_.close();
}

QString QtSerialPort::DeviceName() const {
    return devicePath_.isEmpty() ? DeviceForPortNumber(portNumber_) : devicePath_;
}

int QtSerialPort::Open() {
    const QString device = DeviceName();
    if (port_.isOpen()) {
        if (device == openedDevice_) return 0;
        Close();
    }
    received_.clear();
    errorText_.clear();
    permissionDenied_ = false;
    if (device.isEmpty()) {
        errorText_ = tr("No serial device for port number %1").arg(portNumber_);
        return -1;
    }

    port_.setPortName(device);
    port_.setBaudRate(kLineBaud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = port_.errorString();
        permissionDenied_ = port_.error() == QSerialPort::PermissionError;
        port_.clearError();
        return -1;
    }
    openedDevice_ = device;
    // Adapters that power themselves from the modem lines want them raised. A pseudo-terminal
    // has no modem lines and refuses; that refusal must not linger as the port's error.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    return 0;
}

void QtSerialPort::Close() {
    received_.clear();
    CloseDevice();
}

bool QtSerialPort::Write(const QByteArray& bytes) {
    if (!port_.isOpen()) return false;
    if (port_.write(bytes) != bytes.size()) {
        errorText_ = port_.errorString();
        CloseAfterFailure();
        return false;
    }
    // A command line fits the system's buffer: one non-blocking write sends it. Only what is
    // left over waits, bounded; the rest goes out during the wait for the reply.
    if (!port_.flush() && port_.bytesToWrite() > 0 && !port_.waitForBytesWritten(kWriteFlushMs) &&
        !IsHarmless(port_.error())) {
        CloseAfterFailure();
        return false;
    }
    ClearError();
    return true;
}

bool QtSerialPort::WaitForData(int msecs) {
    if (!port_.isOpen()) return false;
    const qsizetype before = received_.size();
    TakeBuffered();
    if (received_.size() > before) return true;

    QElapsedTimer waited;
    waited.start();
    if (port_.waitForReadyRead(std::max(0, msecs))) {
        TakeBuffered();
        return received_.size() > before;
    }
    // After a hang-up every wait fails at once; so does one that ends early without having
    // timed out. Either way nothing will come through this descriptor again: close it so the
    // caller's next wait returns at once instead of looping on a dead device.
    if (!IsHarmless(port_.error()) ||
        (port_.error() != QSerialPort::TimeoutError && waited.elapsed() < msecs)) {
        if (IsHarmless(port_.error())) errorText_ = tr("The serial device stopped answering");
        CloseAfterFailure();
        return received_.size() > before;
    }
    ClearError();
    return false;
}

void QtSerialPort::ClearError() {
    // Clearing announces itself as an error signal; skip it when there is nothing to clear.
    if (port_.error() != QSerialPort::NoError) port_.clearError();
}

void QtSerialPort::NoteFailure() {
    if (IsHarmless(port_.error())) return;
    errorText_ = port_.errorString();
    permissionDenied_ = port_.error() == QSerialPort::PermissionError;
}

void QtSerialPort::CloseDevice() {
    openedDevice_.clear();
    if (port_.isOpen()) port_.close();
    port_.clearError();
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error) {
    // Queued: by now the port may have been closed or reopened; act on its present state.
    if (IsHarmless(error) || !port_.isOpen() || IsHarmless(port_.error())) return;
    CloseAfterFailure();
}

}  // namespace vendra
