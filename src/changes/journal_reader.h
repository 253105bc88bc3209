#pragma once
// The change journal and the files it rotated into, read as one history from either end, a
// block at a time: memory holds a block and the entries asked for, never the file. A year of
// journal shows its newest page as fast as a day of it.
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "changes/journal.h"

namespace vendra {

// How much older an entry may be than one written before it: the entries of a change that is
// verified after it is made are written once asked back, and programs write side by side.
// Reading back from the end for entries since a time goes this far past it.
constexpr int kJournalLagSeconds = 3600;

// "line 12 of PATH is not a whole entry (a write cut short); skipped", or empty.
QString TornText(const QList<TornLine>& torn);

// The files of one journal that exist, oldest first: PATH.N .. PATH.1, then PATH.
QStringList JournalFiles(const QString& path);

class JournalReader {
public:
    enum class Order { OldestFirst, NewestFirst };

    // Opens every file of the journal as it is now; what is written later is not read, unless
    // the reader follows (Follower()).
    JournalReader(const QString& path, Order order);
    ~JournalReader();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    // No file of the journal exists (yet).
    bool Missing() const { return missing_; }
    // A file exists but cannot be read; nothing is read then.
    const QString& Error() const { return error_; }

    // The next whole entry in the reader's order; none at the end. Lines that are not whole
    // entries are skipped and kept in Torn().
    std::optional<JournalEntry> Next();
    const QList<TornLine>& Torn() const { return torn_; }
    // Whether the last line read was not a whole entry.
    bool LastLineTorn() const { return lastTorn_; }
    // Bytes read from the files so far.
    qint64 BytesRead() const { return bytesRead_; }

    // A reader of what is written after this reader's view of the journal, oldest first: the
    // newest file from where this view ends, then the file that takes its place when it
    // rotates. A line still being written is waited for, not taken as torn.
    std::unique_ptr<JournalReader> Follower() const;
    // Takes in what was written since (a following reader only).
    void CatchUp();

private:
    struct File;
    struct RawLine {
        QByteArray text;
        bool whole = true;
        qint64 offset = 0;
        qint64 number = 0;  // 0: not counted (reading backwards)
    };
    JournalReader(QString path);
    std::optional<RawLine> NextLine();
    std::optional<RawLine> LineForward(File& f, bool last);
    std::optional<RawLine> LineBackward(File& f);
    void Open(const QString& name);
    qint64 LineNumber(File& f, qint64 offset);
    bool Read(File& f, qint64 at, qint64 length, QByteArray& into);

    QString path_;
    Order order_ = Order::OldestFirst;
    bool follow_ = false;
    bool missing_ = false;
    QString error_;
    std::vector<std::unique_ptr<File>> files_;  // in the order read
    size_t current_ = 0;                        // the file being read
    QList<TornLine> torn_;
    bool lastTorn_ = false;
    qint64 bytesRead_ = 0;
};

}  // namespace vendra
