#include "link/unit_status.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "platform/numbers.h"

namespace vendra {

UnitStatus::UnitStatus(CommandExchange& link, QObject* parent) : QObject(parent), link_(link) {}

void UnitStatus::GetBits(int Ounit) {
    const QString command = QStringLiteral("BITS") + SignColumn(Ounit);
    // The echo and its line end, 32 digits in groups of four with a space between, a line end
    // and the ".".
    constexpr qsizetype kBitsLine = kLamps + kLamps / 4 - 1;
    const CommandExchange::Unhurried poll(link_, command.size() + 2 + kBitsLine + 3);
    link_.SendCommand(command);
    UnitBits = ParseGetBits(link_.Response);
}

QString UnitStatus::ParseGetBits(QStringView Response) {
    // Collected in arrival order and turned round once: linear for any length of reply.
    QString bits;
    bits.reserve(std::min<qsizetype>(Response.size(), 64));
    for (QChar ch : Response) {
        if (ch == u'0' || ch == u'1') bits += ch;
    }
    std::reverse(bits.begin(), bits.end());
    return bits;
}

QString UnitStatus::GetStat(int Xunit) {
    const CommandExchange::Unhurried poll(link_);
    link_.SendCommand(QStringLiteral("GSTAT") + SignColumn(Xunit));
    return link_.Response;
}

std::optional<quint32> UnitStatus::ReadBits(int unit) {
    GetBits(unit);
    if (UnitBits.size() != kLamps) return std::nullopt;
    quint32 lamps = 0;
    for (int k = 1; k <= kLamps; ++k) {
        if (UnitBits[k - 1] == u'1') lamps |= 1u << (k - 1);
    }
    return lamps;
}

std::optional<quint32> UnitStatus::UpdateBitStatus(int unit) {
    const std::optional<quint32> lamps = ReadBits(unit);
    if (lamps) Q_EMIT LampsChanged(*lamps);
    return lamps;
}

}  // namespace vendra
