#pragma once
// The locks that keep two programs off one line. The console takes the single-copy lock for its
// whole run. Every program that opens a line (the console, the command-line tool) takes that
// line's lock first, one per device, in the folder where serial lines are locked, so a tool
// started from cron or another login sees the console's lock as well.
#include <QString>
#include <memory>

class QLockFile;

namespace vendra {

// The console's single-copy lock (the user's runtime folder).
QString DefaultLockPath();

// Where line locks live: $VENDRA_LOCK_DIR when set, else /run/lock (the temporary folder where
// that cannot be written).
QString LineLockFolder();

// The lock of one line: the serial device (by its real path at this moment) or HOST:PORT of a
// network controller, in LineLockFolder().
QString LineLockPath(const QString& deviceName);

// True when another process holds the lock. Otherwise the lock is taken and kept in `lock`
// (also when the folder does not allow a lock at all: nobody else can hold it there either).
// A lock left by a killed process is taken over.
bool LockHeldElsewhere(const QString& lockPath, std::unique_ptr<QLockFile>& lock);

}  // namespace vendra
