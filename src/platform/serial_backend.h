// The operating system's side of a serial line, beneath the RS-232 operations (rs232.cpp).
// One backend is built per system: serial_posix.cpp (termios on a raw descriptor) or
// serial_win32.cpp (a COM port opened for overlapped I/O). The operations keep the port
// numbers, the receive callback, the trace and the hang-up rule; a backend only opens and
// configures the line, moves bytes and tells what the line does.
//
// Readiness: a line counts as readable once at least `mark` bytes wait in its input queue, or
// once it has hung up. The mark (1..255) is what makes a partial reply not wake a waiter:
// the notify count of the receive callback, the count a wait is waiting for.
//
// Errors: a failed call returns false or -1 and leaves the system's code in LastError(); a
// code that IsHangUpError() accepts, or HungUp() afterwards, means the line is gone.
#pragma once

#include <cstdint>
#include <string>

namespace serial {

constexpr int kMaxMark = 255;

struct LineSettings {
    long baud = 19200;
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8; // 5..8
    int stopBits = 1; // 1 or 2
};

enum class OpenResult {
    Ok,
    NoSuchDevice, // nothing of that name, or not a serial device
    Busy,         // held by another program (or by this one under another port number)
    Denied,       // the user may not open it
    BadSettings,  // the line refused the settings
    Failed,       // any other failure
};

struct Device; // one open line

// A handle a notifier can wait on: a file descriptor (POSIX) or an event HANDLE (Win32). It
// is signalled while the line is readable (see above).
using Waitable = std::intptr_t;

bool SupportedBaud(long baud);
// Opens `name` raw, with `line`, no handshake, mark 1, both queues empty. Null on failure,
// with *result and the system's reason in *reason.
Device *Open(const std::string &name, const LineSettings &line, OpenResult *result,
             std::string *reason);
void Close(Device *d);

int InQueue(Device *d);  // bytes waiting to be read, or -1
int OutQueue(Device *d); // bytes not yet sent, or -1
bool FlushIn(Device *d); // discards every byte received and not yet read
// Lets what is queued for sending go out for at most `seconds`, then discards the rest.
bool FlushOut(Device *d, double seconds);
bool SetHandshake(Device *d, bool on); // RTS/CTS
bool SetMark(Device *d, int count);    // readiness mark, clamped to 1..kMaxMark

// Waits until the line is readable, or `seconds` have passed (false). Never spins.
bool WaitReadable(Device *d, double seconds);
// Reads up to `count` bytes, waiting at most `seconds` for them in all; returns the bytes
// read. *failed tells whether the line failed (a hang-up included) before all came.
int Read(Device *d, char *buffer, int count, double seconds, bool *failed);
// Writes up to `count` bytes, waiting at most `seconds` while the output queue is full;
// returns the bytes queued; *failed as for Read.
int Write(Device *d, const char *buffer, int count, double seconds, bool *failed);
// True once the line is gone (adapter removed, other end of a pseudo-terminal closed).
bool HungUp(Device *d);

Waitable NotifyHandle(Device *d);
int LastError(Device *d);
bool IsHangUpError(int code);
std::string ErrorText(int code);

} // namespace serial
