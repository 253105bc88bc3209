#pragma once
// The check of a tally file before it is compared or applied: everything in it that the lists
// would not show or that the controller would take differently than the operator expects.
#include <QByteArray>
#include <QList>
#include <QString>

#include "config/tally_file.h"

namespace vendra {

struct EnabledUnits;
struct MappingTables;

enum class FindingKind {
    NotMappingString,  // the line is not a mapping string; it is left out
    FieldTooWide,      // a number runs past its field's three characters; the line is left out
    UnknownOutput,     // Kavro.ini does not configure the output: no row would show it
    UnknownInput,      // Kavro.ini does not configure an input of the mapping
    UnitNotEnabled,    // the output's unit is not in EnabledUnits
    DuplicateOutput,   // an earlier line maps the same output; this later line wins
    NoMappings,        // no line is a mapping: loading the file clears every mapping
};

struct Finding {
    int Line = 0;
    FindingKind Kind = FindingKind::NotMappingString;
    QString Text;  // what the operator reads, beginning with the line number
};

struct FileCheck {
    bool Readable = false;
    QString Error;              // why the file could not be read
    QList<TallyItem> Mappings;  // the mapping strings, in file order
    QList<Finding> Findings;    // in line order
    // Why the load would refuse the file (a line that is no mapping string, too many lines):
    // no flow sends anything from it, whatever the operator says. Empty when it is sound.
    QString Damage;
};

// Reads the file and checks every item against the installation.
FileCheck CheckTallyFile(const QString& path, MappingTables& tables, const EnabledUnits& units);
// The same from items already read; `path` names the file in the texts.
FileCheck CheckFileItems(const QList<TallyItem>& items, MappingTables& tables,
                         const EnabledUnits& units, const QString& path = {});

// The findings, one per line, at most `shown` of them and a count of the rest.
QString FindingsText(const QList<Finding>& findings, int shown = 20);

}  // namespace vendra
