// RS-232 operations over POSIX termios on a raw file descriptor.
//
// The kernel's queue is the input queue: GetInQLen is FIONREAD, FlushInQ is tcflush;
// FlushOutQ lets a frame being sent finish before it discards anything. The receive callback is a
// QSocketNotifier on the descriptor, delivered on the GUI thread while events are processed. The
// termios VMIN of the port is the notify count, so the kernel reports the port readable only once
// that many bytes wait: a partial reply never wakes the event loop. A hang-up (adapter pulled,
// other end of a pseudo-terminal closed: readable with nothing to read, read returns 0, writes and
// ioctls fail with EIO) closes the port at once, with one line on stderr; later operations fail as
// on a port that is not open.
//
// The file has two halves: the operating-system part (namespace `os`: open, configure, read,
// write, queue length, flush, wait) and the operations with their port state, callbacks and
// trace. A Windows port replaces the first half (CreateFile, ClearCommError, PurgeComm).
#include "rs232.h"
#include "trace.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// ---- operating-system part ------------------------------------------------------------------
namespace os {

constexpr int kMaxVmin = 255; // VMIN is one byte wide

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool BaudToSpeed(long baud, speed_t *speed) {
    static const struct {
        long baud;
        speed_t speed;
    } table[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                 {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                 {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                 {460800, B460800}, {921600, B921600}};
    for (const auto &e : table) {
        if (e.baud == baud) {
            *speed = e.speed;
            return true;
        }
    }
    return false;
}

// Raw mode, the line settings, no handshake, reads satisfied by `vmin` bytes.
bool Configure(int fd, speed_t speed, int parity, int dataBits, int stopBits) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dataBits - 5];
    switch (parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break; // odd
    case 2:
        t.c_cflag |= PARENB;
        break; // even
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break; // mark
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break; // space
    default:
        break;
    }
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool SetVmin(int fd, int vmin) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    t.c_cc[VMIN] = cc_t(std::clamp(vmin, 1, kMaxVmin));
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool SetHandshake(int fd, bool on) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    if (on)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Bytes waiting in the kernel's input queue, or -1 with errno.
int InQueue(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

int OutQueue(int fd) {
    int n = 0;
    return ioctl(fd, TIOCOUTQ, &n) == 0 ? n : -1;
}

// Waits until fd is readable (at least VMIN bytes) or writable; false on time-out.
bool Wait(int fd, short events, double seconds) {
    pollfd p = {fd, events, 0};
    int ms = int(std::ceil(std::max(0.0, seconds) * 1000.0));
    int r;
    do {
        r = poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

bool HungUp(int fd) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool IsHangUpError(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

// The transfer loop of ComWrt and ComRd: io(at, n) moves at most n bytes from offset `at` (one
// write() or read()) and *done counts what has moved. When the line is not ready,
// notReady(seconds left to the deadline) waits and says whether to go on. Returns 1 when all
// bytes moved or notReady gave up, otherwise the failed call's result (0, or -1 with errno).
template <class Io, class NotReady>
ssize_t Transfer(int count, double deadline, int *done, Io io, NotReady notReady) {
    while (*done < count) {
        const ssize_t r = io(*done, count - *done);
        if (r > 0) {
            *done += int(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EAGAIN) {
            if (notReady(deadline - Now())) continue;
            return 1;
        }
        return r;
    }
    return 1;
}

} // namespace os

// ---- port state -------------------------------------------------------------------------------
struct Port {
    int fd = -1;
    std::string device;
    long baud = 19200;
    double timeout = 5.0; // I/O time-out of ComRd and ComWrt, seconds
    int baseVmin = 1;     // VMIN while no read is waiting: the notify count, or 1
    // Receive callback.
    int mask = 0, notifyCount = 1, eventChar = 0;
    ComCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    QSocketNotifier *notifier = nullptr;
    QSocketNotifier *watch = nullptr; // WatchComInQ: a wake-up without a callback
    int watchCount = 0;
    bool inCallback = false;
    bool parked = false;          // delivered, nothing taken: quiet until the queue drops
    unsigned long taken = 0;      // bytes taken from the input queue (reads and flushes)
    unsigned long generation = 0; // changes with every open and close
};

Port g_ports[kMaxPortNumber + 1];
unsigned long g_generation = 0;
bool g_permissionNoteShown = false;

bool ValidNumber(int n) {
    return n >= 1 && n <= kMaxPortNumber;
}

// The open port n, or null with *code set (-2 bad number, -3 not open).
Port *OpenPort(int n, int *code) {
    if (!ValidNumber(n)) {
        *code = kRS232InvalidPortNum;
        return nullptr;
    }
    if (g_ports[n].fd < 0) {
        *code = kRS232PortNotOpen;
        return nullptr;
    }
    return &g_ports[n];
}

void DropNotifier(Port &p) {
    if (!p.notifier) return;
    p.notifier->setEnabled(false);
    // Inside the callback the notifier's own signal is still on the stack.
    if (p.inCallback)
        p.notifier->deleteLater();
    else
        delete p.notifier;
    p.notifier = nullptr;
}

void DropWatch(Port &p) {
    if (!p.watch) return;
    // Deleted at once: its own wake-up only disables it and never comes here. A deferred
    // delete would never run while a VIDEO loop waits (its event processing is nested and
    // leaves deferred deletes alone), so every cycle would leave one notifier behind.
    delete p.watch;
    p.watch = nullptr;
}

void ClosePort(int n) {
    Port &p = g_ports[n];
    DropNotifier(p);
    DropWatch(p);
    if (p.fd >= 0) close(p.fd);
    p.fd = -1;
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
    if (p.fd < 0) return;
    std::fprintf(stderr,
                 "serial port COM%d (%s): line hung up (device gone or other end "
                 "closed); port closed\n",
                 n, p.device.c_str());
    TraceLine("com-hangup", p.device.c_str());
    ClosePort(n);
}

// Failure of an operation on an open port: a hang-up closes it (-4 this once, -3 later).
int Failure(int n, int err) {
    if (g_traceOn) {
        const std::string text = "COM" + std::to_string(n) + " " + std::strerror(err);
        TraceLine("com-error", text.c_str());
    }
    if (os::IsHangUpError(err) || os::HungUp(g_ports[n].fd)) {
        HangUp(n);
        return kRS232UnknownIOError;
    }
    return kRS232UnknownSysError;
}

void ShowPermissionNote(const char *device) {
    if (g_permissionNoteShown) return;
    g_permissionNoteShown = true;
    struct stat st {};
    std::string owner;
    if (stat(device, &st) == 0) {
        if (const struct group *g = getgrgid(st.st_gid)) owner = g->gr_name;
    }
    if (owner.empty()) owner = "dialout";
    std::fprintf(stderr,
                 "cannot open %s: permission denied. The device belongs to the group \"%s\";\n"
                 "join it with   sudo usermod -aG %s $USER   and log in again.\n",
                 device, owner.c_str(), owner.c_str());
}

// After bytes left the input queue: a parked notifier listens again.
void Unpark(Port &p) {
    if (p.parked && p.notifier && !p.inCallback) {
        int q = os::InQueue(p.fd);
        if (q >= 0 && q < p.notifyCount) {
            p.parked = false;
            p.notifier->setEnabled(true);
        }
    }
}

void OnReadable(int n);

void ArmNotifier(int n) {
    Port &p = g_ports[n];
    DropNotifier(p);
    p.parked = false;
    if (!(p.mask & LWRS_RECEIVE) || !QCoreApplication::instance()) return;
    p.notifier = new QSocketNotifier(p.fd, QSocketNotifier::Read);
    QObject::connect(p.notifier, &QSocketNotifier::activated, p.notifier, [n] { OnReadable(n); });
    p.notifier->setEnabled(true);
}

void OnReadable(int n) {
    Port &p = g_ports[n];
    if (p.fd < 0 || !p.callback || !p.notifier || p.inCallback) return;
    const int q = os::InQueue(p.fd);
    if (q < 0 || (q == 0 && os::HungUp(p.fd))) {
        HangUp(n);
        return;
    }
    if (q < p.notifyCount) {
        // The kernel said readable but fewer bytes wait (a flush raced the wake-up): look
        // again shortly instead of being woken over and over.
        QSocketNotifier *sn = p.notifier;
        sn->setEnabled(false);
        const unsigned long gen = p.generation;
        QTimer::singleShot(1, sn, [n, gen] {
            Port &again = g_ports[n];
            if (again.generation == gen && again.notifier && !again.parked && !again.inCallback)
                again.notifier->setEnabled(true);
        });
        return;
    }
    int events = LWRS_RECEIVE;
    if ((p.mask & LWRS_TXEMPTY) && os::OutQueue(p.fd) == 0) events |= LWRS_TXEMPTY;
    const unsigned long gen = p.generation;
    const unsigned long takenBefore = p.taken;
    p.notifier->setEnabled(false);
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
        p.notifier->setEnabled(true);
    }
}

} // namespace

// ---- operations -------------------------------------------------------------------------------

int OpenComConfig(int portNumber, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    if (!ValidNumber(portNumber)) return kRS232InvalidPortNum;
    speed_t speed;
    if (!os::BaudToSpeed(baudRate, &speed) || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || stopBits < 1 || stopBits > 2 || inputQueueSize < -1 || outputQueueSize < -1)
        return kRS232InvalidParameter;
    std::string device = (deviceName && *deviceName) ? deviceName : GetPortDevice(portNumber);
    if (device.empty()) return GetPortCount() == 0 ? kRS232NoPortFound : kRS232InvalidPortNum;
    if (g_ports[portNumber].fd >= 0) CloseCom(portNumber);

    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        TraceLine("com-open-failed", (device + ": " + std::strerror(err)).c_str());
        switch (err) {
        case EACCES:
        case EPERM:
            ShowPermissionNote(device.c_str());
            return kRS232CannotOpenPort;
        case EBUSY:
            return kRS232CannotOpenPort;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return kRS232NoPortFound;
        default:
            return kRS232UnknownSysError;
        }
    }
    // One program per line: a second opener finds the port busy.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        TraceLine("com-open-failed", (device + ": in use by another program").c_str());
        return kRS232CannotOpenPort;
    }
    if (!isatty(fd)) {
        close(fd);
        TraceLine("com-open-failed", (device + ": not a serial device").c_str());
        return kRS232NoPortFound;
    }
    if (!os::Configure(fd, speed, parity, dataBits, stopBits)) {
        const int err = errno;
        close(fd);
        TraceLine("com-open-failed", (device + ": " + std::strerror(err)).c_str());
        return os::IsHangUpError(err) ? kRS232CannotOpenPort : kRS232InvalidParameter;
    }
    tcflush(fd, TCIOFLUSH);
    Port &p = g_ports[portNumber];
    p = Port();
    p.fd = fd;
    p.device = device;
    p.baud = baudRate;
    p.generation = ++g_generation;
    TraceLine("com-open", ("COM" + std::to_string(portNumber) + " " + device).c_str());
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
    if (!os::SetHandshake(p->fd, mode != 0)) return Failure(portNumber, errno);
    return 0;
}

int FlushInQ(int portNumber) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    const int q = os::InQueue(p->fd);
    if (q < 0 || tcflush(p->fd, TCIFLUSH) != 0) return Failure(portNumber, errno);
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
    int q = os::OutQueue(p->fd);
    if (q < 0) return Failure(portNumber, errno);
    if (q == 0) return 0;
    const double deadline = os::Now() + q * (10.0 / double(p->baud)) + 0.05;
    while (q > 0 && os::Now() < deadline) {
        usleep(1000);
        q = os::OutQueue(p->fd);
    }
    if (q != 0 && tcflush(p->fd, TCOFLUSH) != 0) return Failure(portNumber, errno);
    return 0;
}

int ComWrt(int portNumber, const char *buffer, int count) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InvalidParameter;
    int done = 0;
    const ssize_t r = os::Transfer(
        count, os::Now() + p->timeout, &done,
        [&](int at, int n) { return write(p->fd, buffer + at, size_t(n)); },
        // Given up when the output queue stays full for the whole time-out.
        [&](double left) { return left > 0 && os::Wait(p->fd, POLLOUT, left); });
    if (r <= 0 && done == 0) return Failure(portNumber, errno);
    TraceBytes("com-write", portNumber, reinterpret_cast<const unsigned char *>(buffer), done);
    if (done == 0 && count > 0) return kRS232Timeout;
    return done;
}

int ComRd(int portNumber, char *buffer, int count) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InvalidParameter;
    const int fd = p->fd;
    int done = 0, vmin = p->baseVmin, failure = 0;
    const ssize_t r = os::Transfer(
        count, os::Now() + p->timeout, &done,
        [&](int at, int n) { return read(fd, buffer + at, size_t(n)); },
        [&](double left) {
            if (left <= 0) return false;
            // Let the kernel wake us once the rest is there (VMIN is also the readiness mark).
            const int want = std::min(count - done, os::kMaxVmin);
            if (want != vmin && os::SetVmin(fd, want)) vmin = want;
            os::Wait(fd, POLLIN, left);
            return true;
        });
    // read() gives 0 on a raw line only when it has been hung up.
    if (r <= 0) failure = Failure(portNumber, r == 0 ? EIO : errno);
    if (g_ports[portNumber].fd == fd) {
        if (vmin != p->baseVmin) os::SetVmin(fd, p->baseVmin);
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
    const int q = os::InQueue(p->fd);
    if (q < 0) return Failure(portNumber, errno);
    if (q == 0 && os::HungUp(p->fd)) {
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
        if (p->baseVmin != 1) os::SetVmin(p->fd, 1);
        p->baseVmin = 1;
        return 0;
    }
    if (!callback || eventCharacter < 0 || eventCharacter > 255 || notifyCount < 0 ||
        notifyCount > os::kMaxVmin)
        return kRS232InvalidParameter;
    p->mask = mask;
    p->notifyCount = std::max(1, notifyCount);
    p->eventChar = eventCharacter;
    p->callback = callback;
    p->callbackData = callbackData;
    const int vmin = (mask & LWRS_RECEIVE) ? p->notifyCount : 1;
    if (!os::SetVmin(p->fd, vmin)) return Failure(portNumber, errno);
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
        p->watch->setEnabled(true); // armed again for the next wake
        return 0;
    }
    DropWatch(*p);
    p->watchCount = count;
    const int vmin = count > 0 ? std::min(count, os::kMaxVmin) : 1;
    if (vmin != p->baseVmin) {
        if (!os::SetVmin(p->fd, vmin)) return Failure(portNumber, errno);
        p->baseVmin = vmin;
    }
    if (count == 0 || !QCoreApplication::instance()) return 0;
    // VMIN makes the kernel report the port readable only once `vmin` bytes wait, or on a
    // hang-up; the notifier then only ends the event loop's sleep.
    p->watch = new QSocketNotifier(p->fd, QSocketNotifier::Read);
    QSocketNotifier *sn = p->watch;
    QObject::connect(sn, &QSocketNotifier::activated, sn, [sn] { sn->setEnabled(false); });
    sn->setEnabled(true);
    return 0;
}

int WaitComInQ(int portNumber, int count, double seconds) {
    int code;
    Port *p = OpenPort(portNumber, &code);
    if (!p) return code;
    if (count < 0) return kRS232InvalidParameter;
    const int fd = p->fd;
    const int want = std::clamp(count, 1, os::kMaxVmin);
    const double deadline = os::Now() + seconds;
    int q = GetInQLen(portNumber);
    if (q < 0 || q >= count || seconds <= 0) return q;
    const bool raised = want != p->baseVmin && os::SetVmin(fd, want);
    for (;;) {
        const double left = deadline - os::Now();
        if (left <= 0) break;
        os::Wait(fd, POLLIN, left);
        q = GetInQLen(portNumber);
        if (q < 0 || q >= count) break;
    }
    if (raised && g_ports[portNumber].fd == fd) os::SetVmin(fd, g_ports[portNumber].baseVmin);
    return q < 0 ? q : GetInQLen(portNumber);
}
