// The simulated controller fed what a console, an operator at the advanced console or line
// noise may send. A fresh model per input keeps inputs independent.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "sim/controller_model.h"

using namespace vendra;

namespace {

// What a line turns into once the model has taken it in: carriage returns dropped, cut to the
// longest line the model keeps.
QByteArray Echo(const QByteArray& line) {
    QByteArray out = line;
    out.replace('\r', QByteArray());
    return out.left(ControllerModel::kMaxLine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // All at once.
    ControllerModel whole;
    const QByteArray answer = whole.Feed(bytes);
    FUZZ_CHECK(whole.Log().size() == bytes.count('\n'));
    FUZZ_CHECK(whole.Table().size() <= static_cast<size_t>(ControllerModel::kMaxEntries));

    // One line at a time: each answer is the echo, CR LF, the reply line and CR LF if there is
    // one, and the terminator. The reply never holds a "." or a line end, as a console stops
    // reading at the first ".".
    ControllerModel lines;
    QByteArray joined;
    qsizetype from = 0;
    for (;;) {
        const qsizetype lf = bytes.indexOf('\n', from);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        const QByteArray piece = bytes.mid(from, end - from);
        const QByteArray reply = lines.Feed(piece);
        joined += reply;
        if (lf < 0) {
            FUZZ_CHECK(reply.isEmpty());
            break;
        }
        const QByteArray echo = Echo(bytes.mid(from, lf - from));
        FUZZ_CHECK(reply.startsWith(echo + "\r\n"));
        FUZZ_CHECK(reply.endsWith('.'));
        const QByteArray rest = reply.sliced(echo.size() + 2);
        if (rest != ".") {
            FUZZ_CHECK(rest.endsWith("\r\n."));
            const QByteArray line = rest.chopped(3);
            FUZZ_CHECK(!line.isEmpty());
            FUZZ_CHECK(!line.contains('.') && !line.contains('\r') && !line.contains('\n'));
        }
        from = end;
    }
    // How the bytes were cut into pieces makes no difference.
    FUZZ_CHECK(joined == answer);
    FUZZ_CHECK(lines.Table() == whole.Table());
    FUZZ_CHECK(lines.Log() == whole.Log());
    return 0;
}
