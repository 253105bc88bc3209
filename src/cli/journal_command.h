#pragma once
// `vendractl journal`: the change journal for scripts and audits, oldest entry first, its
// rotated files included. Only what the question needs is read: the last N entries and those
// since a time are read back from the end; --follow then waits for new ones.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace vendra {

// "2026-12-09T19:58:03+01:00", "2026-12-09T19:58", "2026-12-09" (that day's start) or "19:58"
// (today); without an offset, local time. Empty when the text is none of these.
std::optional<QDateTime> ParseSince(const QString& text);

struct JournalQuery {
    QString path;     // empty: there is no journal (no home, no Journal key)
    QDateTime since;  // invalid: from the start
    QDateTime until;  // invalid: to the end
    QString output;   // EntryMatches' filter; empty: every entry
    int last = -1;    // the last N matching entries only; -1: all
    bool follow = false;
    bool json = false;
    std::function<bool()> stopped;  // Ctrl+C or SIGTERM, for --follow
};

// Prints the matching entries on standard output: one line in words each, or each entry as
// the JSON line it is. A torn line is named on standard error. The exit code: 0 when an entry
// was printed, 1 when none matched (as grep), 2 when the journal cannot be read; a follow ends
// by the stop (130, 143).
int PrintJournal(const JournalQuery& query);

}  // namespace vendra
