#include "platform/QtNotifyServices.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <exception>

namespace vaultix::platform {

namespace {

std::atomic<unsigned> HandOffs{0};

QEvent::Type MessageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type CallEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

using TReply = std::shared_ptr<std::promise<bool>>;
// What a main-thread call sends back: the exception it threw, or none. The caller takes the
// exception out of the reply and so owns it alone; the main thread never frees it.
using TCallReply = std::shared_ptr<std::promise<std::exception_ptr>>;

// An event with a waiting sender behind it (or none, for a post). The sender is answered
// exactly once: with the outcome once the event has been handled, with Dropped when it goes
// unhandled (its window destroyed, the services destroyed with the event still queued).
template <class TValue> class TRepliedEvent : public QEvent {
public:
    TRepliedEvent(Type EventType, std::shared_ptr<std::promise<TValue>> AReply, TValue ADropped)
        : QEvent(EventType), Reply(std::move(AReply)), Dropped(std::move(ADropped)) {}
    ~TRepliedEvent() override {
        AcceptQtHandOffs();
        Answer(std::move(Dropped));
    }

    void Answer(TValue Value) {
        if (!Reply) return;
        Reply->set_value(std::move(Value));
        Reply.reset();
    }

private:
    std::shared_ptr<std::promise<TValue>> Reply;
    TValue Dropped;
};

class TMessageEvent final : public TRepliedEvent<bool> {
public:
    TMessageEvent(TWindowHandle AWindow, std::uint32_t AMsg, std::uintptr_t AWParam,
                  std::intptr_t ALParam, TReply AReply)
        : TRepliedEvent(MessageEventType(), std::move(AReply), false), Window(AWindow), Msg(AMsg),
          WParam(AWParam), LParam(ALParam) {}

    const TWindowHandle Window;
    const std::uint32_t Msg;
    const std::uintptr_t WParam;
    const std::intptr_t LParam;
};

// The caller waits without a time-out, so the call it refers to outlives the event's handling;
// it is never touched once the caller has been answered.
class TCallEvent final : public TRepliedEvent<std::exception_ptr> {
public:
    TCallEvent(const std::function<void()>& ACall, TCallReply AReply)
        : TRepliedEvent(CallEventType(), std::move(AReply), nullptr), Call(&ACall) {}

    const std::function<void()>* const Call;
};

} // namespace

void MarkQtHandOff() {
    HandOffs.fetch_add(1, std::memory_order_release);
}

void AcceptQtHandOffs() {
    (void)HandOffs.load(std::memory_order_acquire);
}

TQtNotifyServices::TQtNotifyServices(QObject* Parent)
    : QObject(Parent), MainThread(std::this_thread::get_id()) {
    Q_ASSERT(QCoreApplication::instance() != nullptr);
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    QCoreApplication::instance()->installEventFilter(this);
}

TQtNotifyServices::~TQtNotifyServices() {
    if (Installed) {
        if (&NotifyServices() == this) SetNotifyServices(nullptr);
        if (&NotifyWindowFactory() == this) SetNotifyWindowFactory(nullptr);
    }
    // QObject's destructor drops the events still queued for this object; each one answers
    // its sender as it goes.
}

void TQtNotifyServices::Install() {
    SetNotifyServices(this);
    SetNotifyWindowFactory(this);
    Installed = true;
}

TWindowHandle TQtNotifyServices::CreateNotifyWindow(TWindowProc Proc) {
    auto proc = std::make_shared<const TWindowProc>(std::move(Proc));
    std::lock_guard lock(Lock);
    const TWindowHandle window = NextWindow++;
    Windows.emplace(window, std::move(proc));
    return window;
}

void TQtNotifyServices::DestroyNotifyWindow(TWindowHandle Window) {
    TProcRef gone;
    {
        std::lock_guard lock(Lock);
        const auto found = Windows.find(Window);
        if (found == Windows.end()) return;
        gone = std::move(found->second);
        Windows.erase(found);
    }
    // The handler's captures are released outside the lock: their destructors may well come
    // back here.
}

TQtNotifyServices::TProcRef TQtNotifyServices::FindProc(TWindowHandle Window) const {
    std::lock_guard lock(Lock);
    const auto found = Windows.find(Window);
    return found == Windows.end() ? nullptr : found->second;
}

bool TQtNotifyServices::PostToWindow(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                                     std::intptr_t LParam, TReply Reply) {
    if (!FindProc(Window)) return false;
    auto* message = new TMessageEvent(Window, Msg, WParam, LParam, std::move(Reply));
    MarkQtHandOff();
    QCoreApplication::postEvent(this, message);
    return true;
}

bool TQtNotifyServices::SendMessageTimeout(TWindowHandle Window, std::uint32_t Msg,
                                           std::uintptr_t WParam, std::intptr_t LParam,
                                           std::uint32_t TimeoutMs) {
    if (IsMainThread()) {
        const TProcRef proc = FindProc(Window);
        if (!proc) return false;
        if (*proc) (*proc)(Msg, WParam, LParam);
        return true;
    }
    auto reply = std::make_shared<std::promise<bool>>();
    auto answer = reply->get_future();
    if (!PostToWindow(Window, Msg, WParam, LParam, std::move(reply))) return false;
    if (answer.wait_for(std::chrono::milliseconds(TimeoutMs)) != std::future_status::ready)
        return false;
    return answer.get();
}

bool TQtNotifyServices::PostMessage(TWindowHandle Window, std::uint32_t Msg, std::uintptr_t WParam,
                                    std::intptr_t LParam) {
    return PostToWindow(Window, Msg, WParam, LParam, nullptr);
}

void TQtNotifyServices::RunOnMainThread(const std::function<void()>& Call) {
    if (IsMainThread()) {
        Call();
        return;
    }
    auto reply = std::make_shared<std::promise<std::exception_ptr>>();
    auto done = reply->get_future();
    auto* call = new TCallEvent(Call, std::move(reply));
    MarkQtHandOff();
    QCoreApplication::postEvent(this, call);
    // Services destroyed with the call still queued answer as well: nothing can run it any
    // more, and the caller is let go rather than left waiting for ever.
    if (std::exception_ptr failure = done.get()) std::rethrow_exception(std::move(failure));
}

void TQtNotifyServices::ProcessPendingMessages() {
    if (!IsMainThread()) return;
    ++PumpDepth;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --PumpDepth;
    if (QuitHeld) {
        QuitHeld = false;
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    }
}

bool TQtNotifyServices::IsMainThread() const {
    return std::this_thread::get_id() == MainThread;
}

bool TQtNotifyServices::event(QEvent* Event) {
    AcceptQtHandOffs();
    if (Event->type() == MessageEventType()) {
        auto& message = static_cast<TMessageEvent&>(*Event);
        const TProcRef proc = FindProc(message.Window);
        if (!proc) return true; // destroyed meanwhile: the sender is told false
        try {
            if (*proc) (*proc)(message.Msg, message.WParam, message.LParam);
        } catch (const std::exception& error) {
            qWarning("Notification handler for message 0x%X failed: %s", message.Msg, error.what());
        } catch (...) {
            qWarning("Notification handler for message 0x%X failed", message.Msg);
        }
        message.Answer(true);
        return true;
    }
    if (Event->type() == CallEventType()) {
        auto& call = static_cast<TCallEvent&>(*Event);
        std::exception_ptr failure;
        try {
            (*call.Call)();
        } catch (...) {
            failure = std::current_exception();
        }
        // The caller is answered only once the catch is over: from then on the exception
        // belongs to it alone.
        call.Answer(std::move(failure));
        return true;
    }
    return QObject::event(Event);
}

bool TQtNotifyServices::eventFilter(QObject* Watched, QEvent* Event) {
    // A quit acted on inside a pump would close the windows under the code that pumps (an idle
    // step in the middle of a transfer, a port closing during the window's destruction). The
    // pump holds it back; the waiting loop outside gets it once the pump is done.
    if (PumpDepth > 0) {
        AcceptQtHandOffs();
        if (Event->type() == QEvent::Quit && Watched == QCoreApplication::instance()) {
            QuitHeld = true;
            return true;
        }
    }
    return QObject::eventFilter(Watched, Event);
}

} // namespace vaultix::platform
