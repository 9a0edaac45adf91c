// The fault matrix: one row per (line fault, exchange it hits), on the whole program started
// against the simulated sensor, paced like the real line. Every row checks
//   - the status text the fault leaves,
//   - the time until the program is ready for the next click (the row's limit: the
//     sender's time-out + 0.1 s, and for the probe its three 0.1 s pauses and the other
//     steps' line time besides),
//   - that nothing of a bad reply is stored or drawn (Then says what the reply did),
//   - that the next exchange, once the fault has cleared, succeeds,
//   - that the process never keeps a core busy (CPU time over the row's wall time).
#include "live_fixture.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

enum Step {
    kEcho,     // the start-up probe's echo check (command 5)
    kHardware, // its hardware description (10)
    kProbeGet, // its GET of the RAM words (2)
    kFirmware, // its firmware text (7)
    kGet,      // GET pressed (2)
    kTeach,    // TEACH pressed (6)
    kReset,    // RESET pressed (11)
    kRun,      // a RUN frame (8)
    kVideo,    // a VIDEO profile block (9)
};

enum Then {
    kKept,   // the reply is not taken: the words, the description and the text stay
    kTaken,  // the reply's payload is the sensor's own and is taken
    kEnds,   // the loop ends by its time-out
    kGoesOn, // the loop drops the bad reply and goes on
};

struct Row {
    const char *name;
    Step step;
    const char *fault;  // simulator fault, applied once
    const char *status; // status text after the fault; "*" the firmware text, "" none
                        // but the loop's own, "?" none or the bad-frame text
    Then then;
    double limit; // seconds until ready for the next click
};

constexpr double kOneShot = TIMEOUT + 0.1;
constexpr double kProbe = TIMEOUT + 0.1 + 0.3 + 0.3; // + pauses + the other steps' line time

const char kTimeout[] = "Timeout-RS-232...", kNotSync[] = "read error - not sync byte 0xAA!";
const char kGot[] = "Parameter-frame received! - Line Ok!",
           kTaught[] = "New setpoint value teached!";
const char kResetOk[] = "Reset of analog-output Max/Min OK!",
           kNoFw[] = "Error reading firmware-info!";
const char kLine[] = "Timeout RS232-Line!", kBadFrame[] = "Bad measurement frame - dropped!";
// Bytes after a frame (garbage, a second copy of the reply) are emptied with the queue when
// they come before the program's next request, and spoil (and are dropped with) the next
// frame when they come after it.
const char kMaybeBad[] = "?";
const char kBlockTimeout[] = "Timeout-RS-232 while reading 64 data-words!";
const char kBlockLong[] = "Data[64] block too long - dropped!",
           kBlockOk[] = "Data[64] block received!";

// clang-format off
const Row kMatrix[] = {
    // name                     step        fault                 status         then     limit
    {"echo_silence",            kEcho,      "no-reply@5",         kTimeout,      kKept,   kProbe},
    {"echo_cut18",              kEcho,      "cut=18@5",           kTimeout,      kKept,   kProbe},
    {"echo_wrong_sync",         kEcho,      "wrong-sync@5",       kNotSync,      kKept,   kProbe},
    {"echo_garbage_before",     kEcho,      "garbage=5@5",        kNotSync,      kKept,   kProbe},
    {"echo_hangup_mid",         kEcho,      "hangup-mid=18@5",    kTimeout,      kKept,   kProbe},
    {"hardware_silence",        kHardware,  "no-reply@10",        "*",           kKept,   kProbe},
    {"hardware_cut1",           kHardware,  "cut=1@10",           "*",           kKept,   kProbe},
    {"hardware_wrong_sync",     kHardware,  "wrong-sync@10",      "*",           kTaken,  kProbe},
    {"probe_get_cut35",         kProbeGet,  "cut=35@2",           "*",           kKept,   kProbe},
    {"probe_get_late",          kProbeGet,  "late=1560@2",        "*",           kKept,   kProbe},
    {"firmware_71",             kFirmware,  "firmware-length=71", kNoFw,         kKept,   kProbe},
    {"firmware_73",             kFirmware,  "firmware-length=73", kGot,          kKept,   kProbe},
    {"firmware_dribble50",      kFirmware,  "dribble=50@7",       kNoFw,         kKept,   kProbe},
    {"firmware_dribble5",       kFirmware,  "dribble=5@7",        "*",           kTaken,  kProbe},
    {"get_silence",             kGet,       "no-reply@2",         kTimeout,      kKept,   kOneShot},
    {"get_cut1",                kGet,       "cut=1@2",            kTimeout,      kKept,   kOneShot},
    {"get_cut18",               kGet,       "cut=18@2",           kTimeout,      kKept,   kOneShot},
    {"get_cut35",               kGet,       "cut=35@2",           kTimeout,      kKept,   kOneShot},
    {"get_one_byte_more",       kGet,       "extra=1@2",          kGot,          kTaken,  kOneShot},
    {"get_garbage_after",       kGet,       "extra=8@2",          kGot,          kTaken,  kOneShot},
    {"get_wrong_echo",          kGet,       "wrong-echo@2",       kGot,          kTaken,  kOneShot},
    {"get_dribble50",           kGet,       "dribble=50@2",       kTimeout,      kKept,   kOneShot},
    {"get_dribble5",            kGet,       "dribble=5@2",        kGot,          kTaken,  kOneShot},
    {"get_late",                kGet,       "late=1700@2",        kTimeout,      kKept,   kOneShot},
    {"get_twice",               kGet,       "twice@2",            kGot,          kTaken,  kOneShot},
    {"get_hangup_mid",          kGet,       "hangup-mid=18@2",    kTimeout,      kKept,   kOneShot},
    {"teach_silence",           kTeach,     "no-reply@6",         kTaught,       kKept,   kOneShot},
    {"teach_cut18",             kTeach,     "cut=18@6",           kTaught,       kKept,   kOneShot},
    {"teach_late",              kTeach,     "late=1700@6",        kTaught,       kKept,   kOneShot},
    {"reset_silence",           kReset,     "no-reply@11",        kTimeout,      kKept,   kOneShot},
    {"reset_cut35",             kReset,     "cut=35@11",          kTimeout,      kKept,   kOneShot},
    {"reset_one_byte_more",     kReset,     "extra=1@11",         kResetOk,      kTaken,  kOneShot},
    {"reset_dribble50",         kReset,     "dribble=50@11",      kTimeout,      kKept,   kOneShot},
    {"run_silence",             kRun,       "no-reply@8",         kLine,         kEnds,   kOneShot},
    {"run_cut18",               kRun,       "cut=18@8",           kLine,         kEnds,   kOneShot},
    {"run_wrong_sync",          kRun,       "wrong-sync@8",       kBadFrame,     kGoesOn, kOneShot},
    {"run_wrong_echo",          kRun,       "wrong-echo@8",       "",            kGoesOn, kOneShot},
    {"run_garbage_before",      kRun,       "garbage=5@8",        kBadFrame,     kGoesOn, kOneShot},
    {"run_garbage_after",       kRun,       "extra=8@8",          kMaybeBad,     kGoesOn, kOneShot},
    {"run_noise_between",       kRun,       "noise=16@8",         kBadFrame,     kGoesOn, kOneShot},
    {"run_dribble50",           kRun,       "dribble=50@8",       kLine,         kEnds,   kOneShot},
    {"run_dribble5",            kRun,       "dribble=5@8",        "",            kGoesOn, kOneShot},
    {"run_twice",               kRun,       "twice@8",            kMaybeBad,     kGoesOn, kOneShot},
    {"run_hangup_mid",          kRun,       "hangup-mid=18@8",    kLine,         kEnds,   kOneShot},
    {"video_block127",          kVideo,     "block-length=127",   kBlockTimeout, kGoesOn, kOneShot},
    {"video_block129",          kVideo,     "block-length=129",   kBlockLong,    kGoesOn, kOneShot},
    {"video_block130",          kVideo,     "block-length=130",   kBlockLong,    kGoesOn, kOneShot},
    {"video_silence",           kVideo,     "no-reply@9",         kBlockTimeout, kGoesOn, kOneShot},
    {"video_garbage_before",    kVideo,     "garbage=5@9",        kBlockLong,    kGoesOn, kOneShot},
    {"video_dribble5",          kVideo,     "dribble=5@9",        kBlockOk,      kGoesOn, kOneShot},
    {"video_hangup_mid",        kVideo,     "hangup-mid=64@9",    kBlockTimeout, kEnds,   kOneShot},
};
// clang-format on

// In range, unlike the words the sensor starts with and unlike DistinctWords().
Words16 NewWords() {
    return {640, 0, 350, 1, 0, 3, 120, 880, 470, 55, 0, 2, 66, 1111, 12, 2222};
}

// The command of each step's request, in the order of Step.
constexpr int kCommandOf[] = {kSimEcho,  kSimHardware,    kSimReadRam, kSimFirmware, kSimReadRam,
                              kSimTeach, kSimResetMaxMin, kSimMeasure, kSimBlock};

// The row's fault, applied once.
SimFault FaultOnce(const Row &r) {
    std::string error;
    SimFault f;
    EXPECT_TRUE(ParseSimFault(r.fault, &f, &error)) << error;
    f.times = 1;
    return f;
}

void PrintTo(const Row &r, std::ostream *os) {
    *os << r.name << " (" << r.fault << ")";
}

// A wait that spun would cost the whole of its time-out. The work itself (loading the
// panels at start-up, taking a reply and updating the panels) is allowed its tenth of a
// second: over an exchange of 40 ms it is most of the time.
constexpr double kCpuShare = 0.5, kCpuWork = 0.1;

struct TraceEntry {
    double ms;
    std::string kind, text;
};

} // namespace

class FaultMatrixTest : public LiveTest, public ::testing::WithParamInterface<Row> {
  protected:
    SimSensor &Paced(SimSettings s, int port) {
        SimSensor &sim = LinkTest::AddSensor(s, port);
        sim.SetPaced(true);
        return sim;
    }
    std::vector<TraceEntry> Trace() const {
        std::vector<TraceEntry> out;
        std::istringstream in(ReadWholeFile(dir_.file("trace.txt")));
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            TraceEntry e{};
            if (!(words >> e.ms >> e.kind)) continue;
            std::getline(words >> std::ws, e.text);
            out.push_back(e);
        }
        return out;
    }
    // The trace after the line marked "test-mark fault": the statuses shown, the time of the
    // first request of `command` (the one the fault hits) and of the next one, and the time
    // of the status text `status`.
    struct AfterFault {
        std::vector<std::string> statuses;
        double hit = -1, next = -1, statusAt = -1;
    };
    AfterFault ReadAfterFault(int command, const std::string &status) const {
        AfterFault a;
        bool marked = false;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02x %02x", command >> 8, command & 0xFF);
        for (const TraceEntry &e : Trace()) {
            if (e.kind == "test-mark") marked = true;
            if (!marked) continue;
            if (e.kind == "status") {
                a.statuses.push_back(e.text);
                if (a.statusAt < 0 && a.hit >= 0 && e.text == status) a.statusAt = e.ms;
            }
            // "com-write COM1 38: 00 55 hh ll ...": the command word follows the sync.
            const size_t colon = e.text.find(": 00 55 ");
            if (e.kind == "com-write" && colon != std::string::npos &&
                e.text.compare(colon + 8, 5, hex) == 0) {
                if (a.hit < 0)
                    a.hit = e.ms;
                else if (a.next < 0)
                    a.next = e.ms;
            }
        }
        return a;
    }
    static void Settle(double seconds) { // event processing, as the idle program does
        const double end = Timer() + seconds;
        while (Timer() < end)
            ProcessSystemEventsUntil(end);
    }
    // One line per row for the record: the time until ready and the CPU share.
    static void Report(const Row &r, double readyMs, double cpuShare) {
        std::printf("matrix-row: %-22s %-20s ready_ms=%.0f cpu=%.1f%% status=\"%s\"\n", r.name,
                    r.fault, readyMs, cpuShare * 100, Status().c_str());
    }
    static std::string FirmwareText() { return "K-VOR-RUR SIM T104 1536PX V2.10"; }

    void ProbeRow(const Row &r, SimSensor &sim, SimSensor &spare);
    void OneShotRow(const Row &r, SimSensor &sim, SimSensor &spare);
    void LoopRow(const Row &r, SimSensor &sim, SimSensor &spare);
};

// The probe at start-up meets the fault; then a port change re-probes the port (or the
// spare port when the line hung up).
void FaultMatrixTest::ProbeRow(const Row &r, SimSensor &sim, SimSensor &spare) {
    ccdtype = 0; // no sensor described yet
    const unsigned short typeBefore = ccdtype;
    const double t0 = Timer(), cpu0 = ProcessCpuSeconds();
    StartProgram();
    const double took = Timer() - t0, cpu = ProcessCpuSeconds() - cpu0;
    const std::vector<TraceEntry> trace = Trace();
    const auto firstWrite = std::find_if(trace.begin(), trace.end(),
                                         [](const TraceEntry &e) { return e.kind == "com-write"; });
    ASSERT_NE(firstWrite, trace.end());
    const double probeMs = trace.back().ms - firstWrite->ms; // to the probe's last status
    Report(r, probeMs, cpu / took);
    EXPECT_LE(probeMs, r.limit * 1000) << "ready after " << probeMs << " ms";
    EXPECT_LT(cpu, kCpuShare * took + kCpuWork) << cpu << " s of CPU in " << took << " s";
    EXPECT_EQ(r.status == std::string("*") ? FirmwareText() : r.status, Status());

    switch (r.step) {
    case kEcho: // nothing more is asked and nothing taken
        EXPECT_EQ(1, sim.RequestCount());
        EXPECT_EQ(typeBefore, ccdtype);
        break;
    case kHardware: // the panels keep their start-up adaptation unless the reply is taken
        EXPECT_EQ(r.then == kTaken ? 104 : typeBefore, ccdtype);
        EXPECT_EQ(DistinctWords(), Words()); // the steps after it went on
        break;
    case kProbeGet:
        EXPECT_NE(DistinctWords(), Words());
        EXPECT_EQ(104, ccdtype);
        break;
    default:
        EXPECT_EQ(DistinctWords(), Words());
        break;
    }
    // A reply still on its way when the probe gave up is not taken later either.
    sim.WaitUntilIdle(10);
    const Words16 words = Words();
    Settle(0.1);
    EXPECT_EQ(words, Words());

    SimSensor &next = sim.HungUp() ? spare : sim;
    Choose(MAINPANEL_DropDCom, &next == &sim ? 1 : 2);
    EXPECT_EQ(FirmwareText(), Status()) << "the probe after the fault";
    EXPECT_EQ(DistinctWords(), Words());
    EXPECT_EQ(104, ccdtype);
}

// GET, TEACH or RESET pressed on a started program.
void FaultMatrixTest::OneShotRow(const Row &r, SimSensor &sim, SimSensor &spare) {
    StartProgram();
    ASSERT_EQ(FirmwareText(), Status());
    sim.SetRam(NewWords());
    const Words16 before = Words();
    const int gets = sim.RequestCount(kSimReadRam);
    auto press = [&r] {
        if (r.step == kGet) Press(pHandle, MAINPANEL_BTNGet);
        if (r.step == kTeach) Press(pPara2, PARA2_ButtonTeach);
        if (r.step == kReset) Press(pPara1, PARA1_ButtonReset);
    };
    sim.AddFault(FaultOnce(r));
    const double t0 = Timer(), cpu0 = ProcessCpuSeconds();
    press();
    const double took = Timer() - t0, cpu = ProcessCpuSeconds() - cpu0;
    EXPECT_LE(took, r.limit);
    Report(r, took * 1000, cpu / took);
    EXPECT_LT(cpu, kCpuShare * took + kCpuWork) << cpu << " s of CPU in " << took << " s";
    EXPECT_EQ(r.status, Status());
    EXPECT_EQ(0, exchange_busy);
    // GET takes the words it was sent; TEACH's acknowledgement is followed by a GET.
    const bool taken = r.then == kTaken && r.step != kReset;
    EXPECT_EQ(taken ? NewWords() : before, Words());
    if (r.step == kTeach) {
        EXPECT_EQ(gets + (taken ? 1 : 0), sim.RequestCount(kSimReadRam));
    }
    // Whatever was still on its way is not taken once the wait has ended.
    sim.WaitUntilIdle(10);
    Settle(0.1);
    EXPECT_EQ(taken ? NewWords() : before, Words());
    if (sim.HungUp()) // the gone port is told after the exchange's own text
        EXPECT_EQ(0u, Status().rfind("Port lost: ", 0)) << Status();
    else
        EXPECT_EQ(r.status, Status());

    if (sim.HungUp()) {
        spare.SetRam(NewWords());
        Choose(MAINPANEL_DropDCom, 2);
        EXPECT_EQ(FirmwareText(), Status());
    }
    press();
    EXPECT_EQ(r.step == kReset ? kResetOk : kGot, Status()) << "the exchange after the fault";
    if (r.step != kReset) { // TEACH: the sensor's words with the new setpoint
        const SimWords ram = (sim.HungUp() ? spare : sim).Ram();
        EXPECT_EQ(Words16(ram.begin(), ram.end()), Words());
    }
}

// RUN or VIDEO running when the fault hits one of its replies.
void FaultMatrixTest::LoopRow(const Row &r, SimSensor &sim, SimSensor &spare) {
    StartProgram();
    ASSERT_EQ(FirmwareText(), Status());
    const int command = kCommandOf[r.step];
    const int button = r.step == kRun ? MAINPANEL_BTNRun : MAINPANEL_BTNVideo;
    std::fill(arrayNORM, arrayNORM + HISTORY_LEN, 0.0); // the strip chart's history
    unsigned short profileMax = 0;
    // Watches every event-loop pass: the largest sample of the live profile (what VIDEO
    // draws) since the fault.
    bool faulted = false;
    When(
        [&] {
            if (faulted)
                profileMax = std::max(profileMax, *std::max_element(adcbuf, adcbuf + PROFILE_LEN));
            return false;
        },
        [] {});
    int hitAt = 0;
    double t0 = 0, cpu0 = 0;
    const SimFault f = FaultOnce(r);
    const int start = sim.RequestCount(command);
    When([&] { return sim.RequestCount(command) >= start + 6; },
         [&] {
             TraceLine("test-mark", "fault");
             sim.AddFault(f);
             faulted = true;
             hitAt = sim.RequestCount(command) + 1;
             t0 = Timer(), cpu0 = ProcessCpuSeconds();
         });
    When([&] { return hitAt > 0 && sim.RequestCount(command) >= hitAt + 16; }, PressStop);
    When([&] { return t0 > 0 && Timer() > t0 + 10; }, PressStop); // a loop that never ends
    Press(pHandle, button);
    const double took = Timer() - t0, cpu = ProcessCpuSeconds() - cpu0;
    pending_.clear();
    ASSERT_GT(hitAt, 0);
    EXPECT_LT(took, 9.0) << "the loop ended by itself or at STOP";
    EXPECT_LT(cpu, kCpuShare * took + kCpuWork) << cpu << " s of CPU in " << took << " s";
    EXPECT_EQ(int(LOOP_IDLE), loop_mode);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_BTNRun, ATTR_DIMMED));

    const bool ended = sim.RequestCount(command) < hitAt + 16;
    EXPECT_EQ(r.then == kEnds, ended) << sim.RequestCount(command) - hitAt << " requests after";
    const AfterFault a = ReadAfterFault(command, r.status);
    ASSERT_GE(a.hit, 0);
    if (r.status == std::string(kMaybeBad)) {
        for (const std::string &s : a.statuses)
            EXPECT_TRUE(s == "Line Ok!" || s == kBadFrame) << s;
    } else if (*r.status) {
        EXPECT_NE(a.statuses.end(), std::find(a.statuses.begin(), a.statuses.end(), r.status))
            << ::testing::PrintToString(a.statuses);
    } else {
        for (const std::string &s : a.statuses) // only the loop's own texts
            EXPECT_TRUE(s == "Line Ok!" || s.rfind("Waiting for", 0) == 0) << s;
    }
    // Ready: the loop's end (its status) or its next request of the kind hit.
    const double readyMs = (r.then == kEnds ? a.statusAt : a.next) - a.hit; // ms
    EXPECT_GE(readyMs, 0);
    Report(r, readyMs, cpu / took);
    EXPECT_LE(readyMs, r.limit * 1000);

    // Nothing of a bad reply was drawn: every setpoint in the strip chart is the sensor's,
    // no profile sample exceeds the sensor's 10-bit range.
    if (r.step == kRun) {
        std::vector<double> drawn(HISTORY_LEN);
        drawn.resize(size_t(
            GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, 3, drawn.data(), HISTORY_LEN)));
        const double sp = sim.Ram()[kSimSetpoint];
        EXPECT_EQ(0, std::count_if(drawn.begin(), drawn.end(),
                                   [sp](double v) { return v != 0 && v != sp; }));
        EXPECT_GE(std::count(drawn.begin(), drawn.end(), sp), 5);
        EXPECT_EQ(sim.Ram()[kSimSetpoint], setpoint);
        EXPECT_EQ(sim.Ram()[kSimTolerance], tolerance);
    } else {
        EXPECT_LE(profileMax, 1023);
    }

    // The loop after the fault has cleared: it runs and shows frames again.
    sim.WaitUntilIdle(10);
    SimSensor *next = &sim;
    if (sim.HungUp()) {
        next = &spare;
        Choose(MAINPANEL_DropDCom, 2);
        EXPECT_EQ(FirmwareText(), Status());
    }
    const int again = next->RequestCount(command);
    When([next, command, again] { return next->RequestCount(command) >= again + 8; }, PressStop);
    When([t = Timer()] { return Timer() > t + 10; }, PressStop);
    Press(pHandle, button);
    pending_.clear();
    EXPECT_GE(next->RequestCount(command), again + 8);
    EXPECT_NE(kLine, Status());
}

TEST_P(FaultMatrixTest, StatusTimeStateAndTheNextExchange) {
    const Row &r = GetParam();
    SimSettings good = Sensor(); // DistinctWords() in RAM and EEPROM
    good.firmware = "";
    SimSettings faulty = good;
    if (r.step <= kFirmware) faulty.faults.push_back(FaultOnce(r)); // met by the start-up probe
    SimSensor &sim = Paced(faulty, 1);
    SimSensor &spare = Paced(good, 2);
    if (r.step <= kFirmware)
        ProbeRow(r, sim, spare);
    else if (r.step <= kReset)
        OneShotRow(r, sim, spare);
    else
        LoopRow(r, sim, spare);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultMatrixTest, ::testing::ValuesIn(kMatrix),
                         [](const ::testing::TestParamInfo<Row> &info) { return info.param.name; });
