// Files of the measurement part: the profile file and the record file.
#pragma once

#include "userint.h"

extern char freece_fname[MAX_PATHNAME_LEN]; // profile file: project folder + "FREEZE.DAT"
extern char rec_fname[MAX_PATHNAME_LEN];    // record file: project folder + "RECORD.DAT" at start

// Registers the control callbacks of RUN, VIDEO, STOP, the data-type ring and the jet panel.
void BindGuiCallbacks(void);
