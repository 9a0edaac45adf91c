// What the three displays hand to the real main-panel widgets, read back from them.
#include "devinfo.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "plots.h"
#include "processing.h"
#include "userint_readback.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

using Rect = std::array<double, 5>; // x1, y1, x2, y2, colour of frame and fill
using Point = std::pair<double, double>;
constexpr int R = 0xFF0000, G = 0x00FF00;

class Plots : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL); }
    void SetUp() override {
        ASSERT_GT(pHandle, 0);
        ccdmaxpixelX8 = 8192, ccdsubpixel = 1536;
    }
    static void Band(int zoom, unsigned short S, unsigned short T) {
        SetCtrlVal(pHandle, MAINPANEL_SWITCHZoom, zoom);
        setpoint = S, tolerance = T;
    }
    static Point Cursor(int graph, int n) {
        Point p{-1, -1};
        GetGraphCursor(pHandle, graph, n, &p.first, &p.second);
        return p;
    }
    static std::vector<Point> Cursors(int g) { return {Cursor(g, 1), Cursor(g, 2), Cursor(g, 3)}; }
    static Point Axis(int graph, int axis) {
        int mode = -1;
        Point p{-1, -1};
        GetAxisScalingMode(pHandle, graph, axis, &mode, &p.first, &p.second);
        return p;
    }
    struct Curve {
        std::vector<double> x = std::vector<double>(PROFILE_LEN + 1), y = x;
        int colour = -1, width = 0;
    };
    static Curve GetCurve(int graph, int index) {
        Curve c;
        const int n = GetGraphCurve(pHandle, graph, index, c.x.data(), c.y.data(), PROFILE_LEN + 1,
                                    &c.colour, &c.width);
        c.x.resize(size_t(n)), c.y.resize(size_t(n));
        return c;
    }
};

// Live red, frozen dark green (its maximum, element 256, no point), thick; a plot replaces.
TEST_F(Plots, VideoGraphShowsLiveRedAndFrozenDarkGreen) {
    unsigned short curves[2][PROFILE_LEN + 1];
    std::vector<double> x(PROFILE_LEN);
    std::iota(curves[0], curves[0] + PROFILE_LEN, 0);
    std::iota(curves[1], curves[1] + PROFILE_LEN, 700);
    std::iota(x.begin(), x.end(), 1.5);
    curves[1][PROFILE_LEN] = 60000;
    YAXISMAX = 256;
    PlotVIDEOCurve(curves[0], curves[1], x.data());
    PlotVIDEOCurve(curves[0], curves[1], x.data());
    ASSERT_EQ(2, GetGraphPlotCount(pHandle, MAINPANEL_GRAPHVideo));
    for (int k = 0; k < 2; k++) {
        const Curve c = GetCurve(MAINPANEL_GRAPHVideo, k);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(std::vector<double>(curves[k], curves[k] + PROFILE_LEN), c.y);
        EXPECT_EQ(std::make_pair(k ? 0x008000 : 0xFF0000, true),
                  std::make_pair(c.colour, c.width >= 2));
    }
    EXPECT_EQ(Point(0, 256), Axis(MAINPANEL_GRAPHVideo, VAL_LEFT_YAXIS));
    YAXISMAX = 1024;
}

// Cursor 1 on the maximum (idxMax 0 taken as 1) stays on the zoomed axis; no point clipped.
TEST_F(Plots, JetCurveCursorAndZoom) {
    // clang-format off
    for (auto [zoom, idx, peak, cursorX, cursorY, top] :
         {std::tuple{0, 0, 70, 6, 70, 100}, {1, 40, 90, 240, 50, 50}, {0, 255, 30, 1530, 30, 100}}) {
        // clang-format on
        const int at = idx == 0 ? 1 : idx;
        short curve[PROFILE_LEN] = {};
        curve[at] = short(peak);
        Band(zoom, 0, 0);
        idxMax = static_cast<unsigned short>(idx);
        PlotJETCurve(curve, xArray8);
        const Curve c = GetCurve(MAINPANEL_GRAPHJet, 0);
        EXPECT_EQ(std::make_tuple(at, 1, R, double(peak), Point(cursorX, cursorY), Point(0, top)),
                  std::make_tuple(int(idxMax), GetGraphPlotCount(pHandle, MAINPANEL_GRAPHJet),
                                  c.colour, c.y.at(size_t(at)), Cursor(MAINPANEL_GRAPHJet, 1),
                                  Axis(MAINPANEL_GRAPHJet, VAL_LEFT_YAXIS)));
    }
}

// The band S -/+ T held within 1 .. 8191, setpoint, Mvalue, the analog value anaMode picks
// (maximum, minimum with its reset value 8191 as 1, or 0); the zoom around the band.
TEST_F(Plots, StripChartLastFrameAndZoom) {
    // clang-format off
    for (auto [zoom, S, T, M, mode, aMax, aMin, last, axis] : {
             std::tuple{1, 1000, 60, 900, 2, 3000, 0, std::vector<double>{1060, 940, 1000, 900, 3000}, Point(760, 1240)},
             {1, 10, 30, 10, 5, 77, 0, {40, 1, 10, 10, 77}, {1, 210}},
             {1, 8100, 200, 8150, 7, 0, 0, {8191, 7900, 8100, 8150, 8150}, {7300, 8191}},
             {1, 1000, 20, 700, 3, 0, 8191, {1020, 980, 1000, 700, 1}, {600, 1200}},
             {0, 1000, 20, 1000, 9, 5, 5, {1020, 980, 1000, 1000, 0}, {0, 8192}}}) {
        // clang-format on
        Band(zoom, S, T);
        Mvalue = M, anaMode = mode, anaMax = aMax, anaMin = aMin;
        PlotRAWGraphX8();
        std::vector<double> got(HISTORY_TRACES);
        for (int t = 1; t <= HISTORY_TRACES; t++)
            GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, t, &got[size_t(t - 1)], 1);
        EXPECT_EQ(last, got) << mode;
        EXPECT_EQ(axis, Axis(MAINPANEL_STRIPChart, VAL_LEFT_YAXIS)) << mode;
    }
}

// Red covered segments, green bands; cursor 1 at the position (a missing edge: 1, or pixB).
TEST_F(Plots, BarGraphByEvaluationMode) {
    // clang-format off
    for (auto [mode, S, T, L, Rg, cnt, mvs, mve, first, position, rects] : {
             std::tuple{0, 600, 20, 500, 900, 2, 0, 0, 1, 500, std::vector<Rect>{{1, .25, 500, 1, R}, {900, .25, 1535, 1, R}, {580, 0, 620, .35, G}}},
             {2, 400, 40, 500, 900, 2, 0, 0, 1, 700, {{1, .25, 500, 1, R}, {900, .25, 1535, 1, R}, {480, 0, 520, .35, G}, {880, 0, 920, .35, G}}},
             {2, 400, 40, 500, 0, 2, 0, 0, 30, 30, {{1, .25, 500, 1, R}, {0, .25, 1535, 1, R}, {1, 0, -150, .35, G}, {210, 0, 250, .35, G}}},
             {1, 10, 30, 500, 900, 1, 10, 20, 1, 900, {{500, .25, 1535, 1, R}, {1, 0, 40, .35, G}}},
             {4, 1500, 35, 500, 900, 1, 20, 10, 1, 700, {{1, .25, 500, 1, R}, {1465, 0, 1535, .35, G}}}}) {
        // clang-format on
        Band(0, S, T);
        evalMode = mode, Ledge = L, Redge = Rg, edcnt = cnt, mvstart = mvs, mvend = mve;
        pixB = first, pixE = 1535, edgeLeft = 111, edgeRight = 1222;
        PlotVIDEOBarGraph();
        std::vector<Rect> got(size_t(GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar)));
        for (size_t i = 0; i < got.size(); i++) {
            int colour = -1, fill = -2;
            GetGraphRectangle(pHandle, MAINPANEL_GRAPHBar, int(i), &got[i][0], &got[i][1],
                              &got[i][2], &got[i][3], &colour, &fill);
            got[i][4] = colour == fill ? colour : -1;
        }
        EXPECT_EQ(rects, got) << mode;
        EXPECT_EQ((std::vector<Point>{{position, .75}, {111, .75}, {1222, .75}}),
                  Cursors(MAINPANEL_GRAPHBar))
            << mode;
        EXPECT_EQ(Point(1, 1536), Axis(MAINPANEL_GRAPHBar, VAL_XAXIS));
    }
}
