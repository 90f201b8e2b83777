#pragma once
// The application's idle hook on Qt's event loop. The application keeps one idle handler, a
// callable taking a "done" flag by reference. A waiting event loop (the main loop, a modal
// dialog's loop) calls it whenever it finds no event pending; a pump that only handles what is
// pending (processEvents, ProcessPendingMessages) never does.
//
// A handler that reports done is called again after the next event. One that leaves Done false
// would have a desktop toolkit call it continuously and spin a core; here it is called again as
// soon as the loop is idle after something happened (an input, window or timer event, a queued
// call, a notification, Wake(), SignalActivity() from any thread) and otherwise every Heartbeat:
// a slow safety net, since whatever a handler waits for wakes the loop itself.

#include <QObject>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace vaultix::platform {

using TIdleHandler = std::function<void(bool& Done)>;

class TIdleDriver final : public QObject {
public:
    static constexpr std::chrono::milliseconds Heartbeat{250};

    // Made on the thread that runs the application's event loop, once the application object
    // exists. Becomes the receiver of SignalActivity(); an application has one driver.
    explicit TIdleDriver(QObject* Parent = nullptr);
    ~TIdleDriver() override;

    // Everything but Wake belongs to the main thread.

    // Replaces the handler (empty removes it); the new one runs when the loop is next idle.
    // Safe from inside the running handler, which finishes its step undisturbed.
    void SetIdleHandler(TIdleHandler Handler);
    bool HasIdleHandler() const { return static_cast<bool>(Handler); }

    // Where an exception leaving the handler goes. It ends that step only; the handler stays
    // installed, and Done keeps whatever the handler set before throwing. By default a warning.
    void SetErrorHandler(std::function<void(std::exception_ptr)> Handler);

    // Something an idle handler polls for may have changed. Any thread.
    void Wake();

    // While suspended the handler is not called, not even by a modal loop; suspensions nest.
    // By default a modal dialog keeps the handler running while it is open.
    void Suspend();
    void Resume();
    bool Suspended() const { return SuspendDepth > 0; }

    // Handles messages for Duration without calling the idle handler, sleeping while none
    // arrive. Ends early when the application quits.
    void Pause(std::chrono::milliseconds Duration);

    // The heartbeat's interval; Heartbeat by default. Benchmarks set a short one to measure
    // what a fast heartbeat costs.
    void SetHeartbeatInterval(std::chrono::milliseconds Interval);

protected:
    bool event(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void timerEvent(QTimerEvent* Event) override;

private:
    struct TWakeLink;

    void LoopIdle();
    void SetHeartbeat(bool On);

    std::shared_ptr<TWakeLink> Link;
    std::shared_ptr<const TIdleHandler> Handler;
    std::function<void(std::exception_ptr)> ErrorHandler;
    // Main thread only: something happened since the handler's last call.
    bool Activity = true;
    int SuspendDepth = 0;
    int HeartbeatTimer = 0;
    std::chrono::milliseconds HeartbeatInterval = Heartbeat;
};

// Suspends the driver for the guard's lifetime.
class TIdleSuspension {
public:
    explicit TIdleSuspension(TIdleDriver& ADriver) : Driver(ADriver) { Driver.Suspend(); }
    ~TIdleSuspension() { Driver.Resume(); }
    TIdleSuspension(const TIdleSuspension&) = delete;
    TIdleSuspension& operator=(const TIdleSuspension&) = delete;

private:
    TIdleDriver& Driver;
};

} // namespace vaultix::platform
