// tally-sim: the simulated tally controller on a pseudo-terminal (sim/tally_sim.h).
#include "sim/tally_sim.h"

int main(int argc, char** argv) {
    return vendra::TallySimMain(argc, argv);
}
