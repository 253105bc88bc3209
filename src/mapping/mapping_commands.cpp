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

bool MappingCommands::SetMapping(int Ounit, int Ochannel, int IUnit, int IChannel) {
    Q_EMIT MapFlash();
    if (IUnit < 1) {
        tables_.CurrentMapstring.clear();
        return online_() ? ClearPath(Ounit, Ochannel) : true;
    }
    tables_.CurrentMapstring = SingleMapString(Ounit, Ochannel, IUnit, IChannel);
    if (!online_()) return true;
    return link_.SendCommand(MapCommand(Ounit, Ochannel, IUnit, IChannel));
}

bool MappingCommands::SetBoolMapping(int Ounit, int Ochannel, int IUnit, int IChannel,
                                     int IUnitBool, int IChannelBool, int BoolType) {
    Q_EMIT MapFlash();
    if (IUnit <= 0) {
        tables_.CurrentMapstring.clear();
        return online_() ? ClearPath(Ounit, Ochannel) : true;
    }
    // Any mode but AND goes out as "OR": the stored string says what the controller was told.
    const int mode = BoolType == kAnd ? kAnd : kOr;
    tables_.CurrentMapstring =
        BoolMapString(Ounit, Ochannel, IUnit, IChannel, IUnitBool, IChannelBool, mode);
    if (!online_()) return true;
    return link_.SendCommand(BoolCommand(Ounit, Ochannel, IUnitBool, IChannelBool, mode));
}

bool MappingCommands::ClearPath(int Ounit, int Ochannel) {
    // The output goes dark before its mapping goes; only the clear's answer decides.
    ResetOutput(Ounit, Ochannel);
    return ClearMapping(Ounit, Ochannel);
}

bool MappingCommands::ClearMapping(int Ounit, int Ochannel) {
    return link_.SendCommand(OutputCommand(QStringLiteral("ClrMap"), Ounit, Ochannel));
}

void MappingCommands::MapTableCompress() {
    link_.SendCommand(QStringLiteral("Comp"));
}

void MappingCommands::ResetOutput(int Ounit, int Ochannel) {
    link_.SendCommand(OutputCommand(QStringLiteral("Res"), Ounit, Ochannel));
}

bool MappingCommands::SystemInit() {
    const bool answered = link_.SendCommand(QStringLiteral("Init"));
    tables_.ClearLocalMaps();
    return answered;
}

void MappingCommands::SystemRefresh(OutputTest& tests) {
    tests.ClearAllTest();
    link_.SendCommand(QStringLiteral("Refresh"));
}

}  // namespace vendra
