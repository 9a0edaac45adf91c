#include "devinfo.h"

unsigned short ccdtype = 0, ccdmaxpixel = 1024, ccdresolution = 0, pcbtype = 0,
               ccdmaxpixelX8 = 8192, ccdsubpixel = 1024, ccdpixB = 1, ccdpixE = 1024,
               softversion = 0;
unsigned short pixB = 1, pixE = 1024;
unsigned short YAXISMAX = 1024;
double xArray8[256] = {};
char szVersion[72] = {};

namespace {
// Before any sensor has described itself the curves use the 1024-position line (step 4).
struct XArrayDefault {
    XArrayDefault() {
        for (int i = 0; i < 256; i++) xArray8[i] = 4.0 * i;
    }
} xArrayDefault;
} // namespace
