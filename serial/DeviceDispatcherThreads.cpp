// Starting and stopping the dispatcher threads, their bookkeeping and their priorities.

#include "serial/DeviceDispatcher.h"

#include "platform/NotifyServices.h"
#include "platform/RuntimeExceptions.h"
#include "platform/SyncEvent.h"
#include "platform/TimeBase.h"
#include "serial/ThreadExceptionHook.h"

#include <algorithm>
#include <chrono>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
constexpr std::uint32_t ThreadStartAckMs = 3000;
// Two rounds of about 36 ticks for a dispatch thread that is inside a handler.
constexpr int DispatchLeaveMs = 36 * 55;
constexpr std::int32_t ThreadsPerDispatcher = 3;

// Taken for the last change of a dispatcher's thread count: the thread that brings it to 0
// clears ThreadsRunning first and touches the dispatcher no more once the count is 0, so the
// lock that orders the two cannot live in the dispatcher, which may be gone by then.
std::mutex& ThreadCountLock() {
    static std::mutex lock;
    return lock;
}
} // namespace

template <typename TThread>
void TOxWin32Dispatcher::LaunchThread(std::atomic<TOxDispatcherThread*>& Slot) {
    auto* thread = new TThread(*this);
    {
        // Published before it runs, so that its ThreadFinished finds it.
        std::lock_guard slots(ThreadSlotLock);
        Slot = thread;
    }
    try {
        thread->Start();
    } catch (...) {
        {
            std::lock_guard slots(ThreadSlotLock);
            Slot = nullptr;
        }
        delete thread;
        throw;
    }
}

void TOxWin32Dispatcher::DropThreadShares(std::int32_t Count) {
    std::lock_guard count(ThreadCountLock());
    if (ActiveThreads.load() <= Count) ThreadsRunning = false;
    ActiveThreads.fetch_sub(Count);
}

void TOxWin32Dispatcher::StartThreads() {
    std::lock_guard start(StartLock);
    if (ThreadsRunning.load()) throw Exception("Dispatcher already started");
    if (!ThreadAck) return; // not open: there is nothing for threads to serve
    {
        // All three are counted before the first runs: one that fails at once must not make
        // the dispatcher look stopped while the others are still being started.
        std::lock_guard count(ThreadCountLock());
        ThreadsRunning = true;
        StopThreadsFlag = false;
        ActiveThreads.fetch_add(ThreadsPerDispatcher);
    }
    std::int32_t launched = 0;
    try {
        ThreadAck->Reset();
        LaunchThread<TComThread>(ComThread);
        ++launched;
        ThreadAck->Wait(ThreadStartAckMs);
        ThreadAck->Reset();
        LaunchThread<TDispThread>(DispThread);
        ++launched;
        ThreadAck->Wait(ThreadStartAckMs);
        ThreadAck->Reset();
        LaunchThread<TOutThread>(OutThread);
        ++launched;
        ThreadAck->Wait(ThreadStartAckMs);
    } catch (...) {
        DropThreadShares(ThreadsPerDispatcher - launched);
        throw;
    }
}

bool TOxWin32Dispatcher::WaitThreadLeft(const std::atomic<TOxDispatcherThread*>& Slot,
                                        int TimeoutMs) {
    using TClock = std::chrono::steady_clock;
    const auto deadline = TClock::now() + std::chrono::milliseconds(std::max(TimeoutMs, 0));
    // The thread may need the main thread (a synchronised handler, a sent message) before it
    // can leave, so the main thread handles its messages while it waits.
    const bool pump = NotifyServices().IsMainThread();
    const auto step = std::chrono::milliseconds(pump ? 2 : 50);
    std::unique_lock slots(ThreadSlotLock);
    while (Slot.load() != nullptr) {
        if (TimeoutMs >= 0 && TClock::now() >= deadline) return false;
        if (pump) {
            slots.unlock();
            NotifyServices().ProcessPendingMessages();
            slots.lock();
            if (Slot.load() == nullptr) break;
        }
        ThreadLeft.wait_for(slots, step);
    }
    return true;
}

void TOxWin32Dispatcher::StopThreads() {
    if (!ThreadsRunning.load()) return;
    StopThreadsFlag = true;
    // The dispatch thread need not sit out its interval to see the flag.
    if (CommEventReady) CommEventReady->Set();
    // A dispatcher thread may run the stop (the dispatch thread releasing after a close from a
    // handler); it waits for the others, never for itself.
    TOxDispatcherThread* const self = TOxDispatcherThread::Current();
    const auto device = Device();

    if (OutThread.load() != nullptr) {
        if (OutputFlushRequest) OutputFlushRequest->Set();
        if (device) device->AbortWrite();
        if (OutThread.load() != self) WaitThreadLeft(OutThread, -1);
    }
    if (ComThread.load() != nullptr) {
        if (device) device->SetEventMask(0);
        if (CommEventDone) CommEventDone->Set();
        if (ThreadAck) ThreadAck->Reset();
        if (ComThread.load() != self) WaitThreadLeft(ComThread, -1);
    }
    if (DispThread.load() != nullptr && DispThread.load() != self) {
        if (!WaitThreadLeft(DispThread, DispatchLeaveMs)) {
            if (CommEventReady) CommEventReady->Set();
            // A dispatch thread stuck in a handler beyond this is left to finish on its own:
            // it still counts as active, so the events stay and the destructor waits for it.
            WaitThreadLeft(DispThread, DispatchLeaveMs);
        }
    }
    if (self != nullptr) return;
    if (ComThread.load() != nullptr || DispThread.load() != nullptr || OutThread.load() != nullptr)
        return;
    // Every thread has let go of its slot; what is left of ThreadFinished is short.
    while (ActiveThreads.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseEvents();
}

void TOxWin32Dispatcher::ThreadFinished(TOxDispatcherThread* Thread) {
    bool dispatch = false;
    {
        std::lock_guard slots(ThreadSlotLock);
        for (auto* slot : {&ComThread, &DispThread, &OutThread}) {
            TOxDispatcherThread* expected = Thread;
            if (slot->compare_exchange_strong(expected, nullptr)) dispatch = slot == &DispThread;
        }
    }
    ThreadLeft.notify_all();
    if (dispatch && ReleaseOnDispatchExit.exchange(false)) {
        try {
            ReleaseBuffers();
        } catch (...) {
            ShowThreadException(std::current_exception());
        }
    }
    std::lock_guard count(ThreadCountLock());
    if (ActiveThreads.load() == 1) ThreadsRunning = false;
    ActiveThreads.fetch_sub(1);
}

// ---- Priorities -----------------------------------------------------------------------------

int TOxWin32Dispatcher::PriorityFor(TThreadRole Role) {
    int level = tpNormal + BoostInForce.load();
    if (Role == trOutput && Rs485Active.load()) ++level;
    return std::min(level, tpTimeCritical);
}

void TOxWin32Dispatcher::ApplyPriorities() {
    const int comm = PriorityFor(trComm);
    const int dispatch = PriorityFor(trDispatch);
    const int output = PriorityFor(trOutput);
    std::lock_guard slots(ThreadSlotLock);
    if (TOxDispatcherThread* thread = ComThread.load()) thread->SetPriority(comm);
    if (TOxDispatcherThread* thread = DispThread.load()) thread->SetPriority(dispatch);
    if (TOxDispatcherThread* thread = OutThread.load()) thread->SetPriority(output);
}

void TOxWin32Dispatcher::SetThreadBoost(std::uint8_t Boost) {
    std::lock_guard state(StateLock);
    if (Boost == ThreadBoost) return;
    ThreadBoost = Boost;
    BoostInForce = Boost;
    ApplyPriorities();
}

} // namespace vaultix::serial
