#pragma once
// The lock that marks the program holding the controller's line: the console takes it for its
// whole run, the command-line tool for its own, so neither talks over the other.
#include <QString>
#include <memory>

class QLockFile;

namespace vendra {

// Where the lock lives (the user's runtime folder).
QString DefaultLockPath();

// True when another process holds the lock. Otherwise the lock is taken and kept in `lock`
// (also when the folder does not allow a lock at all: nobody else can hold it there either).
// A lock left by a killed process is taken over.
bool LockHeldElsewhere(const QString& lockPath, std::unique_ptr<QLockFile>& lock);

}  // namespace vendra
