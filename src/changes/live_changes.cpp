#include "changes/live_changes.h"

#include <map>
#include <optional>

#include "changes/journal.h"
#include "config/enabled_units.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_commands.h"
#include "mapping/mapping_tables.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

using Address = std::pair<int, int>;

Address AddressOf(const QString& mapping) {
    const MappingRecord m = ParseGetMap(mapping);
    return {m.OutUnit, m.OutChannel};
}

Mismatch MismatchAt(int unit, int channel, int output, const QString& name, const QString& wanted,
                    const QString& held) {
    Mismatch m;
    m.Unit = unit;
    m.Channel = channel;
    m.Output = output;
    m.Name = name;
    m.Wanted = wanted;
    m.Held = held;
    return m;
}

QString Mapped(const QString& mapping) {
    return mapping.isEmpty() ? QStringLiteral("no mapping") : mapping;
}

constexpr int kNamedMismatches = 20;

}  // namespace

QString PlanBreakdown(const QList<PlannedChange>& plan) {
    int kinds[5] = {};
    for (const PlannedChange& c : plan)
        ++kinds[static_cast<int>(c.Row.Kind)];
    QString text =
        QStringLiteral("%1 added, %2 removed, %3 changed")
            .arg(Plain(kinds[int(Difference::Added)]), Plain(kinds[int(Difference::Removed)]),
                 Plain(kinds[int(Difference::Changed)]));
    if (const int repeated = kinds[int(Difference::Repeated)])
        text += QStringLiteral(", %1 held twice").arg(Plain(repeated));
    return text;
}

QString PlanSummary(const QString& name, const QList<PlannedChange>& plan) {
    return QStringLiteral("%1 from %2 (%3, %4)")
        .arg(Counted(plan.size(), "change", "changes"), name, PlanBreakdown(plan),
             Counted(PlanCommands(plan).size(), "command", "commands"));
}

QString VerifyText(const VerifyResult& v, const QString& what) {
    if (v.Ok())
        return QStringLiteral("%1 asked back: each holds what it should.")
            .arg(Counted(v.Checked, "output", "outputs"));
    QStringList lines;
    for (const Mismatch& m : v.Mismatches.mid(0, kNamedMismatches))
        lines << LiveChanges::MismatchText(m);
    if (v.Mismatches.size() > kNamedMismatches)
        lines
            << QStringLiteral("... and %1 more").arg(Plain(v.Mismatches.size() - kNamedMismatches));
    QString text;
    if (!v.ReadBack.Complete())
        text = QStringLiteral("The read-back to verify %1 ended early after %2: nothing is proved.")
                   .arg(what, MappingCount(v.ReadBack.count));
    else if (v.Interrupted)
        text = QStringLiteral("Stopped while verifying: %1 asked back, the rest not.")
                   .arg(Counted(v.Checked, "output", "outputs"));
    if (!v.Mismatches.isEmpty())
        text += QStringLiteral(
                    " %1 of %2 asked back %3 not hold what %4 sent:\r\n%5\r\nThe lists "
                    "show what the tally system holds.")
                    .arg(Plain(v.Mismatches.size()), Counted(v.Checked, "output", "outputs"),
                         v.Mismatches.size() == 1 ? QStringLiteral("does") : QStringLiteral("do"),
                         v.Mismatches.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"),
                         lines.join(QStringLiteral("\r\n")));
    return text.trimmed();
}

bool ChangeReport::Holds() const {
    if (!Online) return false;
    if (Outcome == FlowOutcome::NothingToChange) return Compared.Fresh();
    return Outcome == FlowOutcome::Applied && Applied.Refused.isEmpty() && Verified &&
           Verified->Ok() && !ComparedWithStaleCopy;
}

QString ChangeReport::Text() const {
    switch (Outcome) {
        case FlowOutcome::FileRefused:
            return Error;
        case FlowOutcome::Declined:
            return {};
        case FlowOutcome::Incomplete:
            return QStringLiteral("The read-back ended early after %1: nothing was sent.")
                .arg(MappingCount(Compared.ReadBackEnd.count));
        case FlowOutcome::NothingToChange:
            return QStringLiteral("Nothing to change: every output already holds the mapping.");
        default:
            break;
    }
    // A refused change was answered, but not made.
    QString text =
        QStringLiteral("%1 of %2 applied%3.")
            .arg(Plain(Applied.Applied - int(Applied.Refused.size())),
                 Counted(Plan.size(), "change", "changes"),
                 Online ? QString() : QStringLiteral(" to the console's copy (offline)"));
    if (Applied.Interrupted)
        text += QStringLiteral(" Stopped: the %1 after them were not sent.")
                    .arg(Plain(Plan.size() - Applied.Applied));
    else if (Applied.Stopped)
        text += QStringLiteral(
                    " The change of unit %1 channel %2 got %3; the %4 after it were not "
                    "sent.")
                    .arg(Plain(Applied.StoppedAt.Row.Unit), Plain(Applied.StoppedAt.Row.Channel),
                         Applied.StoppedReply.KindText(), Plain(Plan.size() - Applied.Applied - 1));
    for (const auto& [change, line] : Applied.Refused)
        text += QStringLiteral(" The tally system answered %1 to the change of unit %2 channel %3.")
                    .arg(Quoted(line), Plain(change.Row.Unit), Plain(change.Row.Channel));
    if (Verified && Holds())
        text += QStringLiteral(" %1 asked back: the tally system holds every mapping.")
                    .arg(Counted(Verified->Checked, "output", "outputs"));
    else if (Verified)
        text += QLatin1Char(' ') + VerifyText(*Verified, QStringLiteral("the changes"));
    if (Verified && ComparedWithStaleCopy)
        text += QStringLiteral(
            " The other outputs were compared with the console's copy, which may differ from "
            "the tally system's: read the table back to check them.");
    else if (!Verified && Online && !Applied.Stopped && !Applied.Interrupted)
        text += QStringLiteral(
            " Not asked back: every command was answered, nothing more is "
            "proved.");
    return text.trimmed();
}

LiveChanges::LiveChanges(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
                         CommandExchange& exchange, const EnabledUnits& units,
                         std::function<bool()> online, QObject* parent)
    : QObject(parent),
      tables_(tables),
      commands_(commands),
      reader_(reader),
      exchange_(exchange),
      units_(units),
      online_(std::move(online)) {
    connect(&reader_, &ReadBack::ListRead, this, [this] { TakeReadBack(); });
}

FileCheck LiveChanges::CheckFile(const QString& path) {
    return CheckTallyFile(path, tables_, units_);
}

void LiveChanges::TakeReadBack() {
    held_.clear();
    for (int i = 1; i <= tables_.MapStringCount && tables_.RawMapList.Valid(i); ++i)
        held_ << tables_.RawMapList[i];
}

void LiveChanges::TakeTable(const QStringList& entries) {
    held_ = entries;
}

QStringList LiveChanges::ConsoleCopy() const {
    // The configured outputs' rows say what the console has done to them since (the editor
    // maps by hand); every other entry is as the controller listed it.
    std::map<Address, QStringList> rows;
    for (int o = 1; o <= tables_.NumOutputs; ++o)
        rows[{tables_.OutUnit[o], tables_.OutChannel[o]}] << tables_.OutMapString[o];
    QStringList copy;
    std::map<Address, bool> taken;
    for (const QString& entry : held_) {
        const Address a = AddressOf(entry);
        const auto row = rows.find(a);
        if (row == rows.end()) {
            copy << entry;
        } else if (!taken[a]) {
            taken[a] = true;
            // Held twice and untouched since: both entries stay, so the repeat is seen.
            const int times = static_cast<int>(held_.count(entry));
            for (const QString& s : row->second)
                if (!s.isEmpty()) copy << QStringList(s == entry ? times : 1, s);
        }
    }
    for (const auto& [a, strings] : rows)
        if (!taken[a])
            for (const QString& s : strings)
                if (!s.isEmpty()) copy << s;
    return copy;
}

QList<TallyItem> LiveChanges::ConsoleCopyItems() const {
    QList<TallyItem> items;
    for (const QString& s : ConsoleCopy())
        items.append({0, s});
    return items;
}

bool LiveChanges::CopyMayBeStale() const {
    return online_() && reader_.CopyMayBeStale();
}

ReadBackResult LiveChanges::ReadController(QStringList& entries) {
    const ReadBackResult result = reader_.CompactAndReadAll();
    Q_EMIT ListRebuild();
    entries = held_;
    return result;
}

Comparison LiveChanges::Compare(const QList<TallyItem>& mappings) {
    if (!online_()) return CompareWithCopy(mappings);
    Comparison c;
    c.FromController = true;
    QStringList controller;
    c.ReadBackEnd = ReadController(controller);
    c.Rows = CompareMappings(mappings, controller, tables_);
    return c;
}

Comparison LiveChanges::CompareWithCopy(const QList<TallyItem>& mappings) {
    Comparison c;
    c.Rows = CompareMappings(mappings, ConsoleCopy(), tables_);
    return c;
}

bool LiveChanges::StopAsked() const {
    return exchange_.Busy().StopRequested();
}

ChangeReport LiveChanges::ApplyChanges(const ChangeSource& source, const ChangeOptions& options,
                                       ChangeQuestions& questions) {
    ChangeReport r;
    r.Online = online_();
    QList<TallyItem> mappings = source.mappings;
    if (!source.path.isEmpty()) {
        r.Check = CheckFile(source.path);
        if (!r.Check.Readable || !r.Check.Damage.isEmpty()) {
            r.Outcome = FlowOutcome::FileRefused;
            r.Error = r.Check.Readable ? r.Check.Damage : r.Check.Error;
            return r;
        }
        if (!r.Check.Findings.isEmpty() && !questions.GoOnWithFindings(source.name, r.Check))
            return r;
        mappings = r.Check.Mappings;
    }

    if (source.shown && source.shown->Fresh() && !options.freshReadBack)
        r.Compared = *source.shown;
    else if (r.Online && (options.freshReadBack || (CopyMayBeStale() && questions.ReadBackFirst())))
        r.Compared = Compare(mappings);
    else
        r.Compared = CompareWithCopy(mappings);
    r.ComparedWithStaleCopy = !r.Compared.FromController && CopyMayBeStale();
    if (r.Compared.FromController && !r.Compared.ReadBackEnd.Complete()) {
        r.Outcome = StopAsked() ? FlowOutcome::Interrupted : FlowOutcome::Incomplete;
        return r;
    }

    r.Plan = PlanChanges(r.Compared.Rows);
    if (r.Plan.isEmpty()) {
        r.Outcome = FlowOutcome::NothingToChange;
        return r;
    }
    if (!questions.Confirm(source.name, r.Plan)) return r;

    // Verified or not, each output's journal entry is written once its outcome is known.
    std::optional<Journal::Hold> held;
    if (journal_ && r.Online && options.verify) held.emplace(journal_);
    r.Applied = Apply(r.Plan);
    r.Outcome = r.Applied.Interrupted ? FlowOutcome::Interrupted
                : r.Applied.Stopped   ? FlowOutcome::Stopped
                                      : FlowOutcome::Applied;
    // Offline nothing was sent, so there is nothing to ask back. The change the controller did
    // not answer may have been taken all the same: it is asked back too.
    if (r.Online && options.verify && !r.Applied.Interrupted) {
        const qsizetype sent = r.Applied.Applied + (r.Applied.Stopped ? 1 : 0);
        r.Verified = Verify(ExpectationsOf(r.Plan.mid(0, sent)));
        if (r.Verified->Interrupted) r.Outcome = FlowOutcome::Interrupted;
    }
    return r;
}

void LiveChanges::Keep(int unit, int channel, const QString& mapping) {
    const bool mapped = DriveOf(mapping).Mapped;
    // The controller holds exactly this now: one entry, or none.
    QStringList held;
    for (const QString& entry : held_)
        if (AddressOf(entry) != Address{unit, channel}) held << entry;
    if (mapped) held << mapping;
    held_ = held;

    tables_.Current = ParseGetMap(mapping);
    tables_.Current.OutUnit = unit;
    tables_.Current.OutChannel = channel;
    const int o = tables_.FindOutputMapping();
    if (!tables_.IsConfiguredOutput(o)) return;
    // As a read-back keeps it: the test's "mapdisab" is not the mapping's.
    tables_.OutMapString[o] = !mapped                    ? QString()
                              : tables_.OutTest[o] == -1 ? EnabledMapString(mapping)
                                                         : mapping;
    tables_.OutMapInput[o] = mapped ? Plain(tables_.FindInputSourceMapping()) : QString();
}

ApplyResult LiveChanges::Apply(const QList<PlannedChange>& plan) {
    ApplyResult result;
    const bool online = online_();
    Q_EMIT Progressed({});
    Q_EMIT ControlsEnabled(false);
    for (const PlannedChange& p : plan) {
        if (StopAsked()) {
            result.Stopped = result.Interrupted = true;
            break;
        }
        Reply reply;
        int made = 0;  // commands of this change the controller made
        if (online) {
            Q_EMIT commands_.MapFlash();
            // Each command builds on the one before: the rest of the change waits for it.
            const LinesSent sent = SendLines(exchange_, p.Commands());
            reply = sent.reply;
            made = sent.made;
        }
        const ChangeOutcome outcome = OutcomeOf(online, reply);
        if (journal_)
            journal_->Record(journal_->CurrentOperation(QStringLiteral("Apply changes only")),
                             p.Row.Unit, p.Row.Channel, p.Row.ControllerMap, p.Row.FileMap,
                             outcome::Word(outcome));
        // Part of a change made: what the output holds now is not known without asking.
        if (outcome == ChangeOutcome::Failed || (outcome == ChangeOutcome::Refused && made > 0))
            reader_.MarkCopyStale();
        if (outcome == ChangeOutcome::Failed) {
            result.Stopped = true;
            result.Interrupted = reply.Kind == ReplyKind::Refused && StopAsked();
            result.StoppedAt = p;
            result.StoppedReply = reply;
            break;
        }
        ++result.Applied;
        Q_EMIT Progressed(
            {ProgressReport::Phase::Changing, result.Applied, static_cast<int>(plan.size())});
        // A refused change leaves the output as the controller holds it.
        if (outcome == ChangeOutcome::Refused) {
            result.Refused.append({p, reply.Line});
            continue;
        }
        const MappingRecord& m = p.Target;
        Keep(m.OutUnit, m.OutChannel, DriveOf(m).Mapped ? p.Row.FileMap.trimmed() : QString());
    }
    Q_EMIT ListRebuild();
    Q_EMIT ControlsEnabled(true);
    return result;
}

VerifyResult LiveChanges::Verify(const QList<Expectation>& expected) {
    VerifyResult result;
    Q_EMIT Progressed({});
    Q_EMIT ControlsEnabled(false);
    for (const Expectation& e : expected) {
        if (StopAsked()) {
            result.Interrupted = true;
            break;
        }
        const Reply reply =
            exchange_.Exchange(OutputLine(QStringLiteral("GetMap"), e.Unit, e.Channel));
        if (reply.Kind == ReplyKind::Refused && StopAsked()) {
            result.Interrupted = true;
            break;
        }
        ++result.Checked;
        Q_EMIT Progressed(
            {ProgressReport::Phase::Verifying, result.Checked, static_cast<int>(expected.size())});
        // Only a whole reply that is a mapping string says what the controller holds.
        const bool answered = reply.Answered() && CountFields(reply.Line) > 0;
        const QString held =
            answered && DriveOf(reply.Line).Mapped ? reply.Line.trimmed() : QString();
        if (answered) Keep(e.Unit, e.Channel, held);
        const bool holds = answered && DriveOf(held) == DriveOf(e.Wanted);
        if (journal_)
            journal_->Settle(e.Unit, e.Channel,
                             holds      ? Journal::Check::Holds
                             : answered ? Journal::Check::NotHeld
                                        : Journal::Check::NoAnswer);
        if (holds) continue;
        tables_.Current = {e.Unit, e.Channel, 0, 0, 0, 0, 0, 0};
        const int o = tables_.FindOutputMapping();
        const bool configured = tables_.IsConfiguredOutput(o);
        Mismatch m = MismatchAt(e.Unit, e.Channel, configured ? o : 0,
                                configured ? tables_.OutName[o] : QString(), e.Wanted, held);
        m.NoAnswer = !answered;
        if (!answered) m.Reply = reply.Answered() ? Quoted(reply.Line) : reply.KindText();
        result.Mismatches.append(m);
    }
    Q_EMIT ListRebuild();
    Q_EMIT ControlsEnabled(true);
    return result;
}

VerifyResult LiveChanges::VerifyTable(const QList<TallyItem>& mappings) {
    VerifyResult result;
    QStringList controller;
    result.ReadBack = ReadController(controller);
    result.Interrupted = StopAsked();
    if (!result.ReadBack.Complete()) return result;
    for (const OutputComparison& row : CompareMappings(mappings, controller, tables_)) {
        ++result.Checked;
        if (row.Kind == Difference::Same) continue;
        Mismatch m =
            MismatchAt(row.Unit, row.Channel, row.Output, row.Name, row.FileMap, row.ControllerMap);
        m.Entries = row.ControllerEntries;
        result.Mismatches.append(m);
    }
    return result;
}

QList<Expectation> LiveChanges::ExpectationsOf(const QList<PlannedChange>& plan) {
    QList<Expectation> expected;
    for (const PlannedChange& p : plan)
        expected.append({p.Row.Unit, p.Row.Channel, p.Row.FileMap});
    return expected;
}

QList<Expectation> LiveChanges::ExpectationsOfCopy() const {
    QList<Expectation> expected;
    for (const QString& s : ConsoleCopy()) {
        const MappingRecord m = ParseGetMap(s);
        expected.append({m.OutUnit, m.OutChannel, s});
    }
    return expected;
}

QString LiveChanges::MismatchText(const Mismatch& m) {
    const QString who =
        m.Output ? QStringLiteral("output %1 (%2)").arg(Plain(m.Output), m.Name)
                 : QStringLiteral("unit %1 channel %2").arg(Plain(m.Unit), Plain(m.Channel));
    if (m.NoAnswer)
        return who + QStringLiteral(": %1 (should hold %2)")
                         .arg(m.Reply.isEmpty() ? QStringLiteral("no answer") : m.Reply,
                              Mapped(m.Wanted));
    if (m.Entries > 1)
        return who + QStringLiteral(": the tally system holds %1 entries for this output")
                         .arg(Plain(m.Entries));
    return who + QStringLiteral(": holds %1, should hold %2").arg(Mapped(m.Held), Mapped(m.Wanted));
}

}  // namespace vendra
