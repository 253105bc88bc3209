// A controller's raw reply as received: the reply line is cut out of it.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "link/command_exchange.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString received =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString line = CommandExchange::GetResponse(received);

    // Where the reply line starts: after the first line feed; with no line feed at all but two
    // carriage returns, after the first of them (the echo's line ended by a carriage return
    // alone); else at the start.
    const qsizetype lineFeed = received.indexOf(u'\n');
    const qsizetype firstReturn = received.indexOf(u'\r');
    const bool returnsOnly =
        lineFeed < 0 && firstReturn >= 0 && received.indexOf(u'\r', firstReturn + 1) >= 0;
    const qsizetype start = returnsOnly ? firstReturn + 1 : lineFeed + 1;
    const qsizetype end = received.indexOf(u'\r', start);

    FUZZ_CHECK(!line.contains(u'\r'));
    // The line is the piece from there up to the next carriage return, and nothing when no
    // carriage return follows.
    if (end < 0) {
        FUZZ_CHECK(line.isEmpty());
        return 0;
    }
    FUZZ_CHECK(line.size() == end - start);
    FUZZ_CHECK(QStringView(received).sliced(start).startsWith(line));
    return 0;
}
