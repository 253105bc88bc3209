#include "shell/program.h"

#include <QApplication>
#include <QLockFile>
#include <QWidget>

#include "platform/dialogs.h"
#include "shell/frm_kavro_main.h"

namespace vendra {

bool AnotherCopyRuns(const QString& lockPath, std::unique_ptr<QLockFile>& lock) {
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QStringLiteral("Vendra")) return true;
    return LockHeldElsewhere(lockPath, lock);
}

std::unique_ptr<frmKavroMain> StartProgram(Dialogs& dialogs, const QString& programDirectory,
                                           const QString& lockPath,
                                           std::unique_ptr<QLockFile>& lock) {
    if (AnotherCopyRuns(lockPath, lock)) {
        dialogs.Message(QStringLiteral("An instance of Vendra is already running"),
                        QStringLiteral("Application Error"), Buttons::Ok);
        return nullptr;
    }
    auto window = std::make_unique<frmKavroMain>(dialogs, programDirectory);
    if (!window->Load()) return nullptr;
    return window;
}

}  // namespace vendra
