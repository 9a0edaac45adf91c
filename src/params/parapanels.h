// Binding of the two parameter panels to the parameter words.
#pragma once

// Reads every bound control into its word.
void GetPAValues(void);
// Applies the range checks, shows every bound word and redraws the bar-graph elements and
// the video curve that depend on the words.
void SetPAValues(void);
// Range checks on the words, in their fixed order (part of SetPAValues).
void CheckParameterRanges(void);
// Dims the tolerance numeric unless the hardware mode on the panel is 1 or 3 (commit of
// DROPHardwareMode, and once at start-up).
void ApplyHardwareModeDimming(void);

// Control callbacks of the parameter panels.
int CC_DROPEvalMode(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPHardwareMode(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPrs232Mode(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPopMode(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPpolarity(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPaverage(int panel, int control, int event, void *data, int e1, int e2);
int CC_RINGanaMode(int panel, int control, int event, void *data, int e1, int e2);
int CC_NEDITTolerance(int panel, int control, int event, void *data, int e1, int e2);
int CC_NUMtolDelta(int panel, int control, int event, void *data, int e1, int e2);
int CC_SLIDEpower(int panel, int control, int event, void *data, int e1, int e2);
int CC_SLIDEVideoThreshold(int panel, int control, int event, void *data, int e1, int e2);
int CC_NEDITEdgeLeft(int panel, int control, int event, void *data, int e1, int e2);
int CC_NEDITEdgeRight(int panel, int control, int event, void *data, int e1, int e2);
int CC_NUMteach(int panel, int control, int event, void *data, int e1, int e2);

// Registers the callbacks of both parameter panels and of GET, SEND, the memory-target
// radio buttons, TEACH and RESET.
void BindParamCallbacks(void);
