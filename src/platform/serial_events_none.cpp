// The serial layer without an event loop (the Qt-free core): no notifier exists, so the
// receive callback and the queue watch are never delivered; the blocking waits still work.
#include "serial_events.h"

namespace serial {

struct Notifier {};

Notifier *CreateNotifier(Waitable, std::function<void()>) {
    return nullptr;
}
void EnableNotifier(Notifier *, bool) {}
void DestroyNotifier(Notifier *, bool) {}
void CallLater(Notifier *, int, std::function<void()>) {}

} // namespace serial
