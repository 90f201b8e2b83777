// The handler lists and the delivery of one notification to every handler.

#include "serial/Dispatcher.h"

#include <algorithm>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
constexpr std::uint32_t SendTimeoutMs = 3000;

// Removes an entry at once, or marks it for removal while a delivery walks the lists.
template <typename TList, typename TMatch>
bool DropHandler(TList& List, TMatch Matches, bool Deferred) {
    const auto found = std::find_if(List.begin(), List.end(), [&](const auto& Entry) {
        return !Entry.Deleted && Matches(Entry);
    });
    if (found == List.end()) return false;
    if (Deferred)
        found->Deleted = true;
    else
        List.erase(found);
    return true;
}

template <typename TList> void EraseDeleted(TList& List) {
    for (auto entry = List.size(); entry-- > 0;)
        if (List[entry].Deleted) List.erase(List.begin() + static_cast<std::ptrdiff_t>(entry));
}
} // namespace

std::size_t TOxBaseDispatcher::LiveWindowCount() const {
    return static_cast<std::size_t>(std::count_if(NotifyWindows.begin(), NotifyWindows.end(),
                                                  [](const auto& w) { return !w.Deleted; }));
}

bool TOxBaseDispatcher::OtherHandlersPresent() const {
    // The component's own window alone does not count: it only wants messages when one of its
    // trigger events is assigned, which PortHandlerActive says.
    auto live = [](const auto& Entry) { return !Entry.Deleted; };
    return LiveWindowCount() > 1 || std::any_of(NotifyProcs.begin(), NotifyProcs.end(), live) ||
           std::any_of(NotifyEvents.begin(), NotifyEvents.end(), live);
}

void TOxBaseDispatcher::UpdateHandlerState(int Mode) {
    std::lock_guard state(StateLock);
    switch (Mode) {
    case 0:
        DeliveryNeeded = OtherHandlersPresent() || PortHandlerActive;
        break;
    case 1:
        PortHandlerActive = true;
        DeliveryNeeded = true;
        break;
    case 2:
        PortHandlerActive = false;
        DeliveryNeeded = OtherHandlersPresent();
        break;
    default:
        break;
    }
}

void TOxBaseDispatcher::RegisterNotifyWindow(TWindowHandle Window) {
    std::lock_guard state(StateLock);
    NotifyWindows.push_back({Window, false});
    DeliveryNeeded = true;
    LogEvent(ltTrgHdAlc, lsWindow, static_cast<std::uint32_t>(Window));
}

void TOxBaseDispatcher::UnregisterNotifyWindow(TWindowHandle Window) {
    std::lock_guard state(StateLock);
    const bool deferred = Delivering.load();
    if (DropHandler(
            NotifyWindows, [&](const TWindowHandler& w) { return w.Window == Window; }, deferred)) {
        LogEvent(ltTrgHdDsp, lsWindow, static_cast<std::uint32_t>(Window));
        if (deferred) {
            HandlersChanged = true;
            return;
        }
    }
    UpdateHandlerState(0);
}

void TOxBaseDispatcher::RegisterNotifyProc(TNotifyProc Proc) {
    std::lock_guard state(StateLock);
    NotifyProcs.push_back({Proc, false});
    DeliveryNeeded = true;
    LogEvent(ltTrgHdAlc, lsProcedure, 0);
}

void TOxBaseDispatcher::UnregisterNotifyProc(TNotifyProc Proc) {
    std::lock_guard state(StateLock);
    const bool deferred = Delivering.load();
    if (DropHandler(
            NotifyProcs, [&](const TProcHandler& p) { return p.Proc == Proc; }, deferred)) {
        LogEvent(ltTrgHdDsp, lsProcedure, 0);
        if (deferred) {
            HandlersChanged = true;
            return;
        }
    }
    UpdateHandlerState(0);
}

void TOxBaseDispatcher::RegisterNotifyEvent(TNotifyMethod Method, bool Synchronize) {
    std::lock_guard state(StateLock);
    NotifyEvents.push_back({Method, false, Synchronize});
    DeliveryNeeded = true;
    LogEvent(ltTrgHdAlc, lsMethod, 0);
}

void TOxBaseDispatcher::UnregisterNotifyEvent(TNotifyMethod Method) {
    std::lock_guard state(StateLock);
    const bool deferred = Delivering.load();
    if (DropHandler(
            NotifyEvents, [&](const TEventHandler& e) { return e.Method == Method; }, deferred)) {
        LogEvent(ltTrgHdDsp, lsMethod, 0);
        if (deferred) {
            HandlersChanged = true;
            return;
        }
    }
    UpdateHandlerState(0);
}

void TOxBaseDispatcher::SetAvailThreshold(std::uint32_t Count) {
    AvailThreshold = static_cast<std::int32_t>(Count);
    LogEvent(ltTrDatChg, lsTrigAvail, Count);
}

void TOxBaseDispatcher::RemoveDeletedHandlers() {
    EraseDeleted(NotifyEvents);
    EraseDeleted(NotifyProcs);
    EraseDeleted(NotifyWindows);
}

bool TOxBaseDispatcher::DeliverEvent(std::uint32_t Message, std::uint32_t First,
                                     std::uint32_t Data) {
    std::size_t events;
    std::size_t procs;
    std::size_t windows;
    bool toWindows;
    {
        std::lock_guard state(StateLock);
        if (!DeliveryNeeded) return true;
        // From here on handler entries are only marked deleted, never removed, so the indexes
        // below stay valid without the lock. Entries added meanwhile wait for the next event.
        Delivering = true;
        events = NotifyEvents.size();
        procs = NotifyProcs.size();
        windows = NotifyWindows.size();
        toWindows = LiveWindowCount() > 1 || PortHandlerActive;
    }
    const bool dataDelivery = Message == MsgTriggerAvail || Message == MsgTriggerData;
    {
        std::lock_guard input(InputLock);
        MaxTaken = 0;
    }
    const std::uint32_t second =
        (Data & 0xFFFFu) | (static_cast<std::uint32_t>(Handle & 0xFFFF) << 16);

    // Reads count as a handler's own only while a handler runs: with no handler to call, a
    // read by the application meanwhile must move the tail as usual.
    auto beginHandler = [&] {
        std::lock_guard input(InputLock);
        if (dataDelivery) AvailDelivery = true;
        HandlerTaken = 0;
    };
    // False when a close was requested meanwhile: the delivery ends there.
    auto endHandler = [&] {
        if (CloseRequested.load()) return false;
        std::lock_guard input(InputLock);
        MaxTaken = std::max(MaxTaken, HandlerTaken);
        return true;
    };

    bool completed = true;
    for (std::size_t i = 0; completed && i < events; ++i) {
        TEventHandler handler;
        {
            std::lock_guard state(StateLock);
            handler = NotifyEvents[i];
        }
        if (handler.Deleted || handler.Method.Code == nullptr) continue;
        beginHandler();
        if (handler.Synchronize)
            NotifyServices().RunOnMainThread(
                [&] { handler.Method.Code(handler.Method.Object, Message, First, second); });
        else
            handler.Method.Code(handler.Method.Object, Message, First, second);
        completed = endHandler();
    }
    for (std::size_t i = 0; completed && i < procs; ++i) {
        TProcHandler handler;
        {
            std::lock_guard state(StateLock);
            handler = NotifyProcs[i];
        }
        if (handler.Deleted || handler.Proc == nullptr) continue;
        beginHandler();
        handler.Proc(Message, First, second);
        completed = endHandler();
    }
    for (std::size_t i = 0; completed && toWindows && i < windows; ++i) {
        TWindowHandler handler;
        {
            std::lock_guard state(StateLock);
            handler = NotifyWindows[i];
        }
        if (handler.Deleted) continue;
        beginHandler();
        NotifyServices().SendMessageTimeout(handler.Window, Message, First,
                                            static_cast<std::intptr_t>(second), SendTimeoutMs);
        completed = endHandler();
    }

    bool result = completed;
    {
        std::lock_guard input(InputLock);
        // Every handler read from the same tail; it moves by the most any of them took. A cut
        // delivery moves nothing: the rings are about to go.
        if (completed && AvailDelivery) {
            InTail = (InTail + MaxTaken) % InRingSize;
            if (MaxTaken > 0) InFull = false;
        }
        if (completed && Message == MsgTriggerAvail) result = MaxTaken == First;
        AvailDelivery = false;
    }
    {
        std::lock_guard state(StateLock);
        Delivering = false;
        if (HandlersChanged) {
            RemoveDeletedHandlers();
            HandlersChanged = false;
            UpdateHandlerState(0);
        }
    }
    {
        std::lock_guard input(InputLock);
        HandlerTaken = 0;
    }
    return result;
}

} // namespace vaultix::serial
