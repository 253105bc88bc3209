#pragma once
// The text of an output list row, built from the output's stored mapping string.
#include <QString>

namespace vendra {

struct MappingTables;

// Parses OutMapString(o) into the current record, rewrites OutMapInput(o) and OutBoolText(o)
// for display and answers the row text: name, TAB, input, TAB, operator, TAB, second input.
QString BuildOutputRow(MappingTables& tables, int o);

// A configured name as a list row shows it: a TAB in it would start the next column, so it
// shows as a blank.
QString ListName(const QString& name);

}  // namespace vendra
