// Cost of the drawing that sits between two serial exchanges. RUN draws its frame before it
// asks for the next one, so the bar graph and the strip chart, repaint included, are on the
// critical path of a 38.5 ms exchange; a VIDEO cycle (384 ms on the line) adds the profile
// processing and the curve plot.
#include "devinfo.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "plots.h"
#include "processing.h"
#include "userint_readback.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr double BYTE_MS = 10.0 / 19200 * 1000;                               // 8N1 at 19200 baud
constexpr double RUN_EXCHANGE_MS = (38 + 36) * BYTE_MS;                       // request + reply
constexpr double VIDEO_CYCLE_MS = RUN_EXCHANGE_MS + 4 * (38 + 128) * BYTE_MS; // + 4 blocks

unsigned short rawProfile[PROFILE_LEN];

// A profile like the sensor's: a bright bell with a dark object that moves a little from
// frame to frame.
void MakeProfile(int frame) {
    const int left = 90 + frame % 20;
    for (int i = 0; i < PROFILE_LEN; i++) {
        double bell = 3000.0 * std::exp(-std::pow((i - 128) / 90.0, 2));
        rawProfile[i] = static_cast<unsigned short>(i >= left && i < left + 40 ? 60 : bell);
    }
}

void MeasurementFrame(int frame) {
    Ledge = static_cast<unsigned short>(500 + frame % 50);
    Redge = static_cast<unsigned short>(900 + frame % 30);
    Mvalue = static_cast<unsigned short>((Ledge + Redge) / 2);
    edcnt = 2;
    setpoint = 720;
    tolerance = 40;
    anaMax = 760;
    anaMin = 690;
}

// Runs the event loop until every graph has repainted since `before` and shown it.
void WaitRepaint(std::initializer_list<std::pair<int, int>> before) {
    for (;;) {
        bool done = true;
        for (auto [graph, count] : before)
            if (GetGraphRepaintCount(pHandle, graph) <= count) done = false;
        if (done) break;
        ProcessSystemEvents();
    }
    // The replot drew into the graphs' buffers; let the widgets put them on the screen.
    QCoreApplication::processEvents();
}

std::pair<int, int> Now(int graph) {
    return {graph, GetGraphRepaintCount(pHandle, graph)};
}

void VideoProcessing() {
    std::copy(rawProfile, rawProfile + PROFILE_LEN, adcbuf);
    SmoothCurve(adcbuf);
    NormCurve(adcbuf, thdArray);
    FindEdge(dArray);
}

void BM_VideoProcessing(benchmark::State &state) {
    int frame = 0;
    for (auto _ : state) {
        MakeProfile(frame++);
        VideoProcessing();
        benchmark::DoNotOptimize(Ledge);
    }
}

void BM_VideoCurve(benchmark::State &state) {
    for (auto _ : state) {
        auto before = Now(MAINPANEL_GRAPHVideo);
        PlotVIDEOCurve(adcbuf, thdArray, xArray8);
        WaitRepaint({before});
    }
}

void BM_JetCurve(benchmark::State &state) {
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHJet, ATTR_VISIBLE, 1);
    for (auto _ : state) {
        auto before = Now(MAINPANEL_GRAPHJet);
        PlotJETCurve(dArray, xArray8);
        WaitRepaint({before});
    }
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHJet, ATTR_VISIBLE, 0);
}

void BM_BarGraph(benchmark::State &state) {
    int frame = 0;
    for (auto _ : state) {
        MeasurementFrame(frame++);
        auto before = Now(MAINPANEL_GRAPHBar);
        PlotVIDEOBarGraph();
        WaitRepaint({before});
    }
}

void BM_StripChart(benchmark::State &state) {
    int frame = 0;
    for (auto _ : state) {
        MeasurementFrame(frame++);
        auto before = Now(MAINPANEL_STRIPChart);
        PlotRAWGraphX8();
        WaitRepaint({before});
    }
}

// One RUN frame as the RUN loop draws it: bar graph, then strip chart, then the repaints.
void BM_RunFrame(benchmark::State &state) {
    int frame = 0;
    for (auto _ : state) {
        MeasurementFrame(frame++);
        auto bar = Now(MAINPANEL_GRAPHBar), strip = Now(MAINPANEL_STRIPChart);
        PlotVIDEOBarGraph();
        PlotRAWGraphX8();
        WaitRepaint({bar, strip});
    }
}

// One VIDEO cycle's work on the PC: processing, video curve, bar graph, repaints.
void BM_VideoFrame(benchmark::State &state) {
    int frame = 0;
    for (auto _ : state) {
        MakeProfile(frame);
        MeasurementFrame(frame++);
        auto bar = Now(MAINPANEL_GRAPHBar), video = Now(MAINPANEL_GRAPHVideo);
        VideoProcessing();
        PlotVIDEOCurve(adcbuf, thdArray, xArray8);
        PlotVIDEOBarGraph();
        WaitRepaint({bar, video});
    }
}

// Keeps the mean wall time per iteration of each benchmark, in milliseconds.
class Recorder : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.iterations > 0)
                ms[r.benchmark_name()] = r.real_accumulated_time * 1e3 / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

BENCHMARK(BM_VideoProcessing);
BENCHMARK(BM_VideoCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JetCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripChart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VideoFrame)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL);
    pJet = LoadPanel(pHandle, PANEL_RESOURCE_FILE, JETPANEL);
    if (pHandle < 0 || pJet < 0) {
        std::fprintf(stderr, "draw_frame: cannot load the panels from %s\n", PANEL_RESOURCE_FILE);
        return 1;
    }
    DisplayPanel(pHandle);
    DisplayPanel(pJet);
    // The layout of RUN: strip chart shown; VIDEO's video graph shares its place but both
    // are kept visible here so that each repaints.
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_VISIBLE, 1);
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHVideo, ATTR_VISIBLE, 1);
    ccdsubpixel = 1536;
    pixB = 1;
    pixE = 1535;
    videoThreshold = 50;
    edgeLeft = 1;
    MakeProfile(0);
    std::copy(rawProfile, rawProfile + PROFILE_LEN, thdArray);
    for (int i = 100; i < 140; i++)
        thdArray[i] = 3000; // reference without the object
    SmoothCurve(thdArray);
    SmoothCurve(thdArray);
    ProcessSystemEvents();

    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();

    const double run = recorder.ms["BM_RunFrame"], video = recorder.ms["BM_VideoFrame"];
    std::printf("draw_frame: a RUN frame's drawing takes %.1f %% of its %.1f ms exchange, a "
                "VIDEO cycle's work %.1f %% of its %.1f ms on the line\n",
                100.0 * run / RUN_EXCHANGE_MS, RUN_EXCHANGE_MS, 100.0 * video / VIDEO_CYCLE_MS,
                VIDEO_CYCLE_MS);
    std::printf("draw_frame: run_frame_ms=%.3f video_frame_ms=%.3f\n", run, video);
    return 0;
}
