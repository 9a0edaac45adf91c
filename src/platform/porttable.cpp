// The port table: port numbers (COM1 = 1) to the machine's serial devices
// (porttable_devices.h), in their stable order. Within a run a device keeps its number: an
// adapter pulled and plugged in again comes back under the same number (it is known by its
// stable name, not by its ttyUSB name, which the kernel may change), and numbers given on
// the command line (--port N=DEVICE, --simulate) are never taken by a found device. At the
// first listing the adapter on which the echo check last passed becomes COM1. On Windows a
// port number nobody assigned or found is the system's port of that number, \\.\COMn.
#include "porttable_devices.h"
#include "rs232.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxDevicePath = 4096;

struct Entry {
    char device[kMaxDevicePath] = ""; // stable storage: GetPortDevice hands out this pointer
    std::string shown; // shown in the label instead of the device path (found adapters)
    std::string description;
    bool assigned = false; // given on the command line; survives refreshes
};

Entry g_table[kMaxPortNumber + 1];
std::map<std::string, int> g_remembered; // stable key of a found device -> its number
bool g_firstListing = true;
bool g_refreshed = false;

std::string RealPath(const std::string &path) {
#ifdef _WIN32
    return path;
#else
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real.string();
#endif
}

void SetDevice(Entry &e, const std::string &path) {
    std::snprintf(e.device, sizeof e.device, "%s", path.c_str());
}

bool TakenByOther(int n, const std::string &real) {
    for (const auto &r : g_remembered)
        if (r.second == n && r.first != real) return true;
    return false;
}

} // namespace

int CheckPortDevice(int portNumber, const char *devicePath) {
    if (portNumber < 1 || portNumber > kMaxPortNumber) return kRS232InvalidPortNum;
    if (devicePath && std::strlen(devicePath) >= kMaxDevicePath) return kRS232InvalidParameter;
    return 0;
}

int AssignPortDevice(int portNumber, const char *devicePath) {
    if (const int wrong = CheckPortDevice(portNumber, devicePath); wrong < 0) return wrong;
    Entry &e = g_table[portNumber];
    if (!devicePath || !*devicePath) {
        e = Entry();
        return 0;
    }
    // The device appears once: a found device under another number gives way.
    const std::string real = RealPath(devicePath);
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        Entry &other = g_table[n];
        if (n != portNumber && !other.assigned && other.device[0] && RealPath(other.device) == real)
            other = Entry();
    }
    e = Entry();
    SetDevice(e, devicePath);
    e.assigned = true;
    return 0;
}

int SetPortDescription(int portNumber, const char *description) {
    if (portNumber < 1 || portNumber > kMaxPortNumber) return kRS232InvalidPortNum;
    g_table[portNumber].description = description ? description : "";
    return 0;
}

void RefreshPortTable(void) {
    g_refreshed = true;
    const std::vector<FoundSerialDevice> found = FindSerialDevices();
    if (g_firstListing) {
        g_firstListing = false;
        const std::string first = FirstListingCom1(found);
        if (!first.empty() && !g_table[1].assigned) g_remembered[first] = 1;
    }

    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (!g_table[n].assigned) g_table[n] = Entry();

    for (const FoundSerialDevice &f : found) {
        const std::string real = RealPath(f.path);
        bool shown = false;
        for (int n = 1; n <= kMaxPortNumber && !shown; ++n) {
            Entry &e = g_table[n];
            if (e.assigned && RealPath(e.device) == real) {
                if (e.description.empty()) e.description = f.description;
                shown = true;
            }
        }
        if (shown) continue;
        int number = 0;
        auto it = g_remembered.find(f.stableKey);
        if (it != g_remembered.end() && !g_table[it->second].assigned &&
            !g_table[it->second].device[0])
            number = it->second;
        // A new device takes the lowest number nobody holds or remembers; failing that, the
        // lowest free one.
        for (int pass = 0; pass < 2 && number == 0; ++pass)
            for (int n = 1; n <= kMaxPortNumber && number == 0; ++n)
                if (!g_table[n].device[0] && !g_table[n].assigned &&
                    (pass == 1 || !TakenByOther(n, f.stableKey)))
                    number = n;
        if (number == 0) break; // more devices than port numbers
        SetDevice(g_table[number], f.path);
        g_table[number].shown = f.shown;
        g_table[number].description = f.description;
        g_remembered[f.stableKey] = number;
    }
}

int GetPortCount(void) {
    if (!g_refreshed) RefreshPortTable();
    int count = 0;
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (g_table[n].device[0]) ++count;
    return count;
}

int GetPortEntry(int index, int *portNumber, char *label, int labelSize) {
    if (!g_refreshed) RefreshPortTable();
    if (index < 0) return 0;
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const Entry &e = g_table[n];
        if (!e.device[0]) continue;
        if (index-- > 0) continue;
        if (portNumber) *portNumber = n;
        if (label && labelSize > 0) {
            const char *what = e.shown.empty() ? e.device : e.shown.c_str();
            if (e.description.empty())
                std::snprintf(label, size_t(labelSize), "COM%d  %s", n, what);
            else
                std::snprintf(label, size_t(labelSize), "COM%d  %s  %s", n, what,
                              e.description.c_str());
        }
        return 1;
    }
    return 0;
}

const char *GetPortDevice(int portNumber) {
    if (portNumber < 1 || portNumber > kMaxPortNumber) return "";
    if (!g_refreshed) RefreshPortTable();
#ifdef _WIN32
    // Any port number names the system's port, also above 9 (which needs the \\.\ form).
    if (!g_table[portNumber].device[0]) {
        static char fallback[kMaxPortNumber + 1][16];
        std::snprintf(fallback[portNumber], sizeof fallback[portNumber], "\\\\.\\COM%d", portNumber);
        return fallback[portNumber];
    }
#endif
    return g_table[portNumber].device;
}
