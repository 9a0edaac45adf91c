// The simulated sensor, checked on the bytes: its model, the sensor on a real pseudo-terminal
// (commands, noise, faults, pacing), its settings and the kvor-sensor-sim command.
#include "sim.h"
#include "test_support.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Words as the line carries them, high byte first.
SimFrame Bytes(const SimWords &words) {
    SimFrame f;
    for (uint16_t w : words)
        f.insert(f.end(), {uint8_t(w >> 8), uint8_t(w)});
    return f;
}
// A request frame: sync, command word, 16 payload words (zeros after those given), 2 zeros.
SimFrame Request(int command, SimWords words = {}) {
    words.resize(kSimWords);
    words.insert(words.begin(), {kSimRequestSync, uint16_t(command)});
    words.push_back(0);
    return Bytes(words);
}
SimFrame Reply(int command, SimWords words) {
    words.insert(words.begin(), {kSimReplySync, uint16_t(command)});
    return Bytes(words);
}
// The words of a reply frame after its sync and echo.
SimWords Payload(const SimFrame &f) {
    SimWords w;
    for (size_t at = 4; at + 1 < f.size(); at += 2)
        w.push_back(uint16_t(f[at] << 8 | f[at + 1]));
    return w;
}
SimWords Numbered(int base) {
    SimWords w(kSimWords);
    for (int k = 0; k < kSimWords; ++k)
        w[k] = uint16_t(base + k);
    return w;
}
// A setting written "name=value", as the command takes it.
bool Apply(SimSettings &s, const std::string &o, std::string *error = nullptr) {
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
    bool hungUp() const { return hungUp_; }
    void Write(const SimFrame &f) { ASSERT_EQ(write(fd_, f.data(), f.size()), ssize_t(f.size())); }
    SimFrame Exchange(const SimFrame &request) { return Write(request), Read(); }
    // What arrives until `max` bytes, a quiet spell of `quiet` seconds or `limit` seconds.
    SimFrame Read(size_t max = SIZE_MAX, double quiet = 0.15, double limit = 3.0) {
        SimFrame out;
        uint8_t buf[512];
        for (const double end = Now() + limit; out.size() < max && Now() < end;) {
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, int(std::min(quiet, end - Now()) * 1000) + 1) <= 0) break;
            const ssize_t n = read(fd_, buf, std::min(sizeof buf, max - out.size()));
            hungUp_ = n <= 0; // no bytes from a readable line: its other end is gone
            if (hungUp_) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

  private:
    int fd_;
    bool hungUp_ = false;
};

class SimLine : public ::testing::Test {
  protected:
    void Begin(SimSettings s = {}, bool paced = false) {
        s.paced = paced;
        sim_ = std::make_unique<SimSensor>(s);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        line_ = std::make_unique<Line>(sim_->DevicePath());
    }
    std::unique_ptr<SimSensor> sim_;
    std::unique_ptr<Line> line_;
};

TEST(SimModel, MeasuresTheDarkObjectAsItDriftsAcrossTeachesAndSendsItsProfile) {
    const auto Darkest = [](const auto &p) {
        return int(std::min_element(p.begin(), p.end()) - p.begin());
    };
    SimModel m({});
    SimSettings other;
    other.seed = 2;
    EXPECT_EQ(m.Profile(17), SimModel({}).Profile(17)) << "the same scans in every run";
    EXPECT_NE(m.Profile(17), SimModel(other).Profile(17)) << "the seed's own noise";
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
    ram[kSimVideoThreshold] = 5; // under the whole profile: no edge
    m.Answer(Request(kSimWriteRam, ram).data());
    const SimWords w = Payload(m.Answer(Request(kSimMeasure).data()));
    EXPECT_EQ(SimWords({w.at(0), w[1], w[2], w[7], w[14]}), SimWords(5, 0));
}

TEST_F(SimLine, EveryCommandIsAnsweredOnTheBytes) {
    SimSettings s;
    for (const char *o :
         {"ccdtype=102", "ccdmaxpixel=768", "resolution=250", "pcbtype=101", "ccdmaxpixelx8=6144",
          "subpixel=1180", "pixb=3", "pixe=765", "version=1001", "firmware=V1.2 test",
          "eeprom=1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"})
        ASSERT_TRUE(Apply(s, o)) << o;
    Begin(s);
    SimFrame firmware(s.firmware.begin(), s.firmware.end()); // text, as boards other than 0 send it
    firmware.resize(kSimFirmwareLen);
    // In turn: command, payload sent, the reply's length and, where it is known, its bytes.
    for (const auto &[command, words, len, reply] :
         {std::tuple{int(kSimReadRam), SimWords(), kSimReplyLen, Reply(kSimReadRam, Numbered(1))},
          {kSimWriteRam, Numbered(100), 0, SimFrame()},
          {kSimWriteEeprom, Numbered(200), 0, SimFrame()},
          {kSimReadRam, SimWords(), kSimReplyLen, Reply(kSimReadRam, Numbered(100))},
          {kSimReadEeprom, SimWords(), kSimReplyLen, Reply(kSimReadEeprom, Numbered(200))},
          {kSimEcho, Numbered(0xFFF0), kSimReplyLen, Reply(kSimEcho, Numbered(0xFFF0))},
          {kSimHardware, Numbered(9), kSimReplyLen,
           Reply(kSimHardware,
                 {102, 768, 250, 101, 6144, 1180, 3, 765, 1001, 0, 0, 0, 0, 0, 0, 0})},
          {kSimFirmware, SimWords(), kSimFirmwareLen, firmware},
          {kSimTeach, SimWords(), kSimReplyLen, SimFrame()},
          {kSimMeasure, SimWords(), kSimReplyLen, SimFrame()},
          {kSimBlock, SimWords(), kSimBlockLen, SimFrame()},
          {kSimResetMaxMin, SimWords(), kSimReplyLen, SimFrame()},
          {0, SimWords(), 0, SimFrame()}, // unknown command words are skipped
          {kSimCommandCount, SimWords(), 0, SimFrame()}}) {
        const SimFrame r = line_->Exchange(Request(command, words));
        ASSERT_EQ(int(r.size()), len) << "command " << command;
        EXPECT_EQ(reply.empty() ? reply : r, reply) << "command " << command;
        EXPECT_TRUE(len != kSimReplyLen || SimFrame(r.begin(), r.begin() + 4) == Reply(command, {}))
            << "the reply's sync and echo, command " << command;
    }
    EXPECT_EQ(sim_->RequestCount(), 12);
    EXPECT_EQ(sim_->RequestCount(kSimReadRam), 2);
    EXPECT_EQ(sim_->LastRequest(), Request(kSimResetMaxMin)) << "the last one taken in";
    sim_->Stop();
    EXPECT_TRUE(line_->Read().empty() && line_->hungUp()) << "stopped, it hangs up the line";
}

TEST_F(SimLine, FramesAreFoundInNoiseAndEveryFaultSpoilsTheRepliesItIsFor) {
    Begin();
    // Garbage, including a lone 0x00 and a sync with an unknown command word.
    SimFrame noise = {0x12, 0x00, 0x34, 0x55, 0x00, 0x55, 0x00, 0x63, 0xFF};
    const SimFrame request = Request(kSimReadRam);
    noise.insert(noise.end(), request.begin(), request.end());
    EXPECT_EQ(line_->Exchange(noise), Reply(kSimReadRam, SimSettings().eeprom));
    EXPECT_EQ(sim_->RequestCount(), 1);
    EXPECT_EQ(sim_->SkippedBytes(), 9);
    // One frame in two writes.
    line_->Write(SimFrame(request.begin(), request.begin() + 10));
    usleep(20000);
    line_->Write(SimFrame(request.begin() + 10, request.end()));
    EXPECT_EQ(line_->Read().size(), size_t(kSimReplyLen));
    // A frame cut short and abandoned: dropped when the next one comes after a pause.
    line_->Write(SimFrame(request.begin(), request.begin() + 20));
    usleep(250000);
    EXPECT_EQ(line_->Exchange(Request(kSimEcho, Numbered(3))), Reply(kSimEcho, Numbered(3)));
    SimModel clean({}); // given the same requests, for the replies unspoiled
    using Spoil = std::function<SimFrame(SimFrame)>;
    const Spoil none = [](SimFrame) { return SimFrame(); }, same = [](SimFrame g) { return g; };
    const auto sized = [](size_t n) { return [n](SimFrame g) { return g.resize(n, 0xEE), g; }; };
    const auto word = [](size_t at, int v) {
        return [=](SimFrame g) { return g[at] = uint8_t(v >> 8), g[at + 1] = uint8_t(v), g; };
    };
    // A fault spoils its command's replies (any command's without @) as often as x says.
    for (const auto &[text, command, spoil] :
         {std::tuple{"no-reply@5", kSimEcho, none},
          {"no-replyx1", kSimReadRam, none},
          {"no-reply@8", kSimEcho, same},
          {"wrong-sync@5", kSimEcho, word(0, 0xAA00)},
          {"wrong-echo@10x1", kSimHardware, word(2, kSimHardware + 1)},
          {"wrong-echo=99@10", kSimHardware, word(2, 99)},
          {"cut=20@8x1", kSimMeasure, sized(20)},
          {"extra=3@2", kSimReadRam, sized(kSimReplyLen + 3)},
          {"length=40@2x2", kSimReadRam, sized(40)},
          {"block-length=127", kSimBlock, sized(127)},
          {"firmware-length=73x1", kSimFirmware, sized(73)},
          {"garbage=50@4x1", kSimReadEeprom, same}}) {
        SimFault f;
        ASSERT_TRUE(ParseSimFault(text, &f, nullptr)) << text;
        sim_->ClearFaults();
        sim_->AddFault(f);
        for (bool first : {true, false}) {
            const SimFrame request = Request(command, Numbered(5));
            const SimFrame good = clean.Answer(request.data()), r = line_->Exchange(request);
            const SimFrame expected = first || f.times != 1 ? spoil(good) : good;
            // Garbage comes before the reply: only its count is known.
            const long skip = first && f.kind == SimFaultKind::Garbage ? f.n : 0;
            ASSERT_EQ(r.size(), expected.size() + size_t(skip)) << text;
            EXPECT_EQ(SimFrame(r.begin() + skip, r.end()), expected) << text;
        }
    }
    // Hang-up: so many requests in all are answered, the next one closes the line.
    SimFault f;
    ASSERT_TRUE(
        ParseSimFault("hangup-after=" + std::to_string(sim_->RequestCount() + 1), &f, nullptr));
    sim_->AddFault(f);
    EXPECT_EQ(line_->Exchange(Request(kSimEcho)).size(), size_t(kSimReplyLen));
    EXPECT_TRUE(line_->Exchange(Request(kSimEcho)).empty() && line_->hungUp());
    for (int i = 0; i < 100 && sim_->Running(); ++i)
        usleep(10000);
    EXPECT_TRUE(!sim_->Running() && sim_->HungUp());
}

TEST_F(SimLine, PacedRepliesTakeTheLineTimeOfRequestAndReply) {
    // A lower bound only: every byte takes 10 bit times both ways, plus the turnaround.
    SimSettings s;
    s.turnaroundMs = 5.0;
    Begin(s, /*paced=*/true);
    const size_t len = kSimBlockLen;
    const double t0 = Now();
    line_->Write(Request(kSimBlock));
    // Byte by byte: not all of it is there after the request's own line time.
    SimFrame r = line_->Read(len, 1.0, (kSimRequestLen + 2) * kSimByteSeconds + 0.005);
    EXPECT_TRUE(r.size() < len || Now() - t0 > double(kSimRequestLen + len) * kSimByteSeconds);
    const SimFrame rest = line_->Read(len - r.size(), 1.0);
    r.insert(r.end(), rest.begin(), rest.end());
    ASSERT_EQ(r.size(), len);
    EXPECT_GE(Now() - t0, double(kSimRequestLen + len) * kSimByteSeconds + 0.0045);
}

TEST(SimSettingsText, ScenarioFileAndOptions) {
    TempDir dir;
    const std::string path = dir.file("scenario.txt");
    WriteWholeFile(path, "# \"name = value\" or \"name value\"\n"
                         "ccdtype = 102\n"
                         "pcbtype 101   # the board\n"
                         "turnaround = 2.5\n"
                         "paced = no\n"
                         "firmware = hello there\n"
                         "fault = no-reply@5x1\n");
    SimSettings s;
    std::string error;
    ASSERT_TRUE(LoadSimScenario(s, path, &error)) << error;
    EXPECT_EQ(
        std::tuple(s.ccdtype, s.pcbtype, s.turnaroundMs, s.paced, s.firmware, s.faults.size()),
        std::tuple(102, 101, 2.5, false, std::string("hello there"), size_t(1)));
    WriteWholeFile(path, "ccdtype = 1\nturnaround = fast\n");
    EXPECT_FALSE(LoadSimScenario(s, path, &error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_FALSE(LoadSimScenario(s, dir.file("missing"), &error));
    for (const char *bad :
         {"ccdtype=70000", "eeprom=1 2 3", "paced=maybe", "colour=red", "seed=-4",
          "fault=", "fault=cut", "fault=cut=x", "fault=cut=5@12", "fault=cut=5@0", "fault=nothing",
          "fault=extra=-1", "fault=garbage=70000", "fault=no-reply@8x0"})
        EXPECT_FALSE(Apply(s, bad, &error)) << bad;
}

// Starts kvor-sensor-sim; its input, output and errors are pipes; returns its first line.
std::string Start(QProcess &p, const QStringList &args) {
    p.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"), args);
    if (p.waitForStarted(5000)) p.waitForReadyRead(5000); // the line comes in one write
    return p.readLine().trimmed().toStdString();
}
int ExitCode(QProcess &p) {
    return p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(SimCommand, PrintsItsPortServesItAsToldAndStopsCleanly) {
    TempDir dir;
    const std::string link = dir.file("sensor");
    QProcess p;
    const std::string port = Start(p, {"--unpaced", "--ccdtype", "104", "--fault=cut=10@2",
                                       "--link", QString::fromStdString(link)});
    ASSERT_EQ(port.rfind("PORT /dev/", 0), 0u) << port;
    char target[256] = {};
    EXPECT_EQ(readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "", port.substr(5));
    Line line(link);
    EXPECT_EQ(Payload(line.Exchange(Request(kSimHardware))).at(0), 104);
    EXPECT_EQ(line.Exchange(Request(kSimReadRam)).size(), 10u);
    p.closeWriteChannel(); // the end of its input: the program that started it went away
    EXPECT_EQ(ExitCode(p), 0);
    EXPECT_EQ(readlink(link.c_str(), target, sizeof target), -1) << "link removed at the end";
    ASSERT_EQ(Start(p, {}).rfind("PORT ", 0), 0u);
    p.terminate();
    EXPECT_EQ(ExitCode(p), 0) << "ended by a termination signal";
    for (const QStringList &args : {QStringList{"--ccdtype", "many"},
                                    {"--fault", "sideways"},
                                    {"--scenario", "/nonexistent/file"},
                                    {"stray"}}) {
        p.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"), args);
        EXPECT_EQ(ExitCode(p), 2) << args[0].toStdString();
        EXPECT_TRUE(p.readAllStandardError().startsWith("kvor-sensor-sim: "))
            << args[0].toStdString();
    }
}

} // namespace
