#pragma once
// The commands that change the controller's mapping table, and the system-wide reset and
// refresh. Each mapping command also leaves the mapping string of the new mapping in
// tables.CurrentMapstring; storing it in the output's OutMapString is the caller's work.
#include <QObject>
#include <QString>
#include <functional>

#include "link/command_exchange.h"

namespace vendra {

class OutputTest;
struct MappingRecord;
struct MappingTables;

class MappingCommands : public QObject {
    Q_OBJECT
public:
    MappingCommands(MappingTables& tables, CommandExchange& link, std::function<bool()> online,
                    QObject* parent = nullptr);

    // Maps the output to one input. An input unit of 0 is no input (the "Unassigned" row, an
    // input without an address): the output is reset and its mapping cleared instead. Any other
    // unit, one below 1 included, is mapped. Answers the reply of the command that decides
    // (the "Map", or the "ClrMap"); offline nothing is sent and the reply is not to be read:
    // OutcomeOf(false, ...) is Offline.
    Reply SetMapping(int Ounit, int Ochannel, int IUnit, int IChannel);
    // Adds the second input of an AND (BoolType 1) or OR (any other value) mapping; the first
    // input is set by a "Map" sent before. An input unit of 0 clears as SetMapping does.
    Reply SetBoolMapping(int Ounit, int Ochannel, int IUnit, int IChannel, int IUnitBool,
                         int IChannelBool, int BoolType);
    // Sends "ClrMap". Does not look at the online state.
    Reply ClearMapping(int Ounit, int Ochannel);
    // Asks the controller to remove the holes from its table. Until it has, a read-back ends at
    // the first hole.
    Reply MapTableCompress();
    // Switches one output off.
    void ResetOutput(int Ounit, int Ochannel);
    // Empties the controller's table and, unless the controller refused, the local copy.
    Reply SystemInit();
    // Asks the controller to refresh; unless it refused, every output test ends.
    Reply SystemRefresh(OutputTest& tests);

Q_SIGNALS:
    // A mapping command starts: "Map Tally" turns red until the interface is idle again.
    void MapFlash();

private:
    // Sends the lines that give the output `target` (mapping_lines), as the editor does.
    Reply Send(const MappingRecord& target);

    MappingTables& tables_;
    CommandExchange& link_;
    std::function<bool()> online_;
};

}  // namespace vendra
