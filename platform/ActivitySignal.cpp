#include "platform/ActivitySignal.h"

#include <memory>
#include <mutex>

namespace vaultix::platform {

namespace {
std::mutex ReceiverLock;
std::shared_ptr<const std::function<void()>> Receiver;
} // namespace

void SetActivityReceiver(std::function<void()> NewReceiver) {
    auto next = NewReceiver ? std::make_shared<const std::function<void()>>(std::move(NewReceiver))
                            : nullptr;
    std::lock_guard guard(ReceiverLock);
    Receiver = std::move(next);
}

void SignalActivity() {
    std::shared_ptr<const std::function<void()>> current;
    {
        std::lock_guard guard(ReceiverLock);
        current = Receiver;
    }
    if (current) (*current)();
}

} // namespace vaultix::platform
