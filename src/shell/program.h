#pragma once
// Program start: the command line, the single-copy guard, then the main window's start-up.
#include <QString>
#include <QStringList>
#include <memory>

#include "session/console_lock.h"

class QLockFile;

namespace vendra {

class Dialogs;
class frmKavroMain;

// What the command line asks for.
struct CommandLine {
    // The installation file to read: --ini PATH, or Kavro.ini beside the program.
    QString IniPath;
    // True when the program ends at once (--help, --version, a bad option), printing Output to
    // standard output and Error to standard error and returning ExitCode.
    bool Ends = false;
    int ExitCode = 0;
    QString Output;
    QString Error;
};

// Reads the arguments (the program's name first). Options the command line does not know are
// an error only when strict: before the application object exists, the toolkit's own options
// are still among them.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& programDirectory,
                             bool strict);

// The whole program: answers the process's exit code.
int RunProgram(int argc, char* argv[]);

// True when another copy of the console runs: its lock is held, or a window of this process is
// already titled "Vendra". Otherwise the lock is taken and kept in `lock`.
bool AnotherCopyRuns(const QString& lockPath, std::unique_ptr<QLockFile>& lock);

// Runs the start-up up to the event loop. Answers the main window when the program goes on,
// nothing when it must end (second copy, unusable configuration); the boxes were shown. The
// window's "X" ends the process at once and releases `lock`, which must outlive the window.
std::unique_ptr<frmKavroMain> StartProgram(Dialogs& dialogs, const QString& iniPath,
                                           const QString& lockPath,
                                           std::unique_ptr<QLockFile>& lock);

}  // namespace vendra
