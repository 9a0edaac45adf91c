// The connected sensor's description: hardware information (command 10) and firmware text
// (command 7), and what the program derives from them.
#pragma once

extern unsigned short ccdtype, ccdmaxpixel, ccdresolution, pcbtype, ccdmaxpixelX8, ccdsubpixel,
    ccdpixB, ccdpixE, softversion;
extern unsigned short pixB, pixE;   // first and last CCD position shown
extern unsigned short YAXISMAX;     // top of the video graph's y axis
extern double xArray8[256];         // x positions of the 256-point curves
extern char szVersion[72];          // firmware text in word form

int GetHARDWAREInfo(void);
int GetVERSIONInfo(void);

// The halves of the two exchanges that take the reply apart, after the wait:
// TakeHardwareInfo reads the description from the reply frame taken in (pp and its echo
// word) and adapts the panels, pixel range and curve positions to it (1; 0 when the echo is
// not command 10). TakeFirmwareText reads the `count` bytes read after the firmware request
// into szVersion and the status text; only exactly 72 bytes are a firmware text.
int TakeHardwareInfo(void);
void TakeFirmwareText(const char *reply, int count);
