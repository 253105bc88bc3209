#include "config/enabled_units.h"

#include "link/command_exchange.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

int ReadUnit(QStringView entry, bool& outOfRange) {
    const double v = RoundHalfEven(ReadNumber(entry));
    if (!(v >= kInt16Min && v <= kInt16Max)) outOfRange = true;
    return ReadInt16Clamped(entry);
}

}  // namespace

EnabledUnits ParseEnabledUnits(QStringView text) {
    EnabledUnits units;
    units.ListedEntries = static_cast<int>(text.count(u',')) + 1;
    qsizetype s = 0;
    for (int i = 1; i <= EnabledUnits::kMaxUnits; ++i) {
        const qsizetype p = text.indexOf(u',', s);
        if (p < 0) {
            units.EnabledUnitList[i] = ReadUnit(text.sliced(s), units.OutOfRange);
            units.EnabledUnitCount = i;
            return units;
        }
        units.EnabledUnitList[i] = ReadUnit(text.sliced(s, p - s), units.OutOfRange);
        s = p + 1;
    }
    // Fifty commas found: the entries past the fiftieth are left out, the fifty are kept.
    units.EnabledUnitCount = EnabledUnits::kMaxUnits;
    return units;
}

int WatchableUnitCount(const EnabledUnits& units) {
    for (int i = 1; i <= units.EnabledUnitCount; ++i)
        if (units.EnabledUnitList[i] >= 1) return units.EnabledUnitCount;
    return 0;
}

bool EnableUnit(CommandExchange& exchange, int UnitNumber) {
    return exchange.SendCommand(QStringLiteral("Uenable ") + SignColumn(UnitNumber));
}

void EnableUnits(CommandExchange& exchange, const EnabledUnits& units) {
    for (int i = 1; i <= units.EnabledUnitCount; ++i)
        EnableUnit(exchange, units.EnabledUnitList[i]);
}

}  // namespace vendra
