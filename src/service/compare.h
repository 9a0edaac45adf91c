// Parameter compare: the sensor's RAM and EEPROM read with GET's exchange frames (the
// parameter words and the panels stay as they are) and, when chosen, a parameter file.
#pragma once

#include "params.h"

#include <QString>

struct CompareResult {
    bool haveRam = false, haveEeprom = false, haveFile = false;
    unsigned short ram[PNUM] = {}, eeprom[PNUM] = {}, file[PNUM] = {};
    QString fileName;
    // Words in which RAM and EEPROM differ (both read), else -1.
    int RamEepromDifferences() const;
    // Whether a cell (column 0 RAM, 1 EEPROM, 2 file) differs from another column read.
    bool Differs(int column, int word) const;
    // "RAM = EEPROM", "RAM differs from EEPROM in N words: not saved", or what was not read.
    QString Summary() const;
};

// Reads RAM and EEPROM; with askFile the load dialog offers a parameter file. A time-out
// leaves its column empty (with the usual status text).
CompareResult ReadCompare(bool askFile);
