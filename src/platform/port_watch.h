// Inside the platform: the serial layer reports opens, failed opens and hang-ups here; the
// watcher follows the stable-name folder for a lost adapter's return.
#pragma once

#include <string>

// Folder of stable names (symlinks to the devices); --serial-dir replaces the default.
const std::string &SerialDir(void);
void SetSerialDir(const char *dir);
bool SerialDirOverridden(void);
// Stable name of a device path: the link's name when it lies in SerialDir(), else "".
std::string StableNameOf(const std::string &device);

// The last good adapter remembered in the user's settings: stable name, USB serial number.
void RememberedAdapter(std::string *name, std::string *serial);

// Control callbacks running (RUN and VIDEO run inside their button's, a one-shot exchange
// inside its button's): a lost port is told once none runs, after the callback's own text.
extern int g_callbackDepth;
struct CallbackScope {
    CallbackScope() { ++g_callbackDepth; }
    ~CallbackScope() { --g_callbackDepth; }
    CallbackScope(const CallbackScope &) = delete;
    CallbackScope &operator=(const CallbackScope &) = delete;
};

// The serial layer's reports.
void PortHungUp(int portNumber, const std::string &device);
void PortOpened(int portNumber, int fd, const std::string &device);
// err: errno of the failed open, or one of the kOpen* reasons below.
enum { kOpenHeld = -1000, kOpenNotTty = -1001 };
void PortOpenFailed(int portNumber, const std::string &device, int err);

// Hint line text (port_hint.cpp). The texts are pure functions for the tests.
void SetPortHint(const std::string &text);
const std::string &CurrentPortHint(void);
// A process holding `device` open: its name and id, or an empty name.
struct PortHolder {
    std::string name;
    long pid = 0;
};
PortHolder FindPortHolder(const std::string &device, const std::string &procDir = "/proc");
std::string HintForOpenFailure(const std::string &device, int err, const std::string &group,
                               const PortHolder &holder);
std::string GroupOfDevice(const std::string &device);

// Low latency on open (serial_latency.cpp): the driver's flag and the ftdi latency timer.
// Returns the hint for a timer above 2 ms, or "".
std::string RequestLowLatency(int fd, const std::string &device,
                              const std::string &sysClassTty = "/sys/class/tty");
std::string LatencyHint(int timerMs);
