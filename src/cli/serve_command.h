#pragma once
// "vendractl serve": the unattended service. It owns the line as the console does, polls the
// inputs of every unit that carries a configured input, logs each event on one line for the
// system journal, serves the live tally page when asked, lends the line to a console that asks
// for it and takes it back when the console ends.
#include <QString>

namespace vendra {

class ConsoleSession;
class StopSignal;

// On a configured session whose port is not open yet; `http` is ADDR:PORT of the page, or empty
// for none. Runs until SIGTERM or SIGINT and then answers 0; 2 when it cannot start (the page's
// address taken, another service on the line), with the reason logged as an error.
int ServeCommand(ConsoleSession& session, StopSignal& stop, const QString& http);

}  // namespace vendra
