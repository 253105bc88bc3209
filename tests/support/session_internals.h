#pragma once
// The tests' and the benches' way to the session's parts, which the program itself reaches only
// through the services.
#include "link/online_state.h"
#include "mapping/output_test.h"
#include "platform/serial_port.h"
#include "session/console_session.h"
#include "session/undo_history.h"

namespace vendra {

class SessionInternals {
public:
    // The exchange, with the raw text of the last reply (IBuffer).
    static const CommandExchange& Exchange(const ConsoleSession& s) { return *s.exchange_; }
    // The reply deadline measured on another clock (a simulated line's).
    static void SetLineClock(ConsoleSession& s, CommandExchange::Clock clock) {
        s.exchange_->SetClock(std::move(clock));
    }
    static bool PortOpen(const ConsoleSession& s) { return s.link_->port_.IsOpen(); }
    // The controller's version line, as the last probe left it.
    static QString ControllerVersion(const ConsoleSession& s) { return s.online_->MainCPUVersion; }
    // The controller holds output o forced on by a test.
    static bool UnderTest(const ConsoleSession& s, int o) { return s.outputTest_->UnderTest(o); }
    // Lines of the last load that name no configured output.
    static QStringList LoadLeftOut(const ConsoleSession& s) { return s.files_->LeftOut(); }
    static bool CanUndo(const ConsoleSession& s) { return s.history_->CanUndo(); }
    // Loads write to the journal (the default), or not: for a measure of the journal's cost.
    static void WriteLoadsToJournal(ConsoleSession& s, bool on) {
        s.files_->SetJournal(on ? s.journal_.get() : nullptr);
    }
};

}  // namespace vendra
