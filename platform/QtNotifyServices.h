#pragma once
// Window messages, main-thread calls and notification windows on Qt's event loop. A window is
// an entry (handle → handler) in a table; every message, post and cross-thread call becomes an
// event posted to one object on the main thread, so handlers run there, one at a time, in the
// order the messages were sent or posted.
//
// ThreadSanitizer cannot see Qt's own locks (the distribution's Qt is not built with it), so
// every hand-off through Qt's event queue is restated with an atomic of ours: the posting
// thread calls MarkQtHandOff() right before posting, and the main thread calls
// AcceptQtHandOffs() before it touches a posted event of ours (also in the event's destructor).

#include "platform/NotifyServices.h"
#include "platform/NotifyWindows.h"

#include <QObject>

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace vaultix::platform {

// Release: the posting thread's writes so far (the event it built) are visible to whoever
// accepts afterwards.
void MarkQtHandOff();
// Acquire: sees everything written before any MarkQtHandOff() that has happened so far.
void AcceptQtHandOffs();

class TQtNotifyServices final : public QObject,
                                public TNotifyServices,
                                public TNotifyWindowFactory {
public:
    // Made on the thread that runs the application's event loop, once the application object
    // exists. That thread is the main thread of IsMainThread.
    explicit TQtNotifyServices(QObject* Parent = nullptr);
    // Goes back to the built-in services if these are installed. Messages still queued are
    // dropped (a sender waiting for one gets false at once); no thread may still be calling in.
    ~TQtNotifyServices() override;

    // Makes this object the process's notification services and window factory.
    void Install();

    // Any thread.
    TWindowHandle CreateNotifyWindow(TWindowProc Proc) override;
    void DestroyNotifyWindow(TWindowHandle Window) override;

    // From another thread: queues the message and waits for its handler at most TimeoutMs. A
    // message whose wait timed out still reaches the handler later, unless its window is
    // destroyed first. On the main thread the handler is called at once.
    bool SendMessageTimeout(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                            std::intptr_t LParam, std::uint32_t TimeoutMs) override;
    // Always queued, also on the main thread.
    bool PostMessage(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                     std::intptr_t LParam) override;
    // Waits without a time-out; an exception thrown by Call reaches the caller.
    void RunOnMainThread(const std::function<void()>& Call) override;
    // Handles the events pending now, once, without waiting; does nothing on other threads. A
    // quit request met meanwhile is held back and posted again afterwards, so that the waiting
    // loop outside acts on it rather than this pump.
    void ProcessPendingMessages() override;
    bool IsMainThread() const override;

protected:
    bool event(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    using TProcRef = std::shared_ptr<const TWindowProc>;

    // The window's handler, or nullptr when there is no such window.
    TProcRef FindProc(TWindowHandle Window) const;
    bool PostToWindow(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                      std::intptr_t LParam, std::shared_ptr<std::promise<bool>> Reply);

    const std::thread::id MainThread;
    mutable std::mutex Lock; // guards Windows and NextWindow
    std::map<TWindowHandle, TProcRef> Windows;
    TWindowHandle NextWindow = 1;
    // Main thread only.
    int PumpDepth = 0;
    bool QuitHeld = false;
    bool Installed = false;
};

} // namespace vaultix::platform
