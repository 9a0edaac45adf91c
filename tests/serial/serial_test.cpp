// The RS-232 operations, the port table and the trace over real pseudo-terminals, against
// the simulated sensor. Runs with an offscreen Qt application (the receive callback is a
// socket notifier delivered by the event loop).
#include "rs232.h"
#include "sim.h"
#include "test_support.h"
#include "trace.h"
#include "userint.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <functional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kPort = 7;
constexpr int kMask = LWRS_RECEIVE | LWRS_RXFLAG | LWRS_TXEMPTY; // as the program registers

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string Frame(int command) {
    std::string f(kSimRequestLen, '\0');
    f[1] = 0x55;
    f[3] = char(command);
    return f;
}

int Open(int port, const std::string &device) {
    return OpenComConfig(port, device.c_str(), 19200, 0, 8, 1, 4096, 4096);
}

bool PumpUntil(const std::function<bool()> &done, double seconds) {
    const double end = Now() + seconds;
    while (!done()) {
        if (Now() > end) return false;
        ProcessSystemEvents();
    }
    return true;
}

void Pump(double seconds) {
    PumpUntil([] { return false; }, seconds);
}

// Waits for queued bytes without processing events: GetInQLen is current on its own.
bool WaitInQueue(int port, int n, double seconds) {
    const double end = Now() + seconds;
    while (GetInQLen(port) < n) {
        if (Now() > end) return false;
        usleep(1000);
    }
    return true;
}

// Redirects this process's stderr into a file for as long as it lives.
class CaptureStderr {
  public:
    CaptureStderr() : path_(dir_.file("stderr.txt")) {
        std::fflush(stderr);
        saved_ = dup(2);
        int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~CaptureStderr() { Restore(); }
    std::string Text() {
        Restore();
        return ReadWholeFile(path_);
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    TempDir dir_;
    std::string path_;
    int saved_ = -1;
};

int Count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// What the receive callback saw.
struct Seen {
    int calls = 0;
    int lastMask = 0;
    int read = 0; // 0: read nothing; otherwise bytes to read, then flush
    bool closePort = false;
    std::string bytes;
};
Seen g_seen;

void OnReceive(int port, int mask, void *data) {
    EXPECT_EQ(data, &g_seen);
    ++g_seen.calls;
    g_seen.lastMask = mask;
    if (g_seen.read > 0) {
        char buf[256];
        int n = ComRd(port, buf, g_seen.read);
        g_seen.bytes.assign(buf, size_t(std::max(n, 0)));
        FlushInQ(port);
    }
    if (g_seen.closePort) CloseCom(port);
}

class Serial : public ::testing::Test {
  protected:
    void SetUp() override { g_seen = Seen(); }
    void TearDown() override {
        for (int n = 1; n <= kMaxPortNumber; ++n) {
            CloseCom(n);
            if (assigned_.count(n)) AssignPortDevice(n, "");
        }
    }
    SimSensor &Sensor(bool paced = false, std::vector<SimFault> faults = {}) {
        SimSettings s;
        s.paced = paced;
        s.faults = faults;
        sims_.push_back(std::make_unique<SimSensor>(s));
        EXPECT_TRUE(sims_.back()->Start()) << sims_.back()->LastError();
        return *sims_.back();
    }
    void Assign(int port, const std::string &device) {
        ASSERT_EQ(AssignPortDevice(port, device.c_str()), 0);
        assigned_.insert(port);
    }
    void Install(int port) {
        g_seen.read = RX_FRAME;
        ASSERT_EQ(InstallComCallback(port, kMask, RX_FRAME, 0x55, OnReceive, &g_seen), 0);
    }
    // One exchange as the program makes it: flush, write, wait for the callback.
    bool Exchange(int port, int command, double seconds = 1.5) {
        const int before = g_seen.calls;
        FlushInQ(port);
        FlushOutQ(port);
        const std::string f = Frame(command);
        if (ComWrt(port, f.data(), int(f.size())) != kSimRequestLen) return false;
        return PumpUntil([&] { return g_seen.calls > before; }, seconds);
    }
    static constexpr int RX_FRAME = kSimReplyLen;
    std::vector<std::unique_ptr<SimSensor>> sims_;
    std::set<int> assigned_;
    TempDir dir_;
};

SimFault Fault(SimFaultKind kind, int command, int n = 0) {
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.n = n;
    return f;
}

// ---- opening and failure codes --------------------------------------------------------------

TEST_F(Serial, OpenFailuresMapOntoTheCodes) {
    SimSensor &sim = Sensor();
    const std::string dev = sim.DevicePath();
    const std::string plain = dir_.file("plain.txt");
    WriteWholeFile(plain, "not a port");
    struct Case {
        const char *what;
        int port;
        std::string device;
        long baud;
        int parity, data, stop, expected;
    } cases[] = {
        {"port 0", 0, dev, 19200, 0, 8, 1, kRS232InvalidPortNum},
        {"port above the table", kMaxPortNumber + 1, dev, 19200, 0, 8, 1, kRS232InvalidPortNum},
        {"odd baud rate", kPort, dev, 12345, 0, 8, 1, kRS232InvalidParameter},
        {"parity 5", kPort, dev, 19200, 5, 8, 1, kRS232InvalidParameter},
        {"9 data bits", kPort, dev, 19200, 0, 9, 1, kRS232InvalidParameter},
        {"3 stop bits", kPort, dev, 19200, 0, 8, 3, kRS232InvalidParameter},
        {"missing device", kPort, "/nonexistent/ttyUSB9", 19200, 0, 8, 1, kRS232NoPortFound},
        {"plain file", kPort, plain, 19200, 0, 8, 1, kRS232NoPortFound},
        {"not a tty", kPort, "/dev/null", 19200, 0, 8, 1, kRS232NoPortFound},
        {"the sensor", kPort, dev, 19200, 0, 8, 1, 0},
        {"the same line again on another port: busy", kPort + 1, dev, 19200, 0, 8, 1,
         kRS232CannotOpenPort},
        {"even parity, 7 bits, 2 stop bits", kPort + 2, sim.DevicePath(), 9600, 2, 7, 2,
         kRS232CannotOpenPort},
    };
    for (const Case &c : cases)
        EXPECT_EQ(
            OpenComConfig(c.port, c.device.c_str(), c.baud, c.parity, c.data, c.stop, 4096, 4096),
            c.expected)
            << c.what;
    // Reopening the same port number takes the line over again.
    EXPECT_EQ(Open(kPort, dev), 0);
    CloseCom(kPort);
    EXPECT_EQ(OpenComConfig(kPort + 2, dev.c_str(), 9600, 2, 7, 2, 4096, 4096), 0);
}

TEST_F(Serial, PortWithoutDeviceIsAnInvalidNumber) {
    SimSensor &sim = Sensor();
    Assign(kPort, sim.DevicePath()); // the table has at least this port
    int unused = 0;
    for (int n = kMaxPortNumber; n >= 1 && !unused; --n)
        if (!*GetPortDevice(n)) unused = n;
    ASSERT_NE(unused, 0);
    EXPECT_EQ(Open(unused, ""), kRS232InvalidPortNum);
}

TEST_F(Serial, EveryOperationOnAClosedPortFailsAsNotOpen) {
    char buf[8] = {};
    const std::vector<std::pair<const char *, std::function<int(int)>>> ops = {
        {"CloseCom", [](int p) { return CloseCom(p); }},
        {"SetComTime", [](int p) { return SetComTime(p, 1.0); }},
        {"SetCTSMode", [](int p) { return SetCTSMode(p, 0); }},
        {"FlushInQ", [](int p) { return FlushInQ(p); }},
        {"FlushOutQ", [](int p) { return FlushOutQ(p); }},
        {"ComWrt", [&](int p) { return ComWrt(p, buf, 8); }},
        {"ComRd", [&](int p) { return ComRd(p, buf, 8); }},
        {"GetInQLen", [](int p) { return GetInQLen(p); }},
        {"InstallComCallback",
         [](int p) { return InstallComCallback(p, kMask, 36, 0x55, OnReceive, &g_seen); }},
    };
    for (const auto &[name, op] : ops) {
        EXPECT_EQ(op(kPort), kRS232PortNotOpen) << name;
        EXPECT_EQ(op(0), kRS232InvalidPortNum) << name;
        EXPECT_EQ(op(kMaxPortNumber + 1), kRS232InvalidPortNum) << name;
    }
}

// ---- queues -----------------------------------------------------------------------------------

TEST_F(Serial, WriteReadQueueLengthAndFlush) {
    SimSensor &sim = Sensor();
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    EXPECT_EQ(SetComTime(kPort, 0.2), 0);
    EXPECT_EQ(SetComTime(kPort, -1.0), kRS232InvalidParameter);
    EXPECT_EQ(SetCTSMode(kPort, 0), 0);
    EXPECT_EQ(SetCTSMode(kPort, 7), kRS232InvalidParameter);
    EXPECT_EQ(GetInQLen(kPort), 0);

    const std::string f = Frame(kSimEcho);
    EXPECT_EQ(ComWrt(kPort, f.data(), int(f.size())), kSimRequestLen);
    EXPECT_EQ(ComWrt(kPort, f.data(), -1), kRS232InvalidParameter);
    ASSERT_TRUE(WaitInQueue(kPort, kSimReplyLen, 2.0));
    EXPECT_EQ(sim.LastRequest(), SimFrame(f.begin(), f.end()));
    EXPECT_EQ(GetInQLen(kPort), kSimReplyLen);

    char buf[64];
    ASSERT_EQ(ComRd(kPort, buf, 10), 10);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], char(0xAA));
    EXPECT_EQ(buf[3], char(kSimEcho));
    EXPECT_EQ(GetInQLen(kPort), kSimReplyLen - 10);
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    EXPECT_EQ(FlushOutQ(kPort), 0);

    // Nothing on the line: ComRd gives what there is (nothing) after the time-out.
    EXPECT_EQ(ComRd(kPort, buf, 10), 0);
    EXPECT_EQ(ComRd(kPort, buf, 0), 0);
    // More than asked waits: only the count asked is taken.
    ComWrt(kPort, f.data(), int(f.size()));
    ASSERT_TRUE(WaitInQueue(kPort, kSimReplyLen, 2.0));
    EXPECT_EQ(ComRd(kPort, buf, 4), 4);
    EXPECT_EQ(GetInQLen(kPort), kSimReplyLen - 4);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), kRS232PortNotOpen);
}

TEST_F(Serial, FlushOutQNeverCutsAFrameAlreadyWritten) {
    // A bare pseudo-terminal whose other end has read nothing yet.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ASSERT_EQ(Open(kPort, ptsname(master)), 0);
    const std::string f = Frame(kSimWriteRam);
    ASSERT_EQ(ComWrt(kPort, f.data(), int(f.size())), kSimRequestLen);
    EXPECT_EQ(FlushOutQ(kPort), 0);
    std::string got;
    char buf[64];
    for (int i = 0; i < 50 && got.size() < f.size(); ++i) {
        pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) got.append(buf, size_t(n));
        }
    }
    EXPECT_EQ(got, f);
    CloseCom(kPort);
    close(master);
}

TEST_F(Serial, ReadWaitsForBytesStillOnTheLine) {
    SimSensor &sim = Sensor(/*paced=*/true);
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    SetComTime(kPort, 1.5);
    for (auto [command, len] : {std::pair{kSimMeasure, kSimReplyLen},
                                {kSimBlock, kSimBlockLen},
                                {kSimFirmware, kSimFirmwareLen}}) {
        const std::string f = Frame(command);
        ASSERT_EQ(ComWrt(kPort, f.data(), int(f.size())), kSimRequestLen);
        char buf[256];
        EXPECT_EQ(ComRd(kPort, buf, len), len) << "command " << command;
    }
}

// ---- receive callback ---------------------------------------------------------------------------

TEST_F(Serial, CallbackOncePerCompleteReplyWithTheReceiveBit) {
    SimSensor &sim = Sensor(/*paced=*/true);
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    const int commands[] = {kSimEcho, kSimReadRam, kSimMeasure, kSimHardware, kSimMeasure};
    int n = 0;
    for (int command : commands) {
        ASSERT_TRUE(Exchange(kPort, command)) << command;
        ++n;
        EXPECT_EQ(g_seen.calls, n);
        EXPECT_TRUE(g_seen.lastMask & LWRS_RECEIVE);
        EXPECT_EQ(g_seen.lastMask & ~kMask, 0);
        ASSERT_EQ(g_seen.bytes.size(), size_t(kSimReplyLen));
        EXPECT_EQ(g_seen.bytes[1], char(0xAA));
        EXPECT_EQ(g_seen.bytes[3], char(command));
    }
    Pump(0.1);
    EXPECT_EQ(g_seen.calls, n) << "no call without a reply";
}

TEST_F(Serial, PartialReplyNeitherCallsNorWakesTheLoop) {
    SimSensor &sim = Sensor(false, {Fault(SimFaultKind::CutReply, kSimMeasure, 20)});
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    const std::string f = Frame(kSimMeasure);
    ComWrt(kPort, f.data(), int(f.size()));
    ASSERT_TRUE(WaitInQueue(kPort, 20, 2.0));

    // Sleep in the event loop for 300 ms; count how often it wakes.
    int wakes = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     [&] { ++wakes; });
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                        nullptr, nullptr);
    EXPECT_EQ(g_seen.calls, 0);
    EXPECT_LT(wakes, 20) << "20 bytes waiting must not wake the loop";
    EXPECT_EQ(GetInQLen(kPort), 20);

    // The next complete reply is delivered once.
    sim.ClearFaults();
    ASSERT_TRUE(Exchange(kPort, kSimMeasure));
    Pump(0.1);
    EXPECT_EQ(g_seen.calls, 1);
}

TEST_F(Serial, RemovedCallbackIsQuietAndReinstalledOneTakesTheWaitingReply) {
    SimSensor &sim = Sensor();
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    EXPECT_EQ(InstallComCallback(kPort, 0, 36, 0x55, nullptr, nullptr), 0);
    const std::string f = Frame(kSimReadRam);
    ComWrt(kPort, f.data(), int(f.size()));
    ASSERT_TRUE(WaitInQueue(kPort, kSimReplyLen, 2.0));
    Pump(0.2);
    EXPECT_EQ(g_seen.calls, 1);
    // Registered again, the waiting reply is delivered once.
    Install(kPort);
    ASSERT_TRUE(PumpUntil([] { return g_seen.calls == 2; }, 1.0));
    EXPECT_EQ(g_seen.bytes[3], char(kSimReadRam));
    Pump(0.1);
    EXPECT_EQ(g_seen.calls, 2);
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    EXPECT_EQ(g_seen.calls, 3);
    // Registrations that cannot be served.
    EXPECT_EQ(InstallComCallback(kPort, kMask, 36, 0x55, nullptr, nullptr), kRS232InvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, kMask, 300, 0x55, OnReceive, &g_seen),
              kRS232InvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, kMask, 36, 256, OnReceive, &g_seen),
              kRS232InvalidParameter);
}

TEST_F(Serial, CallbackThatTakesNothingIsNotCalledAgainUntilTheQueueChanges) {
    SimSensor &sim = Sensor();
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    g_seen.read = 0;
    const std::string f = Frame(kSimEcho);
    ComWrt(kPort, f.data(), int(f.size()));
    ASSERT_TRUE(PumpUntil([] { return g_seen.calls == 1; }, 2.0));
    const double cpu0 = ProcessCpuSeconds();
    Pump(0.3);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_LT(ProcessCpuSeconds() - cpu0, 0.3 * 0.2) << "no spinning on a full queue";
    g_seen.read = kSimReplyLen;
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    EXPECT_EQ(g_seen.calls, 2);
}

TEST_F(Serial, CallbackMayCloseItsPort) {
    SimSensor &sim = Sensor();
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    g_seen.closePort = true;
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    Pump(0.1);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen);
    // And the line can be opened again at once.
    EXPECT_EQ(Open(kPort, sim.DevicePath()), 0);
}

// ---- hang-up
// -------------------------------------------------------------------------------------

TEST_F(Serial, HangUpMidExchangeClosesThePortOnceAndLeavesTheProcessIdle) {
    SimSensor &sim = Sensor(/*paced=*/true, {Fault(SimFaultKind::HangUp, 0, 1)});
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    SetComTime(kPort, 1.5);
    Install(kPort);
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    CaptureStderr err;
    // The second request ends the line while the program waits for its reply.
    EXPECT_FALSE(Exchange(kPort, kSimMeasure, 0.5));
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen) << "closed while events were processed";
    // The following second in the event loop, as the program sits after the time-out.
    const double cpu0 = ProcessCpuSeconds(), t0 = Now();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = (ProcessCpuSeconds() - cpu0) / (Now() - t0);
    EXPECT_LT(share, 0.05);
    std::printf("CPU share in the second after the hang-up: %.4f\n", share);
    char buf[8];
    EXPECT_EQ(ComWrt(kPort, buf, 8), kRS232PortNotOpen);
    EXPECT_EQ(ComRd(kPort, buf, 8), kRS232PortNotOpen);
    EXPECT_EQ(g_seen.calls, 1) << "a hang-up is no reply";
    const std::string text = err.Text();
    EXPECT_EQ(Count(text, "hung up"), 1) << text;
    EXPECT_NE(text.find(sim.DevicePath()), std::string::npos) << text;
}

TEST_F(Serial, HangUpFoundByAnOperationGivesOneErrorThenNotOpen) {
    char buf[64] = {};
    const std::vector<std::pair<const char *, std::function<int(int)>>> ops = {
        {"ComWrt", [&](int p) { return ComWrt(p, buf, kSimRequestLen); }},
        {"ComRd", [&](int p) { return ComRd(p, buf, 8); }},
        {"GetInQLen", [](int p) { return GetInQLen(p); }},
        {"FlushInQ", [](int p) { return FlushInQ(p); }},
    };
    for (const auto &[name, op] : ops) {
        SimSensor &sim = Sensor();
        ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
        SetComTime(kPort, 0.5);
        CaptureStderr err;
        sim.Stop();
        EXPECT_EQ(op(kPort), kRS232UnknownIOError) << name;
        EXPECT_EQ(op(kPort), kRS232PortNotOpen) << name;
        EXPECT_EQ(Count(err.Text(), "hung up"), 1) << name;
    }
}

// ---- port table --------------------------------------------------------------------------------

TEST_F(Serial, AssignedPortsReachTheirOwnDevice) {
    SimSensor &a = Sensor();
    SimSensor &b = Sensor();
    const std::string link = dir_.file("sensor-b");
    ASSERT_EQ(symlink(b.DevicePath().c_str(), link.c_str()), 0);
    Assign(3, a.DevicePath());
    Assign(4, link); // a symlink, as --port 4=/some/link gives
    EXPECT_EQ(AssignPortDevice(0, "/dev/null"), kRS232InvalidPortNum);
    EXPECT_EQ(AssignPortDevice(kMaxPortNumber + 1, "/dev/null"), kRS232InvalidPortNum);
    EXPECT_STREQ(GetPortDevice(4), link.c_str());

    ASSERT_EQ(Open(3, ""), 0);
    ASSERT_EQ(Open(4, ""), 0);
    Install(3);
    ASSERT_TRUE(Exchange(3, kSimEcho));
    EXPECT_EQ(a.RequestCount(), 1);
    EXPECT_EQ(b.RequestCount(), 0);
    InstallComCallback(3, 0, 0, 0, nullptr, nullptr);
    Install(4);
    ASSERT_TRUE(Exchange(4, kSimHardware));
    EXPECT_EQ(b.RequestCount(kSimHardware), 1);
    EXPECT_EQ(a.RequestCount(), 1);

    // The drop-down's items: port numbers in order, labels "COMn  device  description".
    SetPortDescription(3, "simulated sensor");
    RefreshPortTable();
    std::vector<std::string> labels;
    int previous = 0;
    for (int i = 0; i < GetPortCount(); ++i) {
        int port = 0;
        char label[300];
        ASSERT_EQ(GetPortEntry(i, &port, label, sizeof label), 1);
        EXPECT_GT(port, previous);
        previous = port;
        labels.push_back(label);
    }
    EXPECT_EQ(GetPortEntry(GetPortCount(), nullptr, nullptr, 0), 0);
    EXPECT_EQ(GetPortEntry(-1, nullptr, nullptr, 0), 0);
    const std::string expect3 = "COM3  " + a.DevicePath() + "  simulated sensor";
    const std::string expect4 = "COM4  " + link;
    EXPECT_NE(std::find(labels.begin(), labels.end(), expect3), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), expect4), labels.end());
    char small[8];
    int port = 0;
    for (int i = 0; i < GetPortCount(); ++i) {
        ASSERT_EQ(GetPortEntry(i, &port, small, sizeof small), 1);
        EXPECT_LT(std::strlen(small), sizeof small);
    }
    // Unassigned, the number is free again.
    CloseCom(4);
    AssignPortDevice(4, "");
    EXPECT_STREQ(GetPortDevice(4), "");
}

TEST_F(Serial, SimulatorCommandReportsAPortThatCanBeAssignedAndOpened) {
    // What --simulate does: start the command with no arguments, read "PORT <device>",
    // assign the device to COM1.
    int out[2], in[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(in), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(in[0], 0);
        for (int fd : {out[0], out[1], in[0], in[1]})
            close(fd);
        const std::string exe = BinDir() + "/kvor-sensor-sim";
        execl(exe.c_str(), exe.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(in[0]);
    std::string line;
    char ch;
    while (read(out[0], &ch, 1) == 1 && ch != '\n')
        line += ch;
    ASSERT_EQ(line.rfind("PORT ", 0), 0u) << line;
    Assign(1, line.substr(5));
    ASSERT_EQ(Open(1, ""), 0);
    Install(1);
    EXPECT_TRUE(Exchange(1, kSimHardware));
    EXPECT_EQ(g_seen.bytes[3], char(kSimHardware));
    CloseCom(1);
    close(in[1]); // end of its input: the simulator ends
    int status = 0;
    const double end = Now() + 3.0;
    while (waitpid(pid, &status, WNOHANG) == 0 && Now() < end)
        usleep(10000);
    EXPECT_TRUE(WIFEXITED(status)) << "the simulator stopped with its input";
    if (!WIFEXITED(status)) kill(pid, SIGKILL);
    close(out[0]);
}

TEST_F(Serial, PermissionDeniedSaysOnceWhichGroupToJoin) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    SimSensor &sim = Sensor();
    const std::string errFile = dir_.file("child-stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        dup2(fd, 2);
        // A user outside the pseudo-terminal's group.
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        const int first = Open(kPort, sim.DevicePath());
        const int second = Open(kPort, sim.DevicePath());
        _exit(first == kRS232CannotOpenPort && second == kRS232CannotOpenPort ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string text = ReadWholeFile(errFile);
    EXPECT_EQ(Count(text, "permission denied"), 1) << text;
    struct stat st {};
    ASSERT_EQ(stat(sim.DevicePath().c_str(), &st), 0);
    const struct group *g = getgrgid(st.st_gid);
    ASSERT_NE(g, nullptr);
    const std::string owner = g->gr_name;
    EXPECT_NE(text.find("group \"" + owner + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG " + owner + " "), std::string::npos) << text;
}

// ---- trace -------------------------------------------------------------------------------------

TEST_F(Serial, TraceHasOneLinePerEventWithMilliseconds) {
    SimSensor &sim = Sensor();
    const std::string file = dir_.file("trace.txt");
    ASSERT_EQ(Open(kPort, sim.DevicePath()), 0);
    Install(kPort);
    ASSERT_TRUE(Exchange(kPort, kSimEcho)) << "not traced: off";
    TraceOpen(file.c_str());
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    TraceLine("status", "two\nlines");
    TraceLine("file-write", "/tmp/x.cfg");
    TraceClose();
    ASSERT_TRUE(Exchange(kPort, kSimEcho)) << "not traced: closed";

    std::istringstream in(ReadWholeFile(file));
    std::string line;
    std::vector<std::string> kinds, rest;
    long previous = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        long ms = -1;
        std::string kind;
        words >> ms >> kind;
        ASSERT_GE(ms, previous) << line;
        previous = ms;
        kinds.push_back(kind);
        std::string tail;
        std::getline(words, tail);
        rest.push_back(tail);
    }
    const std::vector<std::string> expected = {"trace", "com-write", "com-read", "status",
                                               "file-write"};
    ASSERT_EQ(kinds, expected);
    EXPECT_EQ(rest[1], " COM7 38: 00 55 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                       "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(rest[2].substr(0, 24), " COM7 36: 00 aa 00 05 00");
    EXPECT_EQ(rest[3], " two\\nlines");
    EXPECT_EQ(rest[4], " /tmp/x.cfg");
}

} // namespace
