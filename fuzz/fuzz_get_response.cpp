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

    FUZZ_CHECK(!line.contains(u'\r'));
    if (line.isEmpty()) return 0;
    // The line is a piece of the text: after the first line feed, or from the start when there
    // is none, and directly followed by a carriage return.
    const qsizetype lineFeed = received.indexOf(u'\n');
    const qsizetype start = lineFeed + 1;
    FUZZ_CHECK(QStringView(received).sliced(start).startsWith(line));
    FUZZ_CHECK(start + line.size() < received.size());
    FUZZ_CHECK(received[start + line.size()] == u'\r');
    return 0;
}
