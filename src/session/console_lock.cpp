#include "session/console_lock.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace vendra {

QString DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("vendra.lock"));
}

QString LineLockFolder() {
    // A test run, or a second installation on one machine, keeps its line locks apart.
    const QString chosen = qEnvironmentVariable("VENDRA_LOCK_DIR");
    if (!chosen.isEmpty()) return chosen;
    const QFileInfo shared(QStringLiteral("/run/lock"));
    return shared.isDir() && shared.isWritable() ? shared.filePath() : QDir::tempPath();
}

namespace {

// "HOST:PORT" with the host as its address: however the host is spelt (a name, an address, the
// loopback as "localhost", 127.0.0.1 or ::1), one server is one line. A host that does not
// resolve keeps its name.
QString NetworkLine(const QString& line) {
    static const QRegularExpression form(QStringLiteral("^\\[?([^\\[\\]]+?)\\]?:(\\d+)$"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch()) return line;
    const QString host = m.captured(1).toLower();
    QList<QHostAddress> addresses;
    if (QHostAddress given; given.setAddress(host))
        addresses = {given};
    else
        addresses = QHostInfo::fromName(host).addresses();
    if (addresses.isEmpty()) return host + u':' + m.captured(2);
    QStringList names;
    for (const QHostAddress& a : addresses) {
        if (a.isLoopback()) return QStringLiteral("127.0.0.1:") + m.captured(2);
        bool v4 = false;
        const quint32 ip4 = a.toIPv4Address(&v4);
        names << (v4 ? QHostAddress(ip4).toString() : a.toString());
    }
    names.sort();
    return names.first() + u':' + m.captured(2);
}

}  // namespace

QString LineLockPath(const QString& deviceName) {
    // One device, one name: a link to a serial device locks the device it points to.
    QString key = deviceName;
    const QFileInfo device(deviceName);
    if (device.exists())
        key = device.canonicalFilePath();
    else if (!deviceName.startsWith(u'/'))
        key = NetworkLine(deviceName);
    const QString name = QStringLiteral("vendra-line-") +
                         QString::fromLatin1(QUrl::toPercentEncoding(key)).replace(u'%', u'_') +
                         QStringLiteral(".lock");
    return QDir(LineLockFolder()).filePath(name);
}

bool LockHeldElsewhere(const QString& lockPath, std::unique_ptr<QLockFile>& lock) {
    // A lock file survives a killed copy: QLockFile sees that its owner is gone and takes it.
    auto candidate = std::make_unique<QLockFile>(lockPath);
    candidate->setStaleLockTime(0);
    if (!candidate->tryLock(0)) return candidate->error() == QLockFile::LockFailedError;
    lock = std::move(candidate);
    return false;
}

}  // namespace vendra
