// The port table: port numbers (COM1 = 1) to the machine's serial devices.
//
// The devices are numbered in a stable order: built-in ttyS ports by number (only those
// whose UART type is known: the kernel lists 32 of them whether present or not), then USB
// adapters under their stable names from the stable-name folder (/dev/serial/by-id, or
// --serial-dir; sorted by name, labelled with maker, product and serial number), then other
// devices QSerialPortInfo finds. With --serial-dir only the links in that folder are listed.
// Within a run a device keeps its number: an adapter pulled and plugged in again comes back
// under the same number (it is known by its stable name, not by its ttyUSB name, which the
// kernel may change), and numbers given on the command line (--port N=DEVICE, --simulate)
// are never taken by a found device. At the first listing the adapter on which the echo
// check last passed (remembered in the user's settings) becomes COM1.
#include "port_watch.h"
#include "rs232.h"

#include <QSerialPortInfo>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Entry {
    char device[PATH_MAX] = ""; // stable storage: GetPortDevice hands out this pointer
    std::string shown;  // shown in the label instead of the device path (found adapters)
    std::string description;
    bool assigned = false; // given on the command line; survives refreshes
};

Entry g_table[kMaxPortNumber + 1];
std::map<std::string, int> g_remembered; // stable key of a found device -> its number
bool g_firstListing = true;
bool g_refreshed = false;

std::string RealPath(const std::string &path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    return path;
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
    Key k{4, 0, name};
    if (name.rfind("ttyS", 0) == 0)
        k.cls = 0;
    else if (name.rfind("ttyUSB", 0) == 0)
        k.cls = 2;
    else if (name.rfind("ttyACM", 0) == 0)
        k.cls = 3;
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

namespace {

struct Found {
    Key key;
    std::string path, shown, description;
    std::string stableKey; // the link for a stable name, else the real path
    std::string serial;    // USB serial number, if any
};

std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A built-in port that really exists: the serial core's type attribute (world-readable),
// else TIOCGSERIAL. One that cannot be asked for lack of rights is kept: the operator sees
// it and the hint tells why it does not open.
bool BuiltInPortExists(const std::string &name, const std::string &device) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int t = -1;
    if (type >> t) return t != PORT_UNKNOWN;
    const int fd = open(device.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM;
    serial_struct ss {};
    const bool known = ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
    close(fd);
    return known;
}

std::string Joined(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string &p : parts)
        if (!p.empty() && out.find(p) == std::string::npos) out += (out.empty() ? "" : " ") + p;
    return out;
}

std::vector<Found> ListDevices() {
    std::map<std::string, QSerialPortInfo> infos; // real path -> what the system tells
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        infos[RealPath(info.systemLocation().toStdString())] = info;

    std::vector<Found> found;
    std::map<std::string, bool> covered;
    if (DIR *dir = opendir(SerialDir().c_str())) {
        while (const dirent *d = readdir(dir)) {
            const std::string name = d->d_name;
            if (name == "." || name == "..") continue;
            const std::string link = SerialDir() + "/" + name;
            char buf[PATH_MAX];
            if (!realpath(link.c_str(), buf)) continue; // dangling: the adapter is gone
            const std::string real = buf;
            Found f{{1, 0, name}, link, name, real, link, {}};
            auto it = infos.find(real);
            if (it != infos.end()) {
                const QSerialPortInfo &info = it->second;
                const std::string maker = info.manufacturer().toStdString();
                const std::string product = info.description().toStdString();
                f.serial = info.serialNumber().toStdString();
                if (!maker.empty() || !product.empty()) f.shown = Joined({maker, product});
                f.description = (f.serial.empty() ? "" : "SN " + f.serial + "  ") + real;
            }
            covered[real] = true;
            found.push_back(f);
        }
        closedir(dir);
    }
    if (!SerialDirOverridden()) {
        for (const auto &[real, info] : infos) {
            if (covered.count(real)) continue;
            const std::string portName = info.portName().toStdString();
            Found f{KeyOf(portName), info.systemLocation().toStdString(), {}, {}, real,
                    info.serialNumber().toStdString()};
            if (f.path.empty()) continue;
            if (f.key.cls == 0 && !BuiltInPortExists(portName, f.path)) continue;
            std::string desc = info.description().toStdString();
            const std::string maker = info.manufacturer().toStdString();
            if (!maker.empty() && desc.find(maker) == std::string::npos)
                desc = desc.empty() ? maker : desc + " (" + maker + ")";
            f.description = desc;
            found.push_back(f);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.key < b.key; });
    return found;
}

// The first listing gives COM1 to the adapter remembered as the last good one.
void PlaceRememberedAdapter(const std::vector<Found> &found) {
    std::string name, serial;
    RememberedAdapter(&name, &serial);
    if (name.empty() && serial.empty()) return;
    if (g_table[1].assigned) return;
    for (const Found &f : found) {
        const bool byName = !name.empty() && f.stableKey == f.path && BaseName(f.path) == name;
        const bool bySerial = name.empty() && !serial.empty() && f.serial == serial;
        if (byName || bySerial) {
            g_remembered[f.stableKey] = 1;
            return;
        }
    }
}

} // namespace

void RefreshPortTable(void) {
    g_refreshed = true;
    const std::vector<Found> found = ListDevices();
    if (g_firstListing) {
        g_firstListing = false;
        PlaceRememberedAdapter(found);
    }

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
    return g_table[portNumber].device;
}
