// serial_roundtrip: raw measurement exchanges (command 8) one after the other, the way the
// RUN loop makes them, through the platform's RS-232 operations and event processing, against
// the kvor-sensor-sim command paced like the real line. Prints the exchanges per second as a
// share of the line's limit, 1 / (request and reply on the wire + turnaround), and this
// process's CPU time as a share of one core.
//
//   serial_roundtrip [--seconds S] [--turnaround MS]      (S at least 10 for a figure)
#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Request frame: 0x00 0x55, command word, 16 payload words, 0x00 0x00.
constexpr int kWords = 16;
constexpr int kRequestLen = kWords * 2 + 6;
// Reply frame: 0x00 0xAA, echo of the command word, 16 payload words.
constexpr int kReplyLen = kWords * 2 + 4;
constexpr int kCommand = 8;
constexpr int kPort = 1;
constexpr double kByteSeconds = 10.0 / 19200.0; // 8N1: start, 8 data, stop bit
constexpr double kReplyTimeout = 1.5;
constexpr int kWarmUp = 5;

int g_rxFlag = 0;
int g_badReplies = 0;

void OnReceive(int port, int mask, void *) {
    if (!(mask & LWRS_RECEIVE)) return;
    unsigned char reply[kReplyLen];
    const int n = ComRd(port, reinterpret_cast<char *>(reply), kReplyLen);
    if (n != kReplyLen || reply[0] != 0x00 || reply[1] != 0xAA || reply[2] != 0 ||
        reply[3] != kCommand)
        ++g_badReplies;
    FlushInQ(port);
    g_rxFlag = 1;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// One exchange as the RUN loop makes it; false on time-out.
bool Exchange(const char *frame) {
    FlushInQ(kPort);
    FlushOutQ(kPort);
    g_rxFlag = 0;
    ComWrt(kPort, frame, kRequestLen);
    const double tstart = Timer();
    while (!g_rxFlag) {
        ProcessSystemEvents();
        if (Timer() - tstart > kReplyTimeout) return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    double seconds = 10.0, turnaroundMs = 1.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--turnaround"))
            turnaroundMs = std::atof(argv[i + 1]);
    }
    QCoreApplication app(argc, argv);

    // The simulated sensor as a separate process, so that its CPU time is not counted.
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) return 1;
    const std::string exe = std::string(KVOR_BIN_DIR) + "/kvor-sensor-sim";
    const std::string turn = std::to_string(turnaroundMs);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(in[0], 0);
        for (int fd : {out[0], out[1], in[0], in[1]})
            close(fd);
        execl(exe.c_str(), exe.c_str(), "--turnaround", turn.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(in[0]);
    std::string line;
    char ch;
    while (read(out[0], &ch, 1) == 1 && ch != '\n')
        line += ch;
    if (line.rfind("PORT ", 0) != 0) {
        std::fprintf(stderr, "serial_roundtrip: %s did not report its port\n", exe.c_str());
        return 1;
    }
    AssignPortDevice(kPort, line.substr(5).c_str());
    int rc = OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096);
    if (rc < 0) {
        std::fprintf(stderr, "serial_roundtrip: cannot open %s (%d)\n", line.c_str() + 5, rc);
        return 1;
    }
    SetComTime(kPort, kReplyTimeout);
    SetCTSMode(kPort, 0);
    InstallComCallback(kPort, LWRS_RECEIVE | LWRS_RXFLAG | LWRS_TXEMPTY, kReplyLen, 0x55, OnReceive,
                       nullptr);

    char frame[kRequestLen] = {};
    frame[1] = 0x55;
    frame[3] = kCommand;
    for (int k = 0; k < kWords; ++k)
        frame[5 + 2 * k] = char(k); // some parameter words

    for (int i = 0; i < kWarmUp; ++i)
        Exchange(frame);
    g_badReplies = 0;
    int exchanges = 0, timeouts = 0;
    const double cpu0 = CpuSeconds(), t0 = Timer();
    double elapsed = 0;
    std::vector<double> times;
    while ((elapsed = Timer() - t0) < seconds) {
        const double t = Timer();
        if (Exchange(frame)) {
            ++exchanges;
            times.push_back(Timer() - t);
        } else {
            ++timeouts;
        }
    }
    elapsed = Timer() - t0;
    const double cpu = CpuSeconds() - cpu0;

    CloseCom(kPort);
    close(in[1]); // the simulator ends with its input
    int status = 0;
    for (int i = 0; i < 300 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(10000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }

    const double lineSeconds = (kRequestLen + kReplyLen) * kByteSeconds + turnaroundMs * 1e-3;
    const double rate = exchanges / elapsed, limit = 1.0 / lineSeconds;
    std::printf("serial_roundtrip: %d exchanges of command %d in %.2f s, %d time-outs, "
                "%d bad replies\n",
                exchanges, kCommand, elapsed, timeouts, g_badReplies);
    std::printf("serial_roundtrip: %.2f exchanges/s; line limit %.2f/s (%.2f ms on the wire + "
                "%.2f ms turnaround)\n",
                rate, limit, (kRequestLen + kReplyLen) * kByteSeconds * 1e3, turnaroundMs);
    std::sort(times.begin(), times.end());
    if (!times.empty())
        std::printf("serial_roundtrip: one exchange: fastest %.2f ms, median %.2f ms, 99th "
                    "percentile %.2f ms, slowest %.2f ms\n",
                    times.front() * 1e3, times[times.size() / 2] * 1e3,
                    times[times.size() * 99 / 100] * 1e3, times.back() * 1e3);
    std::printf("serial_roundtrip: CPU time %.3f s in %.2f s\n", cpu, elapsed);
    std::printf("serial_roundtrip: rate_ratio=%.3f cpu_share=%.3f\n", rate / limit, cpu / elapsed);
    return (timeouts == 0 && g_badReplies == 0) ? 0 : 1;
}
