#pragma once
// Signalling events with auto-reset and manual-reset behaviour, and a wait for the first of
// several. The dispatcher's threads hand work to each other through these: a comm thread
// wakes the dispatch thread, writers wake the output thread, a flush request interrupts a
// pending write.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace vaultix::platform {

inline constexpr std::uint32_t WaitInfinite = 0xFFFFFFFFu;

class TSyncEvent {
public:
    // An auto-reset event lets one waiter through per Set and is unsignalled again after it;
    // a manual-reset event stays signalled until Reset.
    explicit TSyncEvent(bool ManualReset);
    TSyncEvent(const TSyncEvent&) = delete;
    TSyncEvent& operator=(const TSyncEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // True when the event was signalled within TimeoutMs (WaitInfinite: no limit).
    bool Wait(std::uint32_t TimeoutMs);

    // Index of the first signalled event in Events (lowest index wins when several are),
    // or -1 after TimeoutMs. Only the event returned is consumed.
    static int WaitAny(std::initializer_list<TSyncEvent*> Events, std::uint32_t TimeoutMs);
    static int WaitAny(TSyncEvent* const* Events, std::size_t Count, std::uint32_t TimeoutMs);

private:
    // Consumes and returns the first signalled event; the caller holds the event lock.
    static int TakeFirstSignalled(TSyncEvent* const* Events, std::size_t Count);

    const bool Manual;
    bool Signalled = false; // guarded by the process-wide event lock
};

} // namespace vaultix::platform
