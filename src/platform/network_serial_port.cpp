#include "platform/network_serial_port.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace vendra {

namespace {

const QString kRawScheme = QStringLiteral("tcp");
const QString kTelnetScheme = QStringLiteral("rfc2217");

// Bounds what a server streaming into an idle console can pile up in memory.
constexpr qint64 kReadBufferLimit = 256 * 1024;
// How long one write may block before the rest is left to the wait for the reply.
constexpr int kWriteFlushMs = 250;

int Remaining(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

QString SchemeOf(const QString& device) {
    const qsizetype end = device.indexOf(QLatin1String("://"));
    return end < 0 ? QString() : device.left(end).toLower();
}

// The addresses of `host`. A name is looked up on a helper thread, so that a resolver which
// hangs cannot hold the console past the deadline; a late answer is simply dropped.
QList<QHostAddress> LookUp(const QString& host, const QDeadlineTimer& deadline, QString& error) {
    if (QHostAddress literal; literal.setAddress(host)) return {literal};
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<QHostInfo> info;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, host] {
        QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard lock(shared->mutex);
        shared->info = std::move(info);
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, std::chrono::milliseconds(Remaining(deadline)),
                               [&] { return shared->info.has_value(); })) {
        error = NetworkSerialPort::tr("Looking up %1 took longer than %2 s")
                    .arg(host)
                    .arg(NetworkSerialPort::kConnectMs / 1000);
        return {};
    }
    if (shared->info->error() != QHostInfo::NoError || shared->info->addresses().isEmpty()) {
        error = shared->info->errorString();
        return {};
    }
    return shared->info->addresses();
}

}  // namespace

bool NetworkSerialPort::Names(const QString& device) {
    const QString scheme = SchemeOf(device);
    return scheme == kRawScheme || scheme == kTelnetScheme;
}

NetworkSerialPort::NetworkSerialPort(const QString& device, QObject* parent)
    : BufferedPort(parent), device_(device) {
    const QString scheme = SchemeOf(device);
    telnet_ = scheme == kTelnetScheme;
    const QUrl url(device.trimmed(), QUrl::StrictMode);
    const int port = url.port(-1);
    if (!url.isValid() || url.host().isEmpty() || port < 1 || port > 65535 ||
        !(url.path().isEmpty() || url.path() == QLatin1String("/")) || !url.userInfo().isEmpty() ||
        url.hasQuery() || url.hasFragment()) {
        addressError_ = tr("expected %1://HOST:PORT with a port from 1 to 65535").arg(scheme);
    } else {
        host_ = url.host();
        port_ = static_cast<quint16>(port);
    }

    socket_.setReadBufferSize(kReadBufferLimit);
    WatchArrivals(socket_);
}

NetworkSerialPort::~NetworkSerialPort() {
    socket_.abort();
}

QString NetworkSerialPort::DeviceName() const {
    if (host_.isEmpty()) return device_;
    const bool v6 = host_.contains(QLatin1Char(':'));
    return (v6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(host_).arg(port_);
}

int NetworkSerialPort::Open() {
    if (IsOpen()) return 0;
    Close();
    errorText_.clear();
    if (!addressError_.isEmpty()) {
        errorText_ = addressError_;
        return -1;
    }
    if (!quietReason_.isEmpty() && !quietUntil_.hasExpired()) {
        errorText_ = quietReason_;
        return -1;
    }
    quietReason_.clear();
    const QDeadlineTimer deadline(kConnectMs);
    if (!Connect(deadline) || (Telnet() && !SetUpLine(deadline))) {
        if (deadline.hasExpired()) {
            quietReason_ = errorText_;
            quietUntil_.setRemainingTime(kConnectMs);
        }
        CloseDevice();
        return -1;
    }
    return 0;
}

bool NetworkSerialPort::Connect(const QDeadlineTimer& deadline) {
    QString why;
    for (const QHostAddress& address : LookUp(host_, deadline, why)) {
        socket_.connectToHost(address, port_);
        if (socket_.waitForConnected(Remaining(deadline))) {
            // A command line is small and waited for: send it at once.
            socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            return true;
        }
        why = socket_.error() == QAbstractSocket::SocketTimeoutError
                  ? tr("No answer within %1 s").arg(kConnectMs / 1000)
                  : socket_.errorString();
        socket_.abort();
        if (deadline.hasExpired()) break;
    }
    errorText_ = why;
    return false;
}

bool NetworkSerialPort::SetUpLine(const QDeadlineTimer& deadline) {
    socket_.write(TelnetCodec::OfferComPort());
    socket_.flush();
    while (!codec_.ComPortAccepted() && IsOpen() && socket_.waitForReadyRead(Remaining(deadline)))
        TakeBuffered();
    if (!codec_.ComPortAccepted()) {
        if (IsOpen()) {
            // Silence is what a raw port gives: the offer went down the line as bytes, and the
            // controller holds them as the start of a line. Ending that line here keeps them out
            // of the next client's first command.
            socket_.write("\r\n");
            socket_.waitForBytesWritten(kWriteFlushMs);
        }
        errorText_ = IsOpen() ? tr("The server did not take up COM port control within %1 s")
                                    .arg(kConnectMs / 1000)
                              : socket_.errorString();
        return false;
    }
    if (!*codec_.ComPortAccepted()) {
        errorText_ = tr("The server refuses COM port control (for a raw server use tcp://)");
        return false;
    }
    socket_.write(TelnetCodec::LineSettings());
    return socket_.flush();
}

void NetworkSerialPort::Close() {
    received_.clear();
    CloseDevice();
}

bool NetworkSerialPort::Write(const QByteArray& bytes) {
    if (!IsOpen()) return false;
    const QByteArray wire = Telnet() ? TelnetCodec::Escape(bytes) : bytes;
    if (socket_.write(wire) != wire.size()) {
        CloseAfterFailure();
        return false;
    }
    if (!socket_.flush() && socket_.bytesToWrite() > 0 &&
        !socket_.waitForBytesWritten(kWriteFlushMs) && !IsOpen()) {
        CloseAfterFailure();
        return false;
    }
    return true;
}

bool NetworkSerialPort::WaitForData(int msecs) {
    const qsizetype before = received_.size();
    TakeBuffered();
    if (received_.size() > before) return true;
    if (!IsOpen()) return false;
    const QDeadlineTimer deadline(std::max(0, msecs));
    // A read may bring Telnet commands only; the wait goes on for the line's bytes.
    while (socket_.waitForReadyRead(Remaining(deadline))) {
        TakeBuffered();
        if (received_.size() > before) return true;
        if (deadline.hasExpired()) return false;
    }
    if (IsOpen() && socket_.error() == QAbstractSocket::SocketTimeoutError) return false;
    // The server closed the connection or the network failed: close it, so that the caller's
    // next wait returns at once and the next command connects again.
    CloseAfterFailure();
    return received_.size() > before;
}

QByteArray NetworkSerialPort::Incoming(const QByteArray& in) {
    if (!Telnet()) return in;
    QByteArray replies;
    const QByteArray data = codec_.Decode(in, replies);
    if (!replies.isEmpty() && IsOpen()) {
        socket_.write(replies);
        socket_.flush();
    }
    return data;
}

void NetworkSerialPort::NoteFailure() {
    if (socket_.error() != QAbstractSocket::SocketTimeoutError &&
        socket_.error() != QAbstractSocket::UnknownSocketError)
        errorText_ = socket_.errorString();
}

void NetworkSerialPort::CloseDevice() {
    socket_.abort();
    codec_.Reset();
}

}  // namespace vendra
