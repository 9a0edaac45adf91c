// The machine's serial devices as the port table lists them. Platform-internal: found on
// Linux in porttable_linux.cpp (the stable-name folder, QSerialPortInfo, the built-in ports
// that exist); where nothing is found by itself (the Qt-free core, Windows) in
// porttable_none.cpp.
#pragma once

#include <string>
#include <vector>

struct FoundSerialDevice {
    // Sort key: class of device, its number, its name.
    int order = 0;
    long number = 0;
    std::string sortName;
    std::string path;        // what opens it: /dev/serial/by-id/..., /dev/ttyS0
    std::string shown;       // shown in the label instead of the path, or ""
    std::string description; // the rest of the label
    std::string stableKey;   // the link for a stable name, else the real path
    std::string serial;      // USB serial number, if any
};

// The devices in their stable order.
std::vector<FoundSerialDevice> FindSerialDevices();
// At the first listing: the stable key of the device that becomes COM1 (the adapter on which
// the echo check last passed), or "".
std::string FirstListingCom1(const std::vector<FoundSerialDevice> &found);
