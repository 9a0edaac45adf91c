// Low latency on open. The driver is asked to hand over received bytes at once
// (TIOCSSERIAL with ASYNC_LOW_LATENCY); an ftdi_sio adapter additionally holds bytes for its
// latency timer (16 ms by default, against a 38.5 ms exchange), which only its sysfs
// attribute tells. Both outcomes go to the trace; a pseudo-terminal refuses the request,
// which is quietly accepted.
#include "port_watch.h"
#include "trace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string LatencyHint(int timerMs) {
    if (timerMs <= 2) return {};
    return "Replies wait up to " + std::to_string(timerMs) +
           " ms (latency timer). udev rule: SUBSYSTEM==\"usb-serial\", "
           "DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\"";
}

std::string RequestLowLatency(int fd, const std::string &device, const std::string &sysClassTty) {
    serial_struct ss {};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) {
        TraceLine("com-latency", (device + ": low latency not offered (" +
                                  std::strerror(errno) + ")").c_str());
    } else if (ss.flags & ASYNC_LOW_LATENCY) {
        TraceLine("com-latency", (device + ": low latency on").c_str());
    } else {
        ss.flags |= ASYNC_LOW_LATENCY;
        if (ioctl(fd, TIOCSSERIAL, &ss) == 0)
            TraceLine("com-latency", (device + ": low latency set").c_str());
        else
            TraceLine("com-latency", (device + ": low latency refused (" +
                                      std::strerror(errno) + ")").c_str());
    }

    char real[PATH_MAX];
    if (!realpath(device.c_str(), real)) return {};
    const std::string base = sysClassTty + "/" + BaseName(real) + "/device";
    char driver[PATH_MAX];
    const ssize_t n = readlink((base + "/driver").c_str(), driver, sizeof driver - 1);
    if (n <= 0) return {};
    driver[n] = 0;
    if (BaseName(driver) != "ftdi_sio") return {};
    std::ifstream in(base + "/latency_timer");
    int timer = -1;
    if (!(in >> timer) || timer < 0) {
        TraceLine("com-latency", (device + ": ftdi latency timer unreadable").c_str());
        return {};
    }
    TraceLine("com-latency",
              (device + ": ftdi latency timer " + std::to_string(timer) + " ms").c_str());
    return LatencyHint(timer);
}
