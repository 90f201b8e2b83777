#pragma once
// Ctrl-C, a closed terminal and a plain kill ask a running transfer to stop the way Cancel does.
// The signal handler only notes the request and writes a byte into a pipe, whose read end the
// event loop watches; everything else happens on the main thread.

namespace vaultix::cli {

class TStopSignals {
public:
    // Installs the handlers for SIGINT, SIGTERM and SIGHUP; one instance at a time.
    TStopSignals();
    // Puts the default handlers back.
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // Readable once a stop was asked for.
    int WakeDescriptor() const;
    bool Requested() const;

    // Keeps the signals away from the calling thread and the threads it starts from now on (the
    // serial port's threads), so that only the main thread is ever interrupted by them.
    static void HoldInThisThread();
    static void ReleaseInThisThread();
};

} // namespace vaultix::cli
