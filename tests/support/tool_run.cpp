#include "support/tool_run.h"

#include <QProcessEnvironment>

namespace vendra {

void StartVendractl(QProcess& p, const QStringList& args,
                    const std::optional<QString>& runtimeDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (runtimeDir && runtimeDir->isEmpty())
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    else if (runtimeDir)
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), *runtimeDir);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VENDRA_VENDRACTL), args);
}

ToolRun FinishTool(QProcess& p, int waitMs) {
    ToolRun r;
    if (!p.waitForFinished(waitMs)) return r;
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

ToolRun RunVendractl(const QStringList& args, const std::optional<QString>& runtimeDir) {
    QProcess p;
    StartVendractl(p, args, runtimeDir);
    return FinishTool(p);
}

}  // namespace vendra
