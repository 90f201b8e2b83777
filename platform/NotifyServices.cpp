#include "platform/NotifyServices.h"

#include <atomic>

namespace vaultix::platform {

namespace {
std::atomic<TNotifyServices*> Installed{nullptr};

TNotifyServices& BuiltIn() {
    static TDirectNotifyServices services;
    return services;
}
} // namespace

void SetNotifyServices(TNotifyServices* Services) {
    Installed.store(Services);
}

TNotifyServices& NotifyServices() {
    TNotifyServices* services = Installed.load();
    return services != nullptr ? *services : BuiltIn();
}

TDirectNotifyServices::TDirectNotifyServices() : MainThread(std::this_thread::get_id()) {}

void TDirectNotifyServices::SetWindowProc(TWindowHandle Window, TWindowProc Proc) {
    std::lock_guard lock(Lock);
    Windows[Window] = std::move(Proc);
}

void TDirectNotifyServices::RemoveWindow(TWindowHandle Window) {
    std::lock_guard lock(Lock);
    Windows.erase(Window);
}

bool TDirectNotifyServices::FindProc(TWindowHandle Window, TWindowProc& Proc) const {
    std::lock_guard lock(Lock);
    const auto found = Windows.find(Window);
    if (found == Windows.end()) return false;
    Proc = found->second;
    return true;
}

bool TDirectNotifyServices::SendMessageTimeout(TWindowHandle Window, std::uint32_t Msg,
                                               std::uintptr_t WParam, std::intptr_t LParam,
                                               std::uint32_t TimeoutMs) {
    {
        std::lock_guard lock(Lock);
        SentLog.push_back({Window, Msg, WParam, LParam, TimeoutMs});
    }
    TWindowProc proc;
    if (!FindProc(Window, proc)) return false;
    // The handler runs without the lock so that it may send, post or change windows itself.
    if (proc) proc(Msg, WParam, LParam);
    return true;
}

bool TDirectNotifyServices::PostMessage(TWindowHandle Window, std::uint32_t Msg,
                                        std::uintptr_t WParam, std::intptr_t LParam) {
    std::lock_guard lock(Lock);
    if (Windows.find(Window) == Windows.end()) return false;
    PostedLog.push_back({Window, Msg, WParam, LParam, 0});
    Pending.push_back({Window, Msg, WParam, LParam, 0});
    return true;
}

void TDirectNotifyServices::RunOnMainThread(const std::function<void()>& Call) {
    {
        std::lock_guard lock(Lock);
        ++CallCount;
    }
    Call();
}

void TDirectNotifyServices::ProcessPendingMessages() {
    // Only what is queued now: a handler that posts again is served by the next call.
    std::deque<TRecord> batch;
    {
        std::lock_guard lock(Lock);
        batch.swap(Pending);
    }
    for (const TRecord& message : batch) {
        TWindowProc proc;
        if (FindProc(message.Window, proc) && proc)
            proc(message.Msg, message.WParam, message.LParam);
    }
}

bool TDirectNotifyServices::IsMainThread() const {
    return std::this_thread::get_id() == MainThread;
}

std::vector<TDirectNotifyServices::TRecord> TDirectNotifyServices::Sent() const {
    std::lock_guard lock(Lock);
    return SentLog;
}

std::vector<TDirectNotifyServices::TRecord> TDirectNotifyServices::Posted() const {
    std::lock_guard lock(Lock);
    return PostedLog;
}

std::size_t TDirectNotifyServices::MainThreadCalls() const {
    std::lock_guard lock(Lock);
    return CallCount;
}

void TDirectNotifyServices::ClearRecords() {
    std::lock_guard lock(Lock);
    SentLog.clear();
    PostedLog.clear();
    CallCount = 0;
}

} // namespace vaultix::platform
