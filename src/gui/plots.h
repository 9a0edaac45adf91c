// The three displays of the main panel: the video and jet curves, the strip chart of the
// measurement history and the bar graph of the CCD line with its numeric displays. Each
// operation only hands the graphs their new data; the graphs repaint in the next event
// processing.
#pragma once

constexpr int HISTORY_FRAMES = 100; // frames kept by the strip chart's history
constexpr int HISTORY_TRACES = 5;   // per frame: upper limit, lower limit, setpoint, Mvalue, analog
constexpr int HISTORY_LEN = HISTORY_FRAMES * HISTORY_TRACES;
constexpr int STRIP_POINTS_PER_SCREEN = HISTORY_FRAMES + 1;

// History of the strip chart, oldest frame first: element 5 k + t - 1 is trace t (1..5) of
// frame k (0..99). Zero at start and kept for the whole run, across RUN starts and stops.
extern double arrayNORM[HISTORY_LEN];

// Live (red) and frozen (dark green) profile on the video graph, 256 points each, y axis
// 0 .. YAXISMAX. Element 256 of the frozen array (its maximum) is never drawn.
void PlotVIDEOCurve(const unsigned short *live, const unsigned short *frozen, const double *x);

// The jet curve (red) on the jet graph with cursor 1 at its maximum (6 x idxMax); the y
// axis is 0 .. 100, or 0 .. 50 with the zoom switch on. idxMax 0 is taken as 1.
void PlotJETCurve(const short *curve, const double *x);

// Appends the current frame (band limits, setpoint, Mvalue, analog value by anaMode) to
// the history and shows the last 100 frames on the strip chart, the newest at the right.
void PlotRAWGraphX8(void);

// Redraws the bar graph from the measurement values: evaluated position (cursor 1), edge
// settings (cursors 2 and 3), red covered segments, green tolerance bands; and the edge,
// centre, width, maximum and jet-area displays.
void PlotVIDEOBarGraph(void);

// Start state of the bar graph: no plots, cursors 1/2/3 at setpoint/edgeLeft/edgeRight at
// height 1.0 and the tolerance band setpoint -/+ tolerance at height 0 .. 0.25.
void PlotBarGraphStartup(void);

// Bar graph after the parameter words changed: ccdpixE raised to at least 256, x axis
// 1 .. ccdpixE, the video curves redrawn, cursors 2/3 at the edge settings, a grey wipe and
// the tolerance band on top of what is plotted.
void PlotBarGraphRefresh(void);
