// The simulated sensor, checked on the bytes: its model on its own, then the sensor on a
// real pseudo-terminal (every command, every fault, resynchronisation, pacing), its settings
// and the kvor-sensor-sim command.
#include "sim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

SimFrame Request(int command, const SimWords &words = SimWords(kSimWords, 0)) {
    SimFrame f(kSimRequestLen, 0);
    f[1] = 0x55;
    f[2] = uint8_t(command >> 8);
    f[3] = uint8_t(command);
    for (int k = 0; k < kSimWords; ++k) {
        f[4 + 2 * k] = uint8_t(words[k] >> 8);
        f[5 + 2 * k] = uint8_t(words[k]);
    }
    return f;
}

int WordAt(const SimFrame &f, int offset) {
    return (f[offset] << 8) | f[offset + 1];
}
int PayloadWord(const SimFrame &f, int k) {
    return WordAt(f, 4 + 2 * k);
}

SimWords Numbered(int base) {
    SimWords w(kSimWords);
    for (int k = 0; k < kSimWords; ++k)
        w[k] = uint16_t(base + k);
    return w;
}

// The program's end of the line: the pseudo-terminal's slave, raw.
class Line {
  public:
    explicit Line(const std::string &path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Line() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void Write(const SimFrame &f) { ASSERT_EQ(write(fd_, f.data(), f.size()), ssize_t(f.size())); }
    // Everything that arrives until the line has been quiet for `quiet` seconds.
    SimFrame ReadAll(double quiet = 0.15, double limit = 3.0) {
        SimFrame out;
        const double end = Now() + limit;
        while (Now() < end) {
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, int(quiet * 1000)) <= 0) break;
            uint8_t buf[512];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) {
                hungUp_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    // Exactly n bytes, or fewer when `limit` passes.
    SimFrame ReadN(size_t n, double limit = 2.0) {
        SimFrame out;
        const double end = Now() + limit;
        while (out.size() < n && Now() < end) {
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[512];
            ssize_t r = read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) {
                hungUp_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    SimFrame Exchange(const SimFrame &req) {
        Write(req);
        return ReadAll();
    }
    bool hungUp() const { return hungUp_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
};

SimSettings Unpaced() {
    SimSettings s;
    s.paced = false;
    return s;
}

// ---- the model ------------------------------------------------------------------------------

TEST(SimModel, ParameterSetsAreKeptApartAndWritesAreNotAnswered) {
    SimModel m(Unpaced());
    EXPECT_TRUE(m.Answer(Request(kSimWriteRam, Numbered(100)).data()).empty());
    EXPECT_TRUE(m.Answer(Request(kSimWriteEeprom, Numbered(200)).data()).empty());
    const SimFrame ram = m.Answer(Request(kSimReadRam).data());
    const SimFrame eeprom = m.Answer(Request(kSimReadEeprom).data());
    ASSERT_EQ(ram.size(), size_t(kSimReplyLen));
    ASSERT_EQ(eeprom.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(ram, 0), 0x00AA);
    EXPECT_EQ(WordAt(ram, 2), kSimReadRam);
    EXPECT_EQ(WordAt(eeprom, 2), kSimReadEeprom);
    for (int k = 0; k < kSimWords; ++k) {
        EXPECT_EQ(PayloadWord(ram, k), 100 + k);
        EXPECT_EQ(PayloadWord(eeprom, k), 200 + k);
    }
}

TEST(SimModel, RamStartsAsTheEepromSet) {
    SimSettings s = Unpaced();
    s.eeprom = Numbered(7);
    SimModel m(s);
    const SimFrame ram = m.Answer(Request(kSimReadRam).data());
    for (int k = 0; k < kSimWords; ++k)
        EXPECT_EQ(PayloadWord(ram, k), 7 + k);
}

TEST(SimModel, EchoReturnsThePayload) {
    SimModel m(Unpaced());
    SimWords w = Numbered(0xFFF0);
    const SimFrame r = m.Answer(Request(kSimEcho, w).data());
    ASSERT_EQ(r.size(), size_t(kSimReplyLen));
    EXPECT_EQ(r[0], 0x00);
    EXPECT_EQ(r[1], 0xAA);
    EXPECT_EQ(WordAt(r, 2), kSimEcho);
    for (int k = 0; k < kSimWords; ++k)
        EXPECT_EQ(PayloadWord(r, k), w[k]);
}

TEST(SimModel, HardwareDescriptionCarriesEverySetting) {
    SimSettings s = Unpaced();
    s.ccdtype = 102;
    s.ccdmaxpixel = 768;
    s.ccdresolution = 250;
    s.pcbtype = 101;
    s.ccdmaxpixelX8 = 6144;
    s.ccdsubpixel = 1180;
    s.ccdpixB = 3;
    s.ccdpixE = 765;
    s.softversion = 1001;
    SimModel m(s);
    const SimFrame r = m.Answer(Request(kSimHardware, Numbered(9)).data());
    ASSERT_EQ(r.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(r, 2), kSimHardware);
    const int expected[kSimWords] = {102, 768, 250, 101, 6144, 1180, 3, 765, 1001};
    for (int k = 0; k < kSimWords; ++k)
        EXPECT_EQ(PayloadWord(r, k), expected[k]) << k;
}

TEST(SimModel, FirmwareTextInWordFormForBoardZeroAndAsTextOtherwise) {
    for (int pcb : {0, 1, 100}) {
        SimSettings s = Unpaced();
        s.pcbtype = pcb;
        s.firmware = "V1.2 test";
        SimModel m(s);
        const SimFrame r = m.Answer(Request(kSimFirmware).data());
        ASSERT_EQ(r.size(), size_t(kSimFirmwareLen));
        std::string text;
        if (pcb == 0) {
            for (int k = 0; k < kSimFirmwareLen / 2; ++k) {
                EXPECT_EQ(r[2 * k], 0) << "high byte of word " << k;
                if (r[2 * k + 1]) text += char(r[2 * k + 1]);
            }
        } else {
            text.assign(reinterpret_cast<const char *>(r.data()));
            for (size_t i = text.size(); i < r.size(); ++i)
                EXPECT_EQ(r[i], 0);
        }
        EXPECT_EQ(text, "V1.2 test") << "board type " << pcb;
    }
}

TEST(SimModel, DefaultFirmwareTextFitsTheWordForm) {
    SimModel m(Unpaced());
    EXPECT_LE(m.FirmwareText().size(), size_t(kSimFirmwareLen / 2));
    EXPECT_NE(m.FirmwareText().find("V2.30"), std::string::npos);
}

TEST(SimModel, ProfileIsDeterministicBoundedAndHasADriftingDarkObject) {
    SimModel a(Unpaced()), b(Unpaced());
    EXPECT_EQ(a.Profile(17), b.Profile(17));
    SimSettings other = Unpaced();
    other.seed = 2;
    EXPECT_NE(SimModel(other).Profile(17), a.Profile(17));
    auto darkest = [](const std::vector<uint16_t> &p) {
        return int(std::min_element(p.begin(), p.end()) - p.begin());
    };
    int lo = 255, hi = 0;
    for (uint32_t scan = 0; scan < 600; scan += 10) {
        const auto p = a.Profile(scan);
        ASSERT_EQ(p.size(), size_t(kSimProfileLen));
        EXPECT_LE(*std::max_element(p.begin(), p.end()), 920);
        EXPECT_LT(*std::min_element(p.begin(), p.end()), 200);
        lo = std::min(lo, darkest(p));
        hi = std::max(hi, darkest(p));
        // Slow: the object moves a few samples at most from one scan to the next.
        EXPECT_LE(std::abs(darkest(a.Profile(scan + 1)) - darkest(p)), 30);
    }
    EXPECT_GT(hi - lo, 100) << "the object sweeps across the line";
}

TEST(SimModel, BlocksAreTheProfileOfTheLatestScan) {
    SimModel m(Unpaced());
    const SimFrame meas = m.Answer(Request(kSimMeasure).data());
    ASSERT_EQ(meas.size(), size_t(kSimReplyLen));
    const auto profile = m.Profile(0);
    for (int start : {0, 64, 128, 192}) {
        SimWords w(kSimWords, 0);
        w[0] = uint16_t(start);
        const SimFrame block = m.Answer(Request(kSimBlock, w).data());
        ASSERT_EQ(block.size(), size_t(kSimBlockLen));
        for (int i = 0; i < kSimBlockWords; ++i)
            ASSERT_EQ(WordAt(block, 2 * i), profile[start + i]) << start + i;
    }
}

TEST(SimModel, MeasurementWordsFollowProfileAndParameters) {
    SimModel m(Unpaced());
    for (int mode = 0; mode <= 3; ++mode) {
        SimWords ram = m.ram;
        ram[kSimEvalMode] = uint16_t(mode);
        ram[kSimSetpoint] = 700;
        ram[kSimTolerance] = 44;
        m.Answer(Request(kSimWriteRam, ram).data());
        const uint32_t scan = m.scan;
        const SimFrame r = m.Answer(Request(kSimMeasure).data());
        ASSERT_EQ(r.size(), size_t(kSimReplyLen));
        EXPECT_EQ(WordAt(r, 2), kSimMeasure);
        const int L = PayloadWord(r, 0), R = PayloadWord(r, 1), mv = PayloadWord(r, 2);
        // The edges lie around the darkest sample, in sub-pixel units (6 per sample).
        const auto p = m.Profile(scan);
        const int dark = int(std::min_element(p.begin(), p.end()) - p.begin()) * 6;
        EXPECT_LT(L, dark);
        EXPECT_GT(R, dark);
        EXPECT_LT(R - L, 40 * 6);
        const int expected[] = {L, R, R - L, (L + R) / 2};
        EXPECT_EQ(mv, expected[mode]) << "evaluation mode " << mode;
        const uint32_t um = uint32_t(PayloadWord(r, 3)) | (uint32_t(PayloadWord(r, 4)) << 16);
        EXPECT_EQ(um, uint32_t(mv) * 350u / 100u);
        EXPECT_EQ(PayloadWord(r, 5), 700);
        EXPECT_EQ(PayloadWord(r, 6), 44);
        EXPECT_EQ(PayloadWord(r, 7), 2) << "edge count";
        EXPECT_EQ(PayloadWord(r, 8), ram[kSimEdgeLeft]);
        EXPECT_EQ(PayloadWord(r, 9), ram[kSimEdgeRight]);
        EXPECT_EQ(PayloadWord(r, 10), ram[kSimPower]);
        EXPECT_GE(PayloadWord(r, 11), PayloadWord(r, 12));
        EXPECT_EQ(PayloadWord(r, 14), 1);
    }
}

TEST(SimModel, ThresholdAboveTheProfileFindsNoEdge) {
    SimModel m(Unpaced());
    SimWords ram = m.ram;
    ram[kSimVideoThreshold] = 5;
    m.Answer(Request(kSimWriteRam, ram).data());
    const SimFrame r = m.Answer(Request(kSimMeasure).data());
    for (int k : {0, 1, 2, 7, 14})
        EXPECT_EQ(PayloadWord(r, k), 0) << k;
}

TEST(SimModel, TeachMakesTheMeasuredValueTheSetpoint) {
    SimModel m(Unpaced());
    const uint32_t scan = m.scan;
    const SimFrame r = m.Answer(Request(kSimTeach).data());
    ASSERT_EQ(r.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(r, 2), kSimTeach);
    const int measured = m.Measure(m.Profile(scan))[2];
    EXPECT_NE(measured, 512);
    EXPECT_EQ(m.ram[kSimSetpoint], measured);
    EXPECT_EQ(PayloadWord(r, kSimSetpoint), measured);
    EXPECT_EQ(PayloadWord(m.Answer(Request(kSimReadRam).data()), kSimSetpoint), measured);
}

TEST(SimModel, ResetMakesAnalogMaxAndMinTheCurrentValue) {
    SimModel m(Unpaced());
    for (int i = 0; i < 120; ++i)
        m.Answer(Request(kSimMeasure).data());
    SimFrame before = m.Answer(Request(kSimMeasure).data());
    EXPECT_GT(PayloadWord(before, 11), PayloadWord(before, 12)) << "the object moved";
    const SimFrame reset = m.Answer(Request(kSimResetMaxMin).data());
    ASSERT_EQ(reset.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(reset, 2), kSimResetMaxMin);
    EXPECT_EQ(m.anaMax, m.anaMin);
}

TEST(SimModel, UnknownCommandWordsAreIgnored) {
    SimModel m(Unpaced());
    for (int c : {0, 12, 255, 0x0105})
        EXPECT_TRUE(m.Answer(Request(c).data()).empty()) << c;
}

// ---- the sensor on a pseudo-terminal --------------------------------------------------------

class SimLine : public ::testing::Test {
  protected:
    void Begin(const SimSettings &s = Unpaced()) {
        sim_ = std::make_unique<SimSensor>(s);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        line_ = std::make_unique<Line>(sim_->DevicePath());
        ASSERT_TRUE(line_->ok());
    }
    std::unique_ptr<SimSensor> sim_;
    std::unique_ptr<Line> line_;
};

TEST_F(SimLine, EveryCommandGetsItsReplyOrNone) {
    Begin();
    struct Case {
        int command;
        size_t replyLen;
    } cases[] = {{1, 0},
                 {2, kSimReplyLen},
                 {3, 0},
                 {4, kSimReplyLen},
                 {5, kSimReplyLen},
                 {6, kSimReplyLen},
                 {7, kSimFirmwareLen},
                 {8, kSimReplyLen},
                 {9, kSimBlockLen},
                 {10, kSimReplyLen},
                 {11, kSimReplyLen},
                 {12, 0}};
    int requests = 0;
    for (const Case &c : cases) {
        const SimFrame r = line_->Exchange(Request(c.command, Numbered(1)));
        EXPECT_EQ(r.size(), c.replyLen) << "command " << c.command;
        if (c.replyLen == size_t(kSimReplyLen)) {
            EXPECT_EQ(WordAt(r, 0), 0x00AA);
            EXPECT_EQ(WordAt(r, 2), c.command);
        }
        if (c.command <= 11) ++requests;
        EXPECT_EQ(sim_->RequestCount(), requests);
        if (c.command <= 11) {
            EXPECT_EQ(sim_->RequestCount(c.command), 1);
        }
    }
    EXPECT_EQ(sim_->LastRequest(), Request(11, Numbered(1)));
    SimWords taught = Numbered(1);
    taught[kSimSetpoint] = sim_->Ram()[kSimSetpoint]; // command 6 set it
    EXPECT_EQ(sim_->Ram(), taught);
    EXPECT_EQ(sim_->Eeprom(), Numbered(1));
}

TEST_F(SimLine, FramesAreFoundAgainAfterGarbageSplitsAndBrokenFrames) {
    Begin();
    // Garbage, including a lone 0x00 and a sync with an unknown command word.
    SimFrame noise = {0x12, 0x00, 0x34, 0x55, 0x00, 0x55, 0x00, 0x63, 0xFF};
    SimFrame req = Request(kSimReadRam);
    SimFrame both = noise;
    both.insert(both.end(), req.begin(), req.end());
    SimFrame r = line_->Exchange(both);
    ASSERT_EQ(r.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(r, 2), kSimReadRam);
    EXPECT_EQ(sim_->RequestCount(), 1);
    EXPECT_EQ(sim_->SkippedBytes(), int(noise.size()));

    // One frame in two writes.
    SimFrame first(req.begin(), req.begin() + 10), rest(req.begin() + 10, req.end());
    line_->Write(first);
    usleep(20000);
    line_->Write(rest);
    EXPECT_EQ(line_->ReadAll().size(), size_t(kSimReplyLen));

    // A frame cut short and abandoned: dropped when the next one comes after a pause.
    line_->Write(SimFrame(req.begin(), req.begin() + 20));
    usleep(250000);
    r = line_->Exchange(Request(kSimEcho, Numbered(3)));
    ASSERT_EQ(r.size(), size_t(kSimReplyLen));
    EXPECT_EQ(WordAt(r, 2), kSimEcho);
    EXPECT_EQ(PayloadWord(r, 0), 3);
}

struct FaultCase {
    const char *name;
    SimFault fault;
    int command;
    size_t replyLen; // bytes that arrive
};

class SimFaults : public SimLine, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaults, SpoilsTheReplyAsAsked) {
    const FaultCase &c = GetParam();
    SimSettings s = Unpaced();
    s.faults.push_back(c.fault);
    Begin(s);
    const SimFrame r = line_->Exchange(Request(c.command, Numbered(5)));
    EXPECT_EQ(r.size(), c.replyLen);
    SimModel clean(Unpaced());
    const SimFrame good = clean.Answer(Request(c.command, Numbered(5)).data());
    switch (c.fault.kind) {
    case SimFaultKind::WrongSync:
        ASSERT_EQ(r.size(), size_t(kSimReplyLen));
        EXPECT_EQ(r[0], 0xAA);
        EXPECT_EQ(r[1], 0x00);
        EXPECT_EQ(SimFrame(r.begin() + 2, r.end()), SimFrame(good.begin() + 2, good.end()));
        break;
    case SimFaultKind::WrongEcho:
        ASSERT_EQ(r.size(), size_t(kSimReplyLen));
        EXPECT_EQ(WordAt(r, 2), c.command + 1);
        break;
    case SimFaultKind::CutReply:
    case SimFaultKind::ReplyLength:
    case SimFaultKind::ExtraBytes:
        for (size_t i = 0; i < std::min(r.size(), good.size()); ++i)
            ASSERT_EQ(r[i], good[i]) << i;
        for (size_t i = good.size(); i < r.size(); ++i)
            EXPECT_EQ(r[i], 0xEE);
        break;
    case SimFaultKind::Garbage:
        ASSERT_GE(r.size(), good.size());
        EXPECT_EQ(SimFrame(r.end() - long(good.size()), r.end()), good);
        break;
    default:
        break;
    }
    // A fault for another command leaves this one alone; one without a count stays.
    const SimFrame again = line_->Exchange(Request(c.command, Numbered(5)));
    EXPECT_EQ(again.size(), c.fault.times == 1 ? good.size() : c.replyLen);
}

SimFault F(SimFaultKind kind, int command, int n = 0, int times = -1) {
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.n = n;
    f.times = times;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    All, SimFaults,
    ::testing::Values(
        FaultCase{"NoReply", F(SimFaultKind::NoReply, 5), 5, 0},
        FaultCase{"NoReplyOnce", F(SimFaultKind::NoReply, 0, 0, 1), 2, 0},
        FaultCase{"NoReplyToOtherCommand", F(SimFaultKind::NoReply, 8), 5, kSimReplyLen},
        FaultCase{"WrongSync", F(SimFaultKind::WrongSync, 5), 5, kSimReplyLen},
        FaultCase{"WrongEcho", F(SimFaultKind::WrongEcho, 10), 10, kSimReplyLen},
        FaultCase{"CutReply", F(SimFaultKind::CutReply, 8, 20), 8, 20},
        FaultCase{"ExtraBytes", F(SimFaultKind::ExtraBytes, 2, 3), 2, kSimReplyLen + 3},
        FaultCase{"Block127", F(SimFaultKind::ReplyLength, 9, 127), 9, 127},
        FaultCase{"Block130", F(SimFaultKind::ReplyLength, 9, 130), 9, 130},
        FaultCase{"Firmware71", F(SimFaultKind::ReplyLength, 7, 71), 7, 71},
        FaultCase{"Firmware73", F(SimFaultKind::ReplyLength, 7, 73), 7, 73},
        FaultCase{"Garbage", F(SimFaultKind::Garbage, 4, 50, 1), 4, kSimReplyLen + 50}),
    [](const ::testing::TestParamInfo<FaultCase> &i) { return std::string(i.param.name); });

TEST_F(SimLine, HangUpAfterNRequestsClosesTheLine) {
    SimSettings s = Unpaced();
    s.faults.push_back(F(SimFaultKind::HangUp, 0, 2));
    Begin(s);
    EXPECT_EQ(line_->Exchange(Request(kSimEcho)).size(), size_t(kSimReplyLen));
    EXPECT_EQ(line_->Exchange(Request(kSimReadRam)).size(), size_t(kSimReplyLen));
    EXPECT_FALSE(line_->hungUp());
    EXPECT_TRUE(line_->Exchange(Request(kSimEcho)).empty());
    EXPECT_TRUE(line_->hungUp());
    EXPECT_EQ(sim_->RequestCount(), 3);
    for (int i = 0; i < 100 && sim_->Running(); ++i)
        usleep(10000);
    EXPECT_FALSE(sim_->Running());
    EXPECT_TRUE(sim_->HungUp());
}

TEST_F(SimLine, FaultsCanBeAddedAndClearedWhileServing) {
    Begin();
    sim_->AddFault(F(SimFaultKind::CutReply, 0, 4));
    EXPECT_EQ(line_->Exchange(Request(kSimEcho)).size(), 4u);
    sim_->ClearFaults();
    EXPECT_EQ(line_->Exchange(Request(kSimEcho)).size(), size_t(kSimReplyLen));
}

TEST_F(SimLine, PacedRepliesTakeTheLineTimeOfRequestAndReply) {
    // A lower bound only: every byte takes 10 bit times both ways, plus the turnaround.
    SimSettings s;
    s.turnaroundMs = 5.0;
    Begin(s);
    for (int command : {kSimMeasure, kSimBlock}) {
        const double t0 = Now();
        line_->Write(Request(command));
        const size_t len = command == kSimBlock ? kSimBlockLen : kSimReplyLen;
        // The reply comes byte by byte: after the request's line time less than all of it.
        const SimFrame early = line_->ReadN(len, (kSimRequestLen + 2) * kSimByteSeconds + 0.005);
        EXPECT_LT(early.size(), len);
        SimFrame r = early, rest = line_->ReadN(len - early.size());
        r.insert(r.end(), rest.begin(), rest.end());
        const double took = Now() - t0;
        ASSERT_EQ(r.size(), len);
        EXPECT_GE(took, double(kSimRequestLen + len) * kSimByteSeconds + 0.005 - 0.0005);
    }
    sim_->SetPaced(false);
    line_->Write(Request(kSimEcho));
    EXPECT_EQ(line_->ReadN(kSimReplyLen, 2.0).size(), size_t(kSimReplyLen));
}

TEST_F(SimLine, StopHangsUpTheProgramsSide) {
    Begin();
    sim_->Stop();
    EXPECT_TRUE(line_->ReadAll(0.2).empty());
    EXPECT_TRUE(line_->hungUp());
}

// ---- settings -------------------------------------------------------------------------------

TEST(SimSettingsText, FaultsAreParsed) {
    struct Case {
        const char *text;
        SimFaultKind kind;
        int command, n, times;
    } cases[] = {
        {"no-reply", SimFaultKind::NoReply, 0, 0, -1},
        {"no-reply@5", SimFaultKind::NoReply, 5, 0, -1},
        {"wrong-sync@5x2", SimFaultKind::WrongSync, 5, 0, 2},
        {"wrong-echo=11@10", SimFaultKind::WrongEcho, 10, 11, -1},
        {"cut=20@8x1", SimFaultKind::CutReply, 8, 20, 1},
        {"extra=2", SimFaultKind::ExtraBytes, 0, 2, -1},
        {"extra=2x3", SimFaultKind::ExtraBytes, 0, 2, 3},
        {"length=40@2", SimFaultKind::ReplyLength, 2, 40, -1},
        {"block-length=127", SimFaultKind::ReplyLength, 9, 127, -1},
        {"firmware-length=73", SimFaultKind::ReplyLength, 7, 73, -1},
        {"hangup-after=3", SimFaultKind::HangUp, 0, 3, -1},
        {"garbage=100@8", SimFaultKind::Garbage, 8, 100, -1},
    };
    for (const Case &c : cases) {
        SimFault f;
        std::string error;
        ASSERT_TRUE(ParseSimFault(c.text, &f, &error)) << c.text << ": " << error;
        EXPECT_EQ(f.kind, c.kind) << c.text;
        EXPECT_EQ(f.command, c.command) << c.text;
        EXPECT_EQ(f.n, c.n) << c.text;
        EXPECT_EQ(f.times, c.times) << c.text;
    }
    for (const char *bad : {"", "cut", "cut=x", "cut=5@12", "cut=5@0", "nothing", "extra=-1",
                            "garbage=70000", "no-reply@8x0"}) {
        SimFault f;
        std::string error;
        EXPECT_FALSE(ParseSimFault(bad, &f, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(SimSettingsText, ScenarioFileSetsEverything) {
    char path[] = "/tmp/kvor-sim-scenario-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream out(path);
        out << "# a type-102 sensor on a board of type 101\n"
               "ccdtype = 102\n"
               "pcbtype 101\n"
               "version = 230   # firmware 2.30\n"
               "turnaround = 2.5\n"
               "paced = no\n"
               "firmware = hello there\n"
               "eeprom = 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
               "fault = cut=20@8\n"
               "fault = no-reply@5x1\n";
    }
    SimSettings s;
    std::string error;
    ASSERT_TRUE(LoadSimScenario(s, path, &error)) << error;
    EXPECT_EQ(s.ccdtype, 102);
    EXPECT_EQ(s.pcbtype, 101);
    EXPECT_EQ(s.softversion, 230);
    EXPECT_DOUBLE_EQ(s.turnaroundMs, 2.5);
    EXPECT_FALSE(s.paced);
    EXPECT_EQ(s.firmware, "hello there");
    EXPECT_EQ(s.eeprom, Numbered(1));
    ASSERT_EQ(s.faults.size(), 2u);
    EXPECT_EQ(s.faults[1].times, 1);

    {
        std::ofstream out(path);
        out << "ccdtype = 1\nturnaround = fast\n";
    }
    EXPECT_FALSE(LoadSimScenario(s, path, &error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    unlink(path);
    EXPECT_FALSE(LoadSimScenario(s, path, &error));
    for (auto [name, value] : {std::pair{"ccdtype", "70000"},
                               {"eeprom", "1 2 3"},
                               {"paced", "maybe"},
                               {"colour", "red"},
                               {"seed", "-4"}}) {
        EXPECT_FALSE(ApplySimOption(s, name, value, &error)) << name;
    }
}

// ---- the command ----------------------------------------------------------------------------

struct Child {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
};

Child Spawn(const std::vector<std::string> &args) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    Child c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        std::vector<char *> argv;
        std::string exe = std::string(KVOR_BIN_DIR) + "/kvor-sensor-sim";
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    c.in = in[1];
    c.out = out[0];
    c.err = err[0];
    return c;
}

std::string ReadLine(int fd, double limit = 5.0) {
    std::string line;
    const double end = Now() + limit;
    char ch;
    while (Now() < end) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        if (read(fd, &ch, 1) != 1 || ch == '\n') break;
        line += ch;
    }
    return line;
}

// Exit status, or -1 when the child is still running after `limit`.
int WaitExit(pid_t pid, double limit = 3.0) {
    const double end = Now() + limit;
    while (Now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST(SimCommand, PrintsItsPortServesItAndEndsWithItsInput) {
    Child c = Spawn({"--unpaced", "--ccdtype", "104", "--fault=cut=10@2"});
    ASSERT_GT(c.pid, 0);
    const std::string first = ReadLine(c.out);
    ASSERT_EQ(first.rfind("PORT /dev/", 0), 0u) << first;
    Line line(first.substr(5));
    ASSERT_TRUE(line.ok());
    const SimFrame hw = line.Exchange(Request(kSimHardware));
    ASSERT_EQ(hw.size(), size_t(kSimReplyLen));
    EXPECT_EQ(PayloadWord(hw, 0), 104);
    EXPECT_EQ(line.Exchange(Request(kSimReadRam)).size(), 10u);
    close(c.in); // the starting program went away
    EXPECT_EQ(WaitExit(c.pid), 0);
    close(c.out);
    close(c.err);
}

TEST(SimCommand, EndsOnTerminationSignal) {
    Child c = Spawn({});
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(ReadLine(c.out).rfind("PORT ", 0), 0u);
    kill(c.pid, SIGTERM);
    EXPECT_EQ(WaitExit(c.pid), 0);
    for (int fd : {c.in, c.out, c.err})
        close(fd);
}

TEST(SimCommand, BadOptionsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--ccdtype", "many"},
                                          {"--fault", "sideways"},
                                          {"--scenario", "/nonexistent/file"},
                                          {"stray"}}) {
        Child c = Spawn(args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(WaitExit(c.pid), 2) << args[0];
        const std::string err = ReadLine(c.err);
        EXPECT_FALSE(err.empty()) << args[0];
        for (int fd : {c.in, c.out, c.err})
            close(fd);
    }
}

TEST(SimCommand, LinkNamesTheDeviceWhileServing) {
    const std::string link = "/tmp/kvor-sim-link-" + std::to_string(getpid());
    Child c = Spawn({"--unpaced", "--link", link});
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(ReadLine(c.out).rfind("PORT ", 0), 0u);
    {
        Line line(link);
        ASSERT_TRUE(line.ok());
        EXPECT_EQ(line.Exchange(Request(kSimEcho)).size(), size_t(kSimReplyLen));
    }
    close(c.in);
    EXPECT_EQ(WaitExit(c.pid), 0);
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "link removed at the end";
    close(c.out);
    close(c.err);
}

} // namespace
