#pragma once
// A pseudo-terminal published under a path of the caller's choice: the console opens the path
// like a serial device, the simulator serves the master side.
#include <QString>

namespace vendra {

class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Opens the master (non-blocking) and a slave of our own in raw mode. The own slave keeps
    // the master readable while the console closes and reopens the device.
    bool Open(QString* error);
    // Makes linkPath a symlink to the slave, replacing an existing symlink atomically. A path
    // that is anything else (a regular file, a directory) is refused and left alone.
    bool Publish(const QString& linkPath, QString* error);
    // Removes the symlink, if it still points at our slave.
    void Unpublish();
    // Closes both ends: the console sees the device hang up.
    void Close();

    int MasterFd() const { return master_; }
    const QString& SlavePath() const { return slavePath_; }
    const QString& LinkPath() const { return linkPath_; }
    // Bytes written to the master that the console has not read yet.
    int PendingForConsole() const;

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString linkPath_;
};

}  // namespace vendra
