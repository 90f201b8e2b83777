#include "platform/ModemLineWatch.h"

#include <cerrno>
#include <chrono>

#include <linux/serial.h>
#include <pthread.h>
#include <sys/ioctl.h>

namespace vaultix::platform {

namespace {

constexpr int WatchedLines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;

// A driver whose wait returns at once without a change would make the watch spin; after this
// many such returns in a row it is treated as refusing the wait.
constexpr int IdleReturnsLimit = 20;

bool ModemChangeCount(int Fd, unsigned& Count) {
    serial_icounter_struct counts{};
    if (::ioctl(Fd, TIOCGICOUNT, &counts) != 0) return false;
    Count = static_cast<unsigned>(counts.cts + counts.dsr + counts.rng + counts.dcd);
    return true;
}

} // namespace

void TModemLineWatch::Start(int Fd, std::function<void()> OnChange) {
    Stop();
    Changed = std::move(OnChange);
    Stopping = false;
    if (!Look(Fd)) return;
    Exited = false;
    Active = true;
    Thread = std::thread([this, Fd] { Main(Fd); });
}

void TModemLineWatch::Stop() {
    Stopping = true;
    // The wait may not have begun when the first cancel comes: repeat until the thread is out.
    while (!Exited.load()) {
        Wait.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (Thread.joinable()) Thread.join();
    Active = false;
}

bool TModemLineWatch::Levels(int& Bits) const {
    if (!Active.load()) return false;
    Bits = FBits.load();
    return true;
}

void TModemLineWatch::CheckCount(unsigned ChangeCount) {
    if (Active.load() && CountKnown.load() && ChangeCount != SeenCount.load()) Wait.Cancel();
}

bool TModemLineWatch::Look(int Fd) {
    unsigned count = 0;
    const bool counted = ModemChangeCount(Fd, count);
    int bits = 0;
    if (::ioctl(Fd, TIOCMGET, &bits) != 0) return false;
    FBits = bits;
    SeenCount = count;
    CountKnown = counted;
    return true;
}

void TModemLineWatch::Main(int Fd) {
    ::pthread_setname_np(::pthread_self(), "vx-lines");
    int idleReturns = 0;
    while (!Stopping.load()) {
        const int result =
            Wait.Run([Fd] { return ::ioctl(Fd, TIOCMIWAIT, WatchedLines) == 0 ? 0 : errno; }, -1);
        if (Stopping.load()) break;
        if (result != 0 && result != EINTR && result != ECANCELED) break; // refused or gone
        const int before = FBits.load();
        if (!Look(Fd)) break;
        if (FBits.load() != before) {
            idleReturns = 0;
            if (Changed) Changed();
        } else if (result == 0 && ++idleReturns >= IdleReturnsLimit) {
            break;
        }
    }
    // From here on the caller asks the device itself.
    Active = false;
    Exited = true;
}

} // namespace vaultix::platform
