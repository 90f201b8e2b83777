#include "serial/DispatcherRegistry.h"

#include <algorithm>

namespace vaultix::serial {

std::int32_t TDispatcherRegistry::Add(TOxBaseDispatcher* Dispatcher) {
    std::lock_guard guard(Lock);
    const auto empty = std::find(Slots.begin(), Slots.end(), nullptr);
    if (empty != Slots.end()) {
        *empty = Dispatcher;
        return static_cast<std::int32_t>(empty - Slots.begin());
    }
    Slots.push_back(Dispatcher);
    return static_cast<std::int32_t>(Slots.size() - 1);
}

void TDispatcherRegistry::Remove(std::int32_t Handle) {
    std::lock_guard guard(Lock);
    if (Handle < 0 || static_cast<std::size_t>(Handle) >= Slots.size()) return;
    Slots[static_cast<std::size_t>(Handle)] = nullptr;
    while (!Slots.empty() && Slots.back() == nullptr)
        Slots.pop_back();
}

TOxBaseDispatcher* TDispatcherRegistry::At(std::int32_t Handle) const {
    std::lock_guard guard(Lock);
    if (Handle < 0 || static_cast<std::size_t>(Handle) >= Slots.size()) return nullptr;
    return Slots[static_cast<std::size_t>(Handle)];
}

std::size_t TDispatcherRegistry::Count() const {
    std::lock_guard guard(Lock);
    return Slots.size();
}

TDispatcherRegistry& DispatcherRegistry() {
    static TDispatcherRegistry registry;
    return registry;
}

void LockRegistry() {
    DispatcherRegistry().lock();
}
void UnlockRegistry() {
    DispatcherRegistry().unlock();
}

} // namespace vaultix::serial
