#include "cli/journal_command.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <cstdio>

#include "changes/journal_reader.h"
#include "cli/cli_support.h"

namespace vendra {

namespace {

bool Wanted(const JournalQuery& q, const JournalEntry& e) {
    if (q.since.isValid() && e.Time < q.since) return false;
    if (q.until.isValid() && e.Time > q.until) return false;
    return EntryMatches(e, q.output);
}

void Print(const JournalQuery& q, const JournalEntry& e) {
    const QByteArray line = q.json ? e.ToLine() : EntryInWords(e, true).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

// Everything from the start, in the order written: nothing is kept.
int PrintForward(const JournalQuery& q, JournalReader& reader) {
    int printed = 0;
    while (const std::optional<JournalEntry> e = reader.Next()) {
        // Past the end of the window by more than an entry lags: nothing later comes into it.
        if (q.until.isValid() && e->Time > q.until.addSecs(kJournalLagSeconds)) break;
        if (!Wanted(q, *e)) continue;
        Print(q, *e);
        ++printed;
    }
    return printed;
}

// The last N, or everything since a time: read back from the end as far as needed, then
// printed oldest first.
int PrintBackward(const JournalQuery& q, JournalReader& reader) {
    QList<JournalEntry> found;
    while (q.last < 0 || found.size() < q.last) {
        const std::optional<JournalEntry> e = reader.Next();
        if (!e || (q.since.isValid() && e->Time < q.since.addSecs(-kJournalLagSeconds))) break;
        if (Wanted(q, *e)) found.prepend(*e);
    }
    for (const JournalEntry& e : found)
        Print(q, e);
    return int(found.size());
}

int Follow(const JournalQuery& q, JournalReader& follower) {
    int printed = 0;
    while (!q.stopped()) {
        follower.CatchUp();
        while (const std::optional<JournalEntry> e = follower.Next())
            if (Wanted(q, *e)) {
                Print(q, *e);
                ++printed;
            }
        std::fflush(stdout);
        for (int i = 0; i < 4 && !q.stopped(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(50);
        }
    }
    return StopSignal::ExitCode();
}

}  // namespace

std::optional<QDateTime> ParseSince(const QString& text) {
    const QString t = text.trimmed();
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (when.isValid()) return when;
    const QDate day = QDate::fromString(t, Qt::ISODate);
    if (day.isValid()) return QDateTime(day, QTime(0, 0));
    for (const QString& form : {QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")}) {
        const QTime time = QTime::fromString(t, form);
        if (time.isValid()) return QDateTime(QDate::currentDate(), time);
    }
    return std::nullopt;
}

int PrintJournal(const JournalQuery& q) {
    if (q.path.isEmpty()) {
        std::fprintf(stderr,
                     "vendractl: nothing is journalled: HOME is not set and Kavro.ini names no "
                     "Journal file\n");
        return 2;
    }
    const auto order = q.last >= 0 || q.since.isValid() ? JournalReader::Order::NewestFirst
                                                        : JournalReader::Order::OldestFirst;
    JournalReader reader(q.path, order);
    if (!reader.Error().isEmpty()) {
        std::fprintf(stderr, "vendractl: the journal cannot be read: %s\n",
                     qPrintable(reader.Error()));
        return 2;
    }
    if (reader.Missing())
        std::fprintf(stderr, "vendractl: no change has been journalled yet in %s\n",
                     qPrintable(QDir::toNativeSeparators(q.path)));
    // Taken before reading: what is written meanwhile is the follower's.
    const std::unique_ptr<JournalReader> follower = q.follow ? reader.Follower() : nullptr;
    const int printed = order == JournalReader::Order::NewestFirst ? PrintBackward(q, reader)
                                                                   : PrintForward(q, reader);
    std::fflush(stdout);
    const QString torn = TornText(reader.Torn());
    if (!torn.isEmpty()) std::fprintf(stderr, "vendractl: %s\n", qPrintable(torn));
    if (follower) return Follow(q, *follower);
    return printed > 0 ? 0 : 1;
}

}  // namespace vendra
