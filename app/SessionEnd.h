#pragma once
// The program is also ended from outside: SIGTERM (a logout, a `kill`), SIGHUP (the terminal
// it was started from closed) and SIGINT (Ctrl-C there), and the loss of its X server. Each
// must end it the way Close does: settings written, a running save's new file removed, the
// port closed.
//
// A signal handler may do almost nothing safely, so it only writes a byte to a pipe; the
// main thread's event loop watches the pipe's other end and runs OnSignal there. Qt ends the
// process at once, with exit(), when its X connection breaks: OnExit runs from an exit
// handler, before the process is gone, whenever the program ends without its loop having
// returned.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vaultix::app {

class TSessionEnd final : public QObject {
public:
    TSessionEnd(std::function<void()> OnSignal, std::function<void()> OnExit);
    // Gives the signals back their default handling; OnExit is no longer run.
    ~TSessionEnd() override;
    TSessionEnd(const TSessionEnd&) = delete;
    TSessionEnd& operator=(const TSessionEnd&) = delete;

private:
    void SignalArrived();

    std::function<void()> FOnSignal;
    QSocketNotifier* FNotifier = nullptr;
};

} // namespace vaultix::app
