#pragma once
// Changing a live system safely: a tally file checked, compared with the controller's table,
// only its differences sent, and the changed outputs asked back from the controller. No window
// and no question of its own: the caller asks the operator (a window, a command-line tool).
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "changes/file_check.h"
#include "changes/mapping_diff.h"
#include "mapping/read_back.h"

namespace vendra {

class CommandExchange;
class Journal;
class MappingCommands;
struct EnabledUnits;
struct MappingTables;

struct Comparison {
    QList<OutputComparison> Rows;
    bool FromController = false;  // a fresh read-back; otherwise the console's copy
    ReadBackResult ReadBackEnd;   // how that read-back ended
    int Differences() const { return CountDifferences(Rows); }
};

struct ApplyResult {
    int Applied = 0;          // changes sent (offline: made in the console's copy)
    bool Stopped = false;     // the controller did not answer a change; the rest were not sent
    PlannedChange StoppedAt;  // the change it did not answer
};

// An output whose mapping in the controller is not what it should be.
struct Mismatch {
    int Unit = 0;
    int Channel = 0;
    int Output = 0;  // 0 when Kavro.ini does not configure it
    QString Name;
    QString Wanted;  // the mapping string it should hold (empty: unmapped)
    QString Held;    // what the controller answered (empty: unmapped)
    bool NoAnswer = false;
};

struct VerifyResult {
    int Checked = 0;
    QList<Mismatch> Mismatches;
    bool Ok() const { return Mismatches.isEmpty(); }
};

// What one output should hold: its address and mapping string (empty: unmapped).
struct Expectation {
    int Unit = 0;
    int Channel = 0;
    QString Wanted;
};

class LiveChanges : public QObject {
    Q_OBJECT
public:
    LiveChanges(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
                CommandExchange& exchange, std::function<bool()> online, QObject* parent = nullptr);

    FileCheck CheckFile(const QString& path);
    FileCheck CheckFile(const QString& path, const EnabledUnits& units);

    // The console's copy of the controller's table: every configured output's mapping, and
    // the one slot past them that keeps a mapping for an output Kavro.ini lacks.
    QStringList ConsoleCopy() const;
    // The copy as tally items (line 0), to compare or apply it like a file.
    QList<TallyItem> ConsoleCopyItems() const;
    // Online, the copy may differ from the controller: no whole read-back since start-up, or
    // the last one ended short.
    bool CopyMayBeStale() const;

    // Online: reads the whole table back (with its progress and "Cancel") and compares the
    // mappings with it. Offline: compares them with the console's copy.
    Comparison Compare(const QList<TallyItem>& mappings);
    // Compares with the console's copy, without asking the controller.
    Comparison CompareWithCopy(const QList<TallyItem>& mappings);

    // Sends each change with the mapping commands (offline: changes the copy only), stopping at
    // the first the controller does not answer, and keeps the new mappings in the copy.
    ApplyResult Apply(const QList<PlannedChange>& plan);
    // Asks the controller for each output ("GetMap"), reports every one that differs, and takes
    // the answers into the copy so that the lists show what the controller holds.
    VerifyResult Verify(const QList<Expectation>& expected);
    static QList<Expectation> ExpectationsOf(const QList<PlannedChange>& plan);
    // Every output the copy maps: what a load has just sent.
    QList<Expectation> ExpectationsOfCopy() const;

    static QString MismatchText(const Mismatch& m);

    // Every change applied is journalled there ("Apply changes only" unless the caller names
    // another operation), and a verification settles the held entries' outcome.
    void SetJournal(Journal* journal) { journal_ = journal; }

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // False while changes are sent or verified: the mapping controls are disabled.
    void ControlsEnabled(bool enabled);
    // "Changing  n" while sending, "Verifying  n" while asking back.
    void ProgressText(const QString& text);

private:
    void Keep(int unit, int channel, const QString& mapping);

    MappingTables& tables_;
    MappingCommands& commands_;
    ReadBack& reader_;
    CommandExchange& exchange_;
    std::function<bool()> online_;
    Journal* journal_ = nullptr;
};

}  // namespace vendra
