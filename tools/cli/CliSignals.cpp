#include "tools/cli/CliSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <stdexcept>
#include <unistd.h>

namespace vaultix::cli {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int WakePipe[2] = {-1, -1};
volatile std::sig_atomic_t StopAsked = 0;

extern "C" void OnStopSignal(int) {
    const int Saved = errno;
    StopAsked = 1;
    const char Byte = 1;
    // The pipe is non-blocking: a full pipe already wakes the loop.
    [[maybe_unused]] const ssize_t Written = ::write(WakePipe[1], &Byte, 1);
    errno = Saved;
}

sigset_t StopSignalSet() {
    sigset_t Set;
    sigemptyset(&Set);
    for (const int Signal : StopSignals)
        sigaddset(&Set, Signal);
    return Set;
}

} // namespace

TStopSignals::TStopSignals() {
    if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot watch for Ctrl-C");
    StopAsked = 0;
    struct sigaction Action {};
    Action.sa_handler = OnStopSignal;
    sigemptyset(&Action.sa_mask);
    // No SA_RESTART: a wait for the Enter key ends at Ctrl-C.
    Action.sa_flags = 0;
    for (const int Signal : StopSignals)
        ::sigaction(Signal, &Action, nullptr);
}

TStopSignals::~TStopSignals() {
    struct sigaction Action {};
    Action.sa_handler = SIG_DFL;
    sigemptyset(&Action.sa_mask);
    for (const int Signal : StopSignals)
        ::sigaction(Signal, &Action, nullptr);
    ::close(WakePipe[0]);
    ::close(WakePipe[1]);
    WakePipe[0] = WakePipe[1] = -1;
}

int TStopSignals::WakeDescriptor() const {
    return WakePipe[0];
}

bool TStopSignals::Requested() const {
    return StopAsked != 0;
}

void TStopSignals::HoldInThisThread() {
    const sigset_t Set = StopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &Set, nullptr);
}

void TStopSignals::ReleaseInThisThread() {
    const sigset_t Set = StopSignalSet();
    ::pthread_sigmask(SIG_UNBLOCK, &Set, nullptr);
}

} // namespace vaultix::cli
