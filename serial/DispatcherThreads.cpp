// The run loops of the comm, dispatch and output threads, and the output drain.

#include "serial/DispatcherThreads.h"

#include "platform/ActivitySignal.h"
#include "platform/NotifyServices.h"
#include "platform/SyncEvent.h"
#include "serial/DeviceDispatcher.h"
#include "serial/ThreadExceptionHook.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

#include <pthread.h>

#include <sys/resource.h>
#include <unistd.h>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
thread_local TOxDispatcherThread* CurrentThread = nullptr;

// Nice values for the priority scale. An unprivileged process may only move a thread down;
// the levels above normal then simply do not take.
constexpr std::array<int, 7> NiceForLevel = {19, 10, 5, 0, -5, -10, -20};

constexpr std::uint32_t DispatchIntervalMs = 50;
constexpr std::uint32_t BacklogIntervalMs = 1;
constexpr std::uint32_t ModemEvents =
    evCts | evDsr | evRlsd | evRing | evRingTrailing | evBreak | evErr;
} // namespace

// ---- Base ---------------------------------------------------------------------------------

TOxDispatcherThread::TOxDispatcherThread(TOxWin32Dispatcher& ADispatcher, TThreadRole ARole)
    : Dispatcher(ADispatcher), FRole(ARole) {}

TOxDispatcherThread* TOxDispatcherThread::Current() {
    return CurrentThread;
}

void TOxDispatcherThread::Start() {
    std::thread([this] {
        Main();
        delete this;
    }).detach();
}

void TOxDispatcherThread::Main() {
    CurrentThread = this;
    Tid = static_cast<int>(::gettid());
    // Named for the tools that list a process's threads (top, /proc).
    static constexpr std::array<const char*, 3> Names = {"vx-comm", "vx-dispatch", "vx-output"};
    ::pthread_setname_np(::pthread_self(), Names[FRole]);
    // A priority change that came before the id was known is applied here.
    const int level = Dispatcher.PriorityFor(FRole);
    if (level != tpNormal) SetPriority(level);
    try {
        Execute();
    } catch (...) {
        ShowThreadException(std::current_exception());
    }
    try {
        Leaving();
    } catch (...) {
        ShowThreadException(std::current_exception());
    }
    Dispatcher.ThreadFinished(this);
    CurrentThread = nullptr;
}

void TOxDispatcherThread::SetPriority(int Level) {
    const int tid = Tid.load();
    if (tid == 0) return;
    const int nice =
        NiceForLevel[static_cast<std::size_t>(std::clamp(Level, tpIdle, tpTimeCritical))];
    // Refused (no privilege to raise): the thread keeps running as it is.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void TOxDispatcherThread::SyncCall(std::uint32_t Message, std::uintptr_t First,
                                   std::uintptr_t Second, TSyncCallback Callback, void* UserData) {
    FMessage = Message;
    FFirst = First;
    FSecond = Second;
    FCallback = Callback;
    FUserData = UserData;
    if (FCallback == nullptr) return;
    NotifyServices().RunOnMainThread([this] { FCallback(FUserData, FMessage, FFirst, FSecond); });
}

// ---- Comm thread --------------------------------------------------------------------------

void TComThread::Execute() {
    TOxWin32Dispatcher& d = Dispatcher;
    std::uint32_t mask = TOxWin32Dispatcher::FullEventMask;
    d.SetCommMask(mask);
    d.SetCommTimeouts();
    d.ThreadAck->Set();
    do {
        std::uint32_t events = 0;
        errno = 0;
        if (d.WaitDeviceEvent(events, nullptr)) {
            d.LastEventMask = events;
            if (events & (evRingTrailing | evRing)) d.RingSeen = true;
        } else if (errno == EINVAL && (mask & evRingTrailing)) {
            // The driver does not report the ring's trailing edge; the rest still works.
            mask = TOxWin32Dispatcher::BasicEventMask;
            d.SetCommMask(mask);
            events = 0;
        } else {
            // The device failed or went away: no more events will come. The application
            // learns of a hang-up from the device when it next looks.
            if (const auto device = d.Device(); device && device->IsHungUp()) SignalActivity();
            return;
        }
        if (d.StopThreadsFlag.load()) return;
        d.CommEventReady->Set();
        // The next wait starts only after the dispatch thread has handled this event.
        d.CommEventDone->Wait(WaitInfinite);
        if (events & ModemEvents) SignalActivity();
        // Bytes the application cannot act on yet are left to gather in the device, so that
        // a line at speed costs a hand-off every few bytes rather than at each one. A stop
        // sets the event and ends the wait.
        else if (events == evRxChar && !d.StopThreadsFlag.load())
            if (const std::uint32_t gather = d.InputGatherMs(); gather > 0)
                d.CommEventDone->Wait(gather);
    } while (!d.StopThreadsFlag.load());
}

void TComThread::Leaving() {
    Dispatcher.ThreadAck->Set();
}

// ---- Dispatch thread ----------------------------------------------------------------------

void TDispThread::Execute() {
    TOxWin32Dispatcher& d = Dispatcher;
    d.ThreadAck->Set();
    std::uint32_t interval = DispatchIntervalMs;
    bool backlog = false;
    auto sampled = std::chrono::steady_clock::now();
    do {
        TSyncEvent::WaitAny({d.CommEventReady.get(), d.InputRoomMade.get()}, interval);
        if (d.StopThreadsFlag.load()) break;
        d.ProcessDeviceEvent();
        const bool arrived = d.InputArrived.exchange(false);
        if (arrived && d.InputWakeDue()) SignalActivity();
        d.ProcessTimersAndStatus();
        // Lines and counters at the pass's own pace, however often input makes it run.
        if (const auto now = std::chrono::steady_clock::now();
            now - sampled >= std::chrono::milliseconds(DispatchIntervalMs)) {
            sampled = now;
            d.SampleDeviceLines();
        }
        bool full;
        {
            std::lock_guard input(d.InputLock);
            full = d.InFull;
        }
        // A full ring leaves input in the device, and no line event comes for it while the
        // far end waits for room. So the ring is looked at again soon after the application
        // may have read from it, backing off while it does not.
        if (!full)
            interval = DispatchIntervalMs;
        else if (arrived)
            interval = BacklogIntervalMs;
        else
            interval = std::min(interval * 2, DispatchIntervalMs);
        // The comm thread's wait only samples a device holding input it already reported;
        // once the backlog is taken, it is released to watch for new input again.
        if (backlog && !full)
            if (const auto device = d.Device()) device->CancelWait();
        backlog = full;
    } while (!d.StopThreadsFlag.load() && !d.CloseRequested.load());
    d.ThreadAck->Set();
}

void TDispThread::Leaving() {
    TOxWin32Dispatcher& d = Dispatcher;
    if (d.Delivering.load()) {
        // A handler's exception ended the thread inside a delivery. Deliveries run on this
        // thread only, so none is in progress any more; left set, the flag would make a later
        // close wait for a dispatch thread that is gone.
        std::lock_guard input(d.InputLock);
        d.AvailDelivery = false;
        d.HandlerTaken = 0;
        d.Delivering = false;
    }
    d.ReleaseOnDispatchExit = d.CloseRequested.load() || d.StopThreadsFlag.load();
}

// ---- Output thread ------------------------------------------------------------------------

void TOutThread::Execute() {
    TOxWin32Dispatcher& d = Dispatcher;
    d.ThreadAck->Set();
    do {
        const int woken =
            TSyncEvent::WaitAny(d.OutputWaitArray.data(), d.OutputWaitArray.size(), WaitInfinite);
        if (woken == 0) {
            if (d.StopThreadsFlag.load()) break;
            Drain();
        } else if (woken == 1) {
            d.ThreadAck->Set();
        }
    } while (!d.StopThreadsFlag.load() && !d.CloseRequested.load());
}

void TOutThread::Drain() {
    TOxWin32Dispatcher& d = Dispatcher;
    bool sent = false;
    for (;;) {
        const std::uint8_t* run;
        std::uint32_t count;
        {
            std::lock_guard output(d.OutputLock);
            if (d.OutRing.empty() || (!d.OutFull && d.OutHead == d.OutTail)) break;
            const TOutputRun next =
                NextOutputRun(d.OutRing.data(), d.OutRingSize, d.OutHead, d.OutTail);
            run = d.OutRing.data() + next.Start;
            count = next.Count;
        }
        // Producers only append behind the head meanwhile, so the run stays as it is; the
        // ring itself is freed only after this thread has left.
        const int error = d.WriteRun(run, count);
        if (error == ECANCELED) {
            // An output purge (or the stop) wants the thread; the purge empties the ring.
            d.OutputFlushRequest->Wait(0);
            d.ThreadAck->Set();
            return;
        }
        // Sent, or failed for good (hung up, closed): either way these bytes are done with, so
        // a dead device cannot keep the thread writing the same run over and over.
        d.AdvanceOutputTail(count);
        sent = true;
        SignalActivity();
    }
    if (sent && d.Rs485Active.load()) {
        bool driverToggles;
        {
            std::lock_guard output(d.OutputLock);
            driverToggles = d.HasRtsToggle;
        }
        // The write returned once the transmitter was empty, so the line can be released.
        if (!driverToggles) d.SetRtsState(false);
    }
}

TOutputRun NextOutputRun(std::uint8_t* Ring, std::uint32_t Size, std::uint32_t& Head,
                         std::uint32_t& Tail) {
    if (Tail < Head) return {Tail, Head - Tail};
    if (Head == 0) return {Tail, Size - Tail};
    // Older bytes lie from Tail to the end, newer ones from 0 to Head: bring the older ones to
    // the front so that both follow in order. The rotation is in place.
    const std::uint32_t pending = Size - Tail + Head;
    std::rotate(Ring, Ring + Tail, Ring + Size);
    Tail = 0;
    Head = pending == Size ? 0 : pending;
    return {0, pending};
}

} // namespace vaultix::serial
