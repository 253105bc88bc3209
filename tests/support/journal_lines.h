#pragma once
// Journal files as the journal tests read and write them.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "changes/journal.h"

namespace vendra {

// Every line of the file ends in a line end and parses as an entry; `lines` gets their count.
bool AllWhole(const QByteArray& bytes, int* lines = nullptr);
// A raw command "sent" by op@desk with the console at `time`, answered.
JournalEntry SentAt(const QDateTime& time, const QString& command);

}  // namespace vendra
