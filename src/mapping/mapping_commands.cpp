#include "mapping/mapping_commands.h"

#include "link/command_exchange.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_tables.h"
#include "mapping/output_test.h"

namespace vendra {

MappingCommands::MappingCommands(MappingTables& tables, CommandExchange& link,
                                 std::function<bool()> online, QObject* parent)
    : QObject(parent), tables_(tables), link_(link), online_(std::move(online)) {}

Reply MappingCommands::SetMapping(int Ounit, int Ochannel, int IUnit, int IChannel) {
    Q_EMIT MapFlash();
    tables_.CurrentMapstring =
        IUnit == 0 ? QString() : SingleMapString(Ounit, Ochannel, IUnit, IChannel);
    if (!online_()) return {};
    return Send({Ounit, Ochannel, IUnit, IChannel, 1});
}

Reply MappingCommands::SetBoolMapping(int Ounit, int Ochannel, int IUnit, int IChannel,
                                      int IUnitBool, int IChannelBool, int BoolType) {
    Q_EMIT MapFlash();
    // Any mode but AND goes out as "OR": the stored string says what the controller was told.
    const int mode = BoolType == kAnd ? kAnd : kOr;
    tables_.CurrentMapstring =
        IUnit == 0 ? QString()
                   : BoolMapString(Ounit, Ochannel, IUnit, IChannel, IUnitBool, IChannelBool, mode);
    if (!online_()) return {};
    return Send({Ounit, Ochannel, IUnit, IChannel, 1, IUnitBool, IChannelBool, mode});
}

Reply MappingCommands::Send(const MappingRecord& target) {
    QStringList lines = MappingLines(target);
    if (target.InUnit == 0) {
        // The output goes dark before its mapping goes; only the clear's answer decides.
        link_.Exchange(lines.takeFirst());
    } else if (target.BooleanMode != kSingle) {
        // The "Map" of the first input went before, and was made: only the second input goes.
        lines = lines.mid(1);
    }
    return SendLines(link_, lines).reply;
}

Reply MappingCommands::ClearMapping(int Ounit, int Ochannel) {
    return link_.Exchange(OutputLine(QStringLiteral("ClrMap"), Ounit, Ochannel));
}

Reply MappingCommands::MapTableCompress() {
    return link_.Exchange(QStringLiteral("Comp"));
}

void MappingCommands::ResetOutput(int Ounit, int Ochannel) {
    link_.Exchange(OutputLine(QStringLiteral("Res"), Ounit, Ochannel));
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
