#pragma once
// The program entry: the application object, the services the serial layer reaches the
// user-interface thread through, the idle driver, the general error handler, the main window
// and the message loop.

#include <QString>

namespace vaultix::app {

// The application's help file: the user guide beside the program once the window is made.
QString& ApplicationHelpFile();

// Runs the program; the exit code.
int RunProgram(int argc, char** argv);

} // namespace vaultix::app
