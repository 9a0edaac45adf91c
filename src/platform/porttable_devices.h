// The machine's serial devices as the port table lists them. Platform-internal: found with
// QSerialPortInfo in the program (porttable_qt.cpp); the Qt-free core finds none.
#pragma once

#include <string>
#include <vector>

struct FoundSerialDevice {
    std::string name;         // e.g. ttyUSB0, COM3
    std::string path;         // what opens it: /dev/ttyUSB0, \\.\COM3
    std::string description;  // e.g. "USB serial"
    std::string manufacturer; // e.g. the adapter's maker
};

std::vector<FoundSerialDevice> FindSerialDevices();
