// VIDEO mode: cycles of raw measurement frame, the 256-sample profile in four blocks, its
// processing and the video or jet curve with the bar graph; the data-type ring that
// chooses the curve.
#pragma once

// Runs VIDEO mode until STOP, a closed main panel, a port change or a missing reply.
void PushVIDEO(void);

// The end of a VIDEO cycle, once the blocks are in adcbuf: smoothing, the jet curve and its
// edges; then, drawn while the next cycle's request is on the wire, the video or jet curve
// (by the data-type ring) and the bar graph.
void ProcessVideoProfile(void);
void DrawVideoProfile(void);

// The data-type ring's value as an unsigned 16-bit number: 0 video curve, other jet curve.
unsigned short ReadDataType(void);

// Starts VIDEO when it was pressed while a stopped RUN was still ending (the RUN button's
// callback calls it once RUN has ended).
void StartVideoAfterRun(void);

int CC_BTNVideo(int panel, int control, int event, void *data, int e1, int e2);
int CC_DROPdatatype(int panel, int control, int event, void *data, int e1, int e2);
