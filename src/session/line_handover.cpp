#include "session/line_handover.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace vendra {

namespace {

constexpr char kTake[] = "take\n";
constexpr char kReleased[] = "released";
constexpr char kLent[] = "lent\n";
// A local socket's path must fit the system's address (108 bytes with its end).
constexpr qsizetype kMaxSocketPath = 100;
// A line from the console longer than this is no line of ours: the connection is dropped.
constexpr qsizetype kMaxLine = 8 * 1024 * 1024;

}  // namespace

QJsonObject LampWithColour(const LampRow& row, TallyColour colour) {
    QJsonObject o = LampJson(row);
    o.insert(QStringLiteral("colour"), colour == TallyColour::Green   ? QStringLiteral("green")
                                       : colour == TallyColour::Amber ? QStringLiteral("amber")
                                                                      : QStringLiteral("red"));
    return o;
}

QString HandoverSocketPath(const QString& lockPath) {
    const QString beside = lockPath + QStringLiteral(".handover");
    if (beside.toLocal8Bit().size() <= kMaxSocketPath) return beside;
    const QByteArray hash =
        QCryptographicHash::hash(lockPath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QFileInfo(lockPath).dir().filePath(
        QStringLiteral("vendra-") + QString::fromLatin1(hash) + QStringLiteral(".handover"));
}

LineHandoverClient::LineHandoverClient() = default;
LineHandoverClient::~LineHandoverClient() = default;

bool LineHandoverClient::AskForLine(const QString& lockPath, int waitMs) {
    Release();
    auto socket = std::make_unique<QLocalSocket>();
    const QDeadlineTimer deadline(waitMs);
    socket->connectToServer(HandoverSocketPath(lockPath));
    if (!socket->waitForConnected(int(deadline.remainingTime()))) return false;
    socket->write(kTake);
    if (!socket->waitForBytesWritten(int(deadline.remainingTime()))) return false;
    while (!socket->canReadLine()) {
        if (deadline.hasExpired() || !socket->waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    if (socket->readLine().trimmed() != kReleased) return false;
    socket_ = std::move(socket);
    return true;
}

bool LineHandoverClient::Holding() const {
    return socket_ && socket_->state() == QLocalSocket::ConnectedState;
}

void LineHandoverClient::Release() {
    if (!socket_) return;
    socket_->disconnectFromServer();
    socket_.reset();
}

void LineHandoverClient::Send(const QByteArray& line) {
    if (!Holding()) return;
    socket_->write(line + '\n');
    socket_->flush();
}

LineHandoverServer::LineHandoverServer(QObject* parent) : QObject(parent) {}

LineHandoverServer::~LineHandoverServer() {
    if (server_) server_->close();
}

bool LineHandoverServer::Listen(const QString& lockPath) {
    const QString path = HandoverSocketPath(lockPath);
    // A socket that answers belongs to another service of this line; one that does not was left
    // by a service that was killed.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(500)) {
        error_ = QStringLiteral("another service listens on %1").arg(path);
        return false;
    }
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    // The console may run as another user than the service.
    server_->setSocketOptions(QLocalServer::WorldAccessOption);
    if (!server_->listen(path)) {
        error_ = QStringLiteral("cannot listen on %1: %2").arg(path, server_->errorString());
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &LineHandoverServer::Accept);
    return true;
}

void LineHandoverServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Gone(socket); });
    }
}

void LineHandoverServer::Read(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (socket == holder_) {
            Q_EMIT ConsoleLine(line);
        } else if (line == QByteArrayLiteral("take")) {
            if (holder_) {
                socket->write(kLent);
            } else if (!waiting_.contains(socket)) {
                waiting_.append(socket);
                if (waiting_.size() == 1) Q_EMIT LineWanted();
            }
        }
    }
    if (socket->bytesAvailable() > kMaxLine) socket->abort();
}

void LineHandoverServer::Released() {
    if (waiting_.isEmpty()) {
        // The console that asked went away meanwhile: the line is the service's again.
        QTimer::singleShot(0, this, &LineHandoverServer::LineReturned);
        return;
    }
    holder_ = waiting_.takeFirst();
    holder_->write(kReleased);
    holder_->write("\n");
    holder_->flush();
    for (QLocalSocket* other : std::as_const(waiting_))
        other->write(kLent);
    waiting_.clear();
}

bool LineHandoverServer::Lent() const {
    return holder_ != nullptr;
}

void LineHandoverServer::Gone(QLocalSocket* socket) {
    waiting_.removeAll(socket);
    socket->deleteLater();
    if (socket != holder_) return;
    holder_ = nullptr;
    Q_EMIT LineReturned();
}

}  // namespace vendra
