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

QString MappingCount(int n) {
    return n == 1 ? QStringLiteral("1 mapping") : Plain(n) + QStringLiteral(" mappings");
}

}  // namespace vendra
