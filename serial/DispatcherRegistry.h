#pragma once
// The process-wide list of dispatchers. A dispatcher's index in it is its Handle, which every
// notification message carries, so that the notification window finds the dispatcher (and its
// component) a message came from, or finds none once it has gone.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vaultix::serial {

class TOxBaseDispatcher;

class TDispatcherRegistry {
public:
    // The lock may be entered again by the thread holding it: code running under it (a window
    // procedure finishing a close) destroys and creates dispatchers, which take it again.
    void lock() { Lock.lock(); }
    void unlock() { Lock.unlock(); }

    // Puts the dispatcher into the first empty slot, or a new one at the end; returns the slot.
    std::int32_t Add(TOxBaseDispatcher* Dispatcher);
    // Empties the slot, then drops the empty slots at the end of the list.
    void Remove(std::int32_t Handle);
    // The dispatcher in the slot; nullptr for an empty slot or an index out of range.
    TOxBaseDispatcher* At(std::int32_t Handle) const;
    // Slots in the list, empty ones included.
    std::size_t Count() const;

private:
    mutable std::recursive_mutex Lock;
    std::vector<TOxBaseDispatcher*> Slots;
};

// The process's registry: exists from first use until the program ends.
TDispatcherRegistry& DispatcherRegistry();
void LockRegistry();
void UnlockRegistry();

} // namespace vaultix::serial
