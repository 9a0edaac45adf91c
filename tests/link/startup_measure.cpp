// Time from the program's start to its window being on the screen, with a simulated sensor
// paced like the real 19200-baud line (every byte 0.52 ms, 1 ms turnaround). Prints the
// figures; it asserts nothing. Runs on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise.
//
//   link_startup_measure [turnaround-ms]
#include "com232.h"
#include "kvor_panels.h"
#include "qt_access.h"
#include "rs232.h"
#include "sim.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    const auto processStart = std::chrono::steady_clock::now();
    auto since = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - processStart)
            .count();
    };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    SimSettings s;
    s.paced = true;
    if (argc > 1) s.turnaroundMs = std::atof(argv[1]);
    SimSensor sim(s);
    if (!sim.Start()) {
        std::fprintf(stderr, "no simulated sensor: %s\n", sim.LastError().c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProjectDirOverride(dir.path().toLocal8Bit().constData());
    AssignPortDevice(1, sim.DevicePath().c_str());
    const double appReady = since();

    if (AppStart() != 0) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    const double started = since();
    QWidget *main = PlatformPanelWidget(pHandle);
    while (main && !main->isVisible() && since() < 10.0)
        ProcessSystemEvents();
    ProcessSystemEvents(); // the first paint
    const double shown = since();

    char status[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, status);
    std::printf("sensor paced at 19200 baud, turnaround %.1f ms\n", s.turnaroundMs);
    std::printf("requests answered during start-up: %d (echo, hardware, GET, firmware)\n",
                sim.RequestCount());
    std::printf("status line: \"%s\"\n", status);
    std::printf("application object ready   %6.3f s\n", appReady);
    std::printf("start-up steps done        %6.3f s\n", started);
    std::printf("main window visible        %6.3f s  (limit 1.000 s)\n", shown);
    AppFinish();
    return shown <= 1.0 ? 0 : 2;
}
