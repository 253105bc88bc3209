#include "changes/mapping_diff.h"

#include <map>
#include <utility>

#include "mapping/command_lines.h"
#include "mapping/mapping_tables.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

using Address = std::pair<int, int>;

struct Side {
    QString Map;
    int Line = 0;
    int Entries = 0;
};

// Later entries for the same output replace earlier ones, as they would in the controller.
std::map<Address, Side> ByAddress(const QList<TallyItem>& items) {
    std::map<Address, Side> out;
    for (const TallyItem& item : items) {
        const MappingRecord& m = item.Mapping;
        Side& side = out[{m.OutUnit, m.OutChannel}];
        side = {item.Text, item.Line, side.Entries + 1};
    }
    return out;
}

Difference Classify(const Drive& file, const Drive& controller, int entries) {
    if (entries > 1) return Difference::Repeated;
    if (file == controller) return Difference::Same;
    if (!controller.Mapped) return Difference::Added;
    if (!file.Mapped) return Difference::Removed;
    return Difference::Changed;
}

}  // namespace

QString InputName(const MappingTables& tables, int unit, int channel) {
    const int j = tables.SearchInputList(unit, channel);
    if (!tables.IsConfiguredInput(j))
        return QStringLiteral("(%1/%2, not in Kavro.ini)").arg(Plain(unit), Plain(channel));
    return tables.InName[j].isEmpty() ? QStringLiteral("Input ") + Plain(j) : tables.InName[j];
}

Drive DriveOf(const MappingRecord& m) {
    Drive d;
    if (m.InUnit == 0) return d;  // unit 0 is no input
    d.Mapped = true;
    d.Enabled = m.MapEnable != 0;
    d.InUnit = m.InUnit;
    d.InChannel = m.InChannel;
    if (m.BooleanMode != kSingle) {
        d.Mode = m.BooleanMode == kAnd ? kAnd : kOr;
        d.BoolUnit = m.BooleanInUnit;
        d.BoolChannel = m.BooleanInChannel;
    }
    return d;
}

Drive DriveOf(QStringView mappingString) {
    MappingRecord m = ParseGetMap(mappingString);
    // A line without the enable field does not ask for a disabled mapping: "Map" enables.
    if (CountFields(mappingString) < 5) m.MapEnable = 1;
    return DriveOf(m);
}

QString DifferenceText(Difference d) {
    switch (d) {
        case Difference::Same:
            return QStringLiteral("same");
        case Difference::Added:
            return QStringLiteral("added");
        case Difference::Removed:
            return QStringLiteral("removed");
        case Difference::Changed:
            return QStringLiteral("changed");
        case Difference::Repeated:
            return QStringLiteral("repeated");
    }
    return {};
}

QString OutputComparison::Note() const {
    if (ControllerEntries > 1)
        return QStringLiteral("the tally system holds %1 entries for this output")
            .arg(Plain(ControllerEntries));
    // The same inputs on both sides: the enable is the whole difference.
    Drive file = DriveOf(FileMap);
    Drive controller = DriveOf(ControllerMap);
    if (Kind != Difference::Changed || file.Enabled == controller.Enabled) return {};
    file.Enabled = controller.Enabled;
    if (!(file == controller)) return {};
    return controller.Enabled ? QStringLiteral("disabled in the file")
                              : QStringLiteral("disabled in the controller");
}

QString InputsByName(QStringView mappingString, const MappingTables& tables) {
    const Drive d = DriveOf(mappingString);
    if (!d.Mapped) return {};
    QString s = InputName(tables, d.InUnit, d.InChannel);
    if (d.Mode != kSingle)
        s += (d.Mode == kAnd ? QStringLiteral(" & ") : QStringLiteral(" || ")) +
             InputName(tables, d.BoolUnit, d.BoolChannel);
    return s;
}

QList<OutputComparison> CompareMappings(const QList<TallyItem>& file, const QStringList& controller,
                                        MappingTables& tables) {
    const std::map<Address, Side> fileSide = ByAddress(file);
    QList<TallyItem> controllerItems;
    for (const QString& s : controller)
        controllerItems.append({0, s});
    const std::map<Address, Side> controllerSide = ByAddress(controllerItems);

    QList<OutputComparison> rows;
    std::map<Address, bool> shown;
    auto add = [&](const Address& a, int output) {
        if (shown[a]) return;
        shown[a] = true;
        OutputComparison r;
        r.Unit = a.first;
        r.Channel = a.second;
        r.Output = output;
        r.Name = output ? tables.OutName[output] : QString();
        if (auto f = fileSide.find(a); f != fileSide.end()) {
            r.FileMap = f->second.Map;
            r.FileLine = f->second.Line;
        }
        if (auto c = controllerSide.find(a); c != controllerSide.end()) {
            r.ControllerMap = c->second.Map;
            r.ControllerEntries = c->second.Entries;
        }
        // A line that maps no input leaves the output unmapped: no mapping at all.
        if (!DriveOf(r.ControllerMap).Mapped) r.ControllerMap.clear();
        r.FileInputs = InputsByName(r.FileMap, tables);
        r.ControllerInputs = InputsByName(r.ControllerMap, tables);
        r.Kind = Classify(DriveOf(r.FileMap), DriveOf(r.ControllerMap), r.ControllerEntries);
        rows.append(r);
    };
    for (int o = 1; o <= tables.NumOutputs; ++o)
        add({tables.OutUnit[o], tables.OutChannel[o]}, o);
    // Then every other address that either side maps, by unit and channel.
    std::map<Address, bool> others;
    for (const auto* side : {&fileSide, &controllerSide})
        for (const auto& [a, entry] : *side)
            if (DriveOf(entry.Map).Mapped || entry.Entries > 1) others[a] = true;
    for (const auto& [a, unused] : others)
        add(a, 0);
    return rows;
}

int CountDifferences(const QList<OutputComparison>& rows) {
    int n = 0;
    for (const OutputComparison& r : rows)
        n += r.Kind != Difference::Same ? 1 : 0;
    return n;
}

QStringList PlannedChange::Commands() const {
    MappingRecord target = Target;
    target.OutUnit = Row.Unit;
    target.OutChannel = Row.Channel;
    return MappingLines(target, Row.ControllerEntries > 1);
}

QList<PlannedChange> PlanChanges(const QList<OutputComparison>& rows) {
    QList<PlannedChange> plan;
    for (const OutputComparison& r : rows) {
        if (r.Kind == Difference::Same) continue;
        MappingRecord target = ParseGetMap(r.FileMap);
        target.MapEnable = DriveOf(r.FileMap).Enabled ? 1 : 0;
        target.OutUnit = r.Unit;
        target.OutChannel = r.Channel;
        if (!DriveOf(target).Mapped) target = {r.Unit, r.Channel, 0, 0, 0, 0, 0, 0};
        plan.append({r, target});
    }
    return plan;
}

QStringList PlanCommands(const QList<PlannedChange>& plan) {
    QStringList lines;
    for (const PlannedChange& p : plan)
        lines << p.Commands();
    return lines;
}

}  // namespace vendra
