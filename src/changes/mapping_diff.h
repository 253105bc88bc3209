#pragma once
// What a tally file would change in the controller: the two sides per output, the difference,
// and the commands that make the controller hold the file's mapping, output by output.
#include <QList>
#include <QString>
#include <QStringList>

#include "config/tally_file.h"
#include "mapping/mapping_string.h"

namespace vendra {

struct MappingTables;

// What drives an output, as far as it matters to the tally: the inputs, how they combine and
// whether the mapping is enabled (a disabled mapping leaves the lamp dark). The second input's
// fields of a single-input mapping are left out.
struct Drive {
    bool Mapped = false;  // an input unit other than 0 (negative units are units too)
    bool Enabled = false;
    int InUnit = 0;
    int InChannel = 0;
    int Mode = kSingle;  // kSingle, kAnd or kOr (any mode but AND goes out as OR)
    int BoolUnit = 0;
    int BoolChannel = 0;

    friend bool operator==(const Drive&, const Drive&) = default;
};
Drive DriveOf(const MappingRecord& m);
Drive DriveOf(QStringView mappingString);

enum class Difference { Same, Added, Removed, Changed, Repeated };
// "same", "added", "removed", "changed", "repeated" (the controller holds the output twice)
QString DifferenceText(Difference d);

// One output, both sides.
struct OutputComparison {
    int Unit = 0;
    int Channel = 0;
    int Output = 0;         // 1 .. NumOutputs; 0 when Kavro.ini does not configure the output
    QString Name;           // from Kavro.ini; empty when not configured
    QString FileMap;        // the file's mapping string (empty: the file leaves it unmapped)
    QString ControllerMap;  // the controller's (empty: unmapped there)
    QString FileInputs;     // the inputs by name, "A", "A & B" or "A || B"
    QString ControllerInputs;
    int FileLine = 0;           // the line the file's mapping comes from; 0 when none
    int ControllerEntries = 0;  // entries the controller holds for the output
    Difference Kind = Difference::Same;
    // "the tally system holds 2 entries for this output", "disabled in the controller" (or "in
    // the file") where the enable is the whole difference, or empty.
    QString Note() const;
};

// Compares a file's mappings (later lines win) with the controller's table. One row per
// configured output in output order (the lowest output wins where two share an address), then
// one per address that Kavro.ini lacks but either side maps, by unit and channel.
QList<OutputComparison> CompareMappings(const QList<TallyItem>& file, const QStringList& controller,
                                        MappingTables& tables);
int CountDifferences(const QList<OutputComparison>& rows);

// The inputs of a mapping by name: "PGM Cam 1", "A & B", "A || B"; an input that Kavro.ini
// lacks is shown by its address. Empty for no mapping.
QString InputsByName(QStringView mappingString, const MappingTables& tables);
// One input by name; by its address when Kavro.ini lacks it.
QString InputName(const MappingTables& tables, int unit, int channel);

// One output to change and the mapping it must end up with (Target.InUnit 0: unmapped).
struct PlannedChange {
    OutputComparison Row;
    MappingRecord Target;
    // The command lines that make the controller hold exactly the target: "Map" for one input,
    // "Map" then "AND"/"OR" for two, "mapdisab" after them for a disabled mapping, "Res" then
    // "ClrMap" to unmap, and "Res", "ClrMap" first where the controller holds the output twice.
    QStringList Commands() const;
};

// A change for every row that differs, in the rows' order.
QList<PlannedChange> PlanChanges(const QList<OutputComparison>& rows);
// Every command line of the plan, in order.
QStringList PlanCommands(const QList<PlannedChange>& plan);

}  // namespace vendra
