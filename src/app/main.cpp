// The program's entry: the platform starts the application and calls WinMain.
#include "appmain.h"
#include "winmain.h"

int main(int argc, char **argv) { return PlatformMain(argc, argv, WinMain); }
