#pragma once
// Some device calls block in the kernel until something happens on the line and end early only
// for a signal: waiting for a modem line to change (TIOCMIWAIT) and waiting until the driver has
// sent its queue (tcdrain). Closing the descriptor from another thread does not end them. This
// runs such a call so that it ends on a time limit, or when another thread asks it to, by a
// signal whose handler does nothing and is installed without SA_RESTART.

#include <cstdint>
#include <functional>
#include <mutex>

#include <pthread.h>

namespace vaultix::platform {

class TBlockingCall {
public:
    // Runs Call on the calling thread and returns its result (0 or an errno value). ETIMEDOUT
    // when TimeoutMs (< 0: no limit) passed before it returned, ECANCELED when Cancel ended it.
    // EINTR when some other signal ended it: the caller decides whether to call again.
    // One call at a time per object.
    int Run(const std::function<int()>& Call, int TimeoutMs);

    // Ends the call in progress, if any, and returns once it has returned. A call that starts
    // afterwards is not affected.
    void Cancel();

private:
    std::mutex Lock;
    bool Running = false;
    bool Cancelled = false;
    std::uint64_t Generation = 0;
    pthread_t Thread{};
};

} // namespace vaultix::platform
