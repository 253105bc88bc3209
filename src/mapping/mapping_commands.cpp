#include "mapping/mapping_commands.h"

#include "link/command_exchange.h"
#include "mapping/mapping_tables.h"
#include "mapping/output_test.h"
#include "platform/numbers.h"

namespace vendra {

MappingCommands::MappingCommands(MappingTables& tables, CommandExchange& link,
                                 std::function<bool()> online, QObject* parent)
    : QObject(parent), tables_(tables), link_(link), online_(std::move(online)) {}

QString MappingCommands::MapCommand(int Ounit, int Ochannel, int IUnit, int IChannel) {
    return QStringLiteral("Map") + SignColumn(Ounit) + SignColumn(Ochannel) + SignColumn(IUnit) +
           SignColumn(IChannel);
}

QString MappingCommands::BoolCommand(int Ounit, int Ochannel, int IUnitBool, int IChannelBool,
                                     int BoolType) {
    const QString word = BoolType == kAnd ? QStringLiteral("AND") : QStringLiteral("OR");
    return word + SignColumn(Ounit) + SignColumn(Ochannel) + SignColumn(IUnitBool) +
           SignColumn(IChannelBool);
}

QString MappingCommands::OutputCommand(const QString& word, int unit, int channel) {
    return word + SignColumn(unit) + QLatin1Char(' ') + SignColumn(channel);
}

Reply MappingCommands::SetMapping(int Ounit, int Ochannel, int IUnit, int IChannel) {
    Q_EMIT MapFlash();
    if (IUnit == 0) {
        tables_.CurrentMapstring.clear();
        return online_() ? ClearPath(Ounit, Ochannel) : Reply{};
    }
    tables_.CurrentMapstring = SingleMapString(Ounit, Ochannel, IUnit, IChannel);
    if (!online_()) return {};
    return link_.Exchange(MapCommand(Ounit, Ochannel, IUnit, IChannel));
}

Reply MappingCommands::SetBoolMapping(int Ounit, int Ochannel, int IUnit, int IChannel,
                                      int IUnitBool, int IChannelBool, int BoolType) {
    Q_EMIT MapFlash();
    if (IUnit == 0) {
        tables_.CurrentMapstring.clear();
        return online_() ? ClearPath(Ounit, Ochannel) : Reply{};
    }
    // Any mode but AND goes out as "OR": the stored string says what the controller was told.
    const int mode = BoolType == kAnd ? kAnd : kOr;
    tables_.CurrentMapstring =
        BoolMapString(Ounit, Ochannel, IUnit, IChannel, IUnitBool, IChannelBool, mode);
    if (!online_()) return {};
    return link_.Exchange(BoolCommand(Ounit, Ochannel, IUnitBool, IChannelBool, mode));
}

Reply MappingCommands::ClearPath(int Ounit, int Ochannel) {
    // The output goes dark before its mapping goes; only the clear's answer decides.
    ResetOutput(Ounit, Ochannel);
    return ClearMapping(Ounit, Ochannel);
}

Reply MappingCommands::ClearMapping(int Ounit, int Ochannel) {
    return link_.Exchange(OutputCommand(QStringLiteral("ClrMap"), Ounit, Ochannel));
}

Reply MappingCommands::MapTableCompress() {
    return link_.Exchange(QStringLiteral("Comp"));
}

void MappingCommands::ResetOutput(int Ounit, int Ochannel) {
    link_.Exchange(OutputCommand(QStringLiteral("Res"), Ounit, Ochannel));
}

Reply MappingCommands::SystemInit() {
    const Reply reply = link_.Exchange(QStringLiteral("Init"));
    // A controller that refused still holds its table; one that did not answer may not.
    if (!reply.IsError()) tables_.ClearLocalMaps();
    return reply;
}

Reply MappingCommands::SystemRefresh(OutputTest& tests) {
    const Reply reply = link_.Exchange(QStringLiteral("Refresh"));
    // Only a "Refresh" the controller made has ended the tests.
    if (OutcomeOf(true, reply) == ChangeOutcome::Made) tests.ClearAllTest();
    return reply;
}

}  // namespace vendra
