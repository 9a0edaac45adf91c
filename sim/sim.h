// The simulated K-VOR-RUR sensor: the sensor's side of the serial line, served on a
// pseudo-terminal. Used by the kvor-sensor-sim command and by tests in their own process.
//
// Usage in a test (the sensor runs in a thread of the test's own process):
//
//   SimSettings s;                       // a type-1 sensor, 1024 pixels, paced at 19200 baud
//   s.paced = false;                     // answer at once: fast tests
//   SimSensor sim(s);
//   ASSERT_TRUE(sim.Start());            // opens the pseudo-terminal, starts serving
//   OpenComConfig(1, sim.DevicePath().c_str(), 19200, 0, 8, 1, 4096, 4096);
//   //   (or AssignPortDevice(1, sim.DevicePath().c_str()) and open with an empty name)
//   ... write request frames, read replies ...
//   EXPECT_EQ(sim.RequestCount(), 3);    // complete request frames taken in so far
//   EXPECT_EQ(sim.RequestCount(8), 2);   // ... of them with command word 8
//   SimFrame last = sim.LastRequest();   // the 38 bytes of the latest request
//   sim.AddFault({SimFaultKind::CutReply, 8, 20, 1});   // the next reply to 8 keeps 20 bytes
//   sim.ClearFaults();
//   sim.Ram() / sim.Eeprom()             // the sensor's parameter sets (16 words each)
//   sim.Stop();                          // also done by the destructor
//
// Wait for the sensor with WaitForRequests(n, seconds) rather than sleeping.
//
// Wire behaviour: request frames of 38 bytes (0x00 0x55, command word, 16 payload words,
// 2 zero bytes) are found by their sync bytes 0x00 0x55; bytes before a sync, and frames with
// an unknown command word, are skipped one byte at a time. Replies: a 36-byte frame
// (0x00 0xAA, echo of the command word, 16 words), the 72-byte firmware text (command 7) or a
// 128-byte profile block (command 9), all words high byte first. Writes (1 and 3) are not
// answered. Paced, every byte takes 10 bit times at 19200 baud (0.52 ms), on the way in and
// on the way out, plus the turnaround between the last request byte and the first reply byte.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// ---- wire constants ----------------------------------------------------------------------
// Request frame, PC to sensor:
//   offset 0  size 2   sync word 0x0055 (0x00, 0x55)
//   offset 2  size 2   command word, high byte first
//   offset 4  size 32  payload words 0..15, high byte first
//   offset 36 size 2   0x00 0x00
// Reply frame, sensor to PC:
//   offset 0  size 2   sync word 0x00AA (0x00, 0xAA)
//   offset 2  size 2   echo of the command word
//   offset 4  size 32  payload words 0..15
constexpr int kSimWords = 16;
constexpr int kSimRequestLen = kSimWords * 2 + 6; // 38
constexpr int kSimReplyLen = kSimWords * 2 + 4;   // 36
constexpr int kSimFirmwareLen = 72;               // command 7: 36 words or 72 text bytes
constexpr int kSimBlockWords = 64;                // command 9: 64 words of the profile
constexpr int kSimBlockLen = kSimBlockWords * 2;  // 128
constexpr int kSimProfileLen = 256;               // samples of the intensity profile
constexpr int kSimRequestSync = 0x0055;
constexpr int kSimReplySync = 0x00AA;
constexpr double kSimBaud = 19200.0;
constexpr double kSimByteSeconds = 10.0 / kSimBaud; // start bit, 8 data bits, stop bit

enum SimCommand {
    kSimWriteRam = 1,
    kSimReadRam = 2,
    kSimWriteEeprom = 3,
    kSimReadEeprom = 4,
    kSimEcho = 5,
    kSimTeach = 6,
    kSimFirmware = 7,
    kSimMeasure = 8,
    kSimBlock = 9,
    kSimHardware = 10,
    kSimResetMaxMin = 11,
    kSimCommandCount = 12, // commands are 1..11
};

// Parameter words (positions in the 16-word set) the sensor itself uses.
enum SimWord {
    kSimPower = 0,
    kSimVideoThreshold = 2,
    kSimEvalMode = 5,
    kSimEdgeLeft = 6,
    kSimEdgeRight = 7,
    kSimSetpoint = 8,
    kSimTolerance = 9,
};

using SimWords = std::vector<uint16_t>; // always kSimWords long
using SimFrame = std::vector<uint8_t>;

// ---- faults ------------------------------------------------------------------------------
enum class SimFaultKind {
    NoReply,     // the command is taken in but not answered
    WrongSync,   // reply frame with sync word n (0: 0xAA00, the bytes swapped)
    WrongEcho,   // reply frame with echo word n (0: the command word + 1)
    CutReply,    // only the first n bytes of the reply are sent
    ExtraBytes,  // n bytes follow the reply
    ReplyLength, // the reply is made exactly n bytes long (cut, or padded with extra bytes)
    HangUp,      // n requests are answered; the next one closes the line (pseudo-terminal gone)
    Garbage,     // n garbage bytes are sent before the reply
    KeepWord,    // a write (command 1 or 3) leaves word n as it was (a read-back differs)
    Dribble,     // the reply's bytes are sent one every n milliseconds
    Late,        // the reply starts n milliseconds later than it would
    Twice,       // the reply is sent twice, back to back
    HangUpMid,   // the first n bytes of the reply are sent, then the line closes
    Noise,       // n noise bytes follow the reply after a gap (kSimNoiseGapMs), while the
                 // program is between two requests
};
// Gap between a reply's last byte and the noise that follows it: long enough for the
// program to have emptied its queue for the next request, short enough to land before
// the next reply.
constexpr double kSimNoiseGapMs = 30.0;

struct SimFault {
    SimFaultKind kind = SimFaultKind::NoReply;
    int command = 0; // command word it applies to; 0: every command
    int n = 0;       // see SimFaultKind
    int times = -1;  // replies it spoils before it ends by itself; -1: until cleared
};

// ---- settings ----------------------------------------------------------------------------
struct SimSettings {
    // Hardware description (reply to command 10, words 0..8). The default sensor describes
    // itself the way its own profile and positions are made: positions in 1536 sub-pixel
    // units (256 profile points x 6) over the whole line, profile levels on the 10-bit scale
    // (a firmware version below 2.20), so every display of the program shows it at scale.
    int ccdtype = 104;
    int ccdmaxpixel = 1536;
    int ccdresolution = 350;
    int pcbtype = 0;
    int ccdmaxpixelX8 = 1536;
    int ccdsubpixel = 1536;
    int ccdpixB = 1;
    int ccdpixE = 1536;
    int softversion = 210;
    // Firmware text (reply to command 7); empty: made from the description.
    std::string firmware;
    // Line timing.
    bool paced = true;         // false: replies written at once
    double turnaroundMs = 1.0; // from the last request byte to the first reply byte
    // Parameter sets at power-on (RAM is loaded from EEPROM).
    // The video threshold (word 2) is a darkening in percent, as on the jet curve: 50 finds
    // the object's edges in RUN and in VIDEO at once.
    SimWords eeprom = {500, 0, 50, 0, 1, 1, 1, 1024, 512, 100, 0, 1, 0, 0, 0, 1500};
    // Profile: the dark object's drift and the noise are deterministic functions of the
    // scan number; the seed changes the noise.
    uint32_t seed = 1;
    int driftPeriod = 600; // scans for one sweep of the object back and forth
    std::vector<SimFault> faults;
    // Share of replies, in percent, spoiled at random (drawn from `seed`): not sent, cut
    // short, or for the raw answers (firmware text, profile block) made 1..8 bytes longer.
    double spoilPercent = 0.0;
};

// Applies one setting by its option name ("ccdtype", "turnaround", "fault", "ram", ...);
// false with a message in *error when the name or the value is not understood.
bool ApplySimOption(SimSettings &s, const std::string &name, const std::string &value,
                    std::string *error);
// Reads a scenario file: lines "name = value" (or "name value"), '#' starts a comment.
bool LoadSimScenario(SimSettings &s, const std::string &path, std::string *error);
// Parses a fault written as KIND[=N][@COMMAND][xTIMES], KIND one of no-reply, wrong-sync,
// wrong-echo, cut, extra, length, block-length (command 9), firmware-length (command 7),
// hangup-after, garbage, dribble, late, twice, hangup-mid, noise, keep-word. Examples: "no-reply@5",
// "cut=20@8x1", "block-length=127", "dribble=50@2x1".
bool ParseSimFault(const std::string &text, SimFault *fault, std::string *error);
// The option names with a line of help each.
std::string SimOptionHelp();

// ---- the sensor's model (no I/O) ---------------------------------------------------------
// The sensor's state and its answers, as pure functions of the requests. SimSensor wraps it
// with the pseudo-terminal; tests of the model can use it directly.
class SimModel {
  public:
    explicit SimModel(const SimSettings &s);
    // The reply bytes to one request frame (kSimRequestLen bytes); empty when none is sent.
    // Faults are not applied here.
    SimFrame Answer(const uint8_t *request);
    // The profile of scan `scan` (kSimProfileLen samples, at most about 900).
    std::vector<uint16_t> Profile(uint32_t scan) const;
    // The 16 measurement words for a profile and the current RAM set.
    SimWords Measure(const std::vector<uint16_t> &profile) const;
    // The 72 firmware bytes.
    SimFrame FirmwareBytes() const;
    std::string FirmwareText() const;

    SimWords ram, eeprom;
    uint32_t scan = 0; // scans taken (one per measurement request)
    int anaMax = 0, anaMin = 0;
    bool anaValid = false;
    std::vector<int> keepWords; // words a write leaves as they were (fault keep-word)

  private:
    void TakeScan();
    double Lamp(int i) const; // the lamp's light at sample i without the object
    SimSettings s_;
    std::vector<uint16_t> profile_;
    SimWords lastMeasure_;
};

// ---- the sensor on a pseudo-terminal -----------------------------------------------------
class SimSensor {
  public:
    explicit SimSensor(const SimSettings &s = SimSettings());
    ~SimSensor();
    SimSensor(const SimSensor &) = delete;
    SimSensor &operator=(const SimSensor &) = delete;

    // Opens a pseudo-terminal and starts serving it in a thread. False (with a message in
    // LastError) when no pseudo-terminal can be had.
    bool Start();
    // Stops serving and closes the pseudo-terminal (the program's side then sees a hang-up).
    void Stop();

    const std::string &DevicePath() const { return path_; }
    const std::string &LastError() const { return error_; }
    // False once stopped, or after a hang-up fault closed the line.
    bool Running() const { return running_; }
    bool HungUp() const { return hungUp_; }

    // Counters of complete request frames taken in (all, or those with one command word).
    int RequestCount() const { return requests_; }
    int RequestCount(int command) const;
    // When the latest request with this command word was taken in (steady-clock seconds),
    // together with the count it made; 0 and 0 before the first.
    void LastRequestAt(int command, int *count, double *seconds) const;
    // Bytes skipped while looking for a sync (garbage, broken frames).
    int SkippedBytes() const { return skipped_; }
    // Replies spoiled by the spoilPercent setting (all, or those to one command word).
    int SpoiledCount() const { return spoiled_; }
    int SpoiledCount(int command) const;
    // Hands bytes to the request parser as if they had come from the line; replies go to
    // the line when it is open. Used to drive the parser without a pseudo-terminal.
    void TakeBytes(const uint8_t *data, int n);
    SimFrame LastRequest() const;
    // Waits until at least n requests have been taken in, or `seconds` passed.
    bool WaitForRequests(int n, double seconds) const;
    // True while a reply (or the noise after it) is still being sent.
    bool Sending() const { return sending_; }
    // Waits until nothing is being sent any more, or `seconds` passed.
    bool WaitUntilIdle(double seconds) const;

    // Run-time changes (thread-safe).
    void AddFault(const SimFault &f);
    void ClearFaults();
    void SetPaced(bool paced);
    void SetTurnaroundMs(double ms);
    void SetSpoilPercent(double percent);
    SimWords Ram() const;
    SimWords Eeprom() const;
    void SetRam(const SimWords &w);

  private:
    void Loop();
    void HandleBytes(const uint8_t *data, int n, double now);
    void HandleFrame(const uint8_t *frame, double lastByteTime);
    // Sends `bytes` from startTime (0: now), one every `interval` seconds (0: all at once).
    void Send(const SimFrame &bytes, double startTime, double interval);
    void HangUpLine();

    SimSettings settings_;
    mutable std::mutex mu_;
    SimModel model_;
    std::vector<SimFault> faults_;
    SimFrame rxBuf_;
    double rxLineTime_ = 0; // when the latest received byte finished on the line
    double rxLastSeen_ = 0; // when bytes were last taken from the line
    SimFrame lastRequest_;
    std::atomic<int> requests_{0};
    std::atomic<int> perCommand_[kSimCommandCount] = {};
    double lastAt_[kSimCommandCount] = {}; // guarded by mu_
    std::atomic<int> skipped_{0};
    std::atomic<int> spoiled_{0};
    std::atomic<int> spoiledPer_[kSimCommandCount] = {};
    uint32_t spoilDraws_ = 0; // guarded by mu_
    std::atomic<bool> running_{false}, hungUp_{false}, stop_{false}, sending_{false};
    int master_ = -1, slave_ = -1, wake_[2] = {-1, -1};
    std::string path_, error_;
    std::thread thread_;
};
