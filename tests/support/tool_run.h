#pragma once
// vendractl as a process, the way a script or cron runs it.
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <optional>

namespace vendra {

struct ToolRun {
    int exit = -1;  // -1: it crashed, or did not end within the wait
    QByteArray out;
    QByteArray err;
};

// Starts vendractl with `args`. `runtimeDir` is its XDG_RUNTIME_DIR: unchanged when not given,
// unset when empty (as from cron).
void StartVendractl(QProcess& p, const QStringList& args,
                    const std::optional<QString>& runtimeDir = std::nullopt);
// Waits for a started tool to end and takes what it printed.
ToolRun FinishTool(QProcess& p, int waitMs = 60000);
// Both at once.
ToolRun RunVendractl(const QStringList& args,
                     const std::optional<QString>& runtimeDir = std::nullopt);

}  // namespace vendra
