#pragma once
// Creating and destroying the hidden windows through which the serial port component receives
// the dispatcher's notifications. The program installs the factory that belongs to its
// notification services; until then, and in tests, the built-in one registers windows with the
// installed in-process direct services.

#include "platform/NotifyServices.h"

namespace vaultix::platform {

class TNotifyWindowFactory {
public:
    virtual ~TNotifyWindowFactory() = default;

    // A new window whose messages go to Proc (an empty Proc takes every message and does
    // nothing); 0 when no window can be made. Handles are never handed out twice, so a message
    // still on its way to a destroyed window can never reach a newer one.
    virtual TWindowHandle CreateNotifyWindow(TWindowProc Proc) = 0;
    // Once this returns on the main thread, the window's handler is not called again: messages
    // still queued for it are dropped. 0 and unknown handles are ignored.
    virtual void DestroyNotifyWindow(TWindowHandle Window) = 0;
};

// The process's factory. Setting nullptr goes back to the built-in one.
void SetNotifyWindowFactory(TNotifyWindowFactory* Factory);
TNotifyWindowFactory& NotifyWindowFactory();

} // namespace vaultix::platform
