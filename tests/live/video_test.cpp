// VIDEO and the profile block transfer on the whole program against the simulated sensor.
#include "live_fixture.h"

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "measure.h"
#include "processing.h"
#include "userint.h"
#include "utility.h"
#include "videoblock.h"

#include <vector>

namespace {

SimSettings Fast() {
    SimSettings s;
    s.paced = false;
    return s;
}

std::vector<unsigned short> Live() { return std::vector<unsigned short>(adcbuf, adcbuf + PROFILE_LEN); }

std::vector<double> CurveY(int graph) {
    std::vector<double> x(PROFILE_LEN), y(PROFILE_LEN);
    int color = 0, width = 0;
    const int n = GetGraphCurve(pHandle, graph, 0, x.data(), y.data(), PROFILE_LEN, &color, &width);
    y.resize(n > 0 ? size_t(n) : 0);
    return y;
}

template <typename T> std::vector<double> AsDoubles(const T *a, int n) {
    return std::vector<double>(a, a + n);
}

} // namespace

TEST_F(LiveTest, VideoCyclesFetchFourBlocksEachAndShowTheSmoothedProfile) {
    const SimSettings s = Fast();
    SimSensor &sim = AddSensor(s);
    StartProgram();
    int dimmed = -1, strip = -1;
    When([&] { return sim.RequestCount(kSimBlock) >= 10; }, [&] {
        dimmed = Dimmed(pHandle, MAINPANEL_BTNRun) + Dimmed(pHandle, MAINPANEL_BTNVideo);
        strip = Visible(pHandle, MAINPANEL_STRIPChart);
        PressStop(); // while a cycle reads its blocks: the cycle still ends completely
    });
    RunLoop(MAINPANEL_BTNVideo);

    const int cycles = sim.RequestCount(kSimMeasure);
    EXPECT_EQ(3, cycles);
    EXPECT_EQ(4 * cycles, sim.RequestCount(kSimBlock));
    EXPECT_EQ(2, dimmed);
    EXPECT_EQ(0, strip);
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNVideo));

    const std::vector<unsigned short> expect = SmoothedProfile(s, unsigned(cycles));
    EXPECT_EQ(expect, Live());
    EXPECT_EQ(AsDoubles(adcbuf, PROFILE_LEN), CurveY(MAINPANEL_GRAPHVideo));
    int mode = -1;
    double lo = 0, hi = 0;
    GetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(VAL_MANUAL, mode);
    EXPECT_EQ(1.0, lo);
    EXPECT_EQ(double(ccdpixE), hi);
    GetAxisScalingMode(pHandle, MAINPANEL_GRAPHJet, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(double(ccdmaxpixelX8), hi);
    // Edges come from the profile: multiples of 6.
    EXPECT_EQ(0, Ledge % SUBPIXELS_PER_INDEX);
    EXPECT_EQ(0, Redge % SUBPIXELS_PER_INDEX);

    // The block requests on the wire: start index, selector 0, nothing else.
    const SimFrame last = sim.LastRequest();
    ASSERT_EQ(size_t(kSimRequestLen), last.size());
    std::vector<unsigned short> block(kSimWords, 0);
    block[0] = 192;
    EXPECT_EQ(CMD_VIDEO_BLOCK, Command(last));
    EXPECT_EQ(block, Payload(last));
}

// Answers of the wrong length: a short block times out, a long one is dropped at once; in
// both cases nothing of it is stored and the rest of that cycle's blocks are not asked for.
TEST_F(LiveTest, AShortOrALongBlockIsDroppedAndTheCycleGoesOn) {
    struct Case {
        int length;
        double minSeconds, maxSeconds;
        const char *status;
    };
    const Case cases[] = {
        {127, 1.5, 2.5, "Timeout-RS-232 while reading 64 data-words!"},
        {130, 0.0, 1.0, "Data[64] block too long - dropped!"},
    };
    const SimSettings s = Fast();
    SimSensor &sim = AddSensor(s);
    StartProgram();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        for (int i = 0; i < PROFILE_LEN; i++) adcbuf[i] = 7;
        RemoveRxCallback();
        const double t0 = Timer();
        sim.AddFault({SimFaultKind::ReplyLength, kSimBlock, c.length, 1});
        EXPECT_EQ(0, ReadData64(64, 0));
        EXPECT_GE(Timer() - t0, c.minSeconds);
        EXPECT_LT(Timer() - t0, c.maxSeconds);
        EXPECT_EQ(c.status, Status());
        EXPECT_EQ(std::vector<unsigned short>(PROFILE_LEN, 7), Live());
        // The next block is read whole and in place: nothing of the bad answer is left.
        EXPECT_EQ(1, ReadData64(192, 0));
        EXPECT_EQ("Data[64] block received!", Status());
        InstallRxCallback();
        const std::vector<unsigned short> raw = [&] {
            SimModel model(s);
            std::vector<uint16_t> p = model.Profile(0);
            return std::vector<unsigned short>(p.begin(), p.end());
        }();
        EXPECT_EQ(std::vector<unsigned short>(raw.begin() + 192, raw.end()),
                  std::vector<unsigned short>(adcbuf + 192, adcbuf + PROFILE_LEN));
        EXPECT_EQ(7, adcbuf[0]);
    }

    // Inside VIDEO: the cycle with the bad first block asks for no further block.
    sim.AddFault({SimFaultKind::ReplyLength, kSimBlock, 130, 1});
    const int before = sim.RequestCount(kSimBlock);
    When([&] { return sim.RequestCount(kSimMeasure) >= 3; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNVideo);
    EXPECT_EQ(4 * sim.RequestCount(kSimMeasure) - 3, sim.RequestCount(kSimBlock) - before);
    EXPECT_EQ(SmoothedProfile(s, unsigned(sim.RequestCount(kSimMeasure))), Live());
}

TEST_F(LiveTest, TheDataTypeRingDuringVideoSwitchesToTheJetCurveFromTheNextCycle) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    int at = 0;
    When([&] { return sim.RequestCount(kSimMeasure) >= 2; }, [&] {
        SetCtrlVal(pHandle, MAINPANEL_DROPdatatype, 1);
        SimulateCtrlEvent(pHandle, MAINPANEL_DROPdatatype, EVENT_VAL_CHANGED, 0, 0);
        at = sim.RequestCount(kSimMeasure);
    });
    When([&] { return at > 0 && sim.RequestCount(kSimMeasure) >= at + 2; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNVideo);
    EXPECT_EQ(1, Visible(pHandle, MAINPANEL_GRAPHJet));
    EXPECT_EQ(0, Visible(pHandle, MAINPANEL_GRAPHVideo));
    EXPECT_EQ(AsDoubles(dArray, PROFILE_LEN), CurveY(MAINPANEL_GRAPHJet));
    EXPECT_GT(GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar), 0);
}

// STOP enables VIDEO at once while the cycle still reads its blocks; pressing VIDEO then
// keeps VIDEO going rather than failing.
TEST_F(LiveTest, VideoPressedAgainRightAfterStopGoesOn) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    When([&] { return sim.RequestCount(kSimBlock) >= 2; }, [] {
        PressStop();
        Press(pHandle, MAINPANEL_BTNVideo);
    });
    When([&] { return sim.RequestCount(kSimMeasure) >= 4; }, [] { PressStop(); });
    const double t0 = Timer();
    RunLoop(MAINPANEL_BTNVideo);
    EXPECT_LT(Timer() - t0, 1.0);
    EXPECT_EQ(4, sim.RequestCount(kSimMeasure));
    EXPECT_EQ(16, sim.RequestCount(kSimBlock));
    EXPECT_EQ("Data[64] block received!", Status());
}

TEST_F(LiveTest, AHangUpDuringVideoEndsItAndAnotherPortWorks) {
    SimSensor &first = AddSensor(Fast(), 1);
    StartProgram();
    // Hang up on the second block request of the second cycle.
    first.AddFault({SimFaultKind::HangUp, 0, first.RequestCount() + 5 + 1 + 1, -1});
    // The cycles before the hang-up take a few milliseconds.
    const double t0 = Timer();
    RunLoop(MAINPANEL_BTNVideo);
    EXPECT_TRUE(first.HungUp());
    EXPECT_LT(Timer() - t0, 1.6);
    EXPECT_EQ("Timeout RS232-Line!", Status());
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNVideo));

    SimSettings s2 = Fast();
    s2.firmware = "SPARE SENSOR";
    SimSensor &second = AddSensor(s2, 2);
    SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
    Press(pHandle, MAINPANEL_DropDCom);
    EXPECT_EQ("SPARE SENSOR", Status());
    When([&] { return second.RequestCount(kSimMeasure) >= 2; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNVideo);
    EXPECT_EQ(8, second.RequestCount(kSimBlock));
}
