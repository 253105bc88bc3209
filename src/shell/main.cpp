// The Vendra tally console.
#include "shell/program.h"

int main(int argc, char* argv[]) {
    return vendra::RunProgram(argc, argv);
}
