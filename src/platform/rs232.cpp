// RS-232 operations: port numbers, the receive callback, the queue watch, the hang-up rule
// and the trace, over the system's serial backend (serial_backend.h).
//
// The receive callback is a notifier on the line's waitable handle (serial_events.h),
// delivered on the GUI thread while events are processed. The backend's readiness mark is
// the notify count, so the line counts as readable only once that many bytes wait: a
// partial reply never wakes the event loop. A hang-up (adapter pulled, other end of a
// pseudo-terminal closed) closes the port at once, with one line on stderr; later
// operations fail as on a port that is not open.
#include "rs232.h"
#include "port_watch.h"
#include "serial_backend.h"
#include "serial_events.h"
#include "trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ---- port state -------------------------------------------------------------------------------
struct Port {
    serial::Device *line = nullptr;
    std::string device;
    long baud = 19200;
    double timeout = 5.0; // I/O time-out of ComRd and ComWrt, seconds
    int baseVmin = 1;     // readiness mark while no read is waiting: the notify count, or 1
    // Receive callback.
    int mask = 0, notifyCount = 1, eventChar = 0;
    ComCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    serial::Notifier *notifier = nullptr;
    serial::Notifier *watch = nullptr; // WatchComInQ: a wake-up without a callback
    int watchCount = 0;
    bool inCallback = false;
    bool parked = false;          // delivered, nothing taken: quiet until the queue drops
    unsigned long taken = 0;      // bytes taken from the input queue (reads and flushes)
    unsigned long generation = 0; // changes with every open and close
};

Port g_ports[kMaxPortNumber + 1];
unsigned long g_generation = 0;

bool ValidNumber(int n) {
    return n >= 1 && n <= kMaxPortNumber;
}

// The open port n, or null with *code set (-2 bad number, -3 not open).
Port *OpenPort(int n, int *code) {
    if (!ValidNumber(n)) {
        *code = kRS232InvalidPortNum;
        return nullptr;
    }
    if (!g_ports[n].line) {
        *code = kRS232PortNotOpen;
        return nullptr;
    }
    return &g_ports[n];
}

void DropNotifier(Port &p) {
    if (!p.notifier) return;
    // Inside the callback the notifier's own signal is still on the stack.
    serial::DestroyNotifier(p.notifier, p.inCallback);
    p.notifier = nullptr;
}

void DropWatch(Port &p) {
    if (!p.watch) return;
    // Deleted at once: its own wake-up only disables it and never comes here. A deferred
    // delete would never run while a VIDEO loop waits (its event processing is nested and
    // leaves deferred deletes alone), so every cycle would leave one notifier behind.
    serial::DestroyNotifier(p.watch, false);
    p.watch = nullptr;
}

void ClosePort(int n) {
    Port &p = g_ports[n];
    DropNotifier(p);
    DropWatch(p);
    serial::Close(p.line);
    p.line = nullptr;
    p.callback = nullptr;
    p.callbackData = nullptr;
    p.mask = 0;
    p.parked = false;
    p.baseVmin = 1;
    p.generation = ++g_generation;
}

// The line is gone: close the port once, say so once.
void HangUp(int n) {
    Port &p = g_ports[n];
    if (!p.line) return;
    std::fprintf(stderr,
                 "serial port COM%d (%s): line hung up (device gone or other end "
                 "closed); port closed\n",
                 n, p.device.c_str());
    TraceLine("com-hangup", p.device.c_str());
    const std::string device = p.device;
    ClosePort(n);
    PortHungUp(n, device);
}

// Failure of an operation on an open port: a hang-up closes it (-4 this once, -3 later).
int Failure(int n) {
    serial::Device *line = g_ports[n].line;
    const int err = serial::LastError(line);
    if (g_traceOn) {
        const std::string text = "COM" + std::to_string(n) + " " + serial::ErrorText(err);
        TraceLine("com-error", text.c_str());
    }
    if (serial::IsHangUpError(err) || serial::HungUp(line)) {
        HangUp(n);
        return kRS232UnknownIOError;
    }
    return kRS232UnknownSysError;
}

// After bytes left the input queue: a parked notifier listens again.
void Unpark(Port &p) {
    if (p.parked && p.notifier && !p.inCallback) {
        int q = serial::InQueue(p.line);
        if (q >= 0 && q < p.notifyCount) {
            p.parked = false;
            serial::EnableNotifier(p.notifier, true);
        }
    }
}

void OnReadable(int n);

void ArmNotifier(int n) {
    Port &p = g_ports[n];
    DropNotifier(p);
    p.parked = false;
    if (!(p.mask & LWRS_RECEIVE)) return;
    p.notifier = serial::CreateNotifier(serial::NotifyHandle(p.line), [n] { OnReadable(n); });
}

void OnReadable(int n) {
    Port &p = g_ports[n];
    if (!p.line || !p.callback || !p.notifier || p.inCallback) return;
    const int q = serial::InQueue(p.line);
    if (q < 0 || (q == 0 && serial::HungUp(p.line))) {
        HangUp(n);
        return;
    }
    if (q < p.notifyCount) {
        // The line said readable but fewer bytes wait (a flush raced the wake-up): look
        // again shortly instead of being woken over and over.
        serial::Notifier *sn = p.notifier;
        serial::EnableNotifier(sn, false);
        const unsigned long gen = p.generation;
        serial::CallLater(sn, 1, [n, gen] {
            Port &again = g_ports[n];
            if (again.generation == gen && again.notifier && !again.parked && !again.inCallback)
                serial::EnableNotifier(again.notifier, true);
        });
        return;
    }
    int events = LWRS_RECEIVE;
    if ((p.mask & LWRS_TXEMPTY) && serial::OutQueue(p.line) == 0) events |= LWRS_TXEMPTY;
    const unsigned long gen = p.generation;
    const unsigned long takenBefore = p.taken;
    serial::EnableNotifier(p.notifier, false);
    p.inCallback = true;
    ComCallbackPtr cb = p.callback;
    void *data = p.callbackData;
    cb(n, events & p.mask, data);
    p.inCallback = false;
    if (p.generation != gen) return; // the callback closed or reopened the port
    if (!p.notifier) return;         // the callback removed itself
    if (p.taken == takenBefore) {
        // Nothing was read: one notification per arrival, not one per event-loop pass.
        p.parked = true;
    } else {
        serial::EnableNotifier(p.notifier, true);
    }
}

} // namespace

// The reason of a failed open as the port hint judges it: an errno-like code, or one of the
// kOpen* reasons of port_watch.h.
static int OpenFailureCode(serial::OpenResult result, const std::string &reason) {
    switch (result) {
    case serial::OpenResult::Denied:
        return EACCES;
    case serial::OpenResult::Busy:
        return kOpenHeld;
    case serial::OpenResult::NoSuchDevice:
        return reason == "not a serial device" ? kOpenNotTty : ENOENT;
    default:
        return EIO;
    }
}

// ---- operations -------------------------------------------------------------------------------

int OpenComConfig(int portNumber, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    if (!ValidNumber(portNumber)) return kRS232InvalidPortNum;
    if (!serial::SupportedBaud(baudRate) || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || stopBits < 1 || stopBits > 2 || inputQueueSize < -1 || outputQueueSize < -1)
        return kRS232InvalidParameter;
    std::string device = (deviceName && *deviceName) ? deviceName : GetPortDevice(portNumber);
    if (device.empty()) return GetPortCount() == 0 ? kRS232NoPortFound : kRS232InvalidPortNum;
    if (g_ports[portNumber].line) CloseCom(portNumber);

    serial::LineSettings settings;
    settings.baud = baudRate;
    settings.parity = parity;
    settings.dataBits = dataBits;
    settings.stopBits = stopBits;
    serial::OpenResult result = serial::OpenResult::Failed;
    std::string reason;
    serial::Device *line = serial::Open(device, settings, &result, &reason);
    if (!line) {
        TraceLine("com-open-failed", (device + ": " + reason).c_str());
        PortOpenFailed(portNumber, device, OpenFailureCode(result, reason));
        switch (result) {
        case serial::OpenResult::Denied:
        case serial::OpenResult::Busy:
            return kRS232CannotOpenPort;
        case serial::OpenResult::NoSuchDevice:
            return kRS232NoPortFound;
        case serial::OpenResult::BadSettings:
            return kRS232InvalidParameter;
        default:
            return kRS232UnknownSysError;
        }
    }
    Port &p = g_ports[portNumber];
    p = Port();
    p.line = line;
    p.device = device;
    p.baud = baudRate;
    p.generation = ++g_generation;
    TraceLine("com-open", ("COM" + std::to_string(portNumber) + " " + device).c_str());
    // On POSIX the line's notify handle is its descriptor (for the low-latency request).
    PortOpened(portNumber, int(serial::NotifyHandle(line)), device);
    return 0;
}

int CloseCom(int portNumber) {
    int code;
    if (!OpenPort(portNumber, &code)) return code;
    TraceLine("com-close", ("COM" + std::to_string(portNumber)).c_str());
    ClosePort(portNumber);
    return 0;
}

int SetComTime(int portNumber, double timeoutSeconds) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (!(timeoutSeconds >= 0.0) || timeoutSeconds > 1e6) return kRS232InvalidParameter;
    p->timeout = timeoutSeconds;
    return 0;
}

int SetCTSMode(int portNumber, int mode) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (mode < 0 || mode > 2) return kRS232InvalidParameter;
    if (!serial::SetHandshake(p->line, mode != 0)) return Failure(portNumber);
    return 0;
}

int FlushInQ(int portNumber) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    const int q = serial::InQueue(p->line);
    if (q < 0 || !serial::FlushIn(p->line)) return Failure(portNumber);
    if (q > 0) {
        p->taken += unsigned(q);
        if (g_traceOn) {
            char text[64];
            std::snprintf(text, sizeof text, "COM%d %d bytes", portNumber, q);
            TraceLine("com-discard", text);
        }
    }
    Unpark(*p);
    return 0;
}

int FlushOutQ(int portNumber) {
    // Bytes already handed to the line are let go out (at most a frame's time): discarding
    // them would send the sensor a frame cut in the middle. Only what is still queued after
    // that, on a stalled line, is discarded.
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    const int q = serial::OutQueue(p->line);
    if (q < 0) return Failure(portNumber);
    if (q == 0) return 0;
    if (!serial::FlushOut(p->line, q * (10.0 / double(p->baud)) + 0.05)) return Failure(portNumber);
    return 0;
}

int ComWrt(int portNumber, const char *buffer, int count) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InvalidParameter;
    bool failed = false;
    const int done = serial::Write(p->line, buffer, count, p->timeout, &failed);
    if (failed && done == 0) return Failure(portNumber);
    TraceBytes("com-write", portNumber, reinterpret_cast<const unsigned char *>(buffer), done);
    if (done == 0 && count > 0) return kRS232Timeout;
    return done;
}

int ComRd(int portNumber, char *buffer, int count) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InvalidParameter;
    serial::Device *line = p->line;
    bool failed = false;
    const int done = serial::Read(line, buffer, count, p->timeout, &failed);
    int failure = 0;
    if (failed) failure = Failure(portNumber);
    if (g_ports[portNumber].line == line) {
        p->taken += unsigned(done);
        Unpark(*p);
    }
    TraceBytes("com-read", portNumber, reinterpret_cast<const unsigned char *>(buffer), done);
    if (done == 0 && failure < 0) return failure;
    return done;
}

int GetInQLen(int portNumber) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    const int q = serial::InQueue(p->line);
    if (q < 0) return Failure(portNumber);
    if (q == 0 && serial::HungUp(p->line)) {
        HangUp(portNumber);
        return kRS232UnknownIOError;
    }
    return q;
}

int InstallComCallback(int portNumber, int mask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void *callbackData) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    DropWatch(*p);
    if (mask == 0) {
        DropNotifier(*p);
        p->callback = nullptr;
        p->callbackData = nullptr;
        p->mask = 0;
        p->parked = false;
        serial::SetMark(p->line, 1);
        p->baseVmin = 1;
        return 0;
    }
    if (!callback || eventCharacter < 0 || eventCharacter > 255 || notifyCount < 0 ||
        notifyCount > serial::kMaxMark)
        return kRS232InvalidParameter;
    p->mask = mask;
    p->notifyCount = std::max(1, notifyCount);
    p->eventChar = eventCharacter;
    p->callback = callback;
    p->callbackData = callbackData;
    const int vmin = (mask & LWRS_RECEIVE) ? p->notifyCount : 1;
    if (!serial::SetMark(p->line, vmin)) return Failure(portNumber);
    p->baseVmin = vmin;
    ArmNotifier(portNumber);
    return 0;
}

int WatchComInQ(int portNumber, int count) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0) return kRS232InvalidParameter;
    if (p->callback) return 0; // the receive notification wakes the loop
    if (p->watch && count > 0 && count == p->watchCount) {
        serial::EnableNotifier(p->watch, true); // armed again for the next wake
        return 0;
    }
    DropWatch(*p);
    p->watchCount = count;
    const int vmin = count > 0 ? std::min(count, serial::kMaxMark) : 1;
    if (vmin != p->baseVmin) {
        if (!serial::SetMark(p->line, vmin)) return Failure(portNumber);
        p->baseVmin = vmin;
    }
    if (count == 0) return 0;
    // The mark makes the line readable only once `vmin` bytes wait, or on a hang-up; the
    // notifier then only ends the event loop's sleep.
    p->watch = serial::CreateNotifier(serial::NotifyHandle(p->line), [portNumber] {
        serial::EnableNotifier(g_ports[portNumber].watch, false);
    });
    return 0;
}

int WaitComInQ(int portNumber, int count, double seconds) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0) return kRS232InvalidParameter;
    serial::Device *line = p->line;
    const int want = std::clamp(count, 1, serial::kMaxMark);
    const double deadline = Now() + seconds;
    int q = GetInQLen(portNumber);
    if (q < 0 || q >= count || seconds <= 0) return q;
    const bool raised = want != p->baseVmin && serial::SetMark(line, want);
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0) break;
        serial::WaitReadable(line, left);
        q = GetInQLen(portNumber);
        if (q < 0 || q >= count) break;
    }
    if (raised && g_ports[portNumber].line == line) serial::SetMark(line, g_ports[portNumber].baseVmin);
    return q < 0 ? q : GetInQLen(portNumber);
}
