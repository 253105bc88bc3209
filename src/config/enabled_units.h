#pragma once
// The units the controller is told to enable whenever its mappings have been wiped. The list
// comes from "EnabledUnits" in Kavro.ini; the session keeps it.
#include <QString>
#include <QStringView>

#include "mapping/mapping_tables.h"

namespace vendra {

class CommandExchange;

struct EnabledUnits {
    static constexpr int kSlots = 51;  // positions 0 .. 50; 0 is never filled
    static constexpr int kMaxUnits = kSlots - 1;

    // Positions 1 .. EnabledUnitCount hold the unit numbers in the order of the text.
    Slots<int, kSlots> EnabledUnitList;
    int EnabledUnitCount = 0;

    // How many entries the text listed, also those past the 50th that were left out.
    int ListedEntries = 0;
    // An entry lay outside the 16-bit signed range and was clamped into it.
    bool OutOfRange = false;
};

// Splits the text at its commas and reads a unit number from each entry: blanks do not matter,
// an entry without a number (also an empty one) is unit 0, so the empty text is the single unit
// 0. A text of more than 50 entries gives its first 50.
EnabledUnits ParseEnabledUnits(QStringView text);

// How many list positions the unit status spinner offers: all of them, or none when no listed
// unit is a real one (1 or above), as with a missing or empty "EnabledUnits": then the
// window keeps watching unit 1 instead of unit 0, which no controller has.
int WatchableUnitCount(const EnabledUnits& units);

// Sends "Uenable " and the unit number in sign-column form; the reply is not examined.
bool EnableUnit(CommandExchange& exchange, int UnitNumber);
// One EnableUnit per listed unit, in the order of the list, each waiting for its reply.
void EnableUnits(CommandExchange& exchange, const EnabledUnits& units);

}  // namespace vendra
