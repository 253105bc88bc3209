#include "session/undo_history.h"

#include <QSet>

#include "changes/journal.h"
#include "changes/live_changes.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

QList<TallyItem> Items(const QStringList& copy) {
    QList<TallyItem> items;
    for (const QString& s : copy)
        items.append({0, s});
    return items;
}

QString Outputs(qsizetype n) {
    return n == 1 ? QStringLiteral("1 output") : Plain(int(n)) + QStringLiteral(" outputs");
}

}  // namespace

UndoHistory::UndoHistory(MappingTables& tables, LiveChanges& changes, Journal& journal,
                         Dialogs& dialogs, std::function<bool()> online, QObject* parent)
    : QObject(parent),
      tables_(tables),
      changes_(changes),
      journal_(journal),
      dialogs_(dialogs),
      online_(std::move(online)) {}

UndoHistory::Step::Step(UndoHistory* history, const QString& name, bool bulk)
    // A step inside another (a mapping inside a load) is part of the outer one.
    : h_(history && !history->restoring_ && !history->open_ ? history : nullptr),
      name_(name),
      bulk_(bulk) {
    if (!h_) return;
    h_->open_ = true;
    before_ = h_->changes_.ConsoleCopy();
    beforeMayBeStale_ = h_->changes_.CopyMayBeStale();
}

UndoHistory::Step::~Step() {
    if (!h_) return;
    h_->open_ = false;
    QStringList after = h_->changes_.ConsoleCopy();
    if (after == before_) return;
    h_->Push({name_, bulk_, std::move(before_), std::move(after), beforeMayBeStale_});
}

void UndoHistory::Push(Entry step) {
    // What the step changed, address by address; a step that changed nothing is no step.
    if (CountDifferences(CompareMappings(Items(step.after), step.before, tables_)) == 0) return;
    undo_.append(std::move(step));
    if (undo_.size() > kMaxSteps) undo_.removeFirst();
    redo_.clear();
}

void UndoHistory::Undo() {
    if (undo_.isEmpty()) {
        Q_EMIT ErrorLine(QStringLiteral("Nothing to undo"));
        return;
    }
    const Entry step = undo_.last();
    if (!Restore(step, step.after, step.before, QStringLiteral("Undo"))) return;
    undo_.removeLast();
    redo_.append(step);
}

void UndoHistory::Redo() {
    if (redo_.isEmpty()) {
        Q_EMIT ErrorLine(QStringLiteral("Nothing to redo"));
        return;
    }
    const Entry step = redo_.last();
    if (!Restore(step, step.before, step.after, QStringLiteral("Redo"))) return;
    redo_.removeLast();
    undo_.append(step);
}

bool UndoHistory::Restore(const Entry& step, const QStringList& from, const QStringList& target,
                          const QString& verb) {
    const QString what = QStringLiteral("%1 \"%2\"").arg(verb, step.name);
    if (changes_.CopyMayBeStale()) {
        // Restoring from a copy that may not be the controller's could undo part of a table.
        Q_EMIT ErrorLine(what + QStringLiteral(": the console's copy may differ from the tally "
                                               "system's; read it back with \"Refresh\" first"));
        return false;
    }
    // Only the outputs this step changed; the rest of the table is not this step's business.
    QSet<QPair<int, int>> changed;
    for (const OutputComparison& r : CompareMappings(Items(step.after), step.before, tables_))
        if (r.Kind != Difference::Same) changed.insert({r.Unit, r.Channel});
    // An output that no longer holds what the step left there was changed since, by another
    // program or another console: that newer change is not this step's to take back.
    QSet<QPair<int, int>> since;
    for (const OutputComparison& r : changes_.CompareWithCopy(Items(from)).Rows)
        if (r.Kind != Difference::Same && changed.contains({r.Unit, r.Channel}))
            since.insert({r.Unit, r.Channel});
    QList<OutputComparison> rows;
    for (const OutputComparison& r : changes_.CompareWithCopy(Items(target)).Rows)
        if (changed.contains({r.Unit, r.Channel}) && !since.contains({r.Unit, r.Channel}))
            rows.append(r);
    const QList<PlannedChange> plan = PlanChanges(rows);
    const QString left = since.isEmpty()
                             ? QString()
                             : Outputs(since.size()) + QStringLiteral(" changed since, left alone");
    if (plan.isEmpty()) {
        Q_EMIT ErrorLine(what + QStringLiteral(": ") +
                         (left.isEmpty() ? QStringLiteral("the outputs already hold that") : left));
        return true;
    }
    const bool online = online_();
    if (step.bulk) {
        const bool undo = verb == QStringLiteral("Undo");
        QString text =
            QStringLiteral("%1? %2 will change %3%4.")
                .arg(what, Outputs(plan.size()),
                     undo ? QStringLiteral("back to what they held before it")
                          : QStringLiteral("again to what it made them"),
                     online ? QString() : QStringLiteral(" in the console's copy (offline)"));
        if (undo && step.beforeMayBeStale)
            text += QStringLiteral(
                "\r\nThe console's copy may not have been the whole table before it (a "
                "read-back ended short, or a change went unanswered or was sent by hand): "
                "outputs the copy lacked are not put back. A backup holds them.");
        if (dialogs_.Message(text, verb, Buttons::OkCancel, Icon::Information, Answer::Cancel) !=
            Answer::Ok)
            return false;
    }
    restoring_ = true;
    const Journal::Operation operation(&journal_, verb.toLower() + QLatin1Char(' ') + step.name);
    ApplyResult applied;
    VerifyResult verify;
    {
        // Each entry is written once its output has been asked back.
        const Journal::Hold hold(&journal_);
        applied = changes_.Apply(plan);
        const qsizetype sent = applied.Applied + (applied.Stopped ? 1 : 0);
        if (online) verify = changes_.Verify(LiveChanges::ExpectationsOf(plan.mid(0, sent)));
    }
    restoring_ = false;
    if (applied.Stopped || !verify.Ok()) {
        const qsizetype wrong =
            applied.Stopped ? plan.size() - applied.Applied : verify.Mismatches.size();
        Q_EMIT ErrorLine(QStringLiteral("%1 incomplete: %2 of %3 not as before")
                             .arg(what, Outputs(wrong), Plain(int(plan.size()))));
        return false;
    }
    QString done =
        QStringLiteral("%1: %2 %3")
            .arg(what, Outputs(plan.size()),
                 online ? QStringLiteral("verified") : QStringLiteral("changed (offline)"));
    if (!left.isEmpty()) done += QStringLiteral("; ") + left;
    if (step.bulk && verb == QStringLiteral("Undo") && step.beforeMayBeStale)
        done += QStringLiteral("; the copy may have lacked others");
    Q_EMIT ErrorLine(done);
    return true;
}

}  // namespace vendra
