#pragma once
// How names, file lines and counts stand in the console's messages.
#include <QString>
#include <QStringView>

namespace vendra {

// A path, key or name in quotation marks.
QString Quoted(const QString& text);

// A line of a file as it can stand in a message: control characters shown as "?", long lines
// cut after 40 characters with "...".
QString Shown(QStringView text);

// The count and the word that fits it: Counted(1, "finding", "findings") is "1 finding".
QString Counted(qsizetype n, const char* one, const char* many);

// "1 mapping", "0 mappings", "12 mappings".
QString MappingCount(int n);

}  // namespace vendra
