#pragma once
// Follows the modem input lines (CTS, DSR, RI, DCD) of an open device by letting the driver wake
// a thread when one changes (TIOCMIWAIT), so that their levels can be read at any time without
// asking the device. On a USB adapter every query of the lines is a request over the bus; asked
// 20 to 40 times a second, it keeps the adapter and its host controller from ever resting.
//
// A driver that refuses the wait (a pseudo-terminal) leaves the watch inactive, and the caller
// reads the lines itself.

#include "platform/BlockingCall.h"

#include <atomic>
#include <functional>
#include <thread>

namespace vaultix::platform {

class TModemLineWatch {
public:
    ~TModemLineWatch() { Stop(); }

    // Starts watching Fd; OnChange runs on the watch's thread after the levels changed.
    void Start(int Fd, std::function<void()> OnChange);
    // Ends the watch; returns once its thread has left. Fd must stay open until then.
    void Stop();

    // The current levels (TIOCM_* bits); false while the watch is not active (not started,
    // refused by the driver, ended by a hang-up), and the caller must ask the device.
    bool Levels(int& Bits) const;

    // Counts of line changes as the driver's counters (TIOCGICOUNT) show them now. A change just
    // before the watch began waiting again is not reported by that wait; a count that moved
    // past what the watch last saw makes it look again.
    void CheckCount(unsigned ChangeCount);

private:
    void Main(int Fd);
    // Reads the levels and the change count; false when the device refuses.
    bool Look(int Fd);

    std::thread Thread;
    TBlockingCall Wait;
    std::function<void()> Changed;
    std::atomic<bool> Stopping{false};
    std::atomic<bool> Exited{true};
    std::atomic<bool> Active{false};
    std::atomic<int> FBits{0};
    std::atomic<unsigned> SeenCount{0};
    std::atomic<bool> CountKnown{false};
};

} // namespace vaultix::platform
