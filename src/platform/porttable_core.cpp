// The port table of the Qt-free core (the Windows build): port numbers (COM1 = 1) to the
// machine's serial devices. The program on Linux uses porttable.cpp, which also lists USB
// adapters under their stable names and follows them when they come and go.
//
// The devices found by QSerialPortInfo are numbered in a stable order (built-in ttyS ports by
// number, then USB adapters ttyUSB and ttyACM by number, then the rest by name). Within a
// run a device keeps its number: an adapter pulled and plugged in again comes back under the
// same number, and numbers given on the command line (--port N=DEVICE, --simulate) are never
// taken by a found device. On Windows a port number nobody assigned or found is the system's
// port of that number, \\.\COMn.
#include "porttable_devices.h"
#include "rs232.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxDevicePath = 4096;

struct Entry {
    char device[kMaxDevicePath] = ""; // stable storage: GetPortDevice hands out this pointer
    std::string description;
    bool assigned = false; // given on the command line; survives refreshes
};

Entry g_table[kMaxPortNumber + 1];
std::map<std::string, int> g_remembered; // real path of a found device -> its number
bool g_refreshed = false;

// The path a device is known by, links resolved, so one device is listed once. Windows
// device names are not files: they stay as they are.
std::string RealPath(const std::string &path) {
#ifdef _WIN32
    return path;
#else
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real.string();
#endif
}

// Sort key: class of device, its number, its name.
struct Key {
    int cls;
    long number;
    std::string name;
    bool operator<(const Key &o) const {
        if (cls != o.cls) return cls < o.cls;
        if (number != o.number) return number < o.number;
        return name < o.name;
    }
};

Key KeyOf(const std::string &name) {
    Key k{3, 0, name};
    if (name.rfind("ttyS", 0) == 0)
        k.cls = 0;
    else if (name.rfind("ttyUSB", 0) == 0)
        k.cls = 1;
    else if (name.rfind("ttyACM", 0) == 0)
        k.cls = 2;
    size_t d = name.find_last_not_of("0123456789");
    if (d != std::string::npos && d + 1 < name.size()) k.number = std::atol(name.c_str() + d + 1);
    return k;
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

int AssignPortDevice(int portNumber, const char *devicePath) {
    if (portNumber < 1 || portNumber > kMaxPortNumber) return kRS232InvalidPortNum;
    Entry &e = g_table[portNumber];
    if (!devicePath || !*devicePath) {
        e = Entry();
        return 0;
    }
    if (std::strlen(devicePath) >= sizeof e.device) return kRS232InvalidParameter;
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
    struct Found {
        Key key;
        std::string path, description;
    };
    std::vector<Found> found;
    for (const FoundSerialDevice &info : FindSerialDevices()) {
        Found f{KeyOf(info.name), info.path, {}};
        std::string desc = info.description;
        const std::string &maker = info.manufacturer;
        if (!maker.empty() && desc.find(maker) == std::string::npos)
            desc = desc.empty() ? maker : desc + " (" + maker + ")";
        f.description = desc;
        if (!f.path.empty()) found.push_back(f);
    }
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.key < b.key; });

    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (!g_table[n].assigned) g_table[n] = Entry();

    for (const Found &f : found) {
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
        auto it = g_remembered.find(real);
        if (it != g_remembered.end() && !g_table[it->second].assigned &&
            !g_table[it->second].device[0])
            number = it->second;
        // A new device takes the lowest number nobody holds or remembers; failing that, the
        // lowest free one.
        for (int pass = 0; pass < 2 && number == 0; ++pass)
            for (int n = 1; n <= kMaxPortNumber && number == 0; ++n)
                if (!g_table[n].device[0] && !g_table[n].assigned &&
                    (pass == 1 || !TakenByOther(n, real)))
                    number = n;
        if (number == 0) break; // more devices than port numbers
        SetDevice(g_table[number], f.path);
        g_table[number].description = f.description;
        g_remembered[real] = number;
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
            if (e.description.empty())
                std::snprintf(label, size_t(labelSize), "COM%d  %s", n, e.device);
            else
                std::snprintf(label, size_t(labelSize), "COM%d  %s  %s", n, e.device,
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
