#include "shell/program.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "platform/dialogs.h"
#include "shell/frm_kavro_main.h"

namespace vendra {

QString DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("vendra.lock"));
}

bool AnotherCopyRuns(const QString& lockPath, std::unique_ptr<QLockFile>& lock) {
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QStringLiteral("Vendra")) return true;
    // A lock file survives a killed copy: QLockFile sees that its owner is gone and takes it.
    auto candidate = std::make_unique<QLockFile>(lockPath);
    candidate->setStaleLockTime(0);
    if (!candidate->tryLock(0)) return candidate->error() == QLockFile::LockFailedError;
    lock = std::move(candidate);
    return false;
}

namespace {

// "X" ends the process where it stands, also before the event loop runs or inside a read-back's
// events: nothing else runs. The window closed the port; the lock goes, so a new start is let in.
[[noreturn]] void EndProcess(std::unique_ptr<QLockFile>& lock) {
    lock.reset();
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace

std::unique_ptr<frmKavroMain> StartProgram(Dialogs& dialogs, const QString& programDirectory,
                                           const QString& lockPath,
                                           std::unique_ptr<QLockFile>& lock) {
    if (AnotherCopyRuns(lockPath, lock)) {
        dialogs.Message(QStringLiteral("An instance of Vendra is already running"),
                        QStringLiteral("Application Error"), Buttons::Ok);
        return nullptr;
    }
    auto window = std::make_unique<frmKavroMain>(dialogs, programDirectory);
    window->endProgram = [&lock] { EndProcess(lock); };
    if (!window->Load()) return nullptr;
    return window;
}

}  // namespace vendra
