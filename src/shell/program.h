#pragma once
// Program start: the single-copy guard, then the main window's start-up.
#include <QString>
#include <memory>

#include "session/console_lock.h"

class QLockFile;

namespace vendra {

class Dialogs;
class frmKavroMain;

// True when another copy of the console runs: its lock is held, or a window of this process is
// already titled "Vendra". Otherwise the lock is taken and kept in `lock`.
bool AnotherCopyRuns(const QString& lockPath, std::unique_ptr<QLockFile>& lock);

// Runs the start-up up to the event loop. Answers the main window when the program goes on,
// nothing when it must end (second copy, unusable configuration); the boxes were shown.
std::unique_ptr<frmKavroMain> StartProgram(Dialogs& dialogs, const QString& programDirectory,
                                           const QString& lockPath,
                                           std::unique_ptr<QLockFile>& lock);

}  // namespace vendra
