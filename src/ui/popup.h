// Help bubble: a right click on a control with help shows its text in a help box next to
// the control; the next right click (or a click on the box) hides it.
#pragma once

// Moves `helpBox` (a main-panel control) next to `control` of `panel`: right of the control
// by `gap`, its top `lift` above the control's top; a control on a child panel is offset by
// the child panel's position. Toggles the box's visibility and sets its text.
void ShowHelpBubble(int panel, int control, int helpBox, int gap, int lift, const char *text);

// Callbacks of the two help boxes: a left or right click on a box hides it.
int CC_HelpText1(int panel, int control, int event, void *data, int e1, int e2);
int CC_HelpText2(int panel, int control, int event, void *data, int e1, int e2);

// The help texts.
extern const char HELP_BTNRun[];
extern const char HELP_BTNStop[];
extern const char HELP_BTNVideo[];
extern const char HELP_DropDCom[];
extern const char HELP_BTNSend[];
extern const char HELP_BTNGet[];
extern const char HELP_DROPEvalMode[];
extern const char HELP_DROPHardwareMode[];
extern const char HELP_DROPrs232Mode[];
extern const char HELP_DROPopMode[];
extern const char HELP_DROPpolarity[];
extern const char HELP_DROPaverage[];
extern const char HELP_RINGanaMode[];
extern const char HELP_NEDITTolerance[];
extern const char HELP_NUMtolDelta[];
extern const char HELP_SLIDEpower[];
extern const char HELP_SLIDEVideoThreshold[];
