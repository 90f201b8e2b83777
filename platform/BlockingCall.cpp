#include "platform/BlockingCall.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <thread>

#include <unistd.h>

namespace vaultix::platform {

namespace {

// Nothing else in the program uses it, and its default action is to ignore it, so a stray one
// can do no harm.
constexpr int WakeSignal = SIGURG;

// A signal that lands just before the call enters the kernel is lost, so both the timer and
// Cancel repeat it at this interval until the call has returned.
constexpr long RepeatNs = 5'000'000;

void Nothing(int) {}

void InstallHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = Nothing;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the blocked call returns EINTR
        ::sigaction(WakeSignal, &action, nullptr);
    });
}

// A timer that signals the calling thread once the limit has passed, and again every few
// milliseconds after that.
class TDeadline {
public:
    explicit TDeadline(int TimeoutMs) {
        if (TimeoutMs < 0) return;
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = WakeSignal;
        event._sigev_un._tid = static_cast<int>(::gettid());
        if (::timer_create(CLOCK_MONOTONIC, &event, &Timer) != 0) return;
        Armed = true;
        itimerspec when{};
        const long long ns = static_cast<long long>(TimeoutMs) * 1'000'000 + 1;
        when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        when.it_interval.tv_nsec = RepeatNs;
        ::timer_settime(Timer, 0, &when, nullptr);
        Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    }
    ~TDeadline() {
        if (Armed) ::timer_delete(Timer);
    }
    bool Passed() const { return Armed && std::chrono::steady_clock::now() >= Until; }

private:
    timer_t Timer{};
    bool Armed = false;
    std::chrono::steady_clock::time_point Until{};
};

} // namespace

int TBlockingCall::Run(const std::function<int()>& Call, int TimeoutMs) {
    InstallHandler();
    std::uint64_t generation;
    {
        std::lock_guard lock(Lock);
        Running = true;
        Cancelled = false;
        generation = ++Generation;
        Thread = ::pthread_self();
    }
    int result;
    {
        const TDeadline deadline(TimeoutMs);
        result = Call();
        if (result == EINTR && deadline.Passed()) result = ETIMEDOUT;
    }
    std::lock_guard lock(Lock);
    Running = false;
    if (result == EINTR && Cancelled && Generation == generation) result = ECANCELED;
    return result;
}

void TBlockingCall::Cancel() {
    InstallHandler();
    std::uint64_t generation;
    {
        std::lock_guard lock(Lock);
        if (!Running) return;
        Cancelled = true;
        generation = Generation;
    }
    for (;;) {
        {
            // The thread is alive while Running is set: Run clears it under this lock before
            // the thread can go on to end.
            std::lock_guard lock(Lock);
            if (!Running || Generation != generation) return;
            ::pthread_kill(Thread, WakeSignal);
        }
        std::this_thread::sleep_for(std::chrono::nanoseconds(RepeatNs));
    }
}

} // namespace vaultix::platform
