#pragma once
// The application's general error handler: a failure that leaves an event handler, an idle
// step or the serial component's notifications ends up here, and its text is shown in an error
// box. The program goes on afterwards.

#include <exception>
#include <string>

namespace vaultix::app {

// The text a failure is shown with: the exception's message.
std::string FailureText(std::exception_ptr Failure);

// Shows the failure's text in an error box. From a thread other than the application's, the
// box is shown on the application's thread later.
void HandleApplicationError(std::exception_ptr Failure);

// Makes HandleApplicationError the display of failures that the serial layer's notifications
// and threads cannot hand to a caller.
void InstallApplicationErrorHandler();

// Runs Handler and hands anything it raises to HandleApplicationError, the way every event
// handler of the window runs.
template <class F> void RunGuarded(F&& Handler) {
    try {
        Handler();
    } catch (...) {
        HandleApplicationError(std::current_exception());
    }
}

} // namespace vaultix::app
