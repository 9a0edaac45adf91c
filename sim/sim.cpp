// The simulated sensor: its model (parameter sets, profile, measurement) and its service of
// a pseudo-terminal with pacing and faults.
#include "sim.h"

#include <algorithm>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr double kPi = 3.14159265358979323846;
// A partial request older than this is dropped when new bytes come: the sender gave up on it.
constexpr double kFrameGapSeconds = 0.1;
// Pacing sleeps are cut into slices of this length so that Stop is noticed promptly.
constexpr double kSleepSliceSeconds = 0.05;
// A reply cut by a hang-up: the time between its last byte and the line's close.
constexpr double kHangUpAfterPartSeconds = 0.05;
constexpr uint8_t kPadByte = 0xEE; // filler of "extra bytes" and lengthened replies
constexpr int kMaxWord = 0xFFFF;

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void SleepUntil(double t) {
    timespec ts{};
    ts.tv_sec = time_t(t);
    ts.tv_nsec = long((t - double(ts.tv_sec)) * 1e9);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

uint16_t Word(const uint8_t *p) {
    return uint16_t((p[0] << 8) | p[1]);
}
void PutWord(SimFrame &f, size_t at, int w) {
    f[at] = uint8_t((w >> 8) & 0xFF);
    f[at + 1] = uint8_t(w & 0xFF);
}

// Deterministic noise: a small integer hash of (seed, scan, index).
uint32_t Hash(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h =
        a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

SimFrame ReplyFrame(int command, const SimWords &words) {
    SimFrame f(kSimReplyLen, 0);
    PutWord(f, 0, kSimReplySync);
    PutWord(f, 2, command);
    for (int k = 0; k < kSimWords; ++k)
        PutWord(f, 4 + 2 * k, words[k]);
    return f;
}

bool ParseInt(const std::string &text, long lo, long hi, long *out) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseDouble(const std::string &text, double lo, double hi, double *out) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !(v >= lo && v <= hi)) return false;
    *out = v;
    return true;
}

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ParseWords(const std::string &text, SimWords *out) {
    std::istringstream in(text);
    std::string tok;
    SimWords w;
    while (in >> tok) {
        long v = 0;
        if (!ParseInt(tok, 0, kMaxWord, &v)) return false;
        w.push_back(uint16_t(v));
    }
    if (int(w.size()) != kSimWords) return false;
    *out = w;
    return true;
}

} // namespace

// ---- settings -----------------------------------------------------------------------------

bool ParseSimFault(const std::string &textIn, SimFault *fault, std::string *error) {
    std::string text = Trim(textIn);
    SimFault f;
    std::string kind = text, number, command, times;
    size_t x = kind.rfind('x');
    if (x != std::string::npos && x + 1 < kind.size() &&
        kind.find_first_not_of("0123456789", x + 1) == std::string::npos) {
        times = kind.substr(x + 1);
        kind.erase(x);
    }
    size_t at = kind.find('@');
    if (at != std::string::npos) {
        command = kind.substr(at + 1);
        kind.erase(at);
    }
    size_t eq = kind.find('=');
    if (eq != std::string::npos) {
        number = kind.substr(eq + 1);
        kind.erase(eq);
    }
    bool needsNumber = true;
    if (kind == "no-reply") {
        f.kind = SimFaultKind::NoReply;
        needsNumber = false;
    } else if (kind == "wrong-sync") {
        f.kind = SimFaultKind::WrongSync;
        needsNumber = false;
    } else if (kind == "wrong-echo") {
        f.kind = SimFaultKind::WrongEcho;
        needsNumber = false;
    } else if (kind == "cut") {
        f.kind = SimFaultKind::CutReply;
    } else if (kind == "extra") {
        f.kind = SimFaultKind::ExtraBytes;
    } else if (kind == "length") {
        f.kind = SimFaultKind::ReplyLength;
    } else if (kind == "block-length") {
        f.kind = SimFaultKind::ReplyLength;
        f.command = kSimBlock;
    } else if (kind == "firmware-length") {
        f.kind = SimFaultKind::ReplyLength;
        f.command = kSimFirmware;
    } else if (kind == "hangup-after") {
        f.kind = SimFaultKind::HangUp;
    } else if (kind == "garbage") {
        f.kind = SimFaultKind::Garbage;
    } else if (kind == "keep-word") {
        f.kind = SimFaultKind::KeepWord;
    } else if (kind == "dribble") {
        f.kind = SimFaultKind::Dribble;
    } else if (kind == "late") {
        f.kind = SimFaultKind::Late;
    } else if (kind == "twice") {
        f.kind = SimFaultKind::Twice;
        needsNumber = false;
    } else if (kind == "hangup-mid") {
        f.kind = SimFaultKind::HangUpMid;
    } else if (kind == "noise") {
        f.kind = SimFaultKind::Noise;
    } else {
        if (error) *error = "unknown fault \"" + kind + "\"";
        return false;
    }
    long v = 0;
    if (!number.empty()) {
        if (!ParseInt(number, 0, 65535, &v)) {
            if (error) *error = "bad number in fault \"" + text + "\"";
            return false;
        }
        f.n = int(v);
    } else if (needsNumber) {
        if (error) *error = "fault \"" + kind + "\" needs =N";
        return false;
    }
    if (!command.empty()) {
        if (!ParseInt(command, 1, kSimCommandCount - 1, &v)) {
            if (error) *error = "bad command word in fault \"" + text + "\"";
            return false;
        }
        f.command = int(v);
    }
    if (!times.empty()) {
        if (!ParseInt(times, 1, 1000000, &v)) {
            if (error) *error = "bad repeat count in fault \"" + text + "\"";
            return false;
        }
        f.times = int(v);
    }
    *fault = f;
    return true;
}

bool ApplySimOption(SimSettings &s, const std::string &nameIn, const std::string &valueIn,
                    std::string *error) {
    const std::string name = Trim(nameIn), value = Trim(valueIn);
    struct IntOption {
        const char *name;
        int SimSettings::*field;
    };
    static const IntOption ints[] = {
        {"ccdtype", &SimSettings::ccdtype},
        {"ccdmaxpixel", &SimSettings::ccdmaxpixel},
        {"resolution", &SimSettings::ccdresolution},
        {"ccdresolution", &SimSettings::ccdresolution},
        {"pcbtype", &SimSettings::pcbtype},
        {"ccdmaxpixelx8", &SimSettings::ccdmaxpixelX8},
        {"subpixel", &SimSettings::ccdsubpixel},
        {"ccdsubpixel", &SimSettings::ccdsubpixel},
        {"pixb", &SimSettings::ccdpixB},
        {"ccdpixb", &SimSettings::ccdpixB},
        {"pixe", &SimSettings::ccdpixE},
        {"ccdpixe", &SimSettings::ccdpixE},
        {"version", &SimSettings::softversion},
        {"softversion", &SimSettings::softversion},
    };
    auto fail = [&](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    long v = 0;
    for (const IntOption &o : ints) {
        if (name == o.name) {
            if (!ParseInt(value, 0, kMaxWord, &v))
                return fail(name + ": expected a number 0..65535, got \"" + value + "\"");
            s.*(o.field) = int(v);
            return true;
        }
    }
    if (name == "firmware") {
        s.firmware = value;
        return true;
    }
    if (name == "paced" || name == "unpaced") {
        bool on;
        if (value.empty() || value == "yes" || value == "1" || value == "on" || value == "true")
            on = true;
        else if (value == "no" || value == "0" || value == "off" || value == "false")
            on = false;
        else
            return fail(name + ": expected yes or no, got \"" + value + "\"");
        s.paced = (name == "paced") ? on : !on;
        return true;
    }
    if (name == "turnaround") {
        double ms = 0;
        if (!ParseDouble(value, 0.0, 60000.0, &ms))
            return fail("turnaround: expected milliseconds 0..60000, got \"" + value + "\"");
        s.turnaroundMs = ms;
        return true;
    }
    if (name == "eeprom") {
        // RAM is loaded from EEPROM at power-on.
        SimWords w;
        if (!ParseWords(value, &w)) return fail(name + ": expected 16 numbers 0..65535");
        s.eeprom = w;
        return true;
    }
    if (name == "seed") {
        if (!ParseInt(value, 0, 0x7FFFFFFFL, &v)) return fail("seed: expected a number");
        s.seed = uint32_t(v);
        return true;
    }
    if (name == "drift") {
        if (!ParseInt(value, 1, 1000000, &v)) return fail("drift: expected scans 1..1000000");
        s.driftPeriod = int(v);
        return true;
    }
    if (name == "spoil") {
        double percent = 0;
        if (!ParseDouble(value, 0.0, 100.0, &percent))
            return fail("spoil: expected a percentage 0..100, got \"" + value + "\"");
        s.spoilPercent = percent;
        return true;
    }
    if (name == "fault") {
        SimFault f;
        if (!ParseSimFault(value, &f, error)) return false;
        s.faults.push_back(f);
        return true;
    }
    return fail("unknown setting \"" + name + "\"");
}

bool LoadSimScenario(SimSettings &s, const std::string &path, std::string *error) {
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot read scenario file " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = Trim(line);
        if (line.empty()) continue;
        size_t sep = line.find('=');
        if (sep == std::string::npos) sep = line.find_first_of(" \t");
        std::string name = line.substr(0, sep);
        std::string value = sep == std::string::npos ? std::string() : line.substr(sep + 1);
        // "fault = cut=20@8": the first '=' separates the name.
        std::string why;
        if (!ApplySimOption(s, name, value, &why)) {
            if (error) *error = path + ":" + std::to_string(lineNo) + ": " + why;
            return false;
        }
    }
    return true;
}

std::string SimOptionHelp() {
    return "  --ccdtype N         sensor type code (104)\n"
           "  --ccdmaxpixel N     CCD pixels (1536)\n"
           "  --resolution N      resolution code (350)\n"
           "  --pcbtype N         board type; 0 sends the firmware text as words (0)\n"
           "  --ccdmaxpixelx8 N   full scale of the chart, nominally pixels times 8 (1536)\n"
           "  --subpixel N        sub-pixel range (1536)\n"
           "  --pixb N, --pixe N  first and last pixel (1, 1536)\n"
           "  --version N         firmware version number (210)\n"
           "  --firmware TEXT     firmware text (made from the settings)\n"
           "  --unpaced           answer at once instead of at 19200 baud\n"
           "  --turnaround MS     time from a request's last byte to the reply (1.0)\n"
           "  --eeprom \"W0 .. W15\" parameter set at power-on (RAM is loaded from it)\n"
           "  --seed N, --drift N noise seed (1); scans per sweep of the object (600)\n"
           "  --fault FAULT       KIND[=N][@COMMAND][xTIMES]; KIND: no-reply, wrong-sync,\n"
           "                      wrong-echo, cut=N, extra=N, length=N, block-length=N,\n"
           "                      firmware-length=N, hangup-after=N, garbage=N,\n"
           "                      dribble=MS (a byte every MS), late=MS, twice,\n"
           "                      hangup-mid=N (N bytes, then the line closes), noise=N,\n"
           "                      keep-word=N (a write leaves word N as it was)\n"
           "  --spoil PERCENT     spoil this share of replies at random (from the seed): not\n"
           "                      sent, cut short, or raw answers made longer (0)\n"
           "  --scenario FILE     settings as lines \"name = value\" (the names above)\n";
}

// ---- the model ----------------------------------------------------------------------------

SimModel::SimModel(const SimSettings &s) : ram(s.eeprom), eeprom(s.eeprom), s_(s) {
    ram.resize(kSimWords, 0);
    eeprom.resize(kSimWords, 0);
}

std::vector<uint16_t> SimModel::Profile(uint32_t scanNo) const {
    // A lamp-lit line (brightest in the middle, set by the power word) with a dark object
    // that sweeps slowly back and forth, and a few counts of noise.
    std::vector<uint16_t> p(kSimProfileLen);
    const double phase = 2.0 * kPi * double(scanNo % uint32_t(s_.driftPeriod)) / s_.driftPeriod;
    const double centre = 128.0 + 70.0 * std::sin(phase);
    const double halfWidth = 12.0;
    for (int i = 0; i < kSimProfileLen; ++i) {
        double base = Lamp(i);
        double d = std::fabs(i - centre) - halfWidth; // < 0 inside the object
        double cover = std::clamp(0.5 - d / 3.0, 0.0, 1.0);
        double v = base * (1.0 - 0.8 * cover);
        int noise = int(Hash(s_.seed, scanNo, uint32_t(i)) % 17u) - 8;
        p[i] = uint16_t(std::clamp(int(std::lround(v)) + noise, 0, 1023));
    }
    return p;
}

double SimModel::Lamp(int i) const {
    const double power = std::min<double>(ram[kSimPower], 1000.0);
    const double top = 400.0 + power * 0.48;
    const double x = (i - 127.5) / 128.0;
    return top * (1.0 - 0.15 * x * x);
}

SimWords SimModel::Measure(const std::vector<uint16_t> &p) const {
    // The video threshold is a darkening in percent of the lamp's own light, the scale of
    // the program's jet curve: edges where the profile falls below and rises back above
    // (100 - threshold) % of the lamp, interpolated between samples and given in sub-pixel
    // units (ccdsubpixel / 256 per sample).
    SimWords w(kSimWords, 0);
    const double unit = double(s_.ccdsubpixel) / kSimProfileLen;
    const double keep = 1.0 - std::min<double>(ram[kSimVideoThreshold], 100.0) / 100.0;
    int crossings = 0;
    double left = -1, right = -1;
    bool below = false;
    for (int i = 1; i < kSimProfileLen; ++i) {
        // Distances of two neighbouring samples above the level at their place.
        const double a = p[i - 1] - keep * Lamp(i - 1), b = p[i] - keep * Lamp(i);
        if (!below && b < 0 && a >= 0) {
            below = true;
            ++crossings;
            if (left < 0) left = (i - 1) + a / (a - b);
        } else if (below && b > 0 && a <= 0) {
            below = false;
            ++crossings;
            if (right < 0) right = (i - 1) - a / (b - a);
        }
    }
    int L = left < 0 ? 0 : int(std::lround(left * unit));
    int R = right < 0 ? 0 : int(std::lround(right * unit));
    int m;
    switch (ram[kSimEvalMode]) {
    case 0:
        m = L;
        break;
    case 1:
        m = R;
        break;
    case 2:
        m = R > L ? R - L : 0;
        break; // width: the setpoint is a nominal width
    default:
        m = (L + R) / 2;
        break;
    }
    uint32_t um = uint32_t(m) * uint32_t(s_.ccdresolution) / 100u;
    w[0] = uint16_t(L);
    w[1] = uint16_t(R);
    w[2] = uint16_t(m);
    w[3] = uint16_t(um & 0xFFFF);
    w[4] = uint16_t(um >> 16);
    w[5] = ram[kSimSetpoint];
    w[6] = ram[kSimTolerance];
    w[7] = uint16_t(crossings);
    w[8] = ram[kSimEdgeLeft];
    w[9] = ram[kSimEdgeRight];
    w[10] = ram[kSimPower];
    w[11] = uint16_t(anaValid ? anaMax : m);
    w[12] = uint16_t(anaValid ? anaMin : m);
    w[13] = 0;
    w[14] = crossings >= 2 ? 1 : 0;
    w[15] = uint16_t(scan & 0xFFFF);
    return w;
}

void SimModel::TakeScan() {
    profile_ = Profile(scan);
    SimWords m = Measure(profile_);
    const int v = m[2];
    if (!anaValid) {
        anaMax = anaMin = v;
        anaValid = true;
    } else {
        anaMax = std::max(anaMax, v);
        anaMin = std::min(anaMin, v);
    }
    m[11] = uint16_t(anaMax);
    m[12] = uint16_t(anaMin);
    lastMeasure_ = m;
    ++scan;
}

std::string SimModel::FirmwareText() const {
    if (!s_.firmware.empty()) return s_.firmware;
    char buf[64];
    std::snprintf(buf, sizeof buf, "K-VOR-RUR SIM T%d %dPX V%d.%02d", s_.ccdtype, s_.ccdmaxpixel,
                  s_.softversion / 100, s_.softversion % 100);
    return buf;
}

SimFrame SimModel::FirmwareBytes() const {
    // Board type 0 sends 36 words, one character in each low byte; other boards send the
    // text itself, 72 bytes padded with zeros.
    const std::string text = FirmwareText();
    SimFrame f(kSimFirmwareLen, 0);
    if (s_.pcbtype == 0) {
        for (int k = 0; k < kSimFirmwareLen / 2 && k < int(text.size()); ++k)
            f[2 * k + 1] = uint8_t(text[k]);
    } else {
        for (int k = 0; k < kSimFirmwareLen && k < int(text.size()); ++k)
            f[k] = uint8_t(text[k]);
    }
    return f;
}

SimFrame SimModel::Answer(const uint8_t *req) {
    const int command = Word(req + 2);
    SimWords payload(kSimWords);
    for (int k = 0; k < kSimWords; ++k)
        payload[k] = Word(req + 4 + 2 * k);
    switch (command) {
    case kSimWriteRam:
        for (int k : keepWords) payload[size_t(k)] = ram[size_t(k)];
        ram = payload;
        return {};
    case kSimWriteEeprom:
        for (int k : keepWords) payload[size_t(k)] = eeprom[size_t(k)];
        eeprom = payload;
        return {};
    case kSimReadRam:
        return ReplyFrame(command, ram);
    case kSimReadEeprom:
        return ReplyFrame(command, eeprom);
    case kSimEcho:
        return ReplyFrame(command, payload);
    case kSimTeach:
        TakeScan();
        ram[kSimSetpoint] = lastMeasure_[2];
        return ReplyFrame(command, ram);
    case kSimFirmware:
        return FirmwareBytes();
    case kSimMeasure:
        TakeScan();
        return ReplyFrame(command, lastMeasure_);
    case kSimBlock: {
        if (profile_.empty()) profile_ = Profile(scan);
        SimFrame f(kSimBlockLen, 0);
        const int start = payload[0];
        for (int i = 0; i < kSimBlockWords; ++i) {
            int idx = start + i;
            PutWord(f, size_t(2 * i), idx < kSimProfileLen ? profile_[idx] : 0);
        }
        return f;
    }
    case kSimHardware: {
        SimWords w(kSimWords, 0);
        const int hw[] = {s_.ccdtype, s_.ccdmaxpixel,   s_.ccdresolution,
                          s_.pcbtype, s_.ccdmaxpixelX8, s_.ccdsubpixel,
                          s_.ccdpixB, s_.ccdpixE,       s_.softversion};
        for (int k = 0; k < 9; ++k)
            w[k] = uint16_t(hw[k]);
        return ReplyFrame(command, w);
    }
    case kSimResetMaxMin: {
        if (profile_.empty()) profile_ = Profile(scan);
        const int v = Measure(profile_)[2];
        anaMax = anaMin = v;
        anaValid = true;
        return ReplyFrame(command, ram);
    }
    default:
        return {}; // unknown command words are ignored
    }
}

// ---- the sensor on a pseudo-terminal ------------------------------------------------------

SimSensor::SimSensor(const SimSettings &s) : settings_(s), model_(s), faults_(s.faults) {}

SimSensor::~SimSensor() {
    Stop();
}

bool SimSensor::Start() {
    if (running_) return true;
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error_ = std::string("no pseudo-terminal: ") + std::strerror(errno);
        if (master_ >= 0) close(master_);
        master_ = -1;
        return false;
    }
    const char *name = ptsname(master_);
    path_ = name ? name : "";
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Hold the slave open: with no slave open the master reports a hang-up and reads fail,
    // and the line must look alive until the program opens it. Raw mode at once, so nothing
    // is echoed back before the program sets its own mode.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error_ = "cannot open " + path_ + ": " + std::strerror(errno);
        close(master_);
        master_ = -1;
        return false;
    }
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        tcsetattr(slave_, TCSANOW, &t);
    }
    if (pipe(wake_) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        close(slave_);
        close(master_);
        slave_ = master_ = -1;
        return false;
    }
    fcntl(wake_[0], F_SETFD, FD_CLOEXEC);
    fcntl(wake_[1], F_SETFD, FD_CLOEXEC);
    stop_ = false;
    hungUp_ = false;
    running_ = true;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void SimSensor::Stop() {
    stop_ = true;
    if (wake_[1] >= 0) {
        const char c = 1;
        ssize_t r = write(wake_[1], &c, 1);
        (void)r;
    }
    if (thread_.joinable()) thread_.join();
    HangUpLine();
    for (int &fd : wake_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    running_ = false;
}

void SimSensor::HangUpLine() {
    std::lock_guard<std::mutex> lock(mu_);
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
}

int SimSensor::SpoiledCount(int command) const {
    if (command < 0 || command >= kSimCommandCount) return 0;
    return spoiledPer_[command];
}

void SimSensor::TakeBytes(const uint8_t *data, int n) {
    if (data == nullptr || n <= 0) return;
    HandleBytes(data, n, Now());
}

int SimSensor::RequestCount(int command) const {
    if (command < 0 || command >= kSimCommandCount) return 0;
    return perCommand_[command];
}

void SimSensor::LastRequestAt(int command, int *count, double *seconds) const {
    std::lock_guard<std::mutex> lock(mu_);
    const bool known = command >= 0 && command < kSimCommandCount;
    *count = known ? perCommand_[command].load() : 0;
    *seconds = known ? lastAt_[command] : 0.0;
}

SimFrame SimSensor::LastRequest() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lastRequest_;
}

bool SimSensor::WaitUntilIdle(double seconds) const {
    const double end = Now() + seconds;
    while (sending_) {
        if (Now() > end) return false;
        SleepUntil(Now() + 0.001);
    }
    return true;
}

bool SimSensor::WaitForRequests(int n, double seconds) const {
    const double end = Now() + seconds;
    while (requests_ < n) {
        if (Now() > end) return false;
        SleepUntil(Now() + 0.001);
    }
    return true;
}

void SimSensor::AddFault(const SimFault &f) {
    std::lock_guard<std::mutex> lock(mu_);
    faults_.push_back(f);
}

void SimSensor::ClearFaults() {
    std::lock_guard<std::mutex> lock(mu_);
    faults_.clear();
}

void SimSensor::SetPaced(bool paced) {
    std::lock_guard<std::mutex> lock(mu_);
    settings_.paced = paced;
}

void SimSensor::SetTurnaroundMs(double ms) {
    std::lock_guard<std::mutex> lock(mu_);
    settings_.turnaroundMs = ms;
}

void SimSensor::SetSpoilPercent(double percent) {
    std::lock_guard<std::mutex> lock(mu_);
    settings_.spoilPercent = percent;
}

SimWords SimSensor::Ram() const {
    std::lock_guard<std::mutex> lock(mu_);
    return model_.ram;
}

SimWords SimSensor::Eeprom() const {
    std::lock_guard<std::mutex> lock(mu_);
    return model_.eeprom;
}

void SimSensor::SetRam(const SimWords &w) {
    std::lock_guard<std::mutex> lock(mu_);
    model_.ram = w;
    model_.ram.resize(kSimWords, 0);
}

void SimSensor::Loop() {
#ifdef PR_SET_TIMERSLACK
    // The sensor keeps its byte times to the microsecond, not to the default 50 us slack.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
    uint8_t buf[512];
    while (!stop_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (fds[0].revents & (POLLERR | POLLNVAL)) break;
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                HandleBytes(buf, int(n), Now());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
        }
        if (hungUp_) break;
    }
    if (hungUp_) HangUpLine();
    running_ = false;
}

void SimSensor::HandleBytes(const uint8_t *data, int n, double now) {
    // Each byte finishes on the line one byte time after the previous one, or after it was
    // written (a pseudo-terminal hands over a whole write at once).
    std::vector<double> times;
    if (!rxBuf_.empty() && now - rxLastSeen_ > kFrameGapSeconds) {
        skipped_ += int(rxBuf_.size());
        rxBuf_.clear();
    }
    rxLastSeen_ = now;
    for (int i = 0; i < n; ++i) {
        rxLineTime_ = std::max(now, rxLineTime_) + kSimByteSeconds;
        rxBuf_.push_back(data[i]);
    }
    // Resynchronise: a frame begins with 0x00 0x55 and carries a known command word.
    size_t pos = 0;
    while (!hungUp_ && !stop_) {
        while (pos < rxBuf_.size() &&
               !(rxBuf_[pos] == 0x00 && (pos + 1 >= rxBuf_.size() || rxBuf_[pos + 1] == 0x55))) {
            ++pos;
            ++skipped_;
        }
        if (rxBuf_.size() - pos < size_t(kSimRequestLen)) break;
        const int command = Word(&rxBuf_[pos + 2]);
        if (command < 1 || command >= kSimCommandCount) {
            ++pos;
            ++skipped_;
            continue;
        }
        // The frame's last byte: count back from the newest byte.
        const size_t after = rxBuf_.size() - (pos + size_t(kSimRequestLen));
        const double lastByteTime = rxLineTime_ - double(after) * kSimByteSeconds;
        uint8_t frame[kSimRequestLen];
        std::memcpy(frame, &rxBuf_[pos], kSimRequestLen);
        pos += size_t(kSimRequestLen);
        HandleFrame(frame, lastByteTime);
    }
    rxBuf_.erase(rxBuf_.begin(), rxBuf_.begin() + long(std::min(pos, rxBuf_.size())));
}

void SimSensor::HandleFrame(const uint8_t *frame, double lastByteTime) {
    const int command = Word(frame + 2);
    SimFrame reply;
    bool paced;
    double turnaround;
    double byteInterval = 0, delay = 0; // dribble and late faults
    int keepBeforeHangUp = -1, noiseBytes = 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        lastRequest_.assign(frame, frame + kSimRequestLen);
        const int seen = requests_ + 1;
        for (const SimFault &f : faults_) {
            if (f.kind == SimFaultKind::HangUp && seen > f.n) {
                hungUp_ = true;
                requests_ = seen;
                perCommand_[command] += 1;
                lastAt_[command] = lastByteTime;
                return;
            }
        }
        model_.keepWords.clear();
        for (const SimFault &f : faults_)
            if (f.kind == SimFaultKind::KeepWord && (f.command == 0 || f.command == command) &&
                f.n < kSimWords)
                model_.keepWords.push_back(f.n);
        reply = model_.Answer(frame);
        paced = settings_.paced;
        turnaround = settings_.turnaroundMs * 1e-3;
        for (auto it = faults_.begin(); it != faults_.end();) {
            SimFault &f = *it;
            const bool matches = f.command == 0 || f.command == command;
            const bool isFrame = reply.size() == size_t(kSimReplyLen) && command != kSimFirmware &&
                                 command != kSimBlock;
            bool used = false;
            if (matches && !reply.empty()) {
                switch (f.kind) {
                case SimFaultKind::NoReply:
                    reply.clear();
                    used = true;
                    break;
                case SimFaultKind::WrongSync:
                    if (isFrame) {
                        PutWord(reply, 0, f.n ? f.n : 0xAA00);
                        used = true;
                    }
                    break;
                case SimFaultKind::WrongEcho:
                    if (isFrame) {
                        PutWord(reply, 2, f.n ? f.n : command + 1);
                        used = true;
                    }
                    break;
                case SimFaultKind::CutReply:
                    if (reply.size() > size_t(f.n)) reply.resize(size_t(f.n));
                    used = true;
                    break;
                case SimFaultKind::ExtraBytes:
                    reply.insert(reply.end(), size_t(f.n), kPadByte);
                    used = true;
                    break;
                case SimFaultKind::ReplyLength:
                    reply.resize(size_t(f.n), kPadByte);
                    used = true;
                    break;
                case SimFaultKind::Garbage: {
                    SimFrame g(size_t(f.n));
                    for (int i = 0; i < f.n; ++i)
                        g[size_t(i)] = uint8_t(Hash(0xBADu, uint32_t(requests_), uint32_t(i)));
                    reply.insert(reply.begin(), g.begin(), g.end());
                    used = true;
                    break;
                }
                case SimFaultKind::Dribble:
                    byteInterval = f.n * 1e-3;
                    used = true;
                    break;
                case SimFaultKind::Late:
                    delay = f.n * 1e-3;
                    used = true;
                    break;
                case SimFaultKind::Twice: {
                    const SimFrame once = reply;
                    reply.insert(reply.end(), once.begin(), once.end());
                    used = true;
                    break;
                }
                case SimFaultKind::HangUpMid:
                    keepBeforeHangUp = f.n;
                    used = true;
                    break;
                case SimFaultKind::Noise:
                    noiseBytes = f.n;
                    used = true;
                    break;
                case SimFaultKind::HangUp:
                case SimFaultKind::KeepWord:
                    break;
                }
            }
            if (used && f.times > 0 && --f.times == 0)
                it = faults_.erase(it);
            else
                ++it;
        }
        if (!reply.empty() && settings_.spoilPercent > 0) {
            // One draw decides whether this reply is spoiled, a second one how.
            const uint32_t draw = Hash(settings_.seed, 0x5901u, spoilDraws_++);
            if (double(draw % 1000000u) < settings_.spoilPercent * 10000.0) {
                const uint32_t how = Hash(settings_.seed, 0x5902u, spoilDraws_++);
                const bool raw = command == kSimFirmware || command == kSimBlock;
                switch (how % (raw ? 3u : 2u)) {
                case 0:
                    reply.clear();
                    break;
                case 1:
                    reply.resize(1 + (how >> 8) % (reply.size() - 1));
                    break;
                default:
                    reply.insert(reply.end(), 1 + (how >> 8) % 8, kPadByte);
                    break;
                }
                spoiled_ += 1;
                spoiledPer_[command] += 1;
            }
        }
    }
    // Counted before the reply goes out: a test that saw the reply sees the count.
    if (!reply.empty()) sending_ = true;
    {
        std::lock_guard<std::mutex> lock(mu_);
        perCommand_[command] += 1;
        lastAt_[command] = lastByteTime;
    }
    requests_ += 1;
    if (reply.empty()) return;
    if (keepBeforeHangUp >= 0 && reply.size() > size_t(keepBeforeHangUp))
        reply.resize(size_t(keepBeforeHangUp));
    double start = paced ? lastByteTime + turnaround : 0.0;
    if (delay > 0 || byteInterval > 0) start = (start > 0 ? start : Now()) + delay;
    const double lineByte = paced ? kSimByteSeconds : 0.0;
    Send(reply, start, byteInterval > 0 ? byteInterval : lineByte);
    if (keepBeforeHangUp >= 0) {
        // Closing the line discards what the other side has not read yet: give it time to
        // take the bytes sent, then close the line (the loop does).
        if (master_ >= 0) SleepUntil(Now() + kHangUpAfterPartSeconds);
        hungUp_ = true;
    } else if (noiseBytes > 0) {
        SimFrame noise(static_cast<size_t>(noiseBytes));
        for (int i = 0; i < noiseBytes; ++i)
            noise[size_t(i)] = uint8_t(Hash(0x401Eu, uint32_t(requests_), uint32_t(i)));
        Send(noise, Now() + kSimNoiseGapMs * 1e-3, lineByte);
    }
    sending_ = false;
}

void SimSensor::Send(const SimFrame &bytes, double start, double interval) {
    // Byte k is handed over when it has finished on the line, at start + (k + 1) intervals;
    // with no interval, all at once from `start` on (start 0: now). Without a line (not
    // started: the parser fed directly) the bytes go nowhere, and nothing waits for them.
    if (master_ < 0) return;
    size_t sent = 0;
    while (sent < bytes.size() && !stop_) {
        size_t due = bytes.size();
        if (start > 0) {
            const double now = Now();
            const double elapsed = now - start;
            if (interval > 0)
                due = elapsed <= 0 ? 0 : std::min(bytes.size(), size_t(elapsed / interval));
            else if (elapsed < 0)
                due = 0;
            if (due <= sent) {
                const double next = start + double(sent + 1) * interval;
                SleepUntil(std::min(next, now + kSleepSliceSeconds));
                continue;
            }
        }
        ssize_t n = write(master_, bytes.data() + sent, due - sent);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p = {master_, POLLOUT, 0};
            poll(&p, 1, 50);
        } else {
            return;
        }
    }
}
