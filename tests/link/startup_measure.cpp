// Prints the time from the program's start to its window being shown, with a simulated
// sensor paced like the real line: link_startup_measure [turnaround-ms]. Exit code 2: over 1 s.
#include "kvor_panels.h"
#include "qt_access.h"
#include "rs232.h"
#include "sim.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const double t0 = Timer();
    SimSettings s;
    if (argc > 1) s.turnaroundMs = std::atof(argv[1]);
    SimSensor sim(s);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProjectDirOverride(dir.path().toLocal8Bit().constData());
    if (!sim.Start() || AssignPortDevice(1, sim.DevicePath().c_str()) != 0 || AppStart() != 0)
        return std::fprintf(stderr, "no start: %s\n", sim.LastError().c_str()), 1;
    for (QWidget *w = PlatformPanelWidget(pHandle); w && !w->isVisible() && Timer() - t0 < 10;)
        ProcessSystemEvents();
    ProcessSystemEvents(); // the first paint
    const double shown = Timer() - t0;
    std::printf("turnaround %.1f ms: %d requests, window shown after %.3f s (limit 1 s)\n",
                s.turnaroundMs, sim.RequestCount(), shown);
    AppFinish();
    return shown <= 1.0 ? 0 : 2;
}
