#include "session/console_lock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace vendra {

QString DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("vendra.lock"));
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
