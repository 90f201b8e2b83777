// Vaultix: saves the model memories of radio-control transmitters to files over a serial cable
// and writes them back. Until the main window is in place this entry only says what it will be.

#include <cstdio>

int main() {
    std::puts("Vaultix - transmitter settings backup.\n"
              "The backup window is not built yet; this build holds the serial layer and the\n"
              "transmitter tables. Run the test suite to exercise them.");
    return 0;
}
