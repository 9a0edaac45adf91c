// The hint line beside the port drop-down: why a port did not open and what to do, in the
// place the operator looks (the status line keeps its short text). The holder of a busy port
// is found by reading the processes' open files under /proc.
#include "port_events.h"
#include "port_watch.h"
#include "trace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_hint;

std::string Real(const std::string &path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

bool AllDigits(const char *s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

} // namespace

void SetPortHint(const std::string &text) {
    if (text == g_hint) return;
    g_hint = text;
    TraceLine("port-hint", text.c_str());
    if (g_portEventHooks.hint) g_portEventHooks.hint(text.c_str());
}

const std::string &CurrentPortHint(void) {
    return g_hint;
}

std::string GroupOfDevice(const std::string &device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) return {};
    if (const struct group *g = getgrgid(st.st_gid)) return g->gr_name;
    return std::to_string(st.st_gid);
}

namespace {

std::string CommOf(const std::string &procDir, long pid) {
    std::ifstream comm(procDir + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "pid " + std::to_string(pid) : name;
}

// The process holding a lock on the device (the busy case of a port opened and locked by
// another program), from the kernel's lock table: "N: FLOCK ADVISORY WRITE PID MM:mm:INODE ..."
// with the device's file system numbers in hex.
long LockHolder(const std::string &device, const std::string &procDir) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) return 0;
    char want[64];
    std::snprintf(want, sizeof want, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  (unsigned long)st.st_ino);
    std::ifstream locks(procDir + "/locks");
    std::string line;
    while (std::getline(locks, line)) {
        if (line.find("->") != std::string::npos) continue; // a waiter, not the holder
        std::istringstream in(line);
        std::string id, type, mode, access, where;
        long pid = 0;
        if (in >> id >> type >> mode >> access >> pid >> where && where == want && pid > 0)
            return pid;
    }
    return 0;
}

} // namespace

PortHolder FindPortHolder(const std::string &device, const std::string &procDir) {
    PortHolder holder;
    const std::string target = Real(device);
    if (const long pid = LockHolder(target, procDir); pid > 0 && pid != long(getpid())) {
        holder.pid = pid;
        holder.name = CommOf(procDir, pid);
        return holder;
    }
    DIR *proc = opendir(procDir.c_str());
    if (!proc) return holder;
    const long self = long(getpid());
    while (const dirent *p = readdir(proc)) {
        if (!AllDigits(p->d_name) || std::atol(p->d_name) == self) continue;
        const std::string fdDir = procDir + "/" + p->d_name + "/fd";
        DIR *fds = opendir(fdDir.c_str()); // other users' processes: not readable, skipped
        if (!fds) continue;
        bool found = false;
        while (const dirent *f = readdir(fds)) {
            if (!AllDigits(f->d_name)) continue;
            char link[PATH_MAX];
            const ssize_t n = readlink((fdDir + "/" + f->d_name).c_str(), link, sizeof link - 1);
            if (n <= 0) continue;
            link[n] = 0;
            if (target == link) {
                found = true;
                break;
            }
        }
        closedir(fds);
        if (!found) continue;
        holder.pid = std::atol(p->d_name);
        holder.name = CommOf(procDir, holder.pid);
        break;
    }
    closedir(proc);
    return holder;
}

std::string HintForOpenFailure(const std::string &device, int err, const std::string &group,
                               const PortHolder &holder) {
    switch (err) {
    case EACCES:
    case EPERM: {
        const std::string g = group.empty() ? "dialout" : group;
        return "No access to " + device + " (group " + g + "). Run: sudo usermod -aG " + g +
               " $USER - then log in again.";
    }
    case EBUSY:
    case kOpenHeld:
        if (holder.name == "ModemManager")
            return device + " is held by ModemManager (pid " + std::to_string(holder.pid) +
                   "). Fix: sudo systemctl disable --now ModemManager";
        if (!holder.name.empty())
            return device + " is in use by " + holder.name + " (pid " +
                   std::to_string(holder.pid) + "). Close it, then pick the port again.";
        return device + " is in use by another program. Close it, then pick the port again.";
    case kOpenNotTty:
    case ENOTTY:
        return device + " is not a serial device. Pick another port.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return device + " is gone (adapter unplugged?). Plug it in and pick the port again.";
    default:
        return device + ": " + std::strerror(err);
    }
}
