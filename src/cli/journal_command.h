#pragma once
// `vendractl journal`: the change journal for scripts and audits, oldest entry first.
#include <QDateTime>
#include <QString>
#include <optional>

namespace vendra {

// "2026-12-09T19:58:03+01:00", "2026-12-09T19:58", "2026-12-09" (that day's start) or "19:58"
// (today); without an offset, local time. Empty when the text is none of these.
std::optional<QDateTime> ParseSince(const QString& text);

struct JournalQuery {
    QString path;
    QDateTime since;  // invalid: from the start
    QString output;   // EntryMatches' filter; empty: every entry
    bool json = false;
};

// Prints the matching entries on standard output: one line in words each, or each entry as
// the JSON line it is. A torn line is named on standard error. The exit code: 0, or 2 when
// the journal cannot be read.
int PrintJournal(const JournalQuery& query);

}  // namespace vendra
