#include "changes/live_changes.h"

#include "changes/journal.h"
#include "config/enabled_units.h"
#include "link/command_exchange.h"
#include "mapping/mapping_commands.h"
#include "mapping/mapping_tables.h"
#include "platform/numbers.h"

namespace vendra {

LiveChanges::LiveChanges(MappingTables& tables, MappingCommands& commands, ReadBack& reader,
                         CommandExchange& exchange, std::function<bool()> online, QObject* parent)
    : QObject(parent),
      tables_(tables),
      commands_(commands),
      reader_(reader),
      exchange_(exchange),
      online_(std::move(online)) {}

FileCheck LiveChanges::CheckFile(const QString& path) {
    return CheckFile(path, ProgramEnabledUnits());
}

FileCheck LiveChanges::CheckFile(const QString& path, const EnabledUnits& units) {
    return CheckTallyFile(path, tables_, units);
}

QStringList LiveChanges::ConsoleCopy() const {
    QStringList copy;
    for (int o = 1; o <= tables_.NumOutputs + 1; ++o)
        if (!tables_.OutMapString[o].isEmpty()) copy << tables_.OutMapString[o];
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

Comparison LiveChanges::Compare(const QList<TallyItem>& mappings) {
    if (!online_()) return CompareWithCopy(mappings);
    Comparison c;
    c.FromController = true;
    c.ReadBackEnd = reader_.GetAllRawMappings();
    Q_EMIT ListRebuild();
    QStringList controller;
    for (int i = 1; i <= tables_.MapStrings; ++i)
        controller << tables_.RawMapList[i];
    c.Rows = CompareMappings(mappings, controller, tables_);
    return c;
}

Comparison LiveChanges::CompareWithCopy(const QList<TallyItem>& mappings) {
    Comparison c;
    c.Rows = CompareMappings(mappings, ConsoleCopy(), tables_);
    return c;
}

void LiveChanges::Keep(int unit, int channel, const QString& mapping) {
    tables_.Current = ParseGetMap(mapping);
    tables_.Current.OutUnit = unit;
    tables_.Current.OutChannel = channel;
    // An output the configuration lacks is kept one past the last configured output, as the
    // read-back and the load keep it.
    const int o = tables_.FindOutputMapping();
    if (!tables_.OutMapString.Valid(o)) return;
    const bool mapped = DriveOf(mapping).Mapped;
    tables_.OutMapString[o] = mapped ? mapping : QString();
    tables_.OutMapInput[o] = mapped ? Plain(tables_.FindInputSourceMapping()) : QString();
}

ApplyResult LiveChanges::Apply(const QList<PlannedChange>& plan) {
    ApplyResult result;
    Q_EMIT ProgressText(QString());
    Q_EMIT ControlsEnabled(false);
    for (const PlannedChange& p : plan) {
        const MappingRecord& m = p.Target;
        // The commands mapping the output by hand sends: a "Map" (or the clear for no input),
        // then the second input of an AND or OR.
        bool ok = commands_.SetMapping(m.OutUnit, m.OutChannel, m.InUnit, m.InChannel);
        if (ok && m.InUnit >= 1 && m.BooleanMode != kSingle)
            ok = commands_.SetBoolMapping(m.OutUnit, m.OutChannel, m.InUnit, m.InChannel,
                                          m.BooleanInUnit, m.BooleanInChannel, m.BooleanMode);
        if (journal_)
            journal_->Record(journal_->CurrentOperation(QStringLiteral("Apply changes only")),
                             p.Row.Unit, p.Row.Channel, p.Row.ControllerMap, p.Row.FileMap,
                             !online_() ? outcome::kOffline
                             : ok       ? outcome::kAnswered
                                        : outcome::kFailed);
        if (!ok) {
            result.Stopped = true;
            result.StoppedAt = p;
            break;
        }
        Keep(m.OutUnit, m.OutChannel, tables_.CurrentMapstring);
        ++result.Applied;
        Q_EMIT ProgressText(QStringLiteral("Changing ") + SignColumn(result.Applied));
    }
    Q_EMIT ListRebuild();
    Q_EMIT ControlsEnabled(true);
    return result;
}

VerifyResult LiveChanges::Verify(const QList<Expectation>& expected) {
    VerifyResult result;
    Q_EMIT ProgressText(QString());
    Q_EMIT ControlsEnabled(false);
    for (const Expectation& e : expected) {
        reader_.GetMapping(e.Unit, e.Channel);
        ++result.Checked;
        Q_EMIT ProgressText(QStringLiteral("Verifying ") + SignColumn(result.Checked));
        // Only a whole reply says what the controller holds; anything else says nothing.
        const bool answered =
            exchange_.IBuffer.endsWith(QLatin1String("\n.")) && CountFields(exchange_.Response) > 0;
        const QString held = answered && DriveOf(exchange_.Response).Mapped
                                 ? exchange_.Response.trimmed()
                                 : QString();
        if (answered) Keep(e.Unit, e.Channel, held);
        const bool holds = answered && DriveOf(held) == DriveOf(e.Wanted);
        if (journal_) journal_->Settle(e.Unit, e.Channel, holds);
        if (holds) continue;
        tables_.Current = {e.Unit, e.Channel, 0, 0, 0, 0, 0, 0};
        const int o = tables_.FindOutputMapping();
        const bool configured = tables_.IsConfiguredOutput(o);
        result.Mismatches.append({e.Unit, e.Channel, configured ? o : 0,
                                  configured ? tables_.OutName[o] : QString(), e.Wanted, held,
                                  !answered});
    }
    Q_EMIT ListRebuild();
    Q_EMIT ControlsEnabled(true);
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
    const QString wanted = m.Wanted.isEmpty() ? QStringLiteral("no mapping") : m.Wanted;
    if (m.NoAnswer) return who + QStringLiteral(": no answer (should hold %1)").arg(wanted);
    const QString held = m.Held.isEmpty() ? QStringLiteral("no mapping") : m.Held;
    return who + QStringLiteral(": holds %1, should hold %2").arg(held, wanted);
}

}  // namespace vendra
