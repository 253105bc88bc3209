#pragma once
// The change journal: one JSON line per output changed in the controller's table (or in the
// console's copy while offline), appended by every program that changes it. Append-only: each
// entry is one write of one whole line to a file opened for appending, so two programs writing
// at once never mix their lines; a line that a crash cut short is skipped by the reader, which
// says so. A journal that cannot be written never holds up a change: it says so once.
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>
#include <utility>

#include "link/command_exchange.h"

namespace vendra {

struct MappingTables;

// How a change ended, as the journal writes it.
namespace outcome {
inline const QString kAnswered = QStringLiteral("answered");  // made: answered, not an error
inline const QString kVerified = QStringLiteral("verified");  // and holds it, asked back
inline const QString kRefused = QStringLiteral("refused");    // answered with an error line
inline const QString kFailed = QStringLiteral("failed");      // no answer, or not held
inline const QString kOffline = QStringLiteral("offline");    // the console's copy only
// Answered, but the question that would prove it held went unanswered.
inline const QString kUnverified = QStringLiteral("answered, not verified");
// The word for what OutcomeOf decided.
QString Word(ChangeOutcome o);
}  // namespace outcome

struct JournalEntry {
    QDateTime Time;     // local time with its offset from UTC
    QString Who;        // user@host
    QString Program;    // "vendra", "vendractl"
    QString Operation;  // "mapping", "AND/OR", "clear", "Clear All", "Load", "send", ...
    int Unit = 0;       // the output's address; 0 and 0 for a raw command
    int Channel = 0;
    int Output = 0;  // the row in Kavro.ini; 0 when it does not configure the output
    QString Name;
    QString Before;  // mapping strings; empty: unmapped
    QString After;
    bool BeforeKnown = true;  // false: the table was not read before the change
    bool AfterKnown = true;   // false: the controller's answer does not tell
    QString BeforeInputs;     // the inputs by name, "A", "A & B", "A || B"
    QString AfterInputs;
    QString Outcome;
    QString Command;  // a raw command as it went, or what a test latch did

    QByteArray ToLine() const;  // one JSON object and "\n"
    // Empty Operation when the line is not a whole entry.
    static JournalEntry FromLine(const QByteArray& line);
    bool HasOutput() const { return Unit != 0 || Channel != 0 || Output != 0; }
    // "unit 3 channel 9" or the configured name.
    QString OutputText() const;
};

// "2026-12-09T19:58:03+01:00" (UTC too carries its "+00:00"), with ".123" when asked.
QString IsoWithOffset(const QDateTime& t, bool milliseconds = false);

// "19:58:03 user@host: Studio On Air: Studio Live Key -> Studio Live Key || Rehearse Key,
// verified (mapping, vendra)", with the date in front when asked.
QString EntryInWords(const JournalEntry& e, bool withDate = false);

// Whether an entry is about the output a filter names: its number in Kavro.ini ("12"), its
// address ("3/9", "3.9" or "3:9") or a part of its name, without regard to case. An empty
// filter takes every entry.
bool EntryMatches(const JournalEntry& e, const QString& filter);
// The same for one output: its row in Kavro.ini (0: none), name and address.
bool OutputMatches(int output, const QString& name, int unit, int channel, const QString& filter);

// A line that is not a whole entry: its file and its number there (from 1).
struct TornLine {
    QString File;
    qint64 Line = 0;
    bool operator==(const TornLine&) const = default;
};

// The whole journal in memory, its rotated files included: for small journals and tests. The
// windows and the tool read page by page (JournalReader).
struct JournalRead {
    QList<JournalEntry> Entries;  // in the order written, oldest first
    QList<TornLine> Torn;         // lines skipped as not whole
    bool Missing = false;         // no journal written yet
    QString Error;                // the file exists but cannot be read
    bool TornLast = false;        // the newest line is not whole
    // "line 12 of PATH is not a whole entry (a write cut short); skipped", or empty.
    QString TornText() const;
};
JournalRead ReadJournal(const QString& path);

// The journal of an installation: the `Journal` key of Kavro.ini (relative to the file's folder)
// or, without it, one file per installation in the user's state folder:
// $XDG_STATE_HOME/vendra (default ~/.local/state/vendra), named after the System and the
// installation file's path.
QString JournalPath(const QString& iniPath, const QString& systemName, const QString& key);

// The output whose mapping a raw command changes ("Map", "AND", "OR", "ClrMap", "MapDisab",
// "MapEnab" and its unit and channel), or none.
std::optional<std::pair<int, int>> RawMappingTarget(const QString& command);
// What a "GetMap" reply says the output holds: its mapping string, empty when unmapped; none
// when the reply does not say (no answer, an error line).
std::optional<QString> HeldMapping(const Reply& reply);

// "user@host" of this process.
QString WhoAmI();

class Journal : public QObject {
    Q_OBJECT
public:
    Journal(MappingTables& tables, QString program, QObject* parent = nullptr);
    ~Journal() override;

    // An empty path (JournalPath found no place) journals nothing; the first change says so
    // once, with the reason.
    void SetPath(const QString& path);
    QString Path() const { return path_; }

    // The operation the mapping commands below belong to, while a scope lives.
    class Operation {
    public:
        Operation(Journal* j, const QString& name);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        Journal* j_;
        QString previous_;
    };
    QString CurrentOperation(const QString& fallback) const;

    // While a hold lives, entries wait in memory for the verification that follows the change
    // (Settle); they are written when the last hold ends.
    class Hold {
    public:
        explicit Hold(Journal* j);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        Journal* j_;
    };
    // What asking an output back showed.
    enum class Check { Holds, NotHeld, NoAnswer };
    // The held entry of that output gets the outcome of its verification.
    void Settle(int unit, int channel, Check check);

    // One output changed from `before` to `after` (mapping strings, empty: unmapped).
    void Record(const QString& operation, int unit, int channel, const QString& before,
                const QString& after, const QString& result, const QString& command = {},
                bool beforeKnown = true, bool afterKnown = true);
    // A raw command, with no output to name.
    void RecordCommand(const QString& operation, const QString& command, const QString& result);
    // A whole entry; time, who and program are filled in when empty.
    void Write(JournalEntry e);

    // When the journal has reached `bytes`, it is renamed PATH.1 (PATH.1 to PATH.2, and so on)
    // and a new one begins; `keepFiles` rotated files are kept, older ones removed.
    static constexpr qint64 kRotateBytes = 16 * 1024 * 1024;
    static constexpr int kKeepFiles = 20;
    void SetRotation(qint64 bytes, int keepFiles);

    const QString& Program() const { return program_; }
    // Whether a write has failed since the path was set.
    bool Failed() const { return failed_; }

Q_SIGNALS:
    // Once per path: the journal could not be written (the change went on all the same).
    void ErrorLine(const QString& text);

private:
    bool Append(const QByteArray& line);
    bool Open();
    bool Reopen();
    bool Moved() const;
    qint64 Size() const;
    void Rotate();
    void ShareWithGroup();
    QDateTime Now();
    void Fail(const QString& reason);

    MappingTables& tables_;
    QString program_;
    QString who_;
    QString path_;
    QString noPathReason_;
    qint64 rotateBytes_ = kRotateBytes;
    int keepFiles_ = kKeepFiles;
    int fd_ = -1;
    bool failed_ = false;
    QString operation_;
    int holds_ = 0;
    QList<JournalEntry> held_;
    int utcOffset_ = 0;
    QElapsedTimer offsetAge_;
};

}  // namespace vendra
