// The serial backend over POSIX termios on a raw, non-blocking file descriptor.
//
// The kernel's queue is the input queue: InQueue is FIONREAD, FlushIn is tcflush. The
// readiness mark is the termios VMIN: the kernel reports the descriptor readable only once
// that many bytes wait, so a partial reply never wakes a poll. A hang-up (adapter pulled,
// other end of a pseudo-terminal closed) shows as readable with nothing to read, read()
// returning 0, and writes and ioctls failing with EIO.
#include "serial_backend.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace serial {

struct Device {
    int fd = -1;
    int mark = 1;
    int error = 0;
    bool pseudoTerminal = false;
};

namespace {

constexpr unsigned kPtySlaveMajorFirst = 136, kPtySlaveMajorLast = 143; // /dev/pts/N
constexpr long kPtyHandOverNs = 50000;

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

// Raw mode, the line settings, no handshake, reads satisfied by one byte.
bool Configure(int fd, speed_t speed, const LineSettings &line) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[line.dataBits - 5];
    switch (line.parity) {
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
    if (line.stopBits == 2) t.c_cflag |= CSTOPB;
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
    t.c_cc[VMIN] = cc_t(std::clamp(vmin, 1, kMaxMark));
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Waits until fd is readable (at least VMIN bytes) or writable; false on time-out.
bool Poll(int fd, short events, double seconds) {
    pollfd p = {fd, events, 0};
    int ms = int(std::ceil(std::max(0.0, seconds) * 1000.0));
    int r;
    do {
        r = poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

bool Fail(Device *d) {
    d->error = errno;
    return false;
}

// The transfer loop of Read and Write: io(at, n) moves at most n bytes from offset `at` (one
// read() or write()) and *done counts what has moved. When the line is not ready,
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

// The slave end of a pseudo-terminal (the simulated sensor's line, a socat bridge).
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

// A write to a pseudo-terminal leaves its bytes to the kernel's tty work, which runs on the
// writer's core: while the writer keeps that core busy (drawing the frame just received) the
// other end may not see the request for milliseconds. A short sleep after the write lets the
// work run at once. Serial drivers start sending within the write; they need none.
void HandOverWrite(const Device *d) {
    if (!d->pseudoTerminal) return;
    timespec pause{0, kPtyHandOverNs};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool g_permissionNoteShown = false;

// A device the user may not open: name the group that owns it, once a run.
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

} // namespace

bool SupportedBaud(long baud) {
    speed_t speed;
    return BaudToSpeed(baud, &speed);
}

Device *Open(const std::string &name, const LineSettings &line, OpenResult *result,
             std::string *reason) {
    speed_t speed;
    if (!BaudToSpeed(line.baud, &speed)) {
        *result = OpenResult::BadSettings;
        *reason = "unsupported baud rate";
        return nullptr;
    }
    const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        *reason = std::strerror(err);
        switch (err) {
        case EACCES:
        case EPERM:
            ShowPermissionNote(name.c_str());
            *result = OpenResult::Denied;
            break;
        case EBUSY:
            *result = OpenResult::Busy;
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            *result = OpenResult::NoSuchDevice;
            break;
        default:
            *result = OpenResult::Failed;
            break;
        }
        return nullptr;
    }
    // One program per line: a second opener finds the port busy.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        *result = OpenResult::Busy;
        *reason = "in use by another program";
        return nullptr;
    }
    if (!isatty(fd)) {
        close(fd);
        *result = OpenResult::NoSuchDevice;
        *reason = "not a serial device";
        return nullptr;
    }
    if (!Configure(fd, speed, line)) {
        const int err = errno;
        close(fd);
        *reason = std::strerror(err);
        // A line that vanishes while being set up cannot be opened; anything else refused
        // the settings.
        *result = IsHangUpError(err) ? OpenResult::Busy : OpenResult::BadSettings;
        return nullptr;
    }
    tcflush(fd, TCIOFLUSH);
    *result = OpenResult::Ok;
    Device *d = new Device;
    d->fd = fd;
    d->pseudoTerminal = IsPseudoTerminal(fd);
    return d;
}

void Close(Device *d) {
    if (!d) return;
    if (d->fd >= 0) close(d->fd);
    delete d;
}

int InQueue(Device *d) {
    int n = 0;
    if (ioctl(d->fd, FIONREAD, &n) == 0) return n;
    d->error = errno;
    return -1;
}

int OutQueue(Device *d) {
    int n = 0;
    if (ioctl(d->fd, TIOCOUTQ, &n) == 0) return n;
    d->error = errno;
    return -1;
}

bool FlushIn(Device *d) {
    return tcflush(d->fd, TCIFLUSH) == 0 || Fail(d);
}

bool FlushOut(Device *d, double seconds) {
    int q = OutQueue(d);
    if (q < 0) return false;
    // The kernel has no timed drain: look at the queue each millisecond for at most a frame's
    // time (the caller's `seconds`).
    const double deadline = Now() + seconds;
    while (q > 0 && Now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        q = OutQueue(d);
        if (q < 0) return false;
    }
    if (q != 0 && tcflush(d->fd, TCOFLUSH) != 0) return Fail(d);
    return true;
}

bool SetHandshake(Device *d, bool on) {
    termios t{};
    if (tcgetattr(d->fd, &t) != 0) return Fail(d);
    if (on)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    return tcsetattr(d->fd, TCSANOW, &t) == 0 || Fail(d);
}

bool SetMark(Device *d, int count) {
    const int mark = std::clamp(count, 1, kMaxMark);
    if (mark == d->mark) return true;
    if (!SetVmin(d->fd, mark)) return Fail(d);
    d->mark = mark;
    return true;
}

bool WaitReadable(Device *d, double seconds) {
    return Poll(d->fd, POLLIN, seconds);
}

int Read(Device *d, char *buffer, int count, double seconds, bool *failed) {
    const int fd = d->fd;
    int done = 0, vmin = d->mark;
    const ssize_t r = Transfer(
        count, Now() + seconds, &done,
        [&](int at, int n) { return read(fd, buffer + at, size_t(n)); },
        [&](double left) {
            if (left <= 0) return false;
            // Let the kernel wake us once the rest is there (VMIN is also the readiness mark).
            const int want = std::min(count - done, kMaxMark);
            if (want != vmin && SetVmin(fd, want)) vmin = want;
            Poll(fd, POLLIN, left);
            return true;
        });
    // read() gives 0 on a raw line only when it has been hung up.
    *failed = r <= 0;
    if (*failed) d->error = r == 0 ? EIO : errno;
    if (vmin != d->mark) SetVmin(fd, d->mark);
    return done;
}

int Write(Device *d, const char *buffer, int count, double seconds, bool *failed) {
    int done = 0;
    const ssize_t r = Transfer(
        count, Now() + seconds, &done,
        [&](int at, int n) { return write(d->fd, buffer + at, size_t(n)); },
        // Given up when the output queue stays full for the whole time-out.
        [&](double left) { return left > 0 && Poll(d->fd, POLLOUT, left); });
    if (done > 0) HandOverWrite(d);
    *failed = r <= 0;
    if (*failed) d->error = r == 0 ? EIO : errno;
    return done;
}

bool HungUp(Device *d) {
    pollfd p = {d->fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

Waitable NotifyHandle(Device *d) {
    return Waitable(d->fd);
}

int LastError(Device *d) {
    return d->error;
}

bool IsHangUpError(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

std::string ErrorText(int code) {
    return std::strerror(code);
}

} // namespace serial
