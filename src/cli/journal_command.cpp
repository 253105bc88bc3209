#include "cli/journal_command.h"

#include <QDir>
#include <cstdio>

#include "changes/journal.h"

namespace vendra {

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
    const JournalRead read = ReadJournal(q.path);
    if (!read.Error.isEmpty()) {
        std::fprintf(stderr, "vendractl: the journal cannot be read: %s\n", qPrintable(read.Error));
        return 2;
    }
    if (read.Missing) {
        std::fprintf(stderr, "vendractl: no change has been journalled yet in %s\n",
                     qPrintable(QDir::toNativeSeparators(q.path)));
        return 0;
    }
    QByteArray out;
    for (const JournalEntry& e : read.Entries) {
        if (q.since.isValid() && e.Time < q.since) continue;
        if (!EntryMatches(e, q.output)) continue;
        out += q.json ? e.ToLine() : EntryInWords(e, true).toLocal8Bit() + '\n';
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    const QString torn = read.TornText(q.path);
    if (!torn.isEmpty()) std::fprintf(stderr, "vendractl: %s\n", qPrintable(torn));
    return 0;
}

}  // namespace vendra
