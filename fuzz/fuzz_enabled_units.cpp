// The "EnabledUnits" value of Kavro.ini, decoded as the INI reader decodes the file. Parsed into
// a list of its own: the program-wide list is never touched.
#include <cstddef>
#include <cstdint>

#include "config/enabled_units.h"
#include "fuzz/check.h"
#include "platform/ini_file.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = IniFile::Decode(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const EnabledUnits units = ParseEnabledUnits(text);

    const qsizetype entries = text.count(u',') + 1;
    FUZZ_CHECK(units.ListedEntries == entries);
    FUZZ_CHECK(units.EnabledUnitCount == std::min<qsizetype>(entries, EnabledUnits::kMaxUnits));
    for (int i = 1; i <= units.EnabledUnitCount; ++i)
        FUZZ_CHECK(units.EnabledUnitList[i] >= -32768 && units.EnabledUnitList[i] <= 32767);
    // Past the count the list stays empty.
    for (int i = units.EnabledUnitCount + 1; i < EnabledUnits::kSlots; ++i)
        FUZZ_CHECK(units.EnabledUnitList[i] == 0);
    FUZZ_CHECK(units.EnabledUnitList[0] == 0);
    return 0;
}
