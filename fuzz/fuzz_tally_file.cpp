// A tally matrix file as found on disk: its items are read, then checked before a load.
#include <cstddef>
#include <cstdint>

#include "config/tally_file.h"
#include "fuzz/check.h"
#include "mapping/mapping_string.h"

using namespace vendra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TallyReadResult read = ParseTallyItems(bytes);
    FUZZ_CHECK(read.Ok);

    qsizetype characters = 0;
    int lastLine = 1;
    for (const TallyItem& item : read.Items) {
        FUZZ_CHECK(!item.Text.isEmpty());
        FUZZ_CHECK(!item.Text.contains(u'\r') && !item.Text.contains(u'\n'));
        FUZZ_CHECK(item.Line >= lastLine);
        lastLine = item.Line;
        characters += item.Text.size();
    }
    FUZZ_CHECK(characters <= bytes.size());
    FUZZ_CHECK(lastLine <= bytes.count('\n') + bytes.count('\r') + 1);

    const QString path = QStringLiteral("/tmp/fuzz.vdk");
    // A small limit as well, so that the count check is reached by short inputs.
    for (int limit : {kMaxTallyItems, 3}) {
        const TallyCheck check = CheckTallyItems(read.Items, path, limit);
        if (!check.Ok) {
            FUZZ_CHECK(check.Message.contains(path));
            continue;
        }
        FUZZ_CHECK(read.Items.size() <= limit);
        for (const TallyItem& item : read.Items)
            FUZZ_CHECK(ParseGetMap(item.Text).OutUnit != 0);
    }

    // File names come from the same operator: the shown name never grows past 50 characters.
    const QString name = ParseFilename(QString::fromLatin1(bytes));
    FUZZ_CHECK(name.size() <= 50);
    return 0;
}
