#include "support/journal_lines.h"

#include <QList>

namespace vendra {

bool AllWhole(const QByteArray& bytes, int* lines) {
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) return false;
    const QList<QByteArray> all = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < all.size(); ++i)
        if (JournalEntry::FromLine(all[i]).Operation.isEmpty()) return false;
    if (lines) *lines = int(all.size()) - 1;
    return true;
}

JournalEntry SentAt(const QDateTime& time, const QString& command) {
    JournalEntry e;
    e.Time = time;
    e.Who = QStringLiteral("op@desk");
    e.Program = QStringLiteral("vendra");
    e.Operation = QStringLiteral("send");
    e.Outcome = outcome::kAnswered;
    e.Command = command;
    return e;
}

}  // namespace vendra
