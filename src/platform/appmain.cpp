// Process start: the Qt application, the launch options, then the program's entry.
#include "appmain.h"

#include "launchopts.h"
#include "rs232.h"
#include "trace.h"
#include "utility.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Usage(FILE *out) {
    std::fprintf(out,
                 "usage: kvor-rur-glint [--simulate] [--port N=DEVICE]... [--trace FILE] "
                 "[--data-dir DIR]\n"
                 "  --simulate        start the bundled simulated sensor and assign it to COM1\n"
                 "  --port N=DEVICE   assign a serial device (tty, pseudo-terminal, symlink) to COM N\n"
                 "  --trace FILE      write a service trace of frames, status texts and files\n"
                 "  --data-dir DIR    keep the profile file and the default record file in DIR\n"
                 "  --version         print the program's version and exit\n"
                 "  -h, --help        print this text and exit\n");
}

// --help and --version answer before the application starts, so they work without a display.
// Returns -1 when neither is given, else the exit status.
int AnswerInfoOption(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("kvor-rur-glint %s\n", KVOR_VERSION);
            return 0;
        }
    }
    return -1;
}

// Starts the simulator beside the program and returns its device path, or "".
std::string StartSimulator(QProcess &sim) {
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/kvor-sensor-sim");
    if (!QFileInfo(path).isExecutable()) {
        std::fprintf(stderr, "kvor-rur-glint: simulated sensor not found: %s\n", qPrintable(path));
        return {};
    }
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(path, {});
    if (!sim.waitForStarted(5000)) {
        std::fprintf(stderr, "kvor-rur-glint: cannot start the simulated sensor\n");
        return {};
    }
    // Its first line names the pseudo-terminal it serves: "PORT <device path>".
    for (int tries = 0; tries < 50 && !sim.canReadLine(); tries++) sim.waitForReadyRead(100);
    const QByteArray line = sim.readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        std::fprintf(stderr, "kvor-rur-glint: the simulated sensor did not report its port\n");
        return {};
    }
    return line.mid(5).toStdString();
}

// SIGINT and SIGTERM close the program's windows as the operator would, so a running RUN or
// VIDEO ends, the port is closed and the simulator stops. The handler only writes a byte.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}

void CloseWindowsOnSignals(QApplication &app) {
    if (pipe(g_signalPipe) != 0) return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        ssize_t ignored = read(g_signalPipe[0], buf, sizeof buf);
        (void)ignored;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->close();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

int PlatformMain(int argc, char **argv, WinMainPtr winMain) {
    if (const int status = AnswerInfoOption(argc, argv); status >= 0) return status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvor-rur-glint"));
    QApplication::setOrganizationName(QStringLiteral("kvor"));

    std::vector<std::string> args;
    const QStringList given = QApplication::arguments();
    for (qsizetype i = 1; i < given.size(); i++) args.push_back(given[i].toLocal8Bit().toStdString());
    LaunchOptions options;
    std::string errorLine;
    bool showUsage = false;
    if (ReadLaunchOptions(args, &options, &errorLine, &showUsage) != 0) {
        std::fprintf(stderr, "%s\n", errorLine.c_str());
        if (showUsage) Usage(stderr);
        return 2;
    }
    for (const std::string &file : options.traceFiles) TraceOpen(file.c_str());
    for (const std::string &dir : options.dataDirs) SetProjectDirOverride(dir.c_str());
    const bool simulate = options.simulate;

    CloseWindowsOnSignals(app);
    QProcess sim;
    if (simulate) {
        const std::string device = StartSimulator(sim);
        if (!device.empty()) {
            AssignPortDevice(1, device.c_str());
            SetPortDescription(1, "simulated sensor");
        }
    }
    const int result = winMain();
    if (sim.state() != QProcess::NotRunning) {
        sim.closeWriteChannel();
        sim.terminate();
        if (!sim.waitForFinished(1000)) sim.kill();
    }
    TraceClose();
    return result;
}
