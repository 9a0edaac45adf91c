// The serial layer's notifiers over Qt's event loop (see serial_events.h).
#include "serial_events.h"

#include <QCoreApplication>
#include <QTimer>
#ifdef _WIN32
#include <QWinEventNotifier>
#include <windows.h>
#else
#include <QSocketNotifier>
#endif

namespace serial {

struct Notifier {
#ifdef _WIN32
    QWinEventNotifier *qt = nullptr;
#else
    QSocketNotifier *qt = nullptr;
#endif
};

Notifier *CreateNotifier(Waitable handle, std::function<void()> onReady) {
    if (!QCoreApplication::instance()) return nullptr;
    auto *n = new Notifier;
#ifdef _WIN32
    n->qt = new QWinEventNotifier(reinterpret_cast<HANDLE>(handle));
    QObject::connect(n->qt, &QWinEventNotifier::activated, n->qt, [fn = std::move(onReady)] { fn(); });
#else
    n->qt = new QSocketNotifier(qintptr(handle), QSocketNotifier::Read);
    QObject::connect(n->qt, &QSocketNotifier::activated, n->qt, [fn = std::move(onReady)] { fn(); });
#endif
    n->qt->setEnabled(true);
    return n;
}

void EnableNotifier(Notifier *n, bool on) {
    if (n) n->qt->setEnabled(on);
}

void DestroyNotifier(Notifier *n, bool deferred) {
    if (!n) return;
    n->qt->setEnabled(false);
    if (deferred)
        n->qt->deleteLater();
    else
        delete n->qt;
    delete n;
}

void CallLater(Notifier *owner, int milliseconds, std::function<void()> fn) {
    if (owner) QTimer::singleShot(milliseconds, owner->qt, std::move(fn));
}

} // namespace serial
