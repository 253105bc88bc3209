#include "session/console_lock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
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

QString LineLockPath(const QString& deviceName) {
    // One device, one name: a link to a serial device locks the device it points to.
    QString key = deviceName;
    const QFileInfo device(deviceName);
    if (device.exists()) key = device.canonicalFilePath();
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
