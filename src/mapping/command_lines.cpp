#include "mapping/command_lines.h"

#include "mapping/mapping_string.h"
#include "platform/numbers.h"

namespace vendra {

QString MapLine(int unit, int channel, int inUnit, int inChannel) {
    return QStringLiteral("Map") + SignColumn(unit) + SignColumn(channel) + SignColumn(inUnit) +
           SignColumn(inChannel);
}

QString BoolLine(int unit, int channel, int boolUnit, int boolChannel, int mode) {
    const QString word = mode == kAnd ? QStringLiteral("AND") : QStringLiteral("OR");
    return word + SignColumn(unit) + SignColumn(channel) + SignColumn(boolUnit) +
           SignColumn(boolChannel);
}

QString OutputLine(const QString& word, int unit, int channel) {
    return word + SignColumn(unit) + QLatin1Char(' ') + SignColumn(channel);
}

QStringList MappingLines(const MappingRecord& target, bool clearFirst) {
    const int u = target.OutUnit;
    const int c = target.OutChannel;
    const bool mapped = target.InUnit != 0;
    QStringList lines;
    if (!mapped || clearFirst)
        lines << OutputLine(QStringLiteral("Res"), u, c)
              << OutputLine(QStringLiteral("ClrMap"), u, c);
    if (!mapped) return lines;
    lines << MapLine(u, c, target.InUnit, target.InChannel);
    if (target.BooleanMode != kSingle)
        lines << BoolLine(u, c, target.BooleanInUnit, target.BooleanInChannel, target.BooleanMode);
    if (target.MapEnable == 0) lines << OutputLine(QStringLiteral("mapdisab"), u, c);
    return lines;
}

LinesSent SendLines(CommandExchange& exchange, const QStringList& lines) {
    LinesSent out;
    for (const QString& line : lines) {
        out.reply = exchange.Exchange(line);
        ++out.sent;
        if (OutcomeOf(true, out.reply) != ChangeOutcome::Made) break;
        ++out.made;
    }
    return out;
}

std::optional<CommandAddress> AddressOf(QStringView command) {
    // Blanks part the words, and a minus sign starts a number of its own: "Map 1 3-2-7" is
    // Map 1 3 -2 -7, as the controller reads it.
    QStringList words;
    for (const QString& piece : command.toString().simplified().split(u' ', Qt::SkipEmptyParts)) {
        qsizetype start = 0;
        for (qsizetype i = 1; i < piece.size(); ++i) {
            if (piece[i] != u'-') continue;
            words << piece.mid(start, i - start);
            start = i;
        }
        words << piece.mid(start);
    }
    if (words.size() < 3) return std::nullopt;
    bool unitOk = false;
    bool channelOk = false;
    CommandAddress a{words[0], words[1].toInt(&unitOk), words[2].toInt(&channelOk)};
    if (!unitOk || !channelOk) return std::nullopt;
    return a;
}

}  // namespace vendra
