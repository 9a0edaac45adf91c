// The event loop's side of the serial layer: a notifier that wakes the GUI thread's event
// loop while a line's waitable handle is signalled, and a deferred call. With Qt these are a
// QSocketNotifier on the descriptor (POSIX) or a QWinEventNotifier on the event (Win32),
// delivered during event processing; without an event loop (the Qt-free core, its tests)
// no notifier exists and the operations use their blocking waits only.
#pragma once

#include "serial_backend.h"

#include <functional>

namespace serial {

struct Notifier; // owned by the operations; destroyed with DestroyNotifier

// A notifier calling onReady on the GUI thread while `handle` is signalled and the notifier
// is enabled, or null when there is no event loop. Created enabled.
Notifier *CreateNotifier(Waitable handle, std::function<void()> onReady);
void EnableNotifier(Notifier *n, bool on);
// Disables it at once; `deferred` deletes it only once control is back in the event loop
// (needed while its own onReady is on the stack).
void DestroyNotifier(Notifier *n, bool deferred);
// Calls fn once after `milliseconds`, from the event loop, unless `owner` is destroyed first.
void CallLater(Notifier *owner, int milliseconds, std::function<void()> fn);

} // namespace serial
