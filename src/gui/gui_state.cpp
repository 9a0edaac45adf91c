#include "gui_state.h"

char freece_fname[MAX_PATHNAME_LEN] = "FREEZE.DAT";
char rec_fname[MAX_PATHNAME_LEN] = "RECORD.DAT";
