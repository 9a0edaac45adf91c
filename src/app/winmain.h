// Start-up and shutdown of the program.
#pragma once

// The program's entry: loads the panels, sets the defaults, opens the link and probes the
// sensor, lays out the panels, runs the event loop and cleans up. 0, or -1 when a panel
// cannot be loaded.
int WinMain(void);

// The two halves of WinMain around the event loop, for tests that drive the running
// program themselves: AppStart runs start-up up to showing the panels (0, or -1 when a
// panel cannot be loaded); AppFinish closes the port and discards the panels.
int AppStart(void);
int AppFinish(void);

void InitVars(void);
void InitGUI(void);
// Loads the reference profile from the profile file (freece_fname), as InitGUI does at
// start-up: only a file of exactly 257 numbers replaces it; ret is the count read.
void LoadProfileFile(void);
int CC_PANEL(int panel, int event, void *callbackData, int eventData1, int eventData2);
