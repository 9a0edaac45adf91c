// soak: the whole program (panels offscreen, drawing included) in RUN and in VIDEO against
// the unpaced simulated sensor on a pseudo-terminal, with a share of the replies spoiled at
// random from a seed (not sent, cut short, profile blocks made longer). RUN is pressed
// again whenever a spoiled reply has ended it, until `frames` measurement frames were
// requested in RUN; then VIDEO the same way for `cycles` cycles. Every spoiled reply must
// be reported in the status line (the service trace keeps every status text), and neither
// the resident memory nor the open file descriptors may grow between the end of a warm-up
// and the end of the soak. Last line:
//   soak: frames=N cycles=M faults=K crashes=0 rss_growth_mb=X fd_growth=Y
//
//   soak_run [--frames N] [--cycles M] [--percent P] [--seed S]
#include "com232.h"
#include "kvor_panels.h"
#include "rs232.h"
#include "sim.h"
#include "trace.h"
#include "userint_readback.h"
#include "utility.h"
#include "winmain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

// The status texts that report a spoiled reply: a frame that did not come whole in time
// (RUN and VIDEO), a profile block that did not come whole in time, one that was too long.
const char *const kFaultTexts[] = {
    "status Timeout RS232-Line!",
    "status Timeout-RS-232 while reading 64 data-words!",
    "status Data[64] block too long - dropped!",
};

double RssMb() {
    std::ifstream f("/proc/self/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Bytes of the heap in use.
double HeapMb() {
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

int OpenFds() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') n++;
        closedir(d);
        n--; // the directory's own descriptor
    }
    return n;
}

// Reports of spoiled replies in the trace: status texts that name a fault. A frame lost at
// the start of RUN is reported twice in a row (the start's own wait, then the loop's), so
// a fault text that repeats the status text before it is counted in *repeats (see below).
long FaultReports(const std::string &trace, long *repeats = nullptr) {
    std::ifstream f(trace);
    long n = 0, again = 0;
    std::string previous;
    for (std::string line; std::getline(f, line);) {
        const size_t space = line.find(' '); // "<ms> status <text>"
        if (space == std::string::npos) continue;
        const std::string rest = line.substr(space + 1);
        if (rest.rfind("status ", 0) != 0) continue;
        for (const char *text : kFaultTexts)
            if (rest == text) (rest != previous ? n : again)++;
        previous = rest;
    }
    // A text shown again right after itself is one report (RUN's start shows its time-out
    // twice for one lost frame), or two spoiled replies in a row: counted apart.
    if (repeats) *repeats = again;
    return n;
}

// Presses `button` again and again (a spoiled reply ends the loop) until the sensor took
// `count` more measurement requests than when it began; then STOP. Returns the requests
// taken.
int Drive(int button, int count, SimSensor &sim, bool verbose = true) {
    const int base = sim.RequestCount(kSimMeasure);
    bool done = false;
    int nextSample = count / 10;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const int taken = sim.RequestCount(kSimMeasure) - base;
        if (verbose && count >= 10 && taken >= nextSample) {
            std::printf("soak:   %d requests: resident %.2f MB, heap in use %.2f MB\n", taken,
                        RssMb(), HeapMb());
            std::fflush(stdout);
            nextSample += count / 10;
        }
        if (!done && sim.RequestCount(kSimMeasure) - base >= count) {
            done = true;
            SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_LEFT_CLICK, 0, 0);
            SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_COMMIT, 0, 0);
        }
    });
    tick.start();
    while (!done) SimulateCtrlEvent(pHandle, button, EVENT_COMMIT, 0, 0);
    tick.stop();
    return sim.RequestCount(kSimMeasure) - base;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int frames = 100000, cycles = 5000;
    double percent = 1.0;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--frames")) frames = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cycles")) cycles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--percent")) percent = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seed")) seed = unsigned(std::atol(argv[i + 1]));
    }
    QApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + "/soak-XXXXXX");
    SetProjectDirOverride(dir.path().toUtf8().constData());
    const std::string trace = dir.path().toStdString() + "/trace.txt";
    TraceOpen(trace.c_str());

    SimSettings s;
    s.paced = false;
    s.seed = seed;
    SimSensor sim(s);
    if (!sim.Start()) {
        std::fprintf(stderr, "soak: no simulated sensor: %s\n", sim.LastError().c_str());
        return 1;
    }
    AssignPortDevice(1, sim.DevicePath().c_str());
    if (AppStart() != 0) {
        std::fprintf(stderr, "soak: the program did not start\n");
        return 1;
    }
    // Start-up's probe on a sound line; the spoiling begins with the warm-up.
    sim.SetSpoilPercent(percent);
    Drive(MAINPANEL_BTNRun, 1000, sim, false);
    Drive(MAINPANEL_BTNVideo, 20, sim, false);
    const double rss0 = RssMb(), heap0 = HeapMb();
    const int fds0 = OpenFds();
    long repeats0 = 0, repeats1 = 0;
    const long faults0 = FaultReports(trace, &repeats0);
    const int spoiled0 = sim.SpoiledCount();

    const int ranFrames = Drive(MAINPANEL_BTNRun, frames, sim);
    std::printf("soak: RUN done, %d frames, %d replies spoiled so far\n", ranFrames,
                sim.SpoiledCount() - spoiled0);
    std::fflush(stdout);
    const int ranCycles = Drive(MAINPANEL_BTNVideo, cycles, sim);

    const double rss1 = RssMb(), heap1 = HeapMb();
    const int fds1 = OpenFds();
    const long faults = FaultReports(trace, &repeats1) - faults0;
    const long repeats = repeats1 - repeats0;
    const int spoiled = sim.SpoiledCount() - spoiled0;
    AppFinish();
    TraceClose();
    sim.Stop();
    std::printf("soak: spoiled replies %d (frames %d, blocks %d), reported %ld\n", spoiled,
                sim.SpoiledCount(kSimMeasure), sim.SpoiledCount(kSimBlock), faults);
    std::printf("soak: resident %.2f -> %.2f MB, heap in use %.2f -> %.2f MB\n", rss0, rss1,
                heap0, heap1);
    std::printf("soak: frames=%d cycles=%d faults=%ld crashes=0 rss_growth_mb=%.2f fd_growth=%d\n",
                ranFrames, ranCycles, faults, rss1 - rss0, fds1 - fds0);
    // Every spoiled reply reported: at least one text for each, counting a text repeated
    // right after itself as possibly a second spoiled reply, and never more texts than spoils.
    const bool ok = faults <= spoiled && faults + repeats >= spoiled && rss1 - rss0 < 2.0 && fds1 - fds0 <= 0 &&
                    ranFrames >= frames && ranCycles >= cycles;
    return ok ? 0 : 1;
}
