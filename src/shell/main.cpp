// The Vendra tally console.
#include <QApplication>
#include <QLockFile>
#include <QStyleFactory>

#include "platform/widgets/qt_dialogs.h"
#include "shell/frm_kavro_main.h"
#include "shell/program.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendra"));
    // One style everywhere, so the button colours the console sets show on every platform.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    vendra::QtDialogs dialogs;
    std::unique_ptr<QLockFile> lock;
    auto window = vendra::StartProgram(dialogs, QCoreApplication::applicationDirPath(),
                                       vendra::DefaultLockPath(), lock);
    if (!window) return 0;
    return QApplication::exec();
}
