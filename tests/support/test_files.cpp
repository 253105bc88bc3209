#include "support/test_files.h"

#include <sys/resource.h>
#include <QFile>
#include <csignal>

namespace vendra {

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool Put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

FileSizeLimit::FileSizeLimit(qint64 bytes) {
    // Past the limit the system would end the process; ignored, the write fails instead.
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0) return;
    rlimit small = saved_;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (ok_) setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
}

QString PrepareSaveFault(const QDir& dir, SaveFault fault, const QByteArray& old) {
    const QString file = dir.filePath(QStringLiteral("show.vdk"));
    switch (fault) {
        case SaveFault::SizeLimit:
            Put(file, old);
            return file;
        case SaveFault::ParentIsFile:
            Put(dir.filePath(QStringLiteral("plain")), old);
            return dir.filePath(QStringLiteral("plain/show.vdk"));
        case SaveFault::VanishedFolder:
            dir.mkdir(QStringLiteral("gone"));
            dir.rmdir(QStringLiteral("gone"));
            return dir.filePath(QStringLiteral("gone/show.vdk"));
        case SaveFault::FolderInPlace:
            dir.mkdir(QStringLiteral("show.vdk"));
            return file;
    }
    return file;
}

}  // namespace vendra
