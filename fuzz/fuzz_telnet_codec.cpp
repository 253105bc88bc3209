// A network serial server's Telnet stream as received: the line's bytes are taken out of it
// whatever the server sends, in one piece or split anywhere.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "platform/telnet_codec.h"

using namespace vendra;

namespace {

// Every answer owed to the server is a whole option reply: IAC, WILL/WONT/DO/DONT, option.
bool WholeReplies(const QByteArray& replies) {
    if (replies.size() % 3 != 0) return false;
    for (qsizetype i = 0; i < replies.size(); i += 3) {
        const auto verb = static_cast<unsigned char>(replies[i + 1]);
        if (replies[i] != TelnetCodec::kIac || verb < 251 || verb > 254) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray in(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TelnetCodec whole;
    QByteArray wholeReplies;
    const QByteArray wholeData = whole.Decode(in, wholeReplies);
    FUZZ_CHECK(wholeData.size() <= in.size());
    FUZZ_CHECK(WholeReplies(wholeReplies));

    // Split where the first byte says: the same line bytes and the same answers.
    const qsizetype cut = in.isEmpty() ? 0 : static_cast<unsigned char>(in[0]) % (in.size() + 1);
    TelnetCodec split;
    QByteArray splitReplies;
    QByteArray splitData = split.Decode(in.left(cut), splitReplies);
    splitData += split.Decode(in.mid(cut), splitReplies);
    FUZZ_CHECK(splitData == wholeData);
    FUZZ_CHECK(splitReplies == wholeReplies);

    // Any bytes of the line, escaped, come back as they were (a NUL after a carriage return
    // is the stream's padding outside binary mode and is dropped).
    QByteArray expected;
    for (qsizetype i = 0; i < in.size(); ++i)
        if (!(in[i] == '\0' && i > 0 && in[i - 1] == '\r')) expected += in[i];
    TelnetCodec fresh;
    QByteArray none;
    FUZZ_CHECK(fresh.Decode(TelnetCodec::Escape(in), none) == expected);
    FUZZ_CHECK(none.isEmpty());
    return 0;
}
