#pragma once
// Kavro.ini, the description of one installation: its name, the serial port, the units to
// enable and every output and input with its display name, unit and channel. Read once at
// start-up, never written.
#include <QString>
#include <QStringList>

#include "config/enabled_units.h"
#include "config/tally_out_config.h"
#include "mapping/mapping_tables.h"

namespace vendra {

class IniFile;

inline constexpr char16_t kKavroIniName[] = u"Kavro.ini";
inline constexpr char16_t kKavroSection[] = u"Vendra";

struct InstallationConfig {
    QString SystemName;
    int VendraCommport = 1;  // 1 .. 255
    QString EnabledUnitsText;
    // When not empty, the device opened in place of the one the port number stands for; the
    // port number is still what the information texts show.
    QString CommDevice;
    // When not empty, the change journal's file (relative to this file's folder).
    QString Journal;
    // The tally sent on to UMD receivers ([Tally Out]); none when the file has no section.
    TallyOutConfig TallyOut;
};

enum class IniOutcome {
    Ok,
    // No usable file: missing or unreadable, no [Vendra] section, or no "System" name. Nothing
    // was changed.
    Missing,
    // A number does not fit its field; Message names the key and its value. Nothing was changed.
    Invalid,
};

struct IniReadResult {
    IniOutcome Outcome = IniOutcome::Missing;
    // Invalid: the text to show the operator. Missing: what exactly is missing, and for an
    // unreadable file the system's reason.
    QString Message;
    // Shown to the operator, then start-up carries on (entries beyond the tables' room).
    QStringList Warnings;
    // Missing because the file is there but cannot be used: the reason is worth showing.
    bool Unreadable = false;

    bool Ok() const { return Outcome == IniOutcome::Ok; }
};

// Kavro.ini in directory: where a program looks when it is not told another file.
QString KavroIniPath(const QString& directory);

// Reads Kavro.ini from directory into the configuration tables (outputs 1 .. NumOutputs,
// inputs 0 .. NumInputs with input 0 "Unassigned"), config and units. The targets are changed
// only when the outcome is Ok.
IniReadResult IniRead(const QString& directory, MappingTables& tables, InstallationConfig& config,
                      EnabledUnits& units);
// The same from a file already read.
IniReadResult IniRead(const IniFile& ini, MappingTables& tables, InstallationConfig& config,
                      EnabledUnits& units);

// The rows of the output list: row k is OutName(k + 1), TAB, OutMapInput(k + 1).
QStringList OutputListRows(const MappingTables& tables);
// The rows of the two input lists: row j is j in plain form, TAB, InName(j); row 0 is
// "0", TAB, "Unassigned".
QStringList InputListRows(const MappingTables& tables);

}  // namespace vendra
