// Process start: the Qt application, the launch options (launch_options.cpp reads them),
// then the program's entry.
#include "appmain.h"

#include "launch_options.h"
#include "port_watch.h"
#include "rs232.h"
#include "service_hooks.h"
#include "trace.h"
#include "utility.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QWidget>

#include <csignal>
#ifndef _WIN32
#include <QSocketNotifier>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

void Usage(FILE *out) {
    std::fprintf(out,
                 "usage: kvor-rur-glint [--simulate] [--port N=DEVICE]... [--trace FILE] "
                 "[--data-dir DIR] [--serial-dir DIR] [--info | --backup FILE | --restore FILE] [--eeprom]\n"
                 "       [--mqtt URL [--mqtt-user NAME] [--mqtt-password-file FILE] [--mqtt-topic PREFIX]]\n"
                 "  --simulate        start the bundled simulated sensor and assign it to COM1\n"
                 "  --port N=DEVICE   assign a serial device (tty, pseudo-terminal, symlink) to COM N\n"
                 "  --trace FILE      write a service trace of frames, status texts and files\n"
                 "  --data-dir DIR    keep the profile file and the default record file in DIR\n"
                 "  --serial-dir DIR  list the serial adapters linked in DIR instead of /dev/serial/by-id\n"
                 "publishing to a broker (RUN's frames, identity, status texts, online):\n"
                 "  --mqtt URL        mqtt://host[:port] (1883) or mqtts://host[:port] (8883, TLS)\n"
                 "  --mqtt-user NAME  user name for the broker\n"
                 "  --mqtt-password-file FILE  the password: the first line of FILE\n"
                 "  --mqtt-topic PREFIX  topics PREFIX/frame, /identity, /status, /online\n"
                 "                    (default kvor-rur/<host name>/COM<n>)\n"
                 "  --mqtt-password   refused: a password is never given on the command line\n"
                 "service jobs (no window; exit 0 done, 1 link failure, 2 unusable file, 3 differs):\n"
                 "  --info            print the sensor's hardware words and firmware text\n"
                 "  --backup FILE     read the RAM (--eeprom: the EEPROM) into a parameter file\n"
                 "  --restore FILE    send a parameter file to the RAM (--eeprom: EEPROM), read back\n"
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

#ifdef _WIN32
// A Windows console's Ctrl+C ends the process the system's way; the port closes with it.
void CloseWindowsOnSignals(QApplication &) {}
#else
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
#endif

// The password for the broker: the first line of `path` without its line end. False when
// the file cannot be read.
bool ReadPasswordFile(const QString &path, std::string *password) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    QByteArray line = f.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    *password = line.toStdString();
    return true;
}

} // namespace

int PlatformMain(int argc, char **argv, WinMainPtr winMain) {
    if (const int status = AnswerInfoOption(argc, argv); status >= 0) return status;
    // A service job runs without a window, on Qt's offscreen platform (scripts, SSH).
    for (int i = 1; i < argc; i++)
        if (!std::strcmp(argv[i], "--info") || !std::strcmp(argv[i], "--backup") ||
            !std::strcmp(argv[i], "--restore"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvor-rur-glint"));
    QApplication::setOrganizationName(QStringLiteral("kvor"));

    // Everything the command line asks for is read first, then done.
    const LaunchOptions options = ParseLaunchOptions(QApplication::arguments(), ReadPasswordFile);
    for (const std::string &trace : options.traces) TraceOpen(trace.c_str());
    if (!options.error.empty()) {
        std::fputs(options.error.c_str(), stderr);
        if (options.usage) Usage(stderr);
        return 2;
    }
    for (const auto &[port, device] : options.ports) AssignPortDevice(port, device.c_str());
    if (options.dataDir) SetProjectDirOverride(options.dataDir->c_str());
    if (options.serialDir) SetSerialDir(options.serialDir->c_str());
    g_serviceJob = options.job;
    g_publishRequest = options.publish;

    CloseWindowsOnSignals(app);
    QProcess sim;
    if (options.simulate) {
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
