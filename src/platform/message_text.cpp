#include "platform/message_text.h"

#include "platform/numbers.h"

namespace vendra {

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString Shown(QStringView text) {
    constexpr qsizetype kShown = 40;
    QString s = text.left(kShown).toString();
    for (QChar& c : s) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0)) c = u'?';
    }
    if (text.size() > kShown) s += QStringLiteral("...");
    return s;
}

QString Counted(qsizetype n, const char* one, const char* many) {
    return Plain(static_cast<long long>(n)) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

QString MappingCount(int n) {
    return Counted(n, "mapping", "mappings");
}

}  // namespace vendra
