#pragma once
// tally-sim: serves the simulated tally controller on a pseudo-terminal whose slave is published
// as a symlink, so the console (or a test) opens it like a serial device; optionally to one raw
// TCP client too. The options, their parser and the server, in the library so that a test can
// run them in its own process.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "sim/controller_model.h"

namespace vendra {

struct SimOptions {
    QString link;
    QString preload;
    QString log;
    QString inputs;
    int baud = 0;
    int delayMs = 0;
    int hangupAfter = 0;
    int silentAfter = -1;
    int faultAfter = 0;
    int faultLines = -1;
    int listen = -1;
    bool animate = false;
    std::optional<SimFault> fault;
    std::optional<QByteArray> version;
    std::vector<int> units;
    std::vector<QByteArray> refused;
    std::vector<QByteArray> ignored;
};

// Reads tally-sim's command line (args[0] is the program). Answers 0 when the options are good,
// -1 after printing the help, otherwise the exit code after printing why to standard error.
int ParseSimOptions(const QStringList& args, SimOptions& o);

class TallySim {
public:
    explicit TallySim(SimOptions options);

    // Publishes the link and serves until a stop signal (SIGTERM, SIGINT, SIGHUP) or the planned
    // hang-up; the link is gone again when it returns. Answers the exit code.
    int Run();

private:
    SimOptions options_;
};

// The whole program: the command line read, then the server run.
int TallySimMain(int argc, char** argv);

}  // namespace vendra
