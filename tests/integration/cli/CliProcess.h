#pragma once
// vaultix-cli as its own process, the way a person or a script runs it: arguments, standard
// input, standard output and error, signals and the exit status. Every wait has a deadline and
// a process that outlives it is killed, so that a hanging program fails its test instead of
// hanging the suite.

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vaultix::cli::testing {

using namespace std::chrono_literals;

struct TCliResult {
    int Status = -1; // the exit status; -1 when it was killed or ended by a signal
    std::string Out;
    std::string Err;
};

class TCliProcess {
public:
    // Starts Program (the built vaultix-cli by default) with Args, writes Input to its standard
    // input and closes it.
    explicit TCliProcess(const std::vector<std::string>& Args, const std::string& Input = "",
                         const std::string& Program = VAULTIX_CLI);
    ~TCliProcess();
    TCliProcess(const TCliProcess&) = delete;
    TCliProcess& operator=(const TCliProcess&) = delete;

    // Collects output until standard error holds Text; false when the deadline passes first or
    // the process ends without it.
    bool WaitForError(std::string_view Text, std::chrono::milliseconds Deadline = 30s);
    void Signal(int Number);
    // Collects output until the process ends; kills it at the deadline.
    TCliResult Wait(std::chrono::milliseconds Deadline = 60s);

private:
    // Reads what the pipes hold, waiting at most Timeout; false once both are closed.
    bool Collect(std::chrono::milliseconds Timeout);

    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    TCliResult FResult;
};

inline TCliResult RunCli(const std::vector<std::string>& Args, const std::string& Input = "") {
    return TCliProcess(Args, Input).Wait();
}

} // namespace vaultix::cli::testing
