#pragma once
// Small helpers the tests share: files on disk and the process's CPU time.
#include <sys/resource.h>
#include <QByteArray>
#include <QDir>
#include <QMetaType>
#include <QString>

namespace vendra {

// The whole file, or "<unreadable>".
QByteArray Contents(const QString& path);
// Writes the file whole; false when it could not.
bool Put(const QString& path, const QByteArray& bytes);
// User and system CPU seconds of this process so far.
double CpuSeconds();

// Files of this process stop growing at `bytes`, as on a full disk, while this object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

// Places where a save of "show.vdk" cannot be written, even by root.
enum class SaveFault { SizeLimit, ParentIsFile, VanishedFolder, FolderInPlace };
// Lays out the fault in `dir`, putting `old` where an earlier file stands; answers the path
// to save to. SizeLimit needs a FileSizeLimit around the save.
QString PrepareSaveFault(const QDir& dir, SaveFault fault, const QByteArray& old);

}  // namespace vendra

Q_DECLARE_METATYPE(vendra::SaveFault)
