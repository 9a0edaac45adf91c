// Process start: creates the application, applies the launch options (--port N=DEVICE,
// --simulate, --trace FILE, the service jobs, the --mqtt publishing options) and calls the
// program's entry `winMain`, whose result becomes the exit code.
#pragma once

typedef int (*WinMainPtr)(void);
int PlatformMain(int argc, char **argv, WinMainPtr winMain);
