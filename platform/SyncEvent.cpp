#include "platform/SyncEvent.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vaultix::platform {

namespace {
// One lock and one condition for all events: a wait for several events then needs no
// registration with each of them. A process has a handful of such events and waiters, so
// waking every waiter on each Set costs nothing worth a finer scheme.
std::mutex& EventLock() {
    static std::mutex lock;
    return lock;
}
std::condition_variable& EventChanged() {
    static std::condition_variable changed;
    return changed;
}

} // namespace

TSyncEvent::TSyncEvent(bool ManualReset) : Manual(ManualReset) {}

void TSyncEvent::Set() {
    {
        std::lock_guard lock(EventLock());
        Signalled = true;
    }
    EventChanged().notify_all();
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
    for (;;) {
        const int index = TakeFirstSignalled(Events, Count);
        if (index >= 0) return index;
        if (TimeoutMs == WaitInfinite) {
            EventChanged().wait(lock);
        } else if (EventChanged().wait_until(lock, deadline) == std::cv_status::timeout) {
            return TakeFirstSignalled(Events, Count);
        }
    }
}

} // namespace vaultix::platform
