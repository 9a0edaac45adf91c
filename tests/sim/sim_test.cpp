// The simulated sensor, its model, settings and command, checked on the bytes.
#include "sim.h"
#include "test_support.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <numeric>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Words as the line carries them, high byte first; `head` words (sync, command) go first.
SimFrame Bytes(SimWords words, SimWords head = {}) {
    SimFrame f;
    words.insert(words.begin(), head.begin(), head.end());
    for (uint16_t w : words)
        f.insert(f.end(), {uint8_t(w >> 8), uint8_t(w)});
    return f;
}
// A request frame: 16 payload words (zeros after those given), 2 zero bytes.
SimFrame Request(int command, SimWords words = {}) {
    words.resize(kSimWords + 1);
    return Bytes(words, {kSimRequestSync, uint16_t(command)});
}
SimFrame Reply(int c, SimWords w) {
    return Bytes(w, {kSimReplySync, uint16_t(c)});
}
SimWords Payload(const SimFrame &f) { // after the sync and echo
    SimWords w;
    for (size_t at = 4; at + 1 < f.size(); at += 2)
        w.push_back(uint16_t(f[at] << 8 | f[at + 1]));
    return w;
}
SimWords Numbered(int base) {
    SimWords w(kSimWords);
    return std::iota(w.begin(), w.end(), uint16_t(base)), w;
}
bool Apply(SimSettings &s, const std::string &o, std::string *error = nullptr) { // "name=value"
    return ApplySimOption(s, o.substr(0, o.find('=')), o.substr(o.find('=') + 1), error);
}

// The program's end of the sensor's pseudo-terminal, raw.
class Line {
  public:
    explicit Line(const std::string &tty) : fd_(open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        if (tcgetattr(fd_, &t) == 0) cfmakeraw(&t), tcsetattr(fd_, TCSANOW, &t);
    }
    ~Line() { close(fd_); }
    bool hungUp = false;
    void Write(const SimFrame &f) { ASSERT_EQ(write(fd_, f.data(), f.size()), ssize_t(f.size())); }
    SimFrame Exchange(const SimFrame &request) { return Write(request), Read(); }
    SimFrame Read() { // what arrives until a quiet spell of 0.15 s, for at most 3 s
        SimFrame out;
        uint8_t buf[512];
        for (const double end = Now() + 3; Now() < end;) {
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, int(std::min(0.15, end - Now()) * 1000) + 1) <= 0) break;
            const ssize_t n = read(fd_, buf, sizeof buf);
            if ((hungUp = n <= 0)) break; // readable yet no bytes: the other end is gone
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

  private:
    int fd_;
};

TEST(SimModel, MeasuresTheDarkObjectAsItDriftsAcrossTeachesAndSendsItsProfile) {
    const auto Darkest = [](const auto &p) { return int(std::ranges::min_element(p) - p.begin()); };
    SimModel m({});
    EXPECT_EQ(m.Profile(17), SimModel({}).Profile(17)) << "the same scans in every run";
    SimWords ram = m.ram;
    int lo = kSimProfileLen, hi = 0, last = Darkest(m.Profile(0));
    for (int i = 0; i < 600; ++i) { // one sweep, in every evaluation mode by turns
        ram[kSimEvalMode] = uint16_t(i % 4);
        m.Answer(Request(kSimWriteRam, ram).data());
        const auto p = m.Profile(m.scan);
        const int dark = Darkest(p);
        const SimWords w = Payload(m.Answer(Request(kSimMeasure).data()));
        // Two edges around the darkest sample, in sub-pixel units (6 per sample).
        const int L = w.at(0), R = w[1], value[] = {L, R, R - L, (L + R) / 2};
        ASSERT_TRUE(L < dark * 6 && dark * 6 < R && R - L < 40 * 6 && w[7] == 2 && w[14] == 1) << i;
        ASSERT_EQ(w[2], value[i % 4]) << "evaluation mode " << i % 4;
        ASSERT_TRUE(*std::max_element(p.begin(), p.end()) <= 920 && p[dark] < 200) << i;
        ASSERT_LE(std::abs(dark - last), 30) << "a slow drift, scan " << i;
        lo = std::min(lo, last = dark);
        hi = std::max(hi, dark);
    }
    EXPECT_GT(hi - lo, 100) << "the object sweeps across the line";
    m.Answer(Request(kSimResetMaxMin).data());
    EXPECT_EQ(m.anaMax, m.anaMin) << "reset: maximum and minimum start again";
    // Teach: the value measured becomes the setpoint; blocks send that scan's profile.
    const auto profile = m.Profile(m.scan);
    const int measured = m.Measure(profile)[2];
    EXPECT_NE(measured, ram[kSimSetpoint]);
    EXPECT_EQ(Payload(m.Answer(Request(kSimTeach).data())).at(kSimSetpoint), measured);
    for (uint16_t start : {0, 64, 128, 192})
        EXPECT_EQ(m.Answer(Request(kSimBlock, {start}).data()),
                  Bytes({profile.begin() + start, profile.begin() + start + kSimBlockWords}));
    ram[kSimVideoThreshold] = 95; // deeper than the object's shadow: no edge
    m.Answer(Request(kSimWriteRam, ram).data());
    const SimWords w = Payload(m.Answer(Request(kSimMeasure).data()));
    EXPECT_EQ(SimWords({w.at(0), w[1], w[2], w[7], w[14]}), SimWords(5, 0));
}

TEST(SimLine, EveryCommandIsAnsweredOnTheBytes) {
    SimSettings s;
    s.pcbtype = 101, s.firmware = "V1.2 test", s.eeprom = Numbered(1);
    SimSensor sim(s);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    Line line(sim.DevicePath());
    SimFrame firmware(s.firmware.begin(), s.firmware.end()); // text, as boards other than 0 send it
    firmware.resize(kSimFirmwareLen);
    for (const auto &[command, words, len, reply] :
         {std::tuple{int(kSimReadRam), SimWords(), kSimReplyLen, Reply(kSimReadRam, Numbered(1))},
          {kSimWriteRam, Numbered(100), 0, SimFrame()},
          {kSimWriteEeprom, Numbered(200), 0, SimFrame()},
          {kSimReadRam, SimWords(), kSimReplyLen, Reply(kSimReadRam, Numbered(100))},
          {kSimReadEeprom, SimWords(), kSimReplyLen, Reply(kSimReadEeprom, Numbered(200))},
          {kSimEcho, Numbered(0xFFF0), kSimReplyLen, Reply(kSimEcho, Numbered(0xFFF0))},
          {kSimHardware, Numbered(9), kSimReplyLen, SimFrame()},
          {kSimFirmware, SimWords(), kSimFirmwareLen, firmware},
          {kSimTeach, SimWords(), kSimReplyLen, SimFrame()},
          {kSimMeasure, SimWords(), kSimReplyLen, SimFrame()},
          {kSimBlock, SimWords(), kSimBlockLen, SimFrame()},
          {kSimResetMaxMin, SimWords(), kSimReplyLen, SimFrame()},
          {kSimCommandCount, SimWords(), 0, SimFrame()}}) { // unknown: skipped
        const SimFrame r = line.Exchange(Request(command, words));
        ASSERT_EQ(int(r.size()), len) << "command " << command;
        EXPECT_EQ(reply.empty() ? reply : r, reply) << "command " << command;
        EXPECT_TRUE(len != kSimReplyLen || SimFrame(r.begin(), r.begin() + 4) == Reply(command, {}))
            << "the reply's sync and echo, command " << command;
    }
    sim.Stop();
    EXPECT_TRUE(line.Read().empty() && line.hungUp) << "stopped, it hangs up the line";
}

TEST(SimLine, FramesAreFoundInNoiseAndEveryFaultSpoilsTheRepliesItIsFor) {
    SimSensor sim{SimSettings()};
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    Line line(sim.DevicePath());
    // Garbage, including a lone 0x00 and a sync with an unknown command word.
    SimFrame noise = {0x12, 0x00, 0x34, 0x55, 0x00, 0x55, 0x00, 0x63, 0xFF};
    const SimFrame request = Request(kSimReadRam);
    noise.insert(noise.end(), request.begin(), request.end());
    EXPECT_EQ(line.Exchange(noise), Reply(kSimReadRam, SimSettings().eeprom));
    EXPECT_TRUE(sim.RequestCount() == 1 && sim.SkippedBytes() == 9);
    line.Write(SimFrame(request.begin(), request.begin() + 10)); // one frame in two writes
    usleep(20000);
    line.Write(SimFrame(request.begin() + 10, request.end()));
    EXPECT_EQ(line.Read().size(), size_t(kSimReplyLen));
    SimModel clean({}); // given the same requests, for the replies unspoiled
    using Spoil = std::function<SimFrame(SimFrame)>;
    const Spoil none = [](SimFrame) { return SimFrame(); }, same = [](SimFrame g) { return g; };
    const auto sized = [](size_t n) { return [n](SimFrame g) { return g.resize(n, 0xEE), g; }; };
    const auto word = [](size_t at, int v) {
        return [=](SimFrame g) { return g[at] = uint8_t(v >> 8), g[at + 1] = uint8_t(v), g; };
    };
    const Spoil twice = [](SimFrame g) {
        const SimFrame once = g;
        return g.insert(g.end(), once.begin(), once.end()), g;
    };
    // A fault spoils its command's replies (any command's without @) as often as x says.
    for (const auto &[text, command, spoil] : {std::tuple{"no-reply@5", kSimEcho, none},
                                               {"no-replyx1", kSimReadRam, none},
                                               {"no-reply@8", kSimEcho, same},
                                               {"wrong-sync@5", kSimEcho, word(0, 0xAA00)},
                                               {"wrong-echo=99@10x1", kSimHardware, word(2, 99)},
                                               {"cut=20@8x1", kSimMeasure, sized(20)},
                                               {"block-length=127", kSimBlock, sized(127)},
                                               {"firmware-length=73x1", kSimFirmware, sized(73)},
                                               {"garbage=50@4x1", kSimReadEeprom, same},
                                               {"noise=9@2x1", kSimReadRam, same},
                                               {"twice@5x1", kSimEcho, twice},
                                               {"late=100@2x1", kSimReadRam, same},
                                               {"dribble=20@2x1", kSimReadRam, same}}) {
        SimFault f;
        ASSERT_TRUE(ParseSimFault(text, &f, nullptr)) << text;
        sim.ClearFaults();
        sim.AddFault(f);
        for (bool first : {true, false}) {
            const SimFrame request = Request(command, Numbered(5));
            const SimFrame good = clean.Answer(request.data()), r = line.Exchange(request);
            const SimFrame expected = first || f.times != 1 ? spoil(good) : good;
            // Garbage comes first, noise last: only their counts are known.
            const long skip = first && f.kind == SimFaultKind::Garbage ? f.n : 0;
            const long tail = first && f.kind == SimFaultKind::Noise ? f.n : 0;
            ASSERT_EQ(r.size(), expected.size() + size_t(skip + tail)) << text;
            EXPECT_EQ(SimFrame(r.begin() + skip, r.end() - tail), expected) << text;
        }
    }
    // Hang-up: so many requests in all are answered, the next closes the line.
    SimFault f;
    ASSERT_TRUE(
        ParseSimFault("hangup-after=" + std::to_string(sim.RequestCount() + 1), &f, nullptr));
    sim.AddFault(f);
    EXPECT_EQ(line.Exchange(Request(kSimEcho)).size(), size_t(kSimReplyLen));
    EXPECT_TRUE(line.Exchange(Request(kSimEcho)).empty() && line.hungUp);
    for (int i = 0; i < 100 && sim.Running(); ++i)
        usleep(10000);
    EXPECT_TRUE(!sim.Running() && sim.HungUp());
}

// Replies that take their time: late, dribbled (paced or not), and a reply cut off by a
// hang-up; the sensor reports itself sending until the last byte is out.
TEST(SimLine, LateDribbledAndHalfSentRepliesComeAsTold) {
    SimSettings s;
    s.paced = false;
    SimSensor sim(s);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    Line line(sim.DevicePath());
    struct Case {
        const char *fault;
        double atLeast, atMost; // seconds from the request to the last byte
    };
    for (const Case c : {Case{"late=200@2x1", 0.2, 0.3}, Case{"dribble=10@2x1", 0.35, 0.5}}) {
        SimFault f;
        ASSERT_TRUE(ParseSimFault(c.fault, &f, nullptr)) << c.fault;
        sim.AddFault(f);
        const int before = sim.RequestCount();
        const double t0 = Now();
        line.Write(Request(kSimReadRam));
        ASSERT_TRUE(sim.WaitForRequests(before + 1, 1.0));
        EXPECT_TRUE(sim.Sending()) << c.fault;
        EXPECT_TRUE(sim.WaitUntilIdle(2.0));
        const double took = Now() - t0;
        EXPECT_EQ(line.Read(), Reply(kSimReadRam, SimSettings().eeprom)) << c.fault;
        EXPECT_TRUE(took >= c.atLeast && took <= c.atMost) << c.fault << ": " << took;
    }
    SimFault f;
    ASSERT_TRUE(ParseSimFault("hangup-mid=18@5", &f, nullptr));
    sim.AddFault(f);
    const SimFrame r = line.Exchange(Request(kSimEcho));
    ASSERT_EQ(r.size(), 18u);
    const SimFrame whole = Reply(kSimEcho, Numbered(0));
    EXPECT_EQ(SimFrame(whole.begin(), whole.begin() + 4), SimFrame(r.begin(), r.begin() + 4));
    EXPECT_TRUE(line.hungUp);
    // Without a line (the parser fed directly) such a reply goes nowhere and costs no time.
    SimSettings quiet;
    quiet.paced = false;
    for (const char *fault : {"late=5000@2", "dribble=500@2", "hangup-mid=18@2", "noise=40@2"}) {
        ASSERT_TRUE(ParseSimFault(fault, &f, nullptr)) << fault;
        quiet.faults.assign(1, f);
        SimSensor unstarted(quiet);
        const double t0 = Now();
        unstarted.TakeBytes(Request(kSimReadRam).data(), kSimRequestLen);
        EXPECT_LT(Now() - t0, 0.1) << fault;
    }
    std::string error;
    EXPECT_FALSE(ParseSimFault("dribble", &f, &error)) << "needs its milliseconds";
    EXPECT_TRUE(ParseSimFault("twice@8x2", &f, &error)) << error;
}

TEST(SimSettingsText, ScenarioFileAndOptions) {
    TempDir dir;
    const std::string path = dir.file("scenario.txt");
    WriteWholeFile(path, "# a comment\nccdtype = 102\npcbtype 101 # the board\nturnaround = 2.5\n"
                         "firmware = hello there\nfault = no-reply@5x1\n");
    SimSettings s;
    std::string error;
    ASSERT_TRUE(LoadSimScenario(s, path, &error)) << error;
    EXPECT_EQ(std::tuple(s.ccdtype, s.pcbtype, s.turnaroundMs, s.firmware, s.faults.size()),
              std::tuple(102, 101, 2.5, std::string("hello there"), size_t(1)));
    WriteWholeFile(path, "ccdtype = 1\nturnaround = fast\n");
    EXPECT_TRUE(!LoadSimScenario(s, path, &error) && error.find(":2:") != error.npos) << error;
    EXPECT_FALSE(LoadSimScenario(s, dir.file("missing"), &error));
    for (const char *bad : {"ccdtype=70000", "eeprom=1 2 3", "paced=maybe", "colour=red", "fault=",
                            "fault=cut=x", "fault=cut=5@12", "fault=nothing", "fault=no-reply@8x0"})
        EXPECT_FALSE(Apply(s, bad, &error)) << bad;
}

// The spoil setting takes about its share of the replies, the same ones for the same seed,
// and never a write (which gets no reply to spoil).
TEST(SimSpoil, SpoilsItsShareOfRepliesRepeatablyFromTheSeed) {
    auto spoiled = [](double percent, uint32_t seed, int command, int requests) {
        SimSettings s;
        s.paced = false;
        s.seed = seed;
        s.spoilPercent = percent;
        SimSensor sim(s); // not started: the parser is fed directly, replies go nowhere
        const SimFrame req = Request(command);
        for (int i = 0; i < requests; i++) sim.TakeBytes(req.data(), int(req.size()));
        EXPECT_EQ(requests, sim.RequestCount(command));
        EXPECT_EQ(sim.SpoiledCount(), sim.SpoiledCount(command));
        return sim.SpoiledCount();
    };
    const int n = spoiled(1.0, 7, kSimEcho, 20000);
    EXPECT_GT(n, 140);
    EXPECT_LT(n, 260);
    EXPECT_EQ(n, spoiled(1.0, 7, kSimEcho, 20000));
    EXPECT_NE(n, spoiled(1.0, 8, kSimEcho, 20000));
    EXPECT_EQ(0, spoiled(0.0, 7, kSimEcho, 2000));
    EXPECT_EQ(2000, spoiled(100.0, 7, kSimBlock, 2000));
    EXPECT_EQ(0, spoiled(100.0, 7, kSimWriteRam, 200));
    SimSettings s;
    EXPECT_TRUE(Apply(s, "spoil=0.5"));
    EXPECT_EQ(0.5, s.spoilPercent);
    for (const char *bad : {"spoil=101", "spoil=-1", "spoil=some"}) EXPECT_FALSE(Apply(s, bad)) << bad;
}

TEST(SimCommand, PrintsItsPortServesItAsToldAndStopsCleanly) {
    TempDir dir;
    const std::string link = dir.file("sensor");
    QProcess p;
    const auto Run = [&](const QStringList &args) { // its first line, as one write
        p.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"), args);
        if (p.waitForStarted(5000)) p.waitForReadyRead(5000);
        return p.readLine().trimmed().toStdString();
    };
    const auto ExitCode = [&] {
        return p.waitForFinished(3000) && !p.exitStatus() ? p.exitCode() : -1;
    };
    const std::string port = Run({"--unpaced", "--ccdtype", "104", "--fault=cut=10@2", "--link",
                                  QString::fromStdString(link)});
    ASSERT_EQ(port.rfind("PORT /dev/", 0), 0u) << port;
    char target[256] = {};
    EXPECT_EQ(readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "", port.substr(5));
    Line line(link);
    EXPECT_EQ(Payload(line.Exchange(Request(kSimHardware))).at(0), 104);
    EXPECT_EQ(line.Exchange(Request(kSimReadRam)).size(), 10u);
    p.closeWriteChannel(); // the end of its input: the program that started it went away
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(readlink(link.c_str(), target, sizeof target), -1) << "link removed at the end";
    ASSERT_EQ(Run({}).rfind("PORT ", 0), 0u);
    p.terminate();
    EXPECT_EQ(ExitCode(), 0) << "ended by a termination signal";
    p.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"), {"--fault", "sideways"});
    EXPECT_EQ(ExitCode(), 2) << "a bad option";
    EXPECT_TRUE(p.readAllStandardError().startsWith("kvor-sensor-sim: "));
}

} // namespace
