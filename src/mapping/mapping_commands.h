#pragma once
// The commands that change the controller's mapping table, and the system-wide reset and
// refresh. Each mapping command also leaves the mapping string of the new mapping in
// tables.CurrentMapstring; storing it in the output's OutMapString is the caller's work.
#include <QObject>
#include <QString>
#include <functional>

namespace vendra {

class CommandExchange;
class OutputTest;
struct MappingTables;

class MappingCommands : public QObject {
    Q_OBJECT
public:
    MappingCommands(MappingTables& tables, CommandExchange& link, std::function<bool()> online,
                    QObject* parent = nullptr);

    // Maps the output to one input. IUnit below 1 ("Unassigned") resets the output and clears
    // its mapping instead. Online, the result is the success of the last exchange; offline
    // nothing is sent and the result is true.
    bool SetMapping(int Ounit, int Ochannel, int IUnit, int IChannel);
    // Adds the second input of an AND (BoolType 1) or OR (any other value) mapping; the first
    // input is set by a "Map" sent before. IUnit not above 0 clears as SetMapping does.
    bool SetBoolMapping(int Ounit, int Ochannel, int IUnit, int IChannel, int IUnitBool,
                        int IChannelBool, int BoolType);
    // True when the controller answered anything. Does not look at the online state.
    bool ClearMapping(int Ounit, int Ochannel);
    // Asks the controller to remove the holes from its table.
    void MapTableCompress();
    // Switches one output off.
    void ResetOutput(int Ounit, int Ochannel);
    // Empties the controller's table and the local copy; true when the controller answered.
    bool SystemInit();
    // Ends every output test, then asks the controller to refresh.
    void SystemRefresh(OutputTest& tests);

    // Command texts, as they go on the wire (without the line end).
    static QString MapCommand(int Ounit, int Ochannel, int IUnit, int IChannel);
    static QString BoolCommand(int Ounit, int Ochannel, int IUnitBool, int IChannelBool,
                               int BoolType);
    // "ClrMap", "Res", "GetMap", "Set"...: the word, the unit, one blank, the channel.
    static QString OutputCommand(const QString& word, int unit, int channel);

Q_SIGNALS:
    // A mapping command starts: "Map Tally" turns red until the interface is idle again.
    void MapFlash();

private:
    bool ClearPath(int Ounit, int Ochannel);

    MappingTables& tables_;
    CommandExchange& link_;
    std::function<bool()> online_;
};

}  // namespace vendra
