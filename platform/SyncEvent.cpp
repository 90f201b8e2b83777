#include "platform/SyncEvent.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
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

    bool WaitsFor(const TSyncEvent* Event) const {
        for (std::size_t i = 0; i < Count; ++i)
            if (Events[i] == Event) return true;
        return false;
    }
};

// Guarded by EventLock.
std::vector<TWaiter*>& Waiters() {
    static std::vector<TWaiter*> waiters;
    return waiters;
}

} // namespace

TSyncEvent::TSyncEvent(bool ManualReset) : Manual(ManualReset) {}

void TSyncEvent::Set() {
    std::lock_guard lock(EventLock());
    Signalled = true;
    // Notified under the lock: a waiter's condition lives on its stack and is gone once the
    // waiter has left.
    for (TWaiter* waiter : Waiters())
        if (waiter->WaitsFor(this)) waiter->Changed.notify_one();
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
    TWaiter self{{}, Events, Count};
    auto& waiters = Waiters();
    waiters.push_back(&self);
    for (;;) {
        if (TimeoutMs == WaitInfinite) {
            self.Changed.wait(lock);
        } else if (self.Changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            index = TakeFirstSignalled(Events, Count);
            break;
        }
        index = TakeFirstSignalled(Events, Count);
        if (index >= 0) break;
    }
    waiters.erase(std::find(waiters.begin(), waiters.end(), &self));
    return index;
}

} // namespace vaultix::platform
