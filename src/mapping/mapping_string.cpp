#include "mapping/mapping_string.h"

#include <algorithm>

#include "platform/numbers.h"

namespace vendra {

MappingRecord ParseGetMap(QStringView response) {
    int fields[8] = {};
    int k = 0;
    for (qsizetype i = 0; i < response.size(); ++i) {
        if (response[i] != u'[') continue;
        const double v = RoundHalfEven(ReadNumber(response.mid(i + 1, 3)));
        if (k < 8) fields[k] = static_cast<int>(v);  // three characters never leave int range
        ++k;
    }
    return {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
}

QString OverlongField(QStringView text) {
    for (qsizetype i = text.indexOf(u'['); i >= 0; i = text.indexOf(u'[', i + 1)) {
        qsizetype end = i + 1;
        while (end < text.size() && text[end] != u']' && text[end] != u'[')
            ++end;
        const QStringView field = text.sliced(i + 1, end - i - 1);
        if (RoundHalfEven(ReadNumber(field)) !=
            RoundHalfEven(ReadNumber(field.first(std::min<qsizetype>(3, field.size())))))
            return text.sliced(i, end - i + (end < text.size() && text[end] == u']')).toString();
    }
    return {};
}

int CountFields(QStringView text) {
    return static_cast<int>(text.count(u'['));
}

QString EnabledMapString(const QString& text) {
    if (CountFields(text) < 5 || ParseGetMap(text).MapEnable != 0) return text;
    qsizetype at = -1;
    for (int k = 0; k < 5; ++k)
        at = text.indexOf(u'[', at + 1);
    const qsizetype end = text.indexOf(u'[', at + 1);
    QString enabled = text;
    return enabled.replace(at, (end < 0 ? text.size() : end) - at, QStringLiteral("[1]"));
}

QString SingleMapString(int ounit, int ochannel, int iunit, int ichannel) {
    return BoolMapString(ounit, ochannel, iunit, ichannel, 0, 0, kSingle);
}

QString BoolMapString(int ounit, int ochannel, int iunit, int ichannel, int bunit, int bchannel,
                      int mode) {
    QString s;
    for (int v : {ounit, ochannel, iunit, ichannel, 1, bunit, bchannel, mode})
        s += QLatin1Char('[') + Plain(v) + QLatin1Char(']');
    return s;
}

}  // namespace vendra
