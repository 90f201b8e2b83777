#pragma once
// The commands of vaultix-cli. Each writes its result to standard output, its progress and its
// failures to standard error, and returns the exit status; a failure may also be raised as
// ECliFailure, which carries its own.

#include "tools/cli/CliCommandLine.h"

namespace vaultix::cli {

// Without a port or a transfer.
TCliExit ListPorts(const TCliCommand& Command);
TCliExit ListBackup(const TCliCommand& Command);
TCliExit DiffBackups(const TCliCommand& Command);
TCliExit ExtractModel(const TCliCommand& Command);
TCliExit JoinBackups(const TCliCommand& Command);

// A transfer with the transmitter; an application object must exist.
TCliExit SaveBackup(const TCliCommand& Command);
TCliExit RestoreBackup(const TCliCommand& Command);

} // namespace vaultix::cli
