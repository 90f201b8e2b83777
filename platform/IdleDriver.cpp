#include "platform/IdleDriver.h"

#include "platform/ActivitySignal.h"
#include "platform/QtNotifyServices.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QTimerEvent>
#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <thread>

namespace vaultix::platform {

namespace {

QEvent::Type WakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The events after which a handler that is not done gets another call. Paint and layout events
// are left out: they mostly follow from what the handler itself just showed, and counting them
// would let a handler that updates a label on every step wake itself for ever.
bool IsActivity(QEvent::Type Type) {
    switch (Type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Close:
    case QEvent::Timer:
    case QEvent::MetaCall:
    case QEvent::SockAct:
        return true;
    default:
        // Our own posted events: window messages, main-thread calls.
        return Type >= QEvent::User && Type <= QEvent::MaxUser;
    }
}

} // namespace

// What other threads hold of the driver. The driver lets go of it when destroyed; a wake
// arriving later finds nothing to post to.
struct TIdleDriver::TWakeLink {
    std::mutex Lock;
    TIdleDriver* Driver = nullptr;
    // A wake event is on its way: later wakes before it is handled add nothing.
    std::atomic<bool> Pending{false};
    const std::thread::id MainThread = std::this_thread::get_id();

    bool OnMainThread() const { return std::this_thread::get_id() == MainThread; }

    void Wake() {
        if (Pending.exchange(true, std::memory_order_acq_rel)) return;
        std::lock_guard guard(Lock);
        if (Driver == nullptr) return;
        auto* wake = new QEvent(WakeEventType());
        MarkQtHandOff();
        QCoreApplication::postEvent(Driver, wake);
    }
};

TIdleDriver::TIdleDriver(QObject* Parent) : QObject(Parent), Link(std::make_shared<TWakeLink>()) {
    Q_ASSERT(QCoreApplication::instance() != nullptr);
    Link->Driver = this;
    QCoreApplication::instance()->installEventFilter(this);
    // The dispatcher announces that it is about to wait only in a loop that waits, and only
    // once it has handled what was pending: exactly where an idle handler belongs.
    connect(
        QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
        [this] { LoopIdle(); }, Qt::DirectConnection);
    SetActivityReceiver([link = Link] { link->Wake(); });
}

TIdleDriver::~TIdleDriver() {
    {
        std::lock_guard guard(Link->Lock);
        Link->Driver = nullptr;
    }
    SetActivityReceiver({});
}

void TIdleDriver::SetIdleHandler(TIdleHandler NewHandler) {
    // The running handler keeps its own reference, so replacing it from inside is safe.
    Handler = NewHandler ? std::make_shared<const TIdleHandler>(std::move(NewHandler)) : nullptr;
    if (!Handler) {
        SetHeartbeat(false);
        return;
    }
    // Every pass of a waiting loop asks again before it waits; from inside the handler the
    // step's end sees to it.
    Activity = true;
}

void TIdleDriver::SetErrorHandler(std::function<void(std::exception_ptr)> NewHandler) {
    ErrorHandler = std::move(NewHandler);
}

void TIdleDriver::Wake() {
    if (Link->OnMainThread()) {
        Activity = true;
        return;
    }
    Link->Wake();
}

void TIdleDriver::Suspend() {
    ++SuspendDepth;
}

void TIdleDriver::Resume() {
    if (SuspendDepth == 0 || --SuspendDepth > 0) return;
    Activity = true;
}

void TIdleDriver::Pause(std::chrono::milliseconds Duration) {
    TIdleSuspension suspended(*this);
    QEventLoop loop;
    QTimer::singleShot(Duration, &loop, &QEventLoop::quit);
    loop.exec();
}

void TIdleDriver::LoopIdle() {
    if (!Handler || SuspendDepth > 0 || !Activity) return;
    Activity = false;
    const auto handler = Handler;
    bool done = true;
    try {
        (*handler)(done);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            if (ErrorHandler) {
                ErrorHandler(error);
            } else {
                std::rethrow_exception(error);
            }
        } catch (const std::exception& unhandled) {
            qWarning("Idle handler failed: %s", unhandled.what());
        } catch (...) {
            qWarning("Idle handler failed");
        }
    }
    // A replacement decides about the heartbeat on its own first call.
    if (Handler == handler) SetHeartbeat(!done);
    // Something happened while the handler ran (it pumped messages, a new handler came): the
    // loop is about to wait, so have it come round once more.
    if (Activity && Handler) Link->Wake();
}

void TIdleDriver::SetHeartbeatInterval(std::chrono::milliseconds Interval) {
    HeartbeatInterval = Interval;
    if (HeartbeatTimer == 0) return;
    SetHeartbeat(false);
    SetHeartbeat(true);
}

void TIdleDriver::SetHeartbeat(bool On) {
    if (On && HeartbeatTimer == 0) {
        HeartbeatTimer = startTimer(HeartbeatInterval);
    } else if (!On && HeartbeatTimer != 0) {
        killTimer(HeartbeatTimer);
        HeartbeatTimer = 0;
    }
}

bool TIdleDriver::event(QEvent* Event) {
    AcceptQtHandOffs();
    if (Event->type() == WakeEventType()) {
        Link->Pending.exchange(false, std::memory_order_acq_rel);
        Activity = true;
        return true;
    }
    return QObject::event(Event);
}

bool TIdleDriver::eventFilter(QObject* Watched, QEvent* Event) {
    AcceptQtHandOffs();
    if (Watched != this && IsActivity(Event->type())) Activity = true;
    return false;
}

void TIdleDriver::timerEvent(QTimerEvent* Event) {
    if (Event->timerId() == HeartbeatTimer) Activity = true;
}

} // namespace vaultix::platform
