// The four toggle buttons that choose the child panel shown inside the main panel.
#pragma once

int CC_TOGGBTN_Para1(int panel, int control, int event, void *data, int e1, int e2);
int CC_TOGGBTN_Para2(int panel, int control, int event, void *data, int e1, int e2);
int CC_TOGGBTN_Jet(int panel, int control, int event, void *data, int e1, int e2);
int CC_TOGGBTN_Stats(int panel, int control, int event, void *data, int e1, int e2);

// Registers the toggles' and the help boxes' callbacks.
void BindUiCallbacks(void);
