// The reply to "BITS": the "0" and "1" characters are the unit's input bits, last one first.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "link/unit_status.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString reply =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString bits = UnitStatus::ParseGetBits(reply);

    FUZZ_CHECK(bits.size() == reply.count(u'0') + reply.count(u'1'));
    qsizetype k = bits.size();
    for (QChar c : reply) {
        if (c != u'0' && c != u'1') continue;
        FUZZ_CHECK(k > 0 && bits[--k] == c);
    }
    return 0;
}
