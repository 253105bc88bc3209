// Kavro.ini as the operator's editor left it: any bytes, read by the INI reader and then by the
// configuration reader into fresh tables.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "config/enabled_units.h"
#include "config/kavro_config.h"
#include "fuzz/check.h"
#include "mapping/mapping_tables.h"
#include "platform/ini_file.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini;
    ini.LoadBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    FUZZ_CHECK(ini.IsRead());

    // Lookups with names the file itself may use: blanks and case must not matter.
    FUZZ_CHECK(ini.Value(u"vendra", u"system") == ini.Value(u" VENDRA ", u"System\t"));

    // The tables are large; fresh ones per input keep one input from seeing another's data.
    auto tables = std::make_unique<MappingTables>();
    InstallationConfig config;
    config.SystemName = QStringLiteral("untouched");
    EnabledUnits units;  // never the program-wide list
    units.EnabledUnitCount = -1;

    const IniReadResult result = IniRead(ini, *tables, config, units);
    if (!result.Ok()) {
        // A refused file changes nothing.
        FUZZ_CHECK(!result.Message.isEmpty());
        FUZZ_CHECK(config.SystemName == QStringLiteral("untouched"));
        FUZZ_CHECK(units.EnabledUnitCount == -1);
        FUZZ_CHECK(tables->NumOutputs == 0 && tables->NumInputs == 0);
        return 0;
    }
    FUZZ_CHECK(!config.SystemName.isEmpty());
    FUZZ_CHECK(config.VendraCommport >= 1 && config.VendraCommport <= 255);
    FUZZ_CHECK(units.EnabledUnitCount >= 1 && units.EnabledUnitCount <= EnabledUnits::kMaxUnits);
    FUZZ_CHECK(tables->NumOutputs >= 0 && tables->NumOutputs <= kMaxOutputs);
    FUZZ_CHECK(tables->NumInputs >= 0 && tables->NumInputs <= kMaxInputs);
    FUZZ_CHECK(tables->InName[0] == QStringLiteral("Unassigned"));
    for (int n = 1; n <= tables->NumOutputs; ++n) {
        FUZZ_CHECK(tables->OutUnit[n] >= -32768 && tables->OutUnit[n] <= 32767);
        FUZZ_CHECK(tables->OutChannel[n] >= -32768 && tables->OutChannel[n] <= 32767);
    }
    FUZZ_CHECK(OutputListRows(*tables).size() == tables->NumOutputs);
    FUZZ_CHECK(InputListRows(*tables).size() == tables->NumInputs + 1);
    return 0;
}
