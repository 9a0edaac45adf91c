// The serial backend over a Win32 COM port opened for overlapped I/O.
//
// Receiving: the backend keeps one overlapped ReadFile pending ("the arrival read") and
// collects what it brought into its own queue. Its event is the line's waitable handle:
// signalled when the read completes, and left signalled while at least `mark` bytes wait,
// because no new read is posted then; once the queue drops below the mark a new read is
// posted, which resets the event. The arrival read asks for exactly the bytes missing to the
// mark (one byte at mark 1), so it completes with the mark's last byte: a whole reply wakes a
// waiter once, at once. The read interval time-out (kIntervalMs, no total time-out) ends it
// early when the line pauses, so a reply cut short still surfaces, a few milliseconds after
// its last byte. With nothing arriving the read stays pending: an idle wait costs nothing.
//
// Why not WaitCommEvent(EV_RXCHAR): it signals every byte, so a 36-byte reply wakes the
// waiter dozens of times; under wine one measured exchange loop spent 39% of a core that way
// against about 5% with the arrival read, and a fresh EV_RXCHAR wait returned at once on
// bytes already taken.
//
// The input queue's length is the collected bytes plus ClearCommError's cbInQue (bytes the
// driver holds while no read is pending). FlushIn cancels the arrival read and purges the
// driver (PurgeComm), FlushOut purges the output after letting it drain.
//
// A removed adapter fails the pending read or the next call with one of the codes
// IsHangUpError accepts (ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED, ERROR_BAD_COMMAND,
// ERROR_DEVICE_REMOVED, ...; wine reports a closed pseudo-terminal as ERROR_BROKEN_PIPE and
// then ERROR_NOT_READY): the line is then gone for good, its event stays signalled and every
// later call fails at once, so the operations above close the port once and nothing spins.
//
// One program per line: Windows refuses a second CreateFile on a COM port; a named mutex per
// port name makes that hold also where the system does not enforce it (wine).
#include "serial_backend.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace serial {

namespace {

constexpr DWORD kIntervalMs = 3;         // a pause this long ends an arrival read early
constexpr DWORD kChunk = 4096;           // an arrival read asks at most this much
constexpr size_t kQueueLimit = 1u << 16; // collected bytes kept before reading stops

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

DWORD Millis(double seconds) {
    if (!(seconds > 0)) return 0;
    return DWORD(std::min(std::ceil(seconds * 1000.0), 4.0e9));
}

} // namespace

struct Device {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE lock = nullptr; // named mutex: the port held by this program
    int mark = 1;
    DWORD error = 0;
    bool gone = false;
    // The arrival read.
    OVERLAPPED arrival{};
    bool pending = false;
    DWORD ask = 0; // bytes the arrival read asks for
    char chunk[kChunk];
    // Bytes collected and not yet read: queue[head, end).
    std::vector<char> queue;
    size_t head = 0;
    OVERLAPPED out{};

    size_t Held() const { return queue.size() - head; }
};

namespace {

void Gone(Device *d, DWORD code) {
    if (!d->gone) d->error = code;
    d->gone = true;
    SetEvent(d->arrival.hEvent); // readable and hung up, like a hung-up descriptor
}

bool Fail(Device *d) {
    d->error = GetLastError();
    if (IsHangUpError(int(d->error))) Gone(d, d->error);
    return false;
}

void Keep(Device *d, const char *bytes, DWORD n) {
    if (d->head > 0 && d->head == d->queue.size()) {
        d->queue.clear();
        d->head = 0;
    }
    d->queue.insert(d->queue.end(), bytes, bytes + n);
}

// Takes a finished arrival read into the queue; posts the next one while fewer than `mark`
// bytes are held. Returns false when the line is gone.
bool Collect(Device *d, int mark) {
    for (;;) {
        if (d->pending) {
            DWORD n = 0;
            if (!GetOverlappedResult(d->port, &d->arrival, &n, FALSE)) {
                const DWORD e = GetLastError();
                if (e == ERROR_IO_INCOMPLETE) return !d->gone;
                d->pending = false;
                Gone(d, e);
                return false;
            }
            d->pending = false;
            Keep(d, d->chunk, n);
        }
        if (d->gone) return false;
        const size_t held = d->Held();
        if (held >= size_t(mark) || held >= kQueueLimit) {
            SetEvent(d->arrival.hEvent); // readable: stays so until the queue drops
            return true;
        }
        const DWORD ask = std::min<DWORD>(DWORD(size_t(mark) - held), kChunk);
        d->ask = ask;
        d->pending = true;
        if (!ReadFile(d->port, d->chunk, ask, nullptr, &d->arrival)) {
            const DWORD e = GetLastError();
            if (e != ERROR_IO_PENDING) {
                d->pending = false;
                Gone(d, e);
                return false;
            }
            return true;
        }
        // Finished at once (the bytes were there): take them and look again.
    }
}

// Cancels the arrival read and waits until it has ended; its bytes are returned in *bytes.
void CancelArrival(Device *d, std::vector<char> *bytes) {
    if (!d->pending) return;
    CancelIoEx(d->port, &d->arrival);
    DWORD n = 0;
    const BOOL ok = GetOverlappedResult(d->port, &d->arrival, &n, TRUE);
    d->pending = false;
    if (ok || GetLastError() == ERROR_OPERATION_ABORTED) {
        if (bytes) bytes->insert(bytes->end(), d->chunk, d->chunk + n);
    } else {
        Gone(d, GetLastError());
    }
}

bool DriverQueues(Device *d, COMSTAT *status) {
    DWORD errors = 0;
    if (ClearCommError(d->port, &errors, status)) return true;
    return Fail(d);
}

std::string PortPath(const std::string &name) {
    // "COM12" needs the device namespace form; anything else is taken as written.
    std::string upper = name;
    for (char &c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (upper.rfind("COM", 0) == 0 && upper.size() > 3 &&
        upper.find_first_not_of("0123456789", 3) == std::string::npos)
        return "\\\\.\\" + upper;
    return name;
}

std::string LockName(const std::string &path) {
    std::string key;
    for (char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        key += std::isalnum(u) ? char(std::toupper(u)) : '_';
    }
    return "Global\\kvor-rur-glint-serial-" + key;
}

} // namespace

bool SupportedBaud(long baud) {
    static const long rates[] = {110,   300,   600,    1200,   2400,   4800,  9600,
                                 19200, 38400, 57600, 115200, 230400, 460800, 921600};
    return std::find(std::begin(rates), std::end(rates), baud) != std::end(rates);
}

Device *Open(const std::string &name, const LineSettings &line, OpenResult *result,
             std::string *reason) {
    if (!SupportedBaud(line.baud)) {
        *result = OpenResult::BadSettings;
        *reason = "unsupported baud rate";
        return nullptr;
    }
    const std::string path = PortPath(name);
    HANDLE lock = CreateMutexA(nullptr, FALSE, LockName(path).c_str());
    if (lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        *result = OpenResult::Busy;
        *reason = "in use by another program";
        return nullptr;
    }
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (lock) CloseHandle(lock);
        *reason = ErrorText(int(e));
        switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_NOT_READY:
            *result = OpenResult::NoSuchDevice;
            break;
        case ERROR_ACCESS_DENIED: // a COM port held by another program
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            *result = OpenResult::Busy;
            break;
        default:
            *result = OpenResult::Failed;
            break;
        }
        return nullptr;
    }
    auto refuse = [&](OpenResult r, const std::string &why) -> Device * {
        CloseHandle(port);
        if (lock) CloseHandle(lock);
        *result = r;
        *reason = why;
        return nullptr;
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(port) != FILE_TYPE_CHAR || !GetCommState(port, &dcb))
        return refuse(OpenResult::NoSuchDevice, "not a serial device");
    dcb.BaudRate = DWORD(line.baud);
    dcb.ByteSize = BYTE(line.dataBits);
    // 0..4 are none, odd, even, mark, space in both numberings.
    dcb.Parity = BYTE(line.parity);
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != 0;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(port, &dcb)) return refuse(OpenResult::BadSettings, ErrorText(int(GetLastError())));
    // Reads: no total time-out, ended by a pause of kIntervalMs after the first byte (or by
    // their count). Writes: no time-out of their own; Write waits for them itself.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kIntervalMs;
    if (!SetCommTimeouts(port, &timeouts)) return refuse(OpenResult::Failed, ErrorText(int(GetLastError())));
    SetupComm(port, kChunk, kChunk);
    PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);

    Device *d = new Device;
    d->port = port;
    d->lock = lock;
    d->arrival.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    d->out.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!d->arrival.hEvent || !d->out.hEvent) {
        const std::string why = ErrorText(int(GetLastError()));
        if (d->arrival.hEvent) CloseHandle(d->arrival.hEvent);
        if (d->out.hEvent) CloseHandle(d->out.hEvent);
        delete d;
        return refuse(OpenResult::Failed, why);
    }
    Collect(d, d->mark);
    *result = OpenResult::Ok;
    return d;
}

void Close(Device *d) {
    if (!d) return;
    CancelArrival(d, nullptr);
    CloseHandle(d->port);
    CloseHandle(d->arrival.hEvent);
    CloseHandle(d->out.hEvent);
    if (d->lock) CloseHandle(d->lock);
    delete d;
}

int InQueue(Device *d) {
    if (!Collect(d, d->mark)) {
        d->error = d->error ? d->error : ERROR_NOT_READY;
        return -1;
    }
    COMSTAT status{};
    if (!DriverQueues(d, &status)) return -1;
    return int(std::min<size_t>(d->Held() + status.cbInQue, 0x7fffffff));
}

int OutQueue(Device *d) {
    if (d->gone) return -1;
    COMSTAT status{};
    if (!DriverQueues(d, &status)) return -1;
    return int(status.cbOutQue);
}

bool FlushIn(Device *d) {
    if (!Collect(d, d->mark)) return false;
    // A pending read for one byte holds nothing yet; a longer one may hold the start of a
    // reply, which must go as well.
    if (d->pending && d->ask > 1) CancelArrival(d, nullptr);
    d->queue.clear();
    d->head = 0;
    if (!PurgeComm(d->port, PURGE_RXCLEAR)) return Fail(d);
    return Collect(d, d->mark);
}

bool FlushOut(Device *d, double seconds) {
    const double deadline = Now() + seconds;
    int q = OutQueue(d);
    // The driver has no timed drain: look at the queue each millisecond for at most a
    // frame's time (the caller's `seconds`).
    while (q > 0 && Now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        q = OutQueue(d);
    }
    if (q < 0) return false;
    if (q > 0 && !PurgeComm(d->port, PURGE_TXABORT | PURGE_TXCLEAR)) return Fail(d);
    return true;
}

bool SetHandshake(Device *d, bool on) {
    if (d->gone) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(d->port, &dcb)) return Fail(d);
    dcb.fOutxCtsFlow = on;
    dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    return SetCommState(d->port, &dcb) || Fail(d);
}

bool SetMark(Device *d, int count) {
    const int mark = std::clamp(count, 1, kMaxMark);
    if (mark == d->mark) return true;
    d->mark = mark;
    // A read asking for more than the new mark needs ends at the reply's pause anyway;
    // below the mark the event must not stay signalled.
    if (d->Held() < size_t(mark) && !d->pending && !d->gone) ResetEvent(d->arrival.hEvent);
    return Collect(d, mark);
}

bool WaitReadable(Device *d, double seconds) {
    const double deadline = Now() + seconds;
    for (;;) {
        if (!Collect(d, d->mark) || d->Held() >= size_t(d->mark)) return true;
        const double left = deadline - Now();
        if (left <= 0) return false;
        WaitForSingleObject(d->arrival.hEvent, Millis(left));
    }
}

int Read(Device *d, char *buffer, int count, double seconds, bool *failed) {
    *failed = false;
    const double deadline = Now() + seconds;
    int done = 0;
    for (;;) {
        const size_t take = std::min(d->Held(), size_t(count - done));
        if (take > 0) {
            std::memcpy(buffer + done, d->queue.data() + d->head, take);
            d->head += take;
            done += int(take);
        }
        if (done == count) break;
        // Bytes still in the driver: an arrival read asking for them finishes at once.
        const int missing = std::min(count - done, kMaxMark);
        if (!Collect(d, missing)) {
            *failed = true;
            break;
        }
        if (d->Held() > 0) continue;
        const double left = deadline - Now();
        if (left <= 0) break;
        WaitForSingleObject(d->arrival.hEvent, Millis(left));
    }
    // Back to the line's own mark: resets the event when fewer bytes are held now.
    if (!d->gone) {
        if (d->Held() < size_t(d->mark) && !d->pending) ResetEvent(d->arrival.hEvent);
        Collect(d, d->mark);
    }
    return done;
}

int Write(Device *d, const char *buffer, int count, double seconds, bool *failed) {
    *failed = false;
    if (d->gone) {
        *failed = true;
        return 0;
    }
    if (count == 0) return 0;
    DWORD n = 0;
    if (WriteFile(d->port, buffer, DWORD(count), nullptr, &d->out) ||
        GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(d->out.hEvent, Millis(seconds)) != WAIT_OBJECT_0) {
            // The output stayed full for the whole time-out: what went out counts.
            CancelIoEx(d->port, &d->out);
        }
        if (GetOverlappedResult(d->port, &d->out, &n, TRUE)) return int(n);
        if (GetLastError() == ERROR_OPERATION_ABORTED && !d->gone) {
            // Our own cancellation, unless the line is gone (which the next call shows).
            COMSTAT status{};
            if (DriverQueues(d, &status)) return int(n);
        }
    }
    Fail(d);
    *failed = true;
    return int(n);
}

bool HungUp(Device *d) {
    Collect(d, d->mark);
    return d->gone;
}

Waitable NotifyHandle(Device *d) {
    return reinterpret_cast<Waitable>(d->arrival.hEvent);
}

int LastError(Device *d) {
    return int(d->error);
}

bool IsHangUpError(int code) {
    switch (DWORD(code)) {
    case ERROR_ACCESS_DENIED:       // the adapter's handle lost its device
    case ERROR_INVALID_HANDLE:      // the same, on some drivers
    case ERROR_NOT_READY:           // wine: the pseudo-terminal's other end closed
    case ERROR_BAD_COMMAND:         // the device no longer understands the request
    case ERROR_GEN_FAILURE:         // device not functioning
    case ERROR_BROKEN_PIPE:         // wine: the pending read met a closed pseudo-terminal
    case ERROR_OPERATION_ABORTED:   // the driver aborted the I/O on removal
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

std::string ErrorText(int code) {
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    if (s.empty()) s = "system error " + std::to_string(code);
    return s;
}

} // namespace serial
