// What the three displays hand to the real main-panel widgets, read back from them.
#include "devinfo.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "plots.h"
#include "processing.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rect {
    double x1, y1, x2, y2;
    int colour;
    bool operator==(const Rect &) const = default;
};

std::ostream &operator<<(std::ostream &o, const Rect &r) {
    return o << "(" << r.x1 << "," << r.y1 << ")-(" << r.x2 << "," << r.y2 << ") #" << std::hex
             << r.colour << std::dec;
}

std::vector<Rect> BarRects() {
    std::vector<Rect> out;
    for (int i = 0; i < GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar); i++) {
        Rect r{};
        int fill = -1;
        if (GetGraphRectangle(pHandle, MAINPANEL_GRAPHBar, i, &r.x1, &r.y1, &r.x2, &r.y2, &r.colour,
                              &fill) == 0) {
            EXPECT_EQ(fill, r.colour) << "frame and fill differ in rectangle " << i;
            out.push_back(r);
        }
    }
    return out;
}

std::pair<double, double> Cursor(int graph, int n) {
    double x = -1, y = -1;
    EXPECT_EQ(GetGraphCursor(pHandle, graph, n, &x, &y), 0);
    return {x, y};
}

std::pair<double, double> Axis(int graph, int axis) {
    int mode = -1;
    double lo = -1, hi = -1;
    GetAxisScalingMode(pHandle, graph, axis, &mode, &lo, &hi);
    return {lo, hi};
}

int Display(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}

class Plots : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL);
        pJet = LoadPanel(pHandle, PANEL_RESOURCE_FILE, JETPANEL);
        ASSERT_GT(pHandle, 0);
        ASSERT_GT(pJet, 0);
    }
    void SetUp() override {
        ASSERT_GT(pHandle, 0);
        SetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, 0);
        ccdmaxpixelX8 = 8192;
        ccdsubpixel = 1536;
        pixB = 1;
        pixE = 1535;
    }
};

TEST_F(Plots, VideoGraphShowsLiveRedAndFrozenDarkGreen) {
    unsigned short live[PROFILE_LEN], frozen[PROFILE_LEN + 1];
    double x[PROFILE_LEN];
    for (int i = 0; i < PROFILE_LEN; i++) {
        live[i] = static_cast<unsigned short>(3 * i);
        frozen[i] = static_cast<unsigned short>(1000 - i);
        x[i] = 6.0 * i + 1;
    }
    frozen[PROFILE_LEN] = 60000; // the maximum, never a point
    YAXISMAX = 256;
    PlotVIDEOCurve(live, frozen, x);
    PlotVIDEOCurve(live, frozen, x); // replaces, never adds
    ASSERT_EQ(GetGraphPlotCount(pHandle, MAINPANEL_GRAPHVideo), 2);
    const unsigned short *want[2] = {live, frozen};
    const int colours[2] = {0xFF0000, 0x008000};
    for (int k = 0; k < 2; k++) {
        double px[PROFILE_LEN + 1], py[PROFILE_LEN + 1];
        int colour = -1, width = 0;
        ASSERT_EQ(GetGraphCurve(pHandle, MAINPANEL_GRAPHVideo, k, px, py, PROFILE_LEN + 1, &colour,
                                &width),
                  PROFILE_LEN);
        EXPECT_EQ(colour, colours[k]);
        EXPECT_GE(width, 2) << "thick line";
        for (int i = 0; i < PROFILE_LEN; i++) {
            ASSERT_EQ(px[i], x[i]);
            ASSERT_EQ(py[i], want[k][i]);
        }
    }
    EXPECT_EQ(Axis(MAINPANEL_GRAPHVideo, VAL_LEFT_YAXIS), std::make_pair(0.0, 256.0));
    YAXISMAX = 1024;
}

TEST_F(Plots, JetCurveMarkerAndZoom) {
    struct Case {
        int zoom;
        unsigned short idx;
        short peak;
        double cursorX, cursorY, top;
        unsigned short idxAfter;
    } cases[] = {
        {0, 0, 70, 6, 70, 100, 1},     // idxMax 0 is taken as 1
        {1, 40, 90, 240, 50, 50, 40},  // the marker stays on the zoomed axis
        {0, 40, 90, 240, 90, 100, 40}, // zoom off again restores 0 .. 100
        {1, 255, 30, 1530, 30, 50, 255},
    };
    for (const auto &c : cases) {
        short curve[PROFILE_LEN] = {};
        curve[c.idx == 0 ? 1 : c.idx] = c.peak;
        SetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, c.zoom);
        idxMax = c.idx;
        PlotJETCurve(curve, xArray8);
        EXPECT_EQ(idxMax, c.idxAfter);
        EXPECT_EQ(Cursor(MAINPANEL_GRAPHJet, 1), std::make_pair(c.cursorX, c.cursorY)) << c.idx;
        EXPECT_EQ(Axis(MAINPANEL_GRAPHJet, VAL_LEFT_YAXIS), std::make_pair(0.0, c.top));
        ASSERT_EQ(GetGraphPlotCount(pHandle, MAINPANEL_GRAPHJet), 1);
        double py[PROFILE_LEN];
        int colour = -1;
        GetGraphCurve(pHandle, MAINPANEL_GRAPHJet, 0, nullptr, py, PROFILE_LEN, &colour, nullptr);
        EXPECT_EQ(colour, 0xFF0000);
        EXPECT_EQ(py[c.idx == 0 ? 1 : c.idx], c.peak) << "points above the zoom stay unclipped";
    }
}

TEST_F(Plots, StripChartFrameBandAndZoom) {
    struct Case {
        unsigned short S, T, M, mode, aMax, aMin;
        int zoom;
        double hi, lo, analog, zoomLo, zoomHi;
    } cases[] = {
        {1000, 20, 1250, 0, 0, 0, 1, 1020, 980, 1250, 800, 1350},
        {1000, 60, 900, 2, 3000, 0, 1, 1060, 940, 3000, 760, 1240},
        {10, 30, 10, 5, 77, 0, 1, 40, 1, 77, 1, 210},                // held at 1
        {8100, 200, 8150, 7, 0, 0, 1, 8191, 7900, 8150, 7300, 8191}, // held at full scale - 1
        {1000, 20, 700, 3, 0, 8191, 1, 1020, 980, 1, 600, 1200},     // minimum at its reset value
        {1000, 20, 1000, 6, 0, 55, 0, 1020, 980, 55, 0, 8192},       // zoom off: full scale
        {1000, 20, 1000, 9, 5, 5, 0, 1020, 980, 0, 0, 8192},
    };
    for (const auto &c : cases) {
        setpoint = c.S;
        tolerance = c.T;
        Mvalue = c.M;
        anaMode = c.mode;
        anaMax = c.aMax;
        anaMin = c.aMin;
        SetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, c.zoom);
        PlotRAWGraphX8();
        const double want[HISTORY_TRACES] = {c.hi, c.lo, double(c.S), double(c.M), c.analog};
        for (int t = 1; t <= HISTORY_TRACES; t++) {
            double last = -1;
            ASSERT_EQ(GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, t, &last, 1), 1);
            EXPECT_EQ(last, want[t - 1]) << "trace " << t << " S " << c.S << " mode " << c.mode;
        }
        EXPECT_EQ(Axis(MAINPANEL_STRIPChart, VAL_LEFT_YAXIS), std::make_pair(c.zoomLo, c.zoomHi))
            << "S " << c.S << " T " << c.T;
    }
    const int colours[HISTORY_TRACES] = {0x008000, 0x008000, 0x000000, 0xFF0000, 0xFF0000};
    for (int t = 1; t <= HISTORY_TRACES; t++) {
        int colour = -1;
        GetTraceAttribute(pHandle, MAINPANEL_STRIPChart, t, ATTR_TRACE_COLOR, &colour);
        EXPECT_EQ(colour, colours[t - 1]) << "trace " << t;
    }
}

TEST_F(Plots, StripChartScrollsTheWholeHistory) {
    // A fresh history (zeros), then three frames: the screen holds 101 points per trace,
    // the last 100 being the history with the newest at the right.
    for (double &v : arrayNORM)
        v = 0;
    setpoint = 500;
    tolerance = 10;
    anaMode = 0;
    for (unsigned short m : {11, 12, 13}) {
        Mvalue = m;
        PlotRAWGraphX8();
    }
    double y[STRIP_POINTS_PER_SCREEN + 5];
    ASSERT_EQ(GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, 4, y, STRIP_POINTS_PER_SCREEN + 5),
              STRIP_POINTS_PER_SCREEN);
    for (int i = 1; i < STRIP_POINTS_PER_SCREEN - 3; i++)
        ASSERT_EQ(y[i], 0) << i;
    EXPECT_EQ(y[98], 11);
    EXPECT_EQ(y[99], 12);
    EXPECT_EQ(y[100], 13);
    EXPECT_EQ(arrayNORM[HISTORY_LEN - HISTORY_TRACES - 2], 12); // Mvalue of the frame before
}

TEST_F(Plots, BarGraphByModeAndEdges) {
    const int R = 0xFF0000, G = 0x00FF00;
    struct Case {
        const char *name;
        unsigned short mode, L, Rg, cnt, mvs, mve, S, T, pB, pE;
        double c;
        std::vector<Rect> rects;
    };
    // clang-format off
    const Case cases[] = {
        {"left edge", 0, 500, 900, 2, 0, 0, 600, 20, 1, 1535, 500,
         {{1, .25, 500, 1, R}, {900, .25, 1535, 1, R}, {580, 0, 620, .35, G}}},
        {"width mode", 2, 500, 900, 2, 0, 0, 400, 40, 1, 1535, 700,
         {{1, .25, 500, 1, R}, {900, .25, 1535, 1, R}, {480, 0, 520, .35, G}, {880, 0, 920, .35, G}}},
        // A missing edge puts the position at 1, raised to pixB; the first band's start is
        // raised to 1, its end is left as computed.
        {"width mode, no right edge", 2, 500, 0, 2, 0, 0, 400, 40, 30, 1535, 30,
         {{1, .25, 500, 1, R}, {0, .25, 1535, 1, R}, {1, 0, -150, .35, G}, {210, 0, 250, .35, G}}},
        {"width mode, no edges counted", 2, 500, 900, 0, 0, 0, 400, 40, 1, 1535, 700,
         {{1, .25, 500, 1, R}, {900, .25, 1535, 1, R}}},
        {"one edge, rising section", 1, 500, 900, 1, 10, 20, 10, 30, 1, 1535, 900,
         {{500, .25, 1535, 1, R}, {1, 0, 40, .35, G}}},
        {"one edge, falling section", 4, 500, 900, 1, 20, 10, 1500, 35, 1, 1535, 700,
         {{1, .25, 500, 1, R}, {1465, 0, 1535, .35, G}}},
        {"band end past the line", 0, 2000, 2000, 2, 0, 0, 1500, 36, 1, 1535, 1535,
         {{1, .25, 2000, 1, R}, {2000, .25, 1535, 1, R}, {1464, 0, 1536, .35, G}}},
        {"band start 0 stays", 0, 0, 0, 2, 0, 0, 20, 20, 1, 2000, 1,
         {{1, .25, 0, 1, R}, {0, .25, 2000, 1, R}, {0, 0, 40, .35, G}}},
        {"position past the line", 1, 10, 1800, 2, 0, 0, 600, 20, 1, 2000, 1536,
         {{1, .25, 10, 1, R}, {1800, .25, 2000, 1, R}, {580, 0, 620, .35, G}}},
    };
    // clang-format on
    for (const auto &c : cases) {
        evalMode = c.mode;
        Ledge = c.L;
        Redge = c.Rg;
        edcnt = c.cnt;
        mvstart = c.mvs;
        mvend = c.mve;
        setpoint = c.S;
        tolerance = c.T;
        pixB = c.pB;
        pixE = c.pE;
        edgeLeft = 111;
        edgeRight = 1222;
        Mcenter = static_cast<unsigned short>(c.L + 1);
        Mwidth = static_cast<unsigned short>(c.Rg + 2);
        videoMax = static_cast<unsigned short>(c.S + 3);
        jetMax = static_cast<unsigned short>(c.T + 4);
        jetArea = 100 * c.L;
        PlotVIDEOBarGraph();
        EXPECT_EQ(BarRects(), c.rects) << c.name;
        EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 1), std::make_pair(c.c, 0.75)) << c.name;
        EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 2), std::make_pair(111.0, 0.75));
        EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 3), std::make_pair(1222.0, 0.75));
        EXPECT_EQ(Axis(MAINPANEL_GRAPHBar, VAL_XAXIS), std::make_pair(1.0, 1536.0));
        const int displays[] = {MAINPANEL_NUMLedge, MAINPANEL_NUMRedge,    MAINPANEL_NUMCenter,
                                MAINPANEL_NUMWidth, MAINPANEL_NUMVideoMax, MAINPANEL_NUMJetMax};
        const int shown[] = {c.L, c.Rg, c.L + 1, c.Rg + 2, c.S + 3, c.T + 4};
        for (int k = 0; k < 6; k++)
            EXPECT_EQ(Display(pHandle, displays[k]), shown[k]) << c.name;
        EXPECT_EQ(Display(pJet, JETPANEL_NUMJetArea), 100 * c.L) << c.name;
    }
}

TEST_F(Plots, StartupAndRefreshDrawings) {
    PlotVIDEOBarGraph(); // something to clear
    setpoint = 512;
    tolerance = 600; // the band starts left of the line and is drawn so
    edgeLeft = 1;
    edgeRight = 1024;
    PlotBarGraphStartup();
    EXPECT_EQ(BarRects(), (std::vector<Rect>{{-88, 0, 1112, .25, 0x00FF00}}));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 1), std::make_pair(512.0, 1.0));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 2), std::make_pair(1.0, 1.0));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 3), std::make_pair(1024.0, 1.0));

    // The refresh adds a grey wipe and the band on top of what is there.
    ccdpixE = 100;
    setpoint = 300;
    tolerance = 50;
    edgeLeft = 20;
    PlotBarGraphRefresh();
    EXPECT_EQ(ccdpixE, 256);
    EXPECT_EQ(Axis(MAINPANEL_GRAPHBar, VAL_XAXIS), std::make_pair(1.0, 256.0));
    EXPECT_EQ(BarRects(), (std::vector<Rect>{{-88, 0, 1112, .25, 0x00FF00},
                                             {0, 0, 8192, 1, 0xA0A0A0},
                                             {250, 0, 350, .25, 0x00FF00}}));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 1), std::make_pair(512.0, 1.0));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 2), std::make_pair(20.0, 0.75));
    EXPECT_EQ(Cursor(MAINPANEL_GRAPHBar, 3), std::make_pair(1024.0, 0.75));
    EXPECT_EQ(GetGraphPlotCount(pHandle, MAINPANEL_GRAPHVideo), 2);
    ccdpixE = 1024;
}

} // namespace
