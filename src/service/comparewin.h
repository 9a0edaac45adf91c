// The compare window: the table of the sixteen words (index, name, RAM, EEPROM, file) with
// differing cells marked, and the summary line.
#pragma once

struct CompareResult;

void ShowCompareWindow(const CompareResult &r);
void CloseCompareWindow(void);
