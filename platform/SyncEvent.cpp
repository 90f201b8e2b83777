#include "platform/SyncEvent.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace vaultix::platform {

namespace {
// One lock for all events, so that a wait for several events sees them change atomically, but
// a condition per waiter: a Set wakes only the threads waiting for that event, which keeps the
// dispatcher's hand-offs from waking every idle thread of the process.
std::mutex& EventLock() {
    static std::mutex lock;
    return lock;
}

struct TWaiter {
    std::condition_variable Changed;
    TSyncEvent* const* Events;
    std::size_t Count;

    TWaiter(TSyncEvent* const* AEvents, std::size_t ACount) : Events(AEvents), Count(ACount) {}

    bool WaitsFor(const TSyncEvent* Event) const {
        for (std::size_t i = 0; i < Count; ++i)
            if (Events[i] == Event) return true;
        return false;
    }
};

// Guarded by EventLock. Shared, so that a Set can wake a waiter after letting go of the lock
// (a woken thread then does not run straight into the lock its waker still holds) even if
// that waiter has left meanwhile.
std::vector<std::shared_ptr<TWaiter>>& Waiters() {
    static std::vector<std::shared_ptr<TWaiter>> waiters;
    return waiters;
}

} // namespace

TSyncEvent::TSyncEvent(bool ManualReset) : Manual(ManualReset) {}

void TSyncEvent::Set() {
    // An event rarely has more than one waiter; more than this are woken under the lock.
    constexpr std::size_t WakeLater = 4;
    std::array<std::shared_ptr<TWaiter>, WakeLater> wake;
    std::size_t count = 0;
    {
        std::lock_guard lock(EventLock());
        Signalled = true;
        for (const auto& waiter : Waiters()) {
            if (!waiter->WaitsFor(this)) continue;
            if (count < WakeLater)
                wake[count++] = waiter;
            else
                waiter->Changed.notify_one();
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        wake[i]->Changed.notify_one();
}

void TSyncEvent::Reset() {
    std::lock_guard lock(EventLock());
    Signalled = false;
}

bool TSyncEvent::IsSet() const {
    std::lock_guard lock(EventLock());
    return Signalled;
}

bool TSyncEvent::Wait(std::uint32_t TimeoutMs) {
    TSyncEvent* self = this;
    return WaitAny(&self, 1, TimeoutMs) == 0;
}

int TSyncEvent::WaitAny(std::initializer_list<TSyncEvent*> Events, std::uint32_t TimeoutMs) {
    return WaitAny(Events.begin(), Events.size(), TimeoutMs);
}

int TSyncEvent::TakeFirstSignalled(TSyncEvent* const* Events, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) {
        TSyncEvent* event = Events[i];
        if (event != nullptr && event->Signalled) {
            if (!event->Manual) event->Signalled = false;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TSyncEvent::WaitAny(TSyncEvent* const* Events, std::size_t Count, std::uint32_t TimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    std::unique_lock lock(EventLock());
    int index = TakeFirstSignalled(Events, Count);
    if (index >= 0) return index;
    const auto self = std::make_shared<TWaiter>(Events, Count);
    auto& waiters = Waiters();
    waiters.push_back(self);
    for (;;) {
        if (TimeoutMs == WaitInfinite) {
            self->Changed.wait(lock);
        } else if (self->Changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            index = TakeFirstSignalled(Events, Count);
            break;
        }
        index = TakeFirstSignalled(Events, Count);
        if (index >= 0) break;
    }
    waiters.erase(std::find(waiters.begin(), waiters.end(), self));
    return index;
}

} // namespace vaultix::platform
