#include "serial/ThreadExceptionHook.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace vaultix::serial {

namespace {
std::mutex HandlerLock;
std::shared_ptr<const TThreadExceptionHandler> Installed;

void PrintToStandardError(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Exception in a serial port thread: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Exception in a serial port thread\n");
    }
}
} // namespace

void SetThreadExceptionHandler(TThreadExceptionHandler Handler) {
    auto next =
        Handler ? std::make_shared<const TThreadExceptionHandler>(std::move(Handler)) : nullptr;
    std::lock_guard lock(HandlerLock);
    Installed = std::move(next);
}

void ShowThreadException(std::exception_ptr Error) {
    if (!Error) return;
    std::shared_ptr<const TThreadExceptionHandler> handler;
    {
        std::lock_guard lock(HandlerLock);
        handler = Installed;
    }
    try {
        if (handler)
            (*handler)(Error);
        else
            PrintToStandardError(Error);
    } catch (...) {
        // The thread is on its way out already; a failing display must not take it down.
    }
}

} // namespace vaultix::serial
