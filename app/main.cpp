// Vaultix: saves the model memories of radio-control transmitters to files over a serial cable
// and writes them back.

#include "app/Program.h"

int main(int argc, char** argv) {
    return vaultix::app::RunProgram(argc, argv);
}
