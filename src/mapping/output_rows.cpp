#include "mapping/output_rows.h"

#include "mapping/mapping_tables.h"
#include "platform/numbers.h"

namespace vendra {

QString BuildOutputRow(MappingTables& tables, int o) {
    tables.Current = ParseGetMap(tables.OutMapString[o]);
    const MappingRecord& r = tables.Current;
    const int k1 = tables.SearchInputList(r.InUnit, r.InChannel);
    tables.OutMapInput[o] = k1 == 0 ? QString() : SignColumn(k1);
    const int k2 = tables.SearchInputList(r.BooleanInUnit, r.BooleanInChannel);
    QString op;
    switch (r.BooleanMode) {
        case kSingle:
            tables.OutBoolText[o].clear();
            break;
        case kAnd:
            op = QStringLiteral("&");
            tables.OutBoolText[o] = SignColumn(k2);
            break;
        default:
            // Any mode other than AND goes to the controller as OR, so the row says so.
            op = QStringLiteral("||");
            tables.OutBoolText[o] = SignColumn(k2);
            break;
    }
    const QChar tab(u'\t');
    return ListName(tables.OutName[o]) + tab + tables.OutMapInput[o] + tab + op + tab +
           tables.OutBoolText[o];
}

QString ListName(const QString& name) {
    QString shown = name;
    return shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

}  // namespace vendra
