#pragma once
// The three threads that drive a dispatcher. The comm thread waits for line events and hands
// each to the dispatch thread, which runs a dispatch pass after every event and at least every
// 50 ms; the output thread drains the output ring into the device. Each thread object is made
// by the dispatcher's StartThreads, runs at once, tells the dispatcher through ThreadFinished
// when it leaves and then frees itself.

#include <atomic>
#include <cstdint>
#include <exception>

namespace vaultix::serial {

class TOxWin32Dispatcher;

// Roles decide a thread's priority.
enum TThreadRole : std::uint8_t { trComm, trDispatch, trOutput };

// Thread priorities, idle to time-critical.
inline constexpr int tpIdle = 0;
inline constexpr int tpNormal = 3;
inline constexpr int tpTimeCritical = 6;

// Callback of SyncCall, run on the main thread.
using TSyncCallback = void (*)(void* UserData, std::uint32_t Message, std::uintptr_t First,
                               std::uintptr_t Second);

class TOxDispatcherThread {
public:
    TOxDispatcherThread(const TOxDispatcherThread&) = delete;
    TOxDispatcherThread& operator=(const TOxDispatcherThread&) = delete;
    virtual ~TOxDispatcherThread() = default;

    // Runs Callback(UserData, Message, First, Second) on the application's main thread and
    // returns once it has run.
    void SyncCall(std::uint32_t Message, std::uintptr_t First, std::uintptr_t Second,
                  TSyncCallback Callback, void* UserData);

    TThreadRole Role() const { return FRole; }
    // The kernel's id of the thread; 0 until it runs.
    int NativeId() const { return Tid.load(); }
    // Moves the thread to a priority on the 0..6 scale, as far as the system lets this
    // process; a level it may not take leaves the thread as it is.
    void SetPriority(int Level);

    // The dispatcher thread the caller runs on, or nullptr on any other thread.
    static TOxDispatcherThread* Current();

protected:
    TOxDispatcherThread(TOxWin32Dispatcher& ADispatcher, TThreadRole ARole);

    // The thread's work; an exception ends it as a normal end would.
    virtual void Execute() = 0;
    // Runs after Execute, also after an exception, before the dispatcher is told.
    virtual void Leaving() {}

    TOxWin32Dispatcher& Dispatcher;

private:
    friend class TOxWin32Dispatcher;
    // Starts the system thread; the object frees itself when the thread ends. Throws
    // std::system_error when no thread can be made (the object is then still the caller's).
    void Start();
    void Main();

    const TThreadRole FRole;
    std::atomic<int> Tid{0};
    // SyncCall's parameters.
    std::uint32_t FMessage = 0;
    std::uintptr_t FFirst = 0;
    std::uintptr_t FSecond = 0;
    TSyncCallback FCallback = nullptr;
    void* FUserData = nullptr;
};

class TComThread final : public TOxDispatcherThread {
public:
    explicit TComThread(TOxWin32Dispatcher& ADispatcher)
        : TOxDispatcherThread(ADispatcher, trComm) {}

protected:
    void Execute() override;
    void Leaving() override;
};

class TDispThread final : public TOxDispatcherThread {
public:
    explicit TDispThread(TOxWin32Dispatcher& ADispatcher)
        : TOxDispatcherThread(ADispatcher, trDispatch) {}

protected:
    void Execute() override;
    void Leaving() override;
};

class TOutThread final : public TOxDispatcherThread {
public:
    explicit TOutThread(TOxWin32Dispatcher& ADispatcher)
        : TOxDispatcherThread(ADispatcher, trOutput) {}

protected:
    void Execute() override;

private:
    // Sends everything in the output ring; returns early when a flush request came.
    void Drain();
};

// One run of the output ring to hand to the device in a single write.
struct TOutputRun {
    std::uint32_t Start = 0;
    std::uint32_t Count = 0;
};

// Chooses the next run of a ring of Size bytes holding bytes from Tail to Head (Head == Tail
// when full). Pending bytes that wrap around the end are first moved to the front in order,
// so that they too go out in one write; Head and Tail then describe the moved bytes (Head 0
// when the ring is full). The ring must not be empty.
TOutputRun NextOutputRun(std::uint8_t* Ring, std::uint32_t Size, std::uint32_t& Head,
                         std::uint32_t& Tail);

} // namespace vaultix::serial
