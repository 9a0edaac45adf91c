#include "gui_state.h"

void BindGuiCallbacks(void) {}
