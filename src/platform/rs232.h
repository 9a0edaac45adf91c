// RS-232 operations of the platform. Ports are numbered (COM1 = 1); the port table maps a
// number to a device. Every operation returns a negative code on failure; the codes are
// those the logic's message table knows.
//
// The return rules the link relies on:
// - A port that is not open (never opened, closed, or closed by a hang-up): every
//   operation returns kRS232PortNotOpen (-3); a port number out of range gives -2.
// - A hang-up (adapter pulled, other end of a pseudo-terminal closed) is noticed by the
//   first operation that meets it, or by the receive notifier: that operation returns
//   kRS232UnknownIOError (-4) once and closes the port; every later one returns -3.
//   GetInQLen < 0 therefore always means "no reply can come on this port".
// - ComRd returns the bytes read; 0 is its time-out (nothing came within the I/O time-out).
//   Bytes read before a failure count: a read that got 10 bytes and then met a hang-up
//   returns 10 (the next operation returns -3).
// - ComWrt returns the bytes queued, which may be fewer than asked on a stalled line.
// - A failed operation writes the system's reason (strerror) to the service trace.
#pragma once

enum {
    kRS232UnknownSysError = -1,
    kRS232InvalidPortNum = -2,
    kRS232PortNotOpen = -3,
    kRS232UnknownIOError = -4,
    kRS232NoPortFound = -6,
    kRS232CannotOpenPort = -7,
    kRS232InvalidParameter = -13,
    kRS232Timeout = -99,
};

// Event bits of the receive callback.
enum {
    LWRS_RXFLAG = 0x0002,    // event character received
    LWRS_TXEMPTY = 0x0004,   // output queue empty
    LWRS_RECEIVE = 0x8000,   // at least notifyCount bytes are waiting
};

typedef void (*ComCallbackPtr)(int portNumber, int eventMask, void *callbackData);

// Opens port `portNumber` (deviceName may be empty: the port table's device is used).
int OpenComConfig(int portNumber, const char *deviceName, long baudRate, int parity,
                  int dataBits, int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int portNumber);
int SetComTime(int portNumber, double timeoutSeconds);
int SetCTSMode(int portNumber, int mode);
int FlushInQ(int portNumber);
int FlushOutQ(int portNumber);
// Queues `count` bytes; returns the count queued or a negative code.
int ComWrt(int portNumber, const char *buffer, int count);
// Reads at most `count` bytes, waiting at most the I/O time-out; returns the count read.
int ComRd(int portNumber, char *buffer, int count);
// Bytes waiting in the input queue now (no event processing needed). On Windows the bytes of
// a reply still arriving count once the awaited count is complete or the line has paused for
// a few milliseconds (they sit in the backend's pending read until then).
int GetInQLen(int portNumber);
// Registers (mask != 0) or removes (mask 0) the receive callback. It is delivered on the
// GUI thread during event processing once at least notifyCount bytes wait.
int InstallComCallback(int portNumber, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void *callbackData);

// Wakes the event loop once at least `count` bytes wait in the input queue of a port that
// has no receive callback (the waits that read raw answers: firmware text, profile blocks),
// or when the line hangs up; the wake delivers nothing, the waiter looks at GetInQLen.
// Armed for one wake; count 0 disarms. Ignored while a receive callback is installed (its
// own notification wakes the loop then). Counts above 255 wake at 255 bytes.
int WatchComInQ(int portNumber, int count);
// Blocks, without processing events, until at least `count` bytes wait in the input queue,
// the line hangs up or `seconds` have passed; returns GetInQLen then. The kernel wakes the
// wait (no polling). Counts above 255 wait for 255 bytes.
int WaitComInQ(int portNumber, int count, double seconds);

// ---- port table ----------------------------------------------------------------------
enum { kMaxPortNumber = 64 };
// Assigns a device path (a tty, a pseudo-terminal, a symlink) to port N.
int AssignPortDevice(int portNumber, const char *devicePath);
// What AssignPortDevice would answer, without assigning: 0, or its error code.
int CheckPortDevice(int portNumber, const char *devicePath);
// Text shown after the device in port N's label (e.g. "simulated sensor").
int SetPortDescription(int portNumber, const char *description);
// Rebuilds the list of the machine's serial devices (assigned ports stay).
void RefreshPortTable(void);
// Number of ports known; entry i gives its port number and a label
// like "COM3  /dev/ttyUSB0  FTDI USB serial". Returns 0 when i is out of range.
int GetPortCount(void);
int GetPortEntry(int index, int *portNumber, char *label, int labelSize);
// Device path of port N, or an empty string.
const char *GetPortDevice(int portNumber);
