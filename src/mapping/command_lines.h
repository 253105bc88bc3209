#pragma once
// The controller lines that change one output's mapping, the one path that sends such lines,
// and the output a command line addresses. The editor, a load, output tests and live changes
// all spell their changes here.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "link/command_exchange.h"

namespace vendra {

struct MappingRecord;

// "Map" 1 3 2 17 is "Map 1 3 2 17": the word, then each number in a sign column.
QString MapLine(int unit, int channel, int inUnit, int inChannel);
// "AND" for mode kAnd, "OR" for any other: the second input of a mapping made by a "Map".
QString BoolLine(int unit, int channel, int boolUnit, int boolChannel, int mode);
// "ClrMap", "Res", "GetMap", "Set"...: the word, the unit, one blank, the channel.
QString OutputLine(const QString& word, int unit, int channel);

// The lines that make the controller hold `target` for its output (OutUnit, OutChannel). An
// input unit of 0 is no mapping: "Res" (the lamp goes dark first), then "ClrMap". Otherwise
// "Map", "AND"/"OR" for a second input (BooleanMode not kSingle) and "mapdisab" for a disabled
// mapping (MapEnable 0). `clearFirst` puts "Res", "ClrMap" before the "Map": "ClrMap" empties
// every entry of the output, so the controller ends up with exactly one.
QStringList MappingLines(const MappingRecord& target, bool clearFirst = false);

// Sends the lines in order, each only after the controller made the one before (answered, not
// with an error line): each builds on the one before.
struct LinesSent {
    Reply reply;   // of the last line sent: the one that decided
    int sent = 0;  // lines that went out
    int made = 0;  // of them, the ones the controller made
};
LinesSent SendLines(CommandExchange& exchange, const QStringList& lines);

// The output a command line addresses: its word (as typed), unit and channel, read as the
// controller reads them (blanks part the words, a minus sign starts a number: "Res-2 -7" is
// "Res" -2 -7). None when the unit or the channel is missing or not a whole number.
struct CommandAddress {
    QString Word;
    int Unit = 0;
    int Channel = 0;
};
std::optional<CommandAddress> AddressOf(QStringView command);

}  // namespace vendra
