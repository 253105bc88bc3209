// Numbers read from text: values of Kavro.ini (decoded as the INI reader does) and the fields of
// mapping strings and replies.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"

using namespace vendra;

namespace {

void Check(QStringView text) {
    const double v = ReadNumber(text);
    FUZZ_CHECK(!std::isnan(v));
    const double whole = RoundHalfEven(v);
    FUZZ_CHECK(std::isinf(v) || std::fabs(whole - v) <= 0.5);

    const int clamped = ReadInt16Clamped(text);
    FUZZ_CHECK(clamped >= -32768 && clamped <= 32767);
    const auto fitting = ReadWholeNumber(text, -32768, 32767);
    if (fitting) {
        FUZZ_CHECK(*fitting == clamped);
        // Both written forms of the number read back as the number.
        FUZZ_CHECK(ReadNumber(Plain(*fitting)) == *fitting);
        FUZZ_CHECK(ReadNumber(SignColumn(*fitting)) == *fitting);
    } else {
        FUZZ_CHECK(clamped == -32768 || clamped == 32767);
    }
    const auto port = ReadWholeNumber(text, 0, 255);
    if (port) FUZZ_CHECK(fitting && *port == *fitting);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Check(QString::fromLatin1(bytes));
    Check(IniFile::Decode(bytes));
    return 0;
}
