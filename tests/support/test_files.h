#pragma once
// Small helpers the tests share: files on disk and the process's CPU time.
#include <QByteArray>
#include <QString>

namespace vendra {

// The whole file, or "<unreadable>".
QByteArray Contents(const QString& path);
// Writes the file whole; false when it could not.
bool Put(const QString& path, const QByteArray& bytes);
// User and system CPU seconds of this process so far.
double CpuSeconds();

}  // namespace vendra
