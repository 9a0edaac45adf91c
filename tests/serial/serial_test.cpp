// RS-232 operations, port table and trace on pseudo-terminals against the simulated sensor.
#include "rs232.h"
#include "sim.h"
#include "test_support.h"
#include "trace.h"
#include "userint.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>
#include <set>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int kPort = 7;
constexpr int kMask = LWRS_RECEIVE | LWRS_RXFLAG | LWRS_TXEMPTY; // as the program registers

// Waits until done() holds, processing events (the receive callback's way in).
bool WaitFor(const std::function<bool()> &done, double seconds) {
    for (const QDeadlineTimer end(qint64(seconds * 1000)); !done(); ProcessSystemEvents())
        if (end.hasExpired()) return false;
    return true;
}

// CPU seconds spent sitting in the event loop for `ms`, as the program does when idle.
double Idle(int ms) {
    const double cpu0 = ProcessCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return ProcessCpuSeconds() - cpu0;
}

int Open(int port, const std::string &device, long baud = 19200, int parity = 0, int data = 8,
         int stop = 1) {
    return OpenComConfig(port, device.c_str(), baud, parity, data, stop, 4096, 4096);
}
bool Once(const std::string &text, const char *what) { return CountOf(text, what) == 1; }

// What the receive callback saw; it reads `read` bytes (then flushes) and may close its port.
struct Seen {
    int calls = 0, read = kSimReplyLen;
    bool closePort = false;
    std::string bytes;
} g_seen;

void OnReceive(int port, int mask, void *data) {
    EXPECT_TRUE(data == &g_seen && (mask & (LWRS_RECEIVE | ~kMask)) == LWRS_RECEIVE) << mask;
    ++g_seen.calls;
    char buf[256];
    g_seen.bytes.assign(buf, size_t(std::max(ComRd(port, buf, g_seen.read), 0)));
    if (g_seen.read) FlushInQ(port);
    if (g_seen.closePort) CloseCom(port);
}

// Every operation on a port; the first kLineOps touch the line and so notice a hang-up.
char g_buf[64];
constexpr int kLineOps = 4;
// clang-format off
#define OP(call) {#call, [](int p) { return call; }}
const std::pair<const char *, int (*)(int)> kOps[] = {
    OP(FlushInQ(p)), OP(ComWrt(p, g_buf, 38)), OP(ComRd(p, g_buf, 8)), OP(GetInQLen(p)),
    OP(CloseCom(p)), OP(SetComTime(p, 1.0)), OP(SetCTSMode(p, 0)), OP(FlushOutQ(p)),
    OP(InstallComCallback(p, kMask, 36, 0x55, OnReceive, &g_seen))};
// clang-format on

class Serial : public ::testing::Test {
  protected:
    void SetUp() override { g_seen = Seen(); }
    void TearDown() override {
        for (int n = 1; n <= kMaxPortNumber; ++n)
            CloseCom(n);
    }
    // A started sensor, opened as kPort unless `open` is false; `fault` as --fault takes it.
    SimSensor &Sensor(bool paced = false, const char *fault = nullptr, bool open = true) {
        SimSettings s;
        s.paced = paced;
        if (fault && !ApplySimOption(s, "fault", fault, nullptr)) ADD_FAILURE() << fault;
        SimSensor &sim = *sims_.emplace_back(std::make_unique<SimSensor>(s));
        EXPECT_TRUE(sim.Start()) << sim.LastError();
        if (open && Open(kPort, sim.DevicePath()) != 0) ADD_FAILURE() << "cannot open it";
        return sim;
    }
    static int Send(int p, int c) { // sync 00 55, the command word, 16 zero words, 2 zero bytes
        return ComWrt(p, std::string{0, 0x55, 0, char(c)}.append(34, 0).data(), kSimRequestLen);
    }
    static bool Queued(int p, int n) {
        return WaitFor([=] { return GetInQLen(p) >= n; }, 2);
    }
    void Install(int port) {
        ASSERT_EQ(InstallComCallback(port, kMask, kSimReplyLen, 0x55, OnReceive, &g_seen), 0);
    }
    // One exchange as the program makes it: flush, write, wait for the callback.
    bool Exchange(int port, int command, double seconds = 1.5) {
        const int before = g_seen.calls;
        FlushInQ(port), FlushOutQ(port);
        return Send(port, command) == kSimRequestLen &&
               WaitFor([&] { return g_seen.calls > before; }, seconds);
    }
    std::vector<std::unique_ptr<SimSensor>> sims_;
    TempDir dir_;
};

TEST_F(Serial, OpenFailuresMapOntoTheCodes) {
    const std::string dev = Sensor(false, nullptr, false).DevicePath();
    // Run in this order: the last rows depend on the line opened before them.
    for (auto [got, expected, what] :
         {std::tuple{Open(0, dev), int(kRS232InvalidPortNum), "port 0"},
          {Open(kMaxPortNumber, ""), kRS232InvalidPortNum, "no device given or assigned"},
          {Open(kPort, dev, 12345), kRS232InvalidParameter, "odd baud rate"},
          {Open(kPort, dev, 19200, 5), kRS232InvalidParameter, "parity 5"},
          {Open(kPort, "/nonexistent/ttyUSB9"), kRS232NoPortFound, "missing device"},
          {Open(kPort, "/dev/null"), kRS232NoPortFound, "not a tty"},
          {Open(kPort, dev), 0, "the sensor"},
          {Open(kPort, dev), 0, "the same port again takes the line over"},
          {Open(kPort + 1, dev), kRS232CannotOpenPort, "the line busy on another port"},
          {CloseCom(kPort), 0, "closed"},
          {Open(kPort + 2, dev, 9600, 2, 7, 2), 0, "free again, as 7E2"}})
        EXPECT_EQ(got, expected) << what;
}

TEST_F(Serial, OperationsMoveAndCountTheQueuedBytes) {
    Sensor(/*paced=*/true);
    char buf[256];
    int row = 0;
    for (int rc :
         {SetComTime(kPort, -1.0), SetCTSMode(kPort, 7), ComWrt(kPort, buf, -1),
          ComRd(kPort, buf, -1), InstallComCallback(kPort, kMask, 36, 0x55, nullptr, nullptr),
          InstallComCallback(kPort, kMask, 300, 0x55, OnReceive, &g_seen),
          InstallComCallback(kPort, kMask, 36, 256, OnReceive, &g_seen)})
        EXPECT_EQ(rc, kRS232InvalidParameter) << "invalid parameter, row " << row++;
    EXPECT_EQ(SetComTime(kPort, 0.2) | SetCTSMode(kPort, 0), 0);
    ASSERT_EQ(Send(kPort, kSimEcho), kSimRequestLen);
    ASSERT_TRUE(Queued(kPort, kSimReplyLen));
    ASSERT_EQ(ComRd(kPort, buf, 10), 10) << "only the count asked is taken";
    EXPECT_EQ(GetInQLen(kPort), kSimReplyLen - 10);
    EXPECT_TRUE(FlushInQ(kPort) == 0 && GetInQLen(kPort) == 0);
    EXPECT_EQ(ComRd(kPort, buf, 10), 0) << "nothing on the line: nothing, after the time-out";
    SetComTime(kPort, 1.5); // a read waits for the bytes still on their way down the line
    ASSERT_EQ(Send(kPort, kSimBlock), kSimRequestLen);
    EXPECT_EQ(ComRd(kPort, buf, kSimBlockLen), kSimBlockLen);
}

TEST_F(Serial, CallbackOncePerCompleteReplyRemovedAndReinstalled) {
    SimSensor &sim = Sensor(/*paced=*/true, "cut=20@8x1");
    Install(kPort);
    // The first reply stops after 20 bytes: no call, and the loop does not spin on them.
    Send(kPort, kSimMeasure);
    ASSERT_TRUE(Queued(kPort, 20));
    EXPECT_LT(Idle(300), 0.05);
    EXPECT_TRUE(g_seen.calls == 0 && GetInQLen(kPort) == 20);
    int n = 0;
    for (int command : {kSimEcho, kSimReadRam, kSimMeasure, kSimHardware, kSimMeasure}) {
        ASSERT_TRUE(Exchange(kPort, command)) << command;
        EXPECT_EQ(g_seen.calls, ++n);
        ASSERT_EQ(g_seen.bytes.size(), size_t(kSimReplyLen));
        EXPECT_EQ(g_seen.bytes.substr(0, 4), std::string("\0\xAA\0", 3) + char(command));
    }
    // Removed, it stays quiet while a reply waits; registered again, it gets that reply once.
    EXPECT_EQ(InstallComCallback(kPort, 0, 36, 0x55, nullptr, nullptr), 0);
    Send(kPort, kSimReadRam);
    ASSERT_TRUE(Queued(kPort, kSimReplyLen));
    Idle(200);
    EXPECT_EQ(g_seen.calls, n);
    Install(kPort);
    Idle(300);
    EXPECT_EQ(g_seen.calls, ++n);
    EXPECT_EQ(g_seen.bytes[3], char(kSimReadRam));
    // A callback that takes nothing leaves the reply queued: no second call, no spinning.
    g_seen.read = 0;
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    EXPECT_LT(Idle(300), 0.05);
    EXPECT_EQ(g_seen.calls, ++n);
    // The callback closes its own port; the line can be opened again at once.
    g_seen.closePort = true;
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    EXPECT_EQ(g_seen.calls, ++n);
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen);
    EXPECT_EQ(Open(kPort, sim.DevicePath()), 0);
}

// A VIDEO cycle removes the receive callback, waits for raw blocks with the byte watch and
// registers the callback again, all inside nested event processing (a button's callback).
// Thousands of cycles leave the heap as it was: nothing of the watch or the notifier stays.
TEST_F(Serial, RemovingAndReinstallingTheCallbackAroundByteWatchesKeepsNothing) {
    SimSensor &sim = Sensor();
    (void)sim;
    Install(kPort);
    auto cycles = [](int n) {
        for (int i = 0; i < n; i++) {
            EXPECT_EQ(InstallComCallback(kPort, 0, 36, 0x55, nullptr, nullptr), 0);
            for (int block = 0; block < 4; block++) {
                EXPECT_EQ(WatchComInQ(kPort, 128), 0);
                ProcessSystemEvents();
            }
            EXPECT_EQ(InstallComCallback(kPort, kMask, 36, 0x55, OnReceive, &g_seen), 0);
            ProcessSystemEvents();
        }
    };
    size_t before = 0, after = 0;
    // Run nested in a callback of the event loop, as VIDEO runs inside its button's.
    QEventLoop loop;
    QTimer::singleShot(0, [&] {
        cycles(200); // first allocations of the event dispatcher settle
        before = mallinfo2().uordblks;
        cycles(1000);
        after = mallinfo2().uordblks;
        loop.quit();
    });
    loop.exec();
    const double grewKb = (double(after) - double(before)) / 1024.0;
    EXPECT_LT(grewKb, 64.0) << "heap grew by " << grewKb << " KB over 1000 cycles";
}

TEST_F(Serial, HangUpMidExchangeIsTracedClosesThePortOnceAndLeavesTheProcessIdle) {
    SimSensor &sim = Sensor(/*paced=*/true, "hangup-after=1");
    Install(kPort);
    const std::string trace = dir_.file("trace.txt");
    TraceOpen(trace.c_str());
    ASSERT_TRUE(Exchange(kPort, kSimEcho));
    TraceLine("status", "two\nlines");
    testing::internal::CaptureStderr();
    // The second request ends the line while the program waits for its reply.
    EXPECT_FALSE(Exchange(kPort, kSimMeasure, 0.5));
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen) << "closed while events were processed";
    TraceClose();
    EXPECT_LT(Idle(1000), 0.05) << "CPU seconds in the second after the time-out";
    EXPECT_EQ(g_seen.calls, 1) << "a hang-up is no reply";
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Once(text, "hung up") && text.find(sim.DevicePath()) != text.npos) << text;
    // The trace: "<ms> <kind> <text>" a line, bytes in hex; nothing once closed.
    std::smatch m;
    const std::string lines = ReadWholeFile(trace);
    ASSERT_TRUE(std::regex_match(
        lines, m,
        std::regex(R"((\d+) trace.*\n(\d+) com-write COM7 38: 00 55 00 05(?: 00){34}\n)"
                   R"((\d+) com-read COM7 36: 00 aa 00 05(?: 00){32}\n(\d+) status two\\nlines\n)"
                   R"((\d+) com-write COM7 38: 00 55 00 08(?: 00){34}\n(\d+) com-hangup )" +
                   sim.DevicePath() + "\n")))
        << lines;
    for (int i = 2; i <= 6; ++i)
        EXPECT_LE(std::stol(m[i - 1]), std::stol(m[i])) << "milliseconds never go back";
}

TEST_F(Serial, HangUpFoundByAnOperationGivesOneErrorThenEveryOperationIsRefused) {
    for (int i = 0; i < kLineOps; ++i) {
        const auto [name, run] = kOps[i];
        SimSensor &sim = Sensor();
        testing::internal::CaptureStderr();
        sim.Stop();
        EXPECT_EQ(run(kPort), kRS232UnknownIOError) << name;
        EXPECT_EQ(run(kPort), kRS232PortNotOpen) << name;
        EXPECT_TRUE(Once(testing::internal::GetCapturedStderr(), "hung up")) << name;
    }
    for (const auto &[name, run] : kOps) {
        EXPECT_EQ(run(kPort), kRS232PortNotOpen) << name;
        EXPECT_EQ(run(0), kRS232InvalidPortNum) << name;
        EXPECT_EQ(run(kMaxPortNumber + 1), kRS232InvalidPortNum) << name;
    }
}

TEST_F(Serial, AssignedPortsAreListed) {
    SimSensor &a = Sensor(false, nullptr, false), &b = Sensor(false, nullptr, false);
    const std::string link = dir_.file("sensor-b"); // as --port 4=/some/link gives
    ASSERT_EQ(symlink(b.DevicePath().c_str(), link.c_str()), 0);
    ASSERT_EQ(AssignPortDevice(3, a.DevicePath().c_str()), 0);
    ASSERT_EQ(AssignPortDevice(4, link.c_str()), 0);
    // The drop-down's items: rising port numbers, "COMn  device  description", cut to fit.
    SetPortDescription(3, "simulated sensor");
    RefreshPortTable();
    std::set<std::string> labels;
    char label[300];
    int port = 0, previous = 0;
    for (int i = 0; GetPortEntry(i, &port, label, sizeof label); ++i, previous = port) {
        EXPECT_GT(port, previous);
        labels.insert(label);
    }
    EXPECT_EQ(labels.size(), size_t(GetPortCount()));
    EXPECT_TRUE(GetPortEntry(0, &port, label, 8) && std::strlen(label) == 7) << "cut to fit";
    EXPECT_EQ(labels.count("COM3  " + a.DevicePath() + "  simulated sensor"), 1u);
    EXPECT_EQ(labels.count("COM4  " + link), 1u);
    AssignPortDevice(3, ""), AssignPortDevice(4, "");
}

// A user outside the device's group is told once which group to join, and how.
TEST_F(Serial, PermissionDeniedSaysOnceWhichGroupToJoin) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    const std::string dev = Sensor(false, nullptr, false).DevicePath();
    testing::internal::CaptureStderr();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        const bool refused = Open(kPort, dev) == kRS232CannotOpenPort && Open(kPort, dev) == kRS232CannotOpenPort;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(Once(text, "permission denied")) << text;
    struct stat st {};
    ASSERT_EQ(stat(dev.c_str(), &st), 0);
    const std::string owner = getgrgid(st.st_gid) ? getgrgid(st.st_gid)->gr_name : "?";
    EXPECT_NE(text.find("usermod -aG " + owner + " "), std::string::npos) << text;
}

} // namespace
