// RS-232 operations of the platform. Ports are numbered (COM1 = 1); the port table maps a
// number to a device. Every operation returns a negative code on failure; the codes are
// those the logic's message table knows.
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
// Bytes waiting in the input queue now (no event processing needed).
int GetInQLen(int portNumber);
// Registers (mask != 0) or removes (mask 0) the receive callback. It is delivered on the
// GUI thread during event processing once at least notifyCount bytes wait.
int InstallComCallback(int portNumber, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void *callbackData);

// ---- port table ----------------------------------------------------------------------
enum { kMaxPortNumber = 64 };
// Assigns a device path (a tty, a pseudo-terminal, a symlink) to port N.
int AssignPortDevice(int portNumber, const char *devicePath);
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
