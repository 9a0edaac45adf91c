// What the service tools tell about the program and the connected sensor: the program's
// name and version, the port, the sensor's hardware words and firmware text (taken when a
// probe has passed), the parameter words by name. Plain C++, no toolkit.
#pragma once

#include <string>
#include <utility>
#include <vector>

constexpr int kHardwareWords = 9;
struct SensorIdentity {
    bool known = false;                 // a probe has passed on the current port
    unsigned short words[kHardwareWords] = {};
    std::string firmware;               // empty when the firmware text could not be read
};
extern SensorIdentity g_identity;

// Takes the identity after a probe (the probe hook).
void CaptureIdentity(void);
// The hardware words by name, in the order of the hardware reply.
std::vector<std::pair<std::string, unsigned>> HardwareWords(void);
// Name of parameter word i (0..15): power, rs232Mode, ... tolDelta.
const char *ParameterWordName(int i);
// "K-VOR-RUR-Glint Version 1.00".
std::string ProgramText(void);
// "COM1 /dev/pts/3", or "COM1" when no device is assigned.
std::string PortText(void);
