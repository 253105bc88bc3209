#pragma once
// "vendractl lamps": every configured output's lamp as the controller's table and the units'
// live input bits make it, with the reason; once, or every change while watching.
#include <QString>
#include <functional>

namespace vendra {

class ConsoleSession;

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

}  // namespace vendra
