#pragma once
// Changing a live system safely: a tally file checked, compared with the controller's table,
// only its differences sent, and the changed outputs asked back from the controller. The flow
// lives here once; a window and the command-line tool drive it, answer its questions and show
// what it reports. Success is reported only where the controller's answer proves it.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "changes/file_check.h"
#include "changes/mapping_diff.h"
#include "link/command_exchange.h"
#include "mapping/read_back.h"

namespace vendra {

class Journal;
class MappingCommands;
struct EnabledUnits;
struct MappingTables;

struct Comparison {
    QList<OutputComparison> Rows;
    bool FromController = false;  // a fresh read-back; otherwise the console's copy
    ReadBackResult ReadBackEnd;   // how that read-back ended
    int Differences() const { return CountDifferences(Rows); }
    bool Fresh() const { return FromController && ReadBackEnd.Complete(); }
};

struct ApplyResult {
    int Applied = 0;           // changes answered, refused ones too (offline: in the copy)
    bool Stopped = false;      // a change was not answered, or a stop was asked for
    bool Interrupted = false;  // the stop was asked for (Ctrl+C, the program ending)
    PlannedChange StoppedAt;   // the change that was not answered (not for an interruption)
    Reply StoppedReply;        // what became of its command
    // Changes the controller answered with an error line, and that line.
    QList<std::pair<PlannedChange, QString>> Refused;
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
    QString Reply;    // for NoAnswer: what became of the question ("no answer", "ERR ...")
    int Entries = 1;  // entries the controller holds for the output (a whole read-back only)
};

struct VerifyResult {
    int Checked = 0;  // outputs asked back (or compared with a whole read-back)
    QList<Mismatch> Mismatches;
    bool Interrupted = false;  // a stop was asked for: only the first Checked were asked
    ReadBackResult ReadBack;   // for a check by whole read-back: how it ended
    bool Ok() const { return Mismatches.isEmpty() && !Interrupted && ReadBack.Complete(); }
};

// What one output should hold: its address and mapping string (empty: unmapped).
struct Expectation {
    int Unit = 0;
    int Channel = 0;
    QString Wanted;
};

// What the flow asks the person who started it. The window asks with boxes; the command-line
// tool answers from its options.
class ChangeQuestions {
public:
    virtual ~ChangeQuestions() = default;
    // The file has findings (or holds no mappings at all): go on with it?
    virtual bool GoOnWithFindings(const QString& name, const FileCheck& check) = 0;
    // The console's copy may not be what the controller holds: read the table back first?
    virtual bool ReadBackFirst() = 0;
    // The changes are planned: send them?
    virtual bool Confirm(const QString& name, const QList<PlannedChange>& plan) = 0;
};

// Where the wanted mappings come from: a file (checked first), or mappings at hand together
// with the comparison the operator was shown.
struct ChangeSource {
    QString name;  // shown in questions and reports
    QString path;  // a file to read and check; empty when `mappings` are given
    QList<TallyItem> mappings;
    std::optional<Comparison> shown;
};

struct ChangeOptions {
    bool freshReadBack = false;  // online: always read the whole table back first
    bool verify = true;          // ask every changed output back
};

// How the whole live-change flow ended (each change's own outcome is a ChangeOutcome).
enum class FlowOutcome {
    FileRefused,      // unreadable or damaged: nothing sent
    Declined,         // the findings or the plan were not accepted: nothing sent
    Incomplete,       // the read-back ended short: nothing sent
    NothingToChange,  // every output already holds the file's mapping
    Applied,          // every change answered (and, when verified, held)
    Stopped,          // a change was not answered: the rest were not sent
    Interrupted,      // a stop was asked for between two exchanges
};

struct ChangeReport {
    FlowOutcome Outcome = FlowOutcome::Declined;
    QString Error;  // FileRefused: why
    FileCheck Check;
    Comparison Compared;
    QList<PlannedChange> Plan;
    ApplyResult Applied;
    std::optional<VerifyResult> Verified;
    bool Online = false;
    // Compared with a copy that may not be the controller's: the outputs the plan left out were
    // taken on trust, so asking the changed ones back proves only those.
    bool ComparedWithStaleCopy = false;
    // True only where the controller's answers prove that it holds what was wanted.
    bool Holds() const;
    // One text for a person: what was done, what was proved, what was not.
    QString Text() const;
};

// "3 added, 2 removed, 2 changed" (and the outputs held twice, where there are any).
QString PlanBreakdown(const QList<PlannedChange>& plan);
// "7 changes from show.vdk (3 added, 2 removed, 2 changed, 10 commands)"
QString PlanSummary(const QString& name, const QList<PlannedChange>& plan);
// What a verification proved, for a person; `what` names what was verified.
QString VerifyText(const VerifyResult& v, const QString& what);

class LiveChanges : public QObject {
    Q_OBJECT
public:
    LiveChanges(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
                CommandExchange& exchange, const EnabledUnits& units, std::function<bool()> online,
                QObject* parent = nullptr);

    FileCheck CheckFile(const QString& path);

    // The console's copy of the controller's table: every entry the controller holds as the
    // last read-back listed it (outputs Kavro.ini lacks included, each on its own), with what
    // the console has changed since.
    QStringList ConsoleCopy() const;
    QList<TallyItem> ConsoleCopyItems() const;
    // Online, the copy may differ from the controller: no whole read-back since start-up, or
    // the last one ended short.
    bool CopyMayBeStale() const;
    // The controller's whole table replaced (a load, "Clear All"): these entries now.
    void TakeTable(const QStringList& entries);

    // Online: compacts and reads the whole table back (with its progress and "Cancel") and
    // compares the mappings with it. Offline: compares them with the console's copy.
    Comparison Compare(const QList<TallyItem>& mappings);
    // Compares with the console's copy, without asking the controller.
    Comparison CompareWithCopy(const QList<TallyItem>& mappings);

    // The whole flow: check, compare, ask, plan, apply, verify.
    ChangeReport ApplyChanges(const ChangeSource& source, const ChangeOptions& options,
                              ChangeQuestions& questions);

    // Sends each change's commands (offline: changes the copy only), stopping at the first the
    // controller does not answer, and keeps the new mappings in the copy.
    ApplyResult Apply(const QList<PlannedChange>& plan);
    // Asks the controller for each output ("GetMap"), reports every one that differs, and takes
    // the answers into the copy so that the lists show what the controller holds.
    VerifyResult Verify(const QList<Expectation>& expected);
    // The cheapest exact check of a whole table: compacted, read back and compared with the
    // mappings, entry by entry.
    VerifyResult VerifyTable(const QList<TallyItem>& mappings);
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
    // Starting, then Changing with the changes made while sending, or Verifying with the
    // outputs asked while asking back.
    void Progressed(const ProgressReport& progress);

private:
    void TakeReadBack();
    void Keep(int unit, int channel, const QString& mapping);
    ReadBackResult ReadController(QStringList& entries);
    bool StopAsked() const;

    MappingTables& tables_;
    MappingCommands& commands_;
    ReadBack& reader_;
    CommandExchange& exchange_;
    const EnabledUnits& units_;
    std::function<bool()> online_;
    Journal* journal_ = nullptr;
    // The controller's entries as last known, in its order.
    QStringList held_;
};

}  // namespace vendra
