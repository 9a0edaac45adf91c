// kvor-sensor-sim: the simulated sensor on a pseudo-terminal. Prints "PORT <device>" as its
// first line and serves until SIGTERM/SIGINT/SIGHUP, end of its standard input (when that is
// a pipe, a socket or the controlling terminal in the foreground), the end of the process
// that started it, or a hang-up fault.
#include "sim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

void Usage(FILE *out) {
    std::fprintf(out,
                 "usage: kvor-sensor-sim [options]\n"
                 "Serves a simulated K-VOR-RUR sensor on a pseudo-terminal and prints\n"
                 "\"PORT <device>\" first. Options:\n%s"
                 "  --link PATH         also make PATH a symbolic link to the device\n"
                 "  --verbose           one line on stderr per request\n"
                 "  --help              this text\n",
                 SimOptionHelp().c_str());
}

// Standard input is watched for its end only where an end can come: a pipe or socket (the
// starting program holds the other end), or the terminal while we are in its foreground.
bool WatchStdin() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) return false;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return true;
    if (isatty(STDIN_FILENO)) return tcgetpgrp(STDIN_FILENO) == getpgrp();
    return false;
}

} // namespace

int main(int argc, char **argv) {
    SimSettings settings;
    std::string link;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (arg.rfind("--", 0) != 0) {
            std::fprintf(stderr, "kvor-sensor-sim: unexpected argument \"%s\"\n", argv[i]);
            Usage(stderr);
            return 2;
        }
        std::string name = arg.substr(2), value;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        } else if (name == "unpaced" || name == "verbose") {
            value = "yes";
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "kvor-sensor-sim: --%s needs a value\n", name.c_str());
            return 2;
        }
        std::string error;
        if (name == "link") {
            link = value;
        } else if (name == "verbose") {
            verbose = true;
        } else if (name == "scenario") {
            if (!LoadSimScenario(settings, value, &error)) {
                std::fprintf(stderr, "kvor-sensor-sim: %s\n", error.c_str());
                return 2;
            }
        } else if (!ApplySimOption(settings, name, value, &error)) {
            std::fprintf(stderr, "kvor-sensor-sim: %s\n", error.c_str());
            return 2;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimSensor sim(settings);
    if (!sim.Start()) {
        std::fprintf(stderr, "kvor-sensor-sim: %s\n", sim.LastError().c_str());
        return 1;
    }
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(sim.DevicePath().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "kvor-sensor-sim: cannot make link %s: %s\n", link.c_str(),
                         std::strerror(errno));
            link.clear();
        }
    }
    std::printf("PORT %s\n", sim.DevicePath().c_str());
    std::fflush(stdout);

    const pid_t parent = getppid();
    const bool watchStdin = WatchStdin();
    int seen = 0;
    while (!g_stop && sim.Running()) {
        pollfd p = {watchStdin ? STDIN_FILENO : -1, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[256];
            ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break; // end of input
        }
        if (getppid() != parent) break; // the starting process has gone
        if (verbose) {
            for (; seen < sim.RequestCount(); ++seen) {
                SimFrame f = sim.LastRequest();
                if (f.size() >= 4)
                    std::fprintf(stderr, "kvor-sensor-sim: request %d, command %d\n", seen + 1,
                                 (f[2] << 8) | f[3]);
            }
        }
    }
    const bool hungUp = sim.HungUp();
    sim.Stop();
    if (!link.empty()) unlink(link.c_str());
    if (hungUp) std::fprintf(stderr, "kvor-sensor-sim: line closed by the hang-up fault\n");
    return 0;
}
