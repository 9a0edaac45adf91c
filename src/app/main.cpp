// The program's entry: the platform starts the application and calls WinMain.
#include "appmain.h"
#include "service.h"
#include "winmain.h"

// The window, or a scripted service job when the launch options ask for one.
int main(int argc, char **argv) {
    return PlatformMain(argc, argv, [] { return RunServiceOrWindow(AppStart, AppFinish, WinMain); });
}
