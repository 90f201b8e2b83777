#include "CliProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vaultix::cli::testing {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

TCliProcess::TCliProcess(const std::vector<std::string>& Args, const std::string& Input,
                         const std::string& Program) {
    int In[2], Out[2], Err[2];
    if (::pipe2(In, O_CLOEXEC) != 0 || ::pipe2(Out, O_CLOEXEC) != 0 ||
        ::pipe2(Err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes for " << Program;
        return;
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, In[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Err[1], STDERR_FILENO);
    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program.c_str()));
    for (const std::string& Arg : Args)
        Argv.push_back(const_cast<char*>(Arg.c_str()));
    Argv.push_back(nullptr);
    const int Error =
        ::posix_spawn(&FPid, Program.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    ::close(In[0]);
    ::close(Out[1]);
    ::close(Err[1]);
    if (Error != 0) {
        ADD_FAILURE() << "cannot start " << Program << ": " << std::strerror(Error);
        FPid = -1;
    } else if (!Input.empty()) {
        // Small enough for the pipe: the program reads it when it is ready.
        EXPECT_EQ(::write(In[1], Input.data(), Input.size()), static_cast<ssize_t>(Input.size()));
    }
    ::close(In[1]);
    FOut = Out[0];
    FErr = Err[0];
}

TCliProcess::~TCliProcess() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    if (FOut >= 0) ::close(FOut);
    if (FErr >= 0) ::close(FErr);
}

bool TCliProcess::Collect(std::chrono::milliseconds Timeout) {
    pollfd Fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    if (FOut < 0 && FErr < 0) return false;
    if (::poll(Fds, 2, static_cast<int>(Timeout.count())) <= 0) return true;
    for (int I = 0; I < 2; ++I) {
        if (Fds[I].fd < 0 || Fds[I].revents == 0) continue;
        char Buffer[4096];
        const ssize_t Got = ::read(Fds[I].fd, Buffer, sizeof Buffer);
        if (Got > 0) {
            (I == 0 ? FResult.Out : FResult.Err).append(Buffer, static_cast<std::size_t>(Got));
        } else if (Got == 0 || errno != EINTR) {
            ::close(Fds[I].fd);
            (I == 0 ? FOut : FErr) = -1;
        }
    }
    return true;
}

bool TCliProcess::WaitForError(std::string_view Text, std::chrono::milliseconds Deadline) {
    const auto Until = Clock::now() + Deadline;
    while (FResult.Err.find(Text) == std::string::npos) {
        if (Clock::now() > Until || !Collect(50ms)) return false;
    }
    return true;
}

void TCliProcess::Signal(int Number) {
    if (FPid > 0) ::kill(FPid, Number);
}

TCliResult TCliProcess::Wait(std::chrono::milliseconds Deadline) {
    const auto Until = Clock::now() + Deadline;
    while (Collect(50ms))
        if (Clock::now() > Until) {
            ADD_FAILURE() << "vaultix-cli did not end within " << Deadline.count() << " ms";
            Signal(SIGKILL);
            break;
        }
    int Status = 0;
    if (FPid > 0 && ::waitpid(FPid, &Status, 0) == FPid)
        FResult.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    FPid = -1;
    return FResult;
}

} // namespace vaultix::cli::testing
