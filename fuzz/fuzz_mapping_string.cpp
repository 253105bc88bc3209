// Mapping strings as the controller reports them (received bytes, one character per byte).
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "mapping/mapping_string.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MappingRecord r = ParseGetMap(text);

    // A field is read from at most three characters: "-99" .. "999".
    for (int v : {r.OutUnit, r.OutChannel, r.InUnit, r.InChannel, r.MapEnable, r.BooleanInUnit,
                  r.BooleanInChannel, r.BooleanMode})
        FUZZ_CHECK(v >= -99 && v <= 999);
    if (CountFields(text) == 0) FUZZ_CHECK(r == MappingRecord{});

    // Whatever was read must survive being written out and read back, as it does when a table
    // is saved to a tally file and loaded again.
    const QString again = BoolMapString(r.OutUnit, r.OutChannel, r.InUnit, r.InChannel,
                                        r.BooleanInUnit, r.BooleanInChannel, r.BooleanMode);
    FUZZ_CHECK(CountFields(again) == 8);
    MappingRecord expected = r;
    expected.MapEnable = 1;  // the builder always writes the entry enabled
    FUZZ_CHECK(ParseGetMap(again) == expected);
    return 0;
}
