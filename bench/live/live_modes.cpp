// live_modes: the whole program (panels offscreen, drawing included) in RUN and in VIDEO
// against the simulated sensor paced like the real line. Prints, as shares of the line's
// limit, the RUN frames and the VIDEO cycles per second; the program's CPU time as a share
// of one core in each mode; its peak resident memory and how much the resident memory grew
// from the first to the last 10 s of the RUN; and the share of a core used while a GET
// waits its 1.5 s for a sensor that does not answer.
//
// The line's limit is one exchange's bytes on the wire at 19200 baud 8N1 plus the sensor's
// turnaround before each reply: RUN 38 + 36 bytes, VIDEO 38 + 36 + 4 x (38 + 128) bytes.
// The sensor runs in a thread of this process; its CPU time is not counted as the
// program's.
//
// With --record, the Record toggle is on during RUN, so every frame also goes to the
// recording's CSV file in the program's data folder (a temporary folder here).
//
// With --mqtt URL the program publishes to that broker as with its own --mqtt option
// (topics under "bench/live_modes"), so that run_ratio with and without publishing can be
// compared; the frames published and dropped are printed.
//
//   live_modes [--run-seconds S] [--video-seconds S] [--turnaround MS] [--record] [--mqtt URL]
#include "broker_client.h"
#include "com232.h"
#include "kvor_panels.h"
#include "publish.h"
#include "rs232.h"
#include "service_hooks.h"
#include "sim.h"
#include "userint_readback.h"
#include "utility.h"
#include "winmain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kByteSeconds = 10.0 / 19200.0;
constexpr int kRequestLen = 38, kReplyLen = 36, kBlockLen = 128, kBlocks = 4;
constexpr double kWarmUpSeconds = 2.0;
constexpr double kRssWindowSeconds = 10.0;

std::set<int> Threads() {
    std::set<int> ids;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') ids.insert(std::atoi(e->d_name));
        closedir(d);
    }
    return ids;
}

// CPU seconds (user + system) of one thread of this process.
double ThreadCpu(int tid) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream in(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; i++) {
        if (i == 14) utime = std::atof(field.c_str());
        if (i == 15) stime = std::atof(field.c_str());
    }
    return (utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double ProcessCpu() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Resident set now and at its peak, MB.
double StatusMb(const char *key) {
    std::ifstream f("/proc/self/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key)) / 1024.0;
    return 0;
}

struct Phase {
    double seconds = 0;
    double rate = 0; // raw frame requests per second in the measured window
    double cpu = 0;  // share of one core
    double rssFirst = 0, rssLast = 0;
    bool ended = true;
    std::string rssTrace; // resident MB every 10 s
};

// Presses `button`, measures for `seconds` after a warm-up, then presses STOP. The window
// runs from a raw-frame request to a raw-frame request, timed by the sensor as it took them
// in, so that whole frames or cycles are counted. The program is looked at ten times a
// second only, so that the measurement does not wake its event loop itself.
Phase Measure(int button, double seconds, SimSensor &sim, const std::set<int> &simThreads) {
    Phase p;
    p.seconds = seconds;
    auto simCpu = [&] {
        double s = 0;
        for (int t : simThreads) s += ThreadCpu(t);
        return s;
    };
    double t0 = 0, at0 = 0, cpu0 = 0, sim0 = 0;
    int frames0 = 0;
    std::vector<std::pair<double, double>> rss; // (time in window, MB)
    const double started = Timer();
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = Timer();
        int count = 0;
        double at = 0;
        sim.LastRequestAt(CMD_RAW_FRAME, &count, &at);
        if (t0 == 0) {
            if (count == 0 || now - started < kWarmUpSeconds) return;
            t0 = now;
            at0 = at;
            cpu0 = ProcessCpu();
            sim0 = simCpu();
            frames0 = count;
        }
        rss.push_back({now - t0, StatusMb("VmRSS:")});
        if (now - t0 >= seconds && count > frames0) {
            p.rate = (count - frames0) / (at - at0);
            p.cpu = ((ProcessCpu() - cpu0) - (simCpu() - sim0)) / (now - t0);
            p.ended = false;
            tick.stop();
            SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_LEFT_CLICK, 0, 0);
            SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_COMMIT, 0, 0);
        }
    });
    tick.start();
    SimulateCtrlEvent(pHandle, button, EVENT_COMMIT, 0, 0);
    tick.stop();
    double firstSum = 0, lastSum = 0;
    int firstN = 0, lastN = 0;
    for (auto [t, mb] : rss) {
        if (t <= kRssWindowSeconds) firstSum += mb, firstN++;
        if (t >= seconds - kRssWindowSeconds) lastSum += mb, lastN++;
    }
    p.rssFirst = firstN ? firstSum / firstN : 0;
    p.rssLast = lastN ? lastSum / lastN : 0;
    double nextMark = 0;
    for (auto [t, mb] : rss) {
        if (t < nextMark) continue;
        char text[32];
        std::snprintf(text, sizeof text, " %.1f", mb);
        p.rssTrace += text;
        nextMark += kRssWindowSeconds;
    }
    return p;
}

// The share of a core the program uses while a GET waits its whole time-out for a sensor
// that does not answer.
double MeasureSilentWait(SimSensor &sim) {
    sim.AddFault({SimFaultKind::NoReply, CMD_READ_RAM, 0, 1});
    const double t0 = Timer(), cpu0 = ProcessCpu();
    SimulateCtrlEvent(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT, 0, 0);
    const double wall = Timer() - t0;
    sim.ClearFaults();
    return (ProcessCpu() - cpu0) / wall;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    double runSeconds = 60, videoSeconds = 20, turnaroundMs = 1.0;
    bool record = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--record")) record = true;
        else if (i + 1 >= argc) break;
        else if (!std::strcmp(argv[i], "--run-seconds")) runSeconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--video-seconds")) videoSeconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--turnaround")) turnaroundMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--mqtt")) {
            const char *url = argv[++i];
            const std::string wrong = ParseBrokerUrl(url, &g_publishRequest);
            if (!wrong.empty()) {
                std::fprintf(stderr, "live_modes: bad --mqtt %s: %s\n", url, wrong.c_str());
                return 2;
            }
            g_publishRequest.on = true;
            g_publishRequest.topicPrefix = "bench/live_modes";
        }
    }
    QApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + "/live-modes-XXXXXX");
    SetProjectDirOverride(dir.path().toUtf8().constData());

    SimSettings s;
    s.paced = true;
    s.turnaroundMs = turnaroundMs;
    SimSensor sim(s);
    const std::set<int> before = Threads();
    if (!sim.Start()) {
        std::fprintf(stderr, "live_modes: no simulated sensor: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::set<int> simThreads;
    for (int t : Threads())
        if (!before.count(t)) simThreads.insert(t);
    AssignPortDevice(1, sim.DevicePath().c_str());
    if (AppStart() != 0) {
        std::fprintf(stderr, "live_modes: the program did not start\n");
        return 1;
    }
    char status[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, status);
    std::printf("live_modes: sensor on %s, start-up status \"%s\"\n", sim.DevicePath().c_str(),
                status);

    const double turnaround = turnaroundMs * 1e-3;
    const double runLimit = 1.0 / ((kRequestLen + kReplyLen) * kByteSeconds + turnaround);
    const double videoLimit =
        1.0 / ((kRequestLen + kReplyLen + kBlocks * (kRequestLen + kBlockLen)) * kByteSeconds +
               (1 + kBlocks) * turnaround);
    std::printf("live_modes: line limit RUN %.2f frames/s, VIDEO %.3f cycles/s (turnaround %.1f ms)\n",
                runLimit, videoLimit, turnaroundMs);
    std::fflush(stdout);

    if (record) SetCtrlVal(pHandle, MAINPANEL_TOGGBTNRecord, 1);
    const Phase run = Measure(MAINPANEL_BTNRun, runSeconds, sim, simThreads);
    if (record) {
        char recStatus[MAX_PATHNAME_LEN] = {};
        GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, recStatus);
        std::printf("live_modes: recording on, status after RUN \"%s\"\n", recStatus);
    }
    std::printf("live_modes: RUN %.0f s: %.2f frames/s, cpu %.3f of a core, resident %.1f MB "
                "(first 10 s) -> %.1f MB (last 10 s)%s\n",
                run.seconds, run.rate, run.cpu, run.rssFirst, run.rssLast,
                run.ended ? " - RUN ended early" : "");
    std::printf("live_modes: RUN resident every 10 s (MB):%s\n", run.rssTrace.c_str());
    std::fflush(stdout);
    const Phase video = Measure(MAINPANEL_BTNVideo, videoSeconds, sim, simThreads);
    std::printf("live_modes: VIDEO %.0f s: %.3f cycles/s, cpu %.3f of a core%s\n", video.seconds,
                video.rate, video.cpu, video.ended ? " - VIDEO ended early" : "");
    const double waitCpu = MeasureSilentWait(sim);
    char waitStatus[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, waitStatus);
    std::printf("live_modes: GET from a silent sensor: cpu %.4f of a core, status \"%s\"\n",
                waitCpu, waitStatus);
    const double peak = StatusMb("VmHWM:");
    if (const BrokerClient *c = CurrentPublisher())
        std::printf("live_modes: mqtt %s: frames published %ld, dropped %ld, connections %d\n",
                    qPrintable(c->Where()), c->Published(), c->Dropped(), c->Connections());
    AppFinish();
    sim.Stop();

    std::printf("live_modes: run_ratio=%.3f video_ratio=%.3f run_cpu=%.3f video_cpu=%.3f "
                "wait_cpu=%.4f rss_mb=%.1f rss_growth_mb=%.2f\n",
                run.rate / runLimit, video.rate / videoLimit, run.cpu, video.cpu, waitCpu, peak,
                run.rssLast - run.rssFirst);
    const bool ok = !run.ended && !video.ended;
    return ok ? 0 : 1;
}
