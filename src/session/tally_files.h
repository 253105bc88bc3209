#pragma once
// "Save" and "Load" of tally matrix files: the table written to a file, and a file's mappings
// put into the program's table and, online, into the controller's.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "link/command_exchange.h"
#include "mapping/progress.h"

namespace vendra {

class Dialogs;
class Journal;
class MappingCommands;
class ReadBack;
struct EnabledUnits;
struct MappingRecord;
struct MappingTables;

class TallyFiles : public QObject {
    Q_OBJECT
public:
    // How a load ended.
    enum class LoadOutcome {
        Refused,   // the file could not be read or is no tally file: nothing was changed
        Complete,  // every line was applied
        Stopped,   // a mapping failed: the lines before it were applied, the rest not
        Partial,   // every line was sent, but the controller did not take some (NotTaken)
    };

    TallyFiles(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
               CommandExchange& exchange, const EnabledUnits& units, Dialogs& dialogs,
               std::function<bool()> online, QObject* parent = nullptr);

    // The chosen path, or empty when the operator cancels.
    QString SaveTallyDialog();
    QString OpenTallyDialog();

    // Writes the table to the file: online the controller's list as read back, in the
    // controller's order; offline the program's own mappings in output order. False when
    // nothing was written (the operator declined an incomplete table, or the file could not
    // be written; he has been told why).
    // `compacted` false: the controller did not compact its table before the read-back, which
    // may then have ended at a hole.
    bool SaveAllMappings(const QString& TallyFile, bool compacted = true);
    // Reads and checks the whole file, then replaces the table with its mappings. Online, a
    // file that holds no mappings would clear the controller: the operator is asked first,
    // unless `askBeforeWipe` is false (the caller has asked already).
    LoadOutcome LoadMatrixMappings(const QString& TallyFile, bool askBeforeWipe = true);

    // Mapping strings of the last load for outputs that Kavro.ini does not configure: no row
    // shows them, and the program's own table does not keep them.
    const QStringList& LeftOut() const { return leftOut_; }

    // How far the last load got: the lines applied, the file line of the last one, and the
    // line it stopped at (0 when it did not stop).
    // A line the controller does not hold after the load: it refused it (its own words), or
    // the line was not sent (an output without an address).
    struct NotTaken {
        int line = 0;
        QString text;
        QString why;
    };
    struct LoadProgress {
        int applied = 0;
        int lastAppliedLine = 0;
        int stoppedLine = 0;       // 0 with a stop: "Init" was refused, no line was sent
        bool interrupted = false;  // stopped because the program is ending, not by the controller
        Reply stoppedReply;        // what became of the command the load stopped at
        QList<NotTaken> notTaken;
    };
    const LoadProgress& LastLoad() const { return lastLoad_; }

    // Where a load writes what it changed; none unless set.
    void SetJournal(Journal* journal) { journal_ = journal; }

public Q_SLOTS:
    // The "Save" button; false when the click came while the console was busy (a save, a load
    // or a read-back ran), and was left alone. Holds the console busy until it is done.
    bool SaveMatrixClick();
    // The "Load" button; false as for "Save".
    bool LoadMatrixClick();

Q_SIGNALS:
    // Every output row must be rebuilt from the tables.
    void ListRebuild();
    // False while a load runs: the mapping controls are disabled and the progress label shown.
    void ControlsEnabled(bool enabled);
    // Starting, then Loading with the lines sent so far out of the file's.
    void Progressed(const ProgressReport& progress);
    // The name of the file last saved or loaded.
    void FileNameShown(const QString& name);
    // A load replaced the controller's (offline: the console's) table with these lines.
    void TableLoaded(const QStringList& lines);
    // The controller took the load's "Init": it ended every output's test too.
    void ControllerCleared();

private:
    void Tell(const QString& text, const QString& title);
    bool WriteLines(const QString& TallyFile, const QStringList& lines);
    // The output row for the current record's output: the first row of that address that this
    // load has not filled yet, else the first of them; NumOutputs + 1 when none has it.
    int OutputRow(const std::vector<bool>& filled);
    // One line of a load sent: the outcome and the reply that decided it; for an AND or OR
    // line whose second input was refused, the single mapping the "Map" before it made.
    struct LineSent {
        ChangeOutcome outcome = ChangeOutcome::Made;
        Reply reply;
        QString single;
    };
    LineSent SendLine(const MappingRecord& m);
    // The boxes that end a load: lines for outputs Kavro.ini lacks, lines not taken, a stop.
    void TellLeftOut(const QString& TallyFile, bool online, const QStringList& named);
    void TellNotTaken(const QString& TallyFile);
    void TellStopped(const QString& TallyFile, const QString& text);

    MappingTables& tables_;
    MappingCommands& commands_;
    ReadBack& reader_;
    CommandExchange& exchange_;
    const EnabledUnits& units_;
    Dialogs& dialogs_;
    std::function<bool()> online_;
    QStringList leftOut_;
    LoadProgress lastLoad_;
    Journal* journal_ = nullptr;
};

}  // namespace vendra
