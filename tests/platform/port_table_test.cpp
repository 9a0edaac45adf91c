// The port table over a folder of stable names (symlinks to pseudo-terminals, as the system
// makes them for USB adapters), the texts of the port hint, the holder of a busy port and
// the latency check against a sysfs-like folder.
#include "port_watch.h"
#include "rs232.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A pseudo-terminal standing in for an adapter: the test holds the master side.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) slave = ptsname(master);
    }
    ~Pty() {
        if (master >= 0) close(master);
    }
    int master = -1;
    std::string slave;
};

std::map<std::string, int> Listing() {
    RefreshPortTable();
    std::map<std::string, int> byLabel;
    char label[512];
    for (int i = 0, port = 0; GetPortEntry(i, &port, label, sizeof label); ++i) byLabel[label] = port;
    return byLabel;
}

int NumberOf(const std::string &link) {
    RefreshPortTable();
    for (int n = 1; n <= kMaxPortNumber; ++n)
        if (link == GetPortDevice(n)) return n;
    return 0;
}

TEST(PortTable, StableNamesAreListedLabelledAndKeepTheirNumberWhenReplugged) {
    TempDir dir;
    SetSerialDir(dir.path().c_str());
    Pty a, b, c;
    const std::string la = dir.file("usb-Acme_Adapter_A1-if00-port0");
    const std::string lb = dir.file("usb-Acme_Adapter_B2-if00-port0");
    const std::string lc = dir.file("usb-Zeta_Cable_C3-if00");
    ASSERT_EQ(0, symlink(a.slave.c_str(), la.c_str()));
    ASSERT_EQ(0, symlink(b.slave.c_str(), lb.c_str()));
    ASSERT_EQ(0, symlink(c.slave.c_str(), lc.c_str()));
    ASSERT_EQ(0, symlink("/dev/pts/no-such", dir.file("usb-Gone_X-if00").c_str())); // dangling

    // Only the folder's live links, in the order of their names; nothing else of the machine.
    const auto list = Listing();
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(1, list.at("COM1  usb-Acme_Adapter_A1-if00-port0  " + a.slave));
    EXPECT_EQ(2, list.at("COM2  usb-Acme_Adapter_B2-if00-port0  " + b.slave));
    EXPECT_EQ(3, list.at("COM3  usb-Zeta_Cable_C3-if00  " + c.slave));
    EXPECT_EQ("usb-Acme_Adapter_B2-if00-port0", StableNameOf(lb));
    EXPECT_EQ("", StableNameOf(b.slave));

    // B pulled: gone from the list; a new adapter meanwhile does not take its number.
    ASSERT_EQ(0, unlink(lb.c_str()));
    EXPECT_EQ(0, NumberOf(lb));
    Pty d, b2;
    const std::string ld = dir.file("usb-Acme_Adapter_D4-if00-port0");
    ASSERT_EQ(0, symlink(d.slave.c_str(), ld.c_str()));
    EXPECT_EQ(4, NumberOf(ld));
    // B plugged back on another device node: the same number; the others keep theirs.
    ASSERT_EQ(0, symlink(b2.slave.c_str(), lb.c_str()));
    EXPECT_EQ(2, NumberOf(lb));
    EXPECT_EQ(1, NumberOf(la));
    EXPECT_EQ(3, NumberOf(lc));
    EXPECT_EQ(4, NumberOf(ld));

    // A port given on the command line keeps its number and is not listed twice.
    ASSERT_EQ(0, AssignPortDevice(7, c.slave.c_str()));
    const auto withAssigned = Listing();
    EXPECT_EQ(4u, withAssigned.size());
    EXPECT_EQ(7, NumberOf(c.slave));
    AssignPortDevice(7, "");
    SetSerialDir(nullptr);
}

TEST(PortHint, TellsWhyAndWhatToDo) {
    struct Case {
        int err;
        std::string group;
        PortHolder holder;
        std::string expected;
    } cases[] = {
        {EACCES, "dialout", {}, "No access to usb-X (group dialout). Run: sudo usermod -aG dialout $USER - then log in again."},
        {EPERM, "", {}, "sudo usermod -aG dialout $USER"},
        {kOpenHeld, "", {"ModemManager", 812}, "usb-X is held by ModemManager (pid 812). Fix: sudo systemctl disable --now ModemManager"},
        {EBUSY, "", {"minicom", 4711}, "usb-X is in use by minicom (pid 4711). Close it"},
        {kOpenHeld, "", {}, "usb-X is in use by another program."},
        {kOpenNotTty, "", {}, "usb-X is not a serial device."},
        {ENOENT, "", {}, "usb-X is gone"},
        {ENXIO, "", {}, "usb-X is gone"},
    };
    for (const Case &c : cases) {
        const std::string hint = HintForOpenFailure("usb-X", c.err, c.group, c.holder);
        EXPECT_NE(std::string::npos, hint.find(c.expected)) << c.err << ": " << hint;
    }
}

TEST(PortHint, HolderOfABusyPortIsFoundByItsLockOrItsOpenFile) {
    for (const bool lock : {true, false}) {
        Pty pty;
        const DeviceHolder holder(pty.slave, lock);
        ASSERT_TRUE(holder.held());
        const PortHolder found = FindPortHolder(pty.slave);
        EXPECT_EQ(holder.pid(), found.pid) << (lock ? "locked" : "open");
        EXPECT_FALSE(found.name.empty());
    }
    Pty idle;
    EXPECT_EQ(0, FindPortHolder(idle.slave).pid) << "nobody else holds it";
}

TEST(Latency, FtdiTimerAboveTwoMillisecondsGivesTheUdevRule) {
    struct Case {
        const char *driver;
        const char *timer;
        bool hint;
    } cases[] = {{"ftdi_sio", "16", true}, {"ftdi_sio", "2", false}, {"ftdi_sio", "1", false},
                 {"cp210x", "16", false}, {"ftdi_sio", "garbage", false}};
    for (const Case &c : cases) {
        TempDir sys;
        const std::string dev = sys.file("ttyUSB7");
        WriteWholeFile(dev, "");
        const std::string tty = sys.file("class");
        ASSERT_EQ(0, mkdir(tty.c_str(), 0755));
        ASSERT_EQ(0, mkdir((tty + "/ttyUSB7").c_str(), 0755));
        ASSERT_EQ(0, mkdir((tty + "/ttyUSB7/device").c_str(), 0755));
        ASSERT_EQ(0, symlink((std::string("../../../bus/usb-serial/drivers/") + c.driver).c_str(),
                             (tty + "/ttyUSB7/device/driver").c_str()));
        WriteWholeFile(tty + "/ttyUSB7/device/latency_timer", std::string(c.timer) + "\n");
        Pty pty; // the low-latency request itself is refused quietly by a pseudo-terminal
        const std::string hint = RequestLowLatency(pty.master, dev, tty);
        EXPECT_EQ(c.hint, !hint.empty()) << c.driver << " " << c.timer << ": " << hint;
        if (c.hint) {
            EXPECT_NE(std::string::npos, hint.find("up to 16 ms"));
            EXPECT_NE(std::string::npos, hint.find("ATTR{latency_timer}=\"1\""));
        }
    }
}

} // namespace
