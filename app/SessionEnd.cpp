#include "app/SessionEnd.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace vaultix::app {

namespace {

constexpr std::array<int, 3> EndingSignals = {SIGTERM, SIGHUP, SIGINT};

// The pipe from the signal handler to the event loop: [0] is read, [1] written.
int SignalPipe[2] = {-1, -1};

// What to run when the process exits without the program having ended its loop.
std::function<void()>& ExitAction() {
    static std::function<void()> Action;
    return Action;
}

void OnEndingSignal(int) {
    const int Saved = errno;
    const char Byte = 1;
    // A full pipe already holds a wake-up; nothing else is allowed here.
    [[maybe_unused]] const ssize_t Written = ::write(SignalPipe[1], &Byte, 1);
    errno = Saved;
}

void RunExitAction() {
    // Taken out first, so that it runs once even if it ends the process itself.
    const std::function<void()> Action = std::move(ExitAction());
    ExitAction() = nullptr;
    if (Action) Action();
}

} // namespace

TSessionEnd::TSessionEnd(std::function<void()> OnSignal, std::function<void()> OnExit)
    : FOnSignal(std::move(OnSignal)) {
    if (SignalPipe[0] < 0 && ::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FNotifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { SignalArrived(); });
    struct sigaction Action {};
    Action.sa_handler = OnEndingSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    for (const int Signal : EndingSignals)
        ::sigaction(Signal, &Action, nullptr);
    static const bool Registered = std::atexit(RunExitAction) == 0;
    if (Registered) ExitAction() = std::move(OnExit);
}

TSessionEnd::~TSessionEnd() {
    ExitAction() = nullptr;
    for (const int Signal : EndingSignals)
        std::signal(Signal, SIG_DFL);
}

void TSessionEnd::SignalArrived() {
    char Bytes[64];
    while (::read(SignalPipe[0], Bytes, sizeof Bytes) > 0) {
    }
    if (FOnSignal) FOnSignal();
}

} // namespace vaultix::app
