#include "plots.h"

#include "devinfo.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "processing.h"
#include "userint.h"

double arrayNORM[HISTORY_LEN] = {};

namespace {

// Heights on the bar graph, whose y axis shows 0 .. 1.
constexpr double COVERED_BOTTOM = 0.25; // red covered segments: 0.25 .. 1.0
constexpr double COVERED_TOP = 1.0;
constexpr double BAND_TOP = 0.35;       // tolerance bands of the measurement drawing
constexpr double BAND_TOP_PARAM = 0.25; // tolerance band of the start-up and refresh drawings
constexpr double CURSOR_Y = 0.75;
constexpr double CURSOR_Y_START = 1.0;

constexpr double JET_AXIS_FULL = 100.0; // percent
constexpr double JET_AXIS_ZOOM = 50.0;
constexpr int MIN_CCDPIXE = 256;

enum { CURSOR_POSITION = 1, CURSOR_EDGE_LEFT = 2, CURSOR_EDGE_RIGHT = 3 };
enum { CURSOR_JET_MAX = 1 };

// One strip-chart trace per frame value, in history order.
constexpr int TRACE_COLOURS[HISTORY_TRACES] = {
    VAL_DK_GREEN, // 1 upper limit S + T
    VAL_DK_GREEN, // 2 lower limit S - T
    VAL_BLACK,    // 3 setpoint S
    VAL_RED,      // 4 measured value
    VAL_RED,      // 5 analog value
};

void BarRectangle(double x1, double y1, double x2, double y2, int colour) {
    PlotRectangle(pHandle, MAINPANEL_GRAPHBar, x1, y1, x2, y2, colour, colour);
}

void CoveredSegment(int from, int to) {
    BarRectangle(from, COVERED_BOTTOM, to, COVERED_TOP, VAL_RED);
}

void ToleranceBand(int from, int to, double top) {
    BarRectangle(from, 0.0, to, top, VAL_GREEN);
}

// Band ends of the measurement drawing: a negative start is raised to 1 (0 stays), an end
// beyond the last sub-pixel becomes the line's length.
int BandStart(int a) {
    return a < 0 ? 1 : a;
}
int BandEnd(int b) {
    return b > ccdsubpixel - 1 ? ccdsubpixel : b;
}

void EdgeCursors(double y) {
    SetGraphCursor(pHandle, MAINPANEL_GRAPHBar, CURSOR_EDGE_LEFT, edgeLeft, y);
    SetGraphCursor(pHandle, MAINPANEL_GRAPHBar, CURSOR_EDGE_RIGHT, edgeRight, y);
}

// The band setpoint -/+ tolerance of the parameter drawings, taken as signed integers and
// not clamped (it may start left of the line).
void ParameterBand(void) {
    const int s = setpoint, t = tolerance;
    ToleranceBand(s - t, s + t, BAND_TOP_PARAM);
}

// Position evaluated by the sensor's evaluation mode: left edge, right edge, or the middle
// of both (1 while either edge is missing).
unsigned short EvaluatedPosition(void) {
    switch (evalMode) {
    case 0:
        return Ledge;
    case 1:
        return Redge;
    default:
        if (Ledge == 0 || Redge == 0) return 1;
        return static_cast<unsigned short>((Ledge + Redge) / 2);
    }
}

// The value the analog output stands for, by analog-out mode.
double AnalogValue(void) {
    switch (anaMode) {
    case 0:
    case 1:
    case 4:
    case 7:
        return Mvalue;
    case 2:
    case 5:
        return anaMax;
    case 3:
    case 6:
        // The minimum's reset value (the line's end) would pin the trace to the top.
        return anaMin == ccdmaxpixelX8 - 1 ? 1 : anaMin;
    default:
        return 0;
    }
}

} // namespace

void PlotVIDEOCurve(const unsigned short *live, const unsigned short *frozen, const double *x) {
    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, YAXISMAX);
    DeleteGraphPlot(pHandle, MAINPANEL_GRAPHVideo, -1, VAL_IMMEDIATE_DRAW);
    PlotXY(pHandle, MAINPANEL_GRAPHVideo, x, live, PROFILE_LEN, VAL_DOUBLE,
           VAL_UNSIGNED_SHORT_INTEGER, VAL_FAT_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_RED);
    PlotXY(pHandle, MAINPANEL_GRAPHVideo, x, frozen, PROFILE_LEN, VAL_DOUBLE,
           VAL_UNSIGNED_SHORT_INTEGER, VAL_FAT_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_DK_GREEN);
}

void PlotJETCurve(const short *curve, const double *x) {
    if (idxMax == 0) idxMax = 1;
    if (idxMax > PROFILE_LEN - 1) idxMax = PROFILE_LEN - 1; // stays inside the curve
    unsigned short h = static_cast<unsigned short>(curve[idxMax]);
    int zoom = 0;
    GetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, &zoom);
    const double top = zoom == 0 ? JET_AXIS_FULL : JET_AXIS_ZOOM;
    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHJet, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, top);
    if (h > top) h = static_cast<unsigned short>(top);
    DeleteGraphPlot(pHandle, MAINPANEL_GRAPHJet, -1, VAL_IMMEDIATE_DRAW);
    PlotXY(pHandle, MAINPANEL_GRAPHJet, x, curve, PROFILE_LEN, VAL_DOUBLE, VAL_SHORT_INTEGER,
           VAL_FAT_LINE, VAL_SOLID_SQUARE, VAL_SOLID, 1, VAL_RED);
    SetGraphCursor(pHandle, MAINPANEL_GRAPHJet, CURSOR_JET_MAX,
                   static_cast<double>(SUBPIXELS_PER_INDEX * idxMax), h);
}

void PlotRAWGraphX8(void) {
    const double analog = AnalogValue();

    // One frame towards the start: the oldest drops out, the newest five become 0.
    Shift(arrayNORM, HISTORY_LEN, -HISTORY_TRACES, arrayNORM);

    // Band and zoom range in signed arithmetic, held inside the chart's 1 .. full scale - 1.
    const int s = setpoint, t = tolerance, m = Mvalue, top = ccdmaxpixelX8 - 1;
    int hi = s + t, lo = s - t;
    int zoomLo, zoomHi;
    if (t < 50) {
        zoomLo = s - 200;
        zoomHi = s + 200;
        if (m > zoomHi) zoomHi = m + 100;
        if (m < zoomLo) zoomLo = m - 100;
    } else {
        zoomLo = s - 4 * t;
        zoomHi = s + 4 * t;
        if (m > zoomHi) zoomHi = m + 200;
        if (m < zoomLo) zoomLo = m - 200;
    }
    if (hi > top) hi = top;
    if (lo < 1) lo = 1;
    if (zoomHi > top) zoomHi = top;
    if (zoomLo < 1) zoomLo = 1;

    double *frame = arrayNORM + HISTORY_LEN - HISTORY_TRACES;
    frame[0] = hi;
    frame[1] = lo;
    frame[2] = s;
    frame[3] = m;
    frame[4] = analog;

    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_POINTS_PER_SCREEN,
                     STRIP_POINTS_PER_SCREEN);
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_SCROLL_MODE, 1);
    int zoom = 0;
    GetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, &zoom);
    if (zoom == 0)
        SetAxisScalingMode(pHandle, MAINPANEL_STRIPChart, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0,
                           ccdmaxpixelX8);
    else
        SetAxisScalingMode(pHandle, MAINPANEL_STRIPChart, VAL_LEFT_YAXIS, VAL_MANUAL, zoomLo,
                           zoomHi);
    for (int trace = 1; trace <= HISTORY_TRACES; trace++)
        SetTraceAttribute(pHandle, MAINPANEL_STRIPChart, trace, ATTR_TRACE_COLOR,
                          TRACE_COLOURS[trace - 1]);
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_NUM_TRACES, HISTORY_TRACES);
    PlotStripChart(pHandle, MAINPANEL_STRIPChart, arrayNORM, HISTORY_LEN, 0, 0, VAL_DOUBLE);
}

void PlotVIDEOBarGraph(void) {
    unsigned short c = EvaluatedPosition();

    SetCtrlVal(pHandle, MAINPANEL_NUMLedge, Ledge);
    SetCtrlVal(pHandle, MAINPANEL_NUMRedge, Redge);
    SetCtrlVal(pHandle, MAINPANEL_NUMCenter, Mcenter);
    SetCtrlVal(pHandle, MAINPANEL_NUMWidth, Mwidth);
    SetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, videoMax);
    SetCtrlVal(pHandle, MAINPANEL_NUMJetMax, jetMax);
    SetCtrlVal(pJet, JETPANEL_NUMJetArea, jetArea);

    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHBar, VAL_XAXIS, VAL_MANUAL, 1.0, ccdsubpixel);
    EdgeCursors(CURSOR_Y);
    // The rectangles below bring the graph up to date; no repaint for the empty graph.
    DeleteGraphPlot(pHandle, MAINPANEL_GRAPHBar, -1, VAL_DELAYED_DRAW);

    if (c < pixB) c = pixB;
    if (c > pixE) c = pixE;
    if (c < 1) c = 1;
    if (c > ccdsubpixel) c = ccdsubpixel;
    SetGraphCursor(pHandle, MAINPANEL_GRAPHBar, CURSOR_POSITION, c, CURSOR_Y);

    // Red: the parts of the line outside the object. With one edge the measured section's
    // direction tells which side of it is covered.
    if (edcnt == 1) {
        if (mvstart < mvend)
            CoveredSegment(Ledge, pixE);
        else
            CoveredSegment(1, Ledge);
    } else {
        CoveredSegment(1, Ledge);
        CoveredSegment(Redge, pixE);
    }

    // Green: where the evaluated edges may lie. In mode 2 the setpoint is the object's
    // nominal width, so there is one band around each of its expected edges.
    const int s = setpoint, t = tolerance, pos = c;
    if (evalMode == 2) {
        if (edcnt > 0) {
            ToleranceBand(BandStart(pos - s / 2 - t / 2), BandEnd(pos - s / 2 + t / 2), BAND_TOP);
            ToleranceBand(pos + s / 2 - t / 2, pos + s / 2 + t / 2, BAND_TOP);
        }
    } else {
        ToleranceBand(BandStart(s - t), BandEnd(s + t), BAND_TOP);
    }
}

void PlotBarGraphStartup(void) {
    DeleteGraphPlot(pHandle, MAINPANEL_GRAPHBar, -1, VAL_DELAYED_DRAW);
    SetGraphCursor(pHandle, MAINPANEL_GRAPHBar, CURSOR_POSITION, setpoint, CURSOR_Y_START);
    EdgeCursors(CURSOR_Y_START);
    ParameterBand();
}

void PlotBarGraphRefresh(void) {
    if (ccdpixE < MIN_CCDPIXE) ccdpixE = MIN_CCDPIXE;
    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHBar, VAL_XAXIS, VAL_MANUAL, 1.0, ccdpixE);
    PlotVIDEOCurve(adcbuf, thdArray, xArray8);
    EdgeCursors(CURSOR_Y);
    // Grey over everything plotted before, then the band of the new words on top.
    BarRectangle(0.0, 0.0, ccdmaxpixelX8, 1.0, VAL_LT_GRAY);
    ParameterBand();
}
