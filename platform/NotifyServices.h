#pragma once
// How the serial layer's background threads reach the user-interface thread: messages sent to
// a window with a time-out, messages posted for later, and calls run on the main thread while
// the caller waits. The program installs one implementation for the process (on the GUI event
// loop); until then, and in tests, an in-process one delivers on the calling thread.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vaultix::platform {

// An opaque window handle; 0 is no window.
using TWindowHandle = std::uintptr_t;

// A window's message handler: (message, first parameter, second parameter) → result.
using TWindowProc =
    std::function<std::intptr_t(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)>;

class TNotifyServices {
public:
    virtual ~TNotifyServices() = default;

    // Delivers the message to the window's handler and waits for it, at most TimeoutMs.
    // True when the handler ran within that time.
    virtual bool SendMessageTimeout(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                                    std::intptr_t LParam, std::uint32_t TimeoutMs) = 0;
    // Queues the message for the window's thread and returns at once. False when the window
    // does not exist.
    virtual bool PostMessage(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                             std::intptr_t LParam) = 0;
    // Runs Call on the main thread and returns once it has run; on the main thread itself it
    // runs at once.
    virtual void RunOnMainThread(const std::function<void()>& Call) = 0;
    // Handles the calling thread's pending messages and returns without waiting for more.
    virtual void ProcessPendingMessages() = 0;
    virtual bool IsMainThread() const = 0;
};

// The process's implementation. Setting nullptr goes back to the built-in in-process one.
void SetNotifyServices(TNotifyServices* Services);
TNotifyServices& NotifyServices();

// Delivers everything on the calling thread: a send calls the window's handler directly, a
// post is queued until ProcessPendingMessages, a main-thread call runs at once. It records
// every send and post so that tests can check what was delivered.
class TDirectNotifyServices : public TNotifyServices {
public:
    struct TRecord {
        TWindowHandle Window;
        std::uint32_t Msg;
        std::uintptr_t WParam;
        std::intptr_t LParam;
        std::uint32_t TimeoutMs; // 0 for posts
        bool operator==(const TRecord&) const = default;
    };

    TDirectNotifyServices();

    // Creates (or replaces) the window's handler; an empty Proc makes a window that takes every
    // message and does nothing.
    void SetWindowProc(TWindowHandle Window, TWindowProc Proc);
    void RemoveWindow(TWindowHandle Window);

    bool SendMessageTimeout(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                            std::intptr_t LParam, std::uint32_t TimeoutMs) override;
    bool PostMessage(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                     std::intptr_t LParam) override;
    void RunOnMainThread(const std::function<void()>& Call) override;
    void ProcessPendingMessages() override;
    bool IsMainThread() const override;

    std::vector<TRecord> Sent() const;
    std::vector<TRecord> Posted() const;
    std::size_t MainThreadCalls() const;
    void ClearRecords();

private:
    // Looks up the window's handler; false when there is no such window.
    bool FindProc(TWindowHandle Window, TWindowProc& Proc) const;

    mutable std::mutex Lock;
    std::map<TWindowHandle, TWindowProc> Windows;
    std::deque<TRecord> Pending;
    std::vector<TRecord> SentLog;
    std::vector<TRecord> PostedLog;
    std::size_t CallCount = 0;
    const std::thread::id MainThread;
};

} // namespace vaultix::platform
