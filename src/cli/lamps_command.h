#pragma once
// "vendractl lamps": every configured output's lamp as the controller's table and the units'
// live input bits make it, with the reason; once, or every change while watching.
#include <QList>
#include <QString>
#include <functional>

namespace vendra {

class ConsoleSession;
class InputBits;
struct LampRow;

struct LampsRequest {
    bool watch = false;
    bool json = false;
    QString output;  // only the outputs this names (number, unit/channel, part of a name)
    // Prints one error line and answers the exit code it was given.
    std::function<int(const QString& text, int code)> fail;
    // Ctrl+C was pressed.
    std::function<bool()> stopped;
};

// On a connected session. Exit codes as the tool's: 0, 2 (read-back incomplete, a unit did not
// answer, whose inputs are then shown unknown, or no output is named by --output), 130 (stopped
// during the read-back).
int LampsCommand(ConsoleSession& session, const LampsRequest& request);

// Every configured output's lamp from the table and `inputs`, the rows the inputs cannot explain
// settled by each output unit's status line (one "GSTAT" a unit).
QList<LampRow> LampsNow(ConsoleSession& session, const InputBits& inputs);

}  // namespace vendra
