#pragma once
// How far a long operation on the controller's table has come, as a value: the window chooses
// its caption, the command-line tool its bar.

namespace vendra {

struct ProgressReport {
    enum class Phase {
        Starting,   // nothing done yet
        Reading,    // entries of the controller's table read back
        Loading,    // lines of a tally file sent
        Changing,   // changes of an apply made
        Verifying,  // outputs asked back
    };
    Phase phase = Phase::Starting;
    int done = 0;   // steps done so far
    int total = 0;  // steps in all; 0 when not known
};

}  // namespace vendra
