// The machine's serial devices on Linux: USB adapters under their stable names from the
// stable-name folder (/dev/serial/by-id, or --serial-dir; labelled with maker, product and
// serial number), built-in ttyS ports only when their UART type is known (the kernel lists
// 32 of them whether present or not), then other devices QSerialPortInfo finds. With
// --serial-dir only the links in that folder are listed.
#include "port_watch.h"
#include "porttable_devices.h"

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
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace {

std::string RealPath(const std::string &path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    return path;
}

// Built-in ports first by number, then USB adapters' stable names (order 1), ttyUSB and
// ttyACM by number, then the rest by name.
void SetSortKey(FoundSerialDevice &f, const std::string &name) {
    f.order = 4;
    f.sortName = name;
    if (name.rfind("ttyS", 0) == 0)
        f.order = 0;
    else if (name.rfind("ttyUSB", 0) == 0)
        f.order = 2;
    else if (name.rfind("ttyACM", 0) == 0)
        f.order = 3;
    const size_t d = name.find_last_not_of("0123456789");
    if (d != std::string::npos && d + 1 < name.size()) f.number = std::atol(name.c_str() + d + 1);
}

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

} // namespace

std::vector<FoundSerialDevice> FindSerialDevices() {
    std::map<std::string, QSerialPortInfo> infos; // real path -> what the system tells
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        infos[RealPath(info.systemLocation().toStdString())] = info;

    std::vector<FoundSerialDevice> found;
    std::map<std::string, bool> covered;
    if (DIR *dir = opendir(SerialDir().c_str())) {
        while (const dirent *d = readdir(dir)) {
            const std::string name = d->d_name;
            if (name == "." || name == "..") continue;
            const std::string link = SerialDir() + "/" + name;
            char buf[PATH_MAX];
            if (!realpath(link.c_str(), buf)) continue; // dangling: the adapter is gone
            const std::string real = buf;
            FoundSerialDevice f;
            f.order = 1;
            f.sortName = name;
            f.path = link;
            f.shown = name;
            f.description = real;
            f.stableKey = link;
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
            FoundSerialDevice f;
            SetSortKey(f, portName);
            f.path = info.systemLocation().toStdString();
            f.stableKey = real;
            f.serial = info.serialNumber().toStdString();
            if (f.path.empty()) continue;
            if (f.order == 0 && !BuiltInPortExists(portName, f.path)) continue;
            std::string desc = info.description().toStdString();
            const std::string maker = info.manufacturer().toStdString();
            if (!maker.empty() && desc.find(maker) == std::string::npos)
                desc = desc.empty() ? maker : desc + " (" + maker + ")";
            f.description = desc;
            found.push_back(f);
        }
    }
    std::sort(found.begin(), found.end(), [](const FoundSerialDevice &a, const FoundSerialDevice &b) {
        if (a.order != b.order) return a.order < b.order;
        if (a.number != b.number) return a.number < b.number;
        return a.sortName < b.sortName;
    });
    return found;
}

std::string FirstListingCom1(const std::vector<FoundSerialDevice> &found) {
    std::string name, serial;
    RememberedAdapter(&name, &serial);
    if (name.empty() && serial.empty()) return {};
    for (const FoundSerialDevice &f : found) {
        const bool byName = !name.empty() && f.stableKey == f.path && BaseName(f.path) == name;
        const bool bySerial = name.empty() && !serial.empty() && f.serial == serial;
        if (byName || bySerial) return f.stableKey;
    }
    return {};
}
