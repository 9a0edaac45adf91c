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
