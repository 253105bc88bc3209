#include "changes/file_check.h"

#include <algorithm>
#include <map>
#include <utility>

#include "config/enabled_units.h"
#include "mapping/mapping_string.h"
#include "mapping/mapping_tables.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

QString Address(int unit, int channel) {
    return QStringLiteral("unit %1 channel %2").arg(Plain(unit), Plain(channel));
}

bool UnitEnabled(const EnabledUnits& units, int unit) {
    for (int i = 1; i <= units.EnabledUnitCount; ++i)
        if (units.EnabledUnitList[i] == unit) return true;
    return false;
}

}  // namespace

FileCheck CheckTallyFile(const QString& path, MappingTables& tables, const EnabledUnits& units) {
    const TallyReadResult read = ReadTallyItems(path);
    if (!read.Ok) {
        FileCheck check;
        check.Error = read.Error;
        return check;
    }
    return CheckFileItems(read.Items, tables, units, path);
}

FileCheck CheckFileItems(const QList<TallyItem>& items, MappingTables& tables,
                         const EnabledUnits& units, const QString& path) {
    FileCheck check;
    check.Readable = true;
    const OutputKnown known = ConfiguredOutputs(tables);
    const TallyCheck load = CheckTallyItems(items, path, kMaxTallyItems, known);
    if (!load.Ok) check.Damage = load.Message;
    std::map<std::pair<int, int>, int> firstLine;
    auto find = [&](int line, FindingKind kind, const QString& what) {
        const QString where = line ? QStringLiteral("line %1: ").arg(Plain(line)) : QString();
        check.Findings.append({line, kind, where + what});
    };
    for (const TallyItem& item : items) {
        if (!IsMappingString(item.Text, known)) {
            find(item.Line, FindingKind::NotMappingString,
                 QStringLiteral("\"%1\" is not a mapping string; it is left out")
                     .arg(Shown(item.Text)));
            continue;
        }
        if (const QString wide = OverlongField(item.Text); !wide.isEmpty()) {
            find(item.Line, FindingKind::FieldTooWide,
                 QStringLiteral("%1 does not fit the three characters of a field, which would "
                                "read another number; the line is left out")
                     .arg(Shown(wide)));
            continue;
        }
        check.Mappings.append(item);
        const MappingRecord& m = item.Mapping;
        tables.Current = m;
        const QString out = Address(m.OutUnit, m.OutChannel);
        if (!tables.IsConfiguredOutput(tables.FindOutputMapping()))
            find(item.Line, FindingKind::UnknownOutput,
                 QStringLiteral("output %1 is not in Kavro.ini; no list row shows it").arg(out));
        auto checkInput = [&](int unit, int channel) {
            if (unit != 0 && !tables.IsConfiguredInput(tables.SearchInputList(unit, channel)))
                find(item.Line, FindingKind::UnknownInput,
                     QStringLiteral("input %1 of output %2 is not in Kavro.ini")
                         .arg(Address(unit, channel), out));
        };
        checkInput(m.InUnit, m.InChannel);
        if (m.InUnit != 0 && m.BooleanMode != kSingle)
            checkInput(m.BooleanInUnit, m.BooleanInChannel);
        // A spare output (unit 0) belongs to no unit.
        if (m.OutUnit != 0 && !UnitEnabled(units, m.OutUnit))
            find(item.Line, FindingKind::UnitNotEnabled,
                 QStringLiteral("output %1 is on unit %2, which EnabledUnits does not list")
                     .arg(out, Plain(m.OutUnit)));
        const auto [at, first] = firstLine.try_emplace({m.OutUnit, m.OutChannel}, item.Line);
        if (!first)
            find(item.Line, FindingKind::DuplicateOutput,
                 QStringLiteral("output %1 is also mapped on line %2; this later line wins")
                     .arg(out, Plain(at->second)));
    }
    if (check.Mappings.isEmpty())
        find(0, FindingKind::NoMappings,
             QStringLiteral("the file holds no mappings: loading it clears every mapping in the "
                            "tally system"));
    std::stable_sort(check.Findings.begin(), check.Findings.end(),
                     [](const Finding& a, const Finding& b) { return a.Line < b.Line; });
    return check;
}

QString FindingsText(const QList<Finding>& findings, int shown) {
    QStringList lines;
    for (const Finding& f : findings) {
        if (lines.size() == shown) break;
        lines << f.Text;
    }
    if (findings.size() > shown)
        lines << QStringLiteral("... and %1 more").arg(Plain(findings.size() - shown));
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace vendra
