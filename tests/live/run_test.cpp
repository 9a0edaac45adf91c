// RUN on the whole program against the simulated sensor: the frames on the wire, the
// displays, how RUN ends, and commands pressed while it runs.
#include "live_fixture.h"

#include "com232.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "plots.h"
#include "processing.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <algorithm>

namespace {

SimSettings Fast() {
    SimSettings s;
    s.paced = false;
    return s;
}

int CountOf(const std::vector<double> &v, double x) { return int(std::count(v.begin(), v.end(), x)); }

} // namespace

TEST_F(LiveTest, RunShowsFramesUntilStopAndEveryRequestCarriesTheParameterWords) {
    SimSettings s = Fast();
    s.eeprom[kSimSetpoint] = 613; // a setpoint no other test uses, to count drawn frames
    s.eeprom[kSimTolerance] = 40;
    SimSensor &sim = AddSensor(s);
    StartProgram();
    SetCtrlVal(pHandle, MAINPANEL_RBTEeprom, 1);
    target = EEPROM;
    std::fill(arrayNORM, arrayNORM + HISTORY_LEN, 0.0); // the history outlives a start-up

    int dimmedRun = -1, dimmedVideo = -1, stripShown = -1, videoShown = -1;
    When([&] { return sim.RequestCount(kSimMeasure) >= 10; }, [&] {
        dimmedRun = Dimmed(pHandle, MAINPANEL_BTNRun);
        dimmedVideo = Dimmed(pHandle, MAINPANEL_BTNVideo);
        stripShown = Visible(pHandle, MAINPANEL_STRIPChart);
        videoShown = Visible(pHandle, MAINPANEL_GRAPHVideo);
        // The sensor's setpoint and tolerance change (a teach at the sensor's button).
        SimWords ram = sim.Ram();
        ram[kSimSetpoint] = 655;
        ram[kSimTolerance] = 45;
        sim.SetRam(ram);
    });
    When([&] { return sim.RequestCount(kSimMeasure) >= 30; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNRun);

    EXPECT_EQ(1, dimmedRun);
    EXPECT_EQ(1, dimmedVideo);
    EXPECT_EQ(1, stripShown);
    EXPECT_EQ(0, videoShown);
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNRun));
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNVideo));
    EXPECT_EQ(0, Dimmed(pPara2, PARA2_ButtonTeach));
    EXPECT_EQ(RAM, target);
    int ram = 0;
    GetCtrlVal(pHandle, MAINPANEL_RBTRam, &ram);
    EXPECT_EQ(1, ram);

    // Setpoint and tolerance follow the sensor, and the last request carried them with
    // the other parameter words.
    EXPECT_EQ(655, setpoint);
    EXPECT_EQ(45, tolerance);
    const SimFrame last = sim.LastRequest();
    ASSERT_EQ(size_t(kSimRequestLen), last.size());
    EXPECT_EQ(CMD_RAW_FRAME, Command(last));
    EXPECT_EQ(Words(), Payload(last));
    EXPECT_EQ(0, last[36]);
    EXPECT_EQ(0, last[37]);

    // Every reply but the first (and perhaps the one in flight at STOP) was drawn.
    const int requests = sim.RequestCount(kSimMeasure);
    const std::vector<double> sp = Trace(3);
    const int drawn = CountOf(sp, 613) + CountOf(sp, 655);
    EXPECT_GE(drawn, requests - 2);
    EXPECT_LE(drawn, requests - 1);
    EXPECT_EQ(Mvalue, Trace(4).back());
    unsigned short shown = 0;
    GetCtrlVal(pHandle, MAINPANEL_NUMLedge, &shown);
    EXPECT_EQ(Ledge, shown);
    EXPECT_NE(0, Ledge);
    EXPECT_EQ(0, rx_flag);
    EXPECT_EQ(0, graphrefresh);
    EXPECT_EQ(1, stop_flag);

    // RUN can be started again after STOP.
    const int before = sim.RequestCount(kSimMeasure);
    When([&] { return sim.RequestCount(kSimMeasure) >= before + 5; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_GE(sim.RequestCount(kSimMeasure), before + 5);
}

TEST_F(LiveTest, RunAgainstASilentSensorEndsAfterTwoTimeOuts) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    sim.AddFault({SimFaultKind::NoReply, kSimMeasure, 0, -1});
    const double t0 = Timer();
    RunLoop(MAINPANEL_BTNRun);
    const double took = Timer() - t0;
    EXPECT_GT(took, 2.9);
    EXPECT_LT(took, 3.5);
    EXPECT_EQ("Timeout RS232-Line!", Status());
    EXPECT_EQ(1, sim.RequestCount(kSimMeasure)); // nothing more is sent without a reply
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNRun));
}

TEST_F(LiveTest, APortChangeEndsRunAndTheNewPortWorks) {
    SimSensor &first = AddSensor(Fast(), 1);
    SimSettings s2 = Fast();
    s2.firmware = "SECOND SENSOR";
    SimSensor &second = AddSensor(s2, 2);
    StartProgram();
    When([&] { return first.RequestCount(kSimMeasure) >= 5; }, [] {
        SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
        SimulateCtrlEvent(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT, 0, 0);
    });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_EQ(2, com);
    EXPECT_EQ("SECOND SENSOR", Status()); // the probe's text, not a time-out of RUN
    EXPECT_EQ(0, second.RequestCount(kSimMeasure));
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNRun));

    When([&] { return second.RequestCount(kSimMeasure) >= 5; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_GE(second.RequestCount(kSimMeasure), 5);
}

TEST_F(LiveTest, ClosingTheMainPanelEndsRunAtOnce) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    double closedAt = 0;
    When([&] { return sim.RequestCount(kSimMeasure) >= 5; }, [&] {
        closedAt = Timer();
        CC_PANEL(pHandle, EVENT_CLOSE, nullptr, 0, 0);
    });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_LT(Timer() - closedAt, 0.2);
    EXPECT_EQ(1, stop_flag);
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNRun));
}

// A hang-up (adapter pulled) during RUN: a status text soon, the program idle, and another
// port works.
TEST_F(LiveTest, AHangUpDuringRunEndsItAndAnotherPortWorks) {
    SimSensor &first = AddSensor(Fast(), 1);
    StartProgram();
    first.AddFault({SimFaultKind::HangUp, 0, first.RequestCount() + 10, -1});
    // The ten frames before the hang-up take a few milliseconds.
    const double t0 = Timer();
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_TRUE(first.HungUp());
    EXPECT_LT(Timer() - t0, 1.6);
    EXPECT_EQ("Timeout RS232-Line!", Status());
    EXPECT_EQ(0, Dimmed(pHandle, MAINPANEL_BTNRun));

    SimSettings s2 = Fast();
    s2.firmware = "SPARE SENSOR";
    SimSensor &second = AddSensor(s2, 2);
    SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
    Press(pHandle, MAINPANEL_DropDCom);
    EXPECT_EQ("SPARE SENSOR", Status());
    When([&] { return second.RequestCount(kSimMeasure) >= 5; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_GE(second.RequestCount(kSimMeasure), 5);
}

// GET, TEACH and SEND pressed while RUN runs: RUN neither draws their replies as
// measurement frames nor stops, and goes on asking.
TEST_F(LiveTest, GetTeachAndSendDuringRunLeaveRunGoingOn) {
    SimSettings s; // paced like the real line, so that requests and replies overlap
    s.eeprom[kSimEvalMode] = 2; // would show as the setpoint if a GET reply were drawn
    SimSensor &sim = AddSensor(s);
    StartProgram();
    ASSERT_EQ(2, evalMode);
    SimWords changed = sim.Ram();
    int afterGet = 0, afterTeach = 0;
    When([&] { return sim.RequestCount(kSimMeasure) >= 5; }, [&] {
        changed[kSimPower] = 321;
        sim.SetRam(changed);
        Press(pHandle, MAINPANEL_BTNGet);
        afterGet = sim.RequestCount(kSimMeasure);
    });
    When([&] { return afterGet > 0 && sim.RequestCount(kSimMeasure) >= afterGet + 5; }, [&] {
        Press(pPara2, PARA2_ButtonTeach);
        afterTeach = sim.RequestCount(kSimMeasure);
    });
    int afterSend = 0;
    When([&] { return afterTeach > 0 && sim.RequestCount(kSimMeasure) >= afterTeach + 5; }, [&] {
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK, 0, 0);
        afterSend = sim.RequestCount(kSimMeasure);
    });
    When([&] { return afterSend > 0 && sim.RequestCount(kSimMeasure) >= afterSend + 5; },
         [] { PressStop(); });
    const double t0 = Timer();
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_LT(Timer() - t0, 3.0); // no time-out on the way
    EXPECT_EQ(3, sim.RequestCount(kSimReadRam)); // start-up, the GET, the one after TEACH
    EXPECT_EQ(1, sim.RequestCount(kSimTeach));
    EXPECT_EQ(1, sim.RequestCount(kSimWriteRam));
    EXPECT_EQ(321, power);
    EXPECT_NE("Timeout RS232-Line!", Status());
    EXPECT_EQ(0, CountOf(Trace(3), 2));
}

TEST_F(LiveTest, TheDataTypeRingDuringRunShowsACurveGraphWhileRunGoesOn) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    int strip = -1, video = -1, jet = -1, zoomDimmed = -1, at = 0;
    When([&] { return sim.RequestCount(kSimMeasure) >= 5; }, [&] {
        SetCtrlVal(pHandle, MAINPANEL_DROPdatatype, 1);
        SimulateCtrlEvent(pHandle, MAINPANEL_DROPdatatype, EVENT_VAL_CHANGED, 0, 0);
        strip = Visible(pHandle, MAINPANEL_STRIPChart);
        video = Visible(pHandle, MAINPANEL_GRAPHVideo);
        jet = Visible(pHandle, MAINPANEL_GRAPHJet);
        zoomDimmed = Dimmed(pHandle, MAINPANEL_SWITCHZoom);
        at = sim.RequestCount(kSimMeasure);
    });
    When([&] { return at > 0 && sim.RequestCount(kSimMeasure) >= at + 5; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNRun);
    EXPECT_EQ(0, strip);
    EXPECT_EQ(0, video);
    EXPECT_EQ(1, jet);
    EXPECT_EQ(0, zoomDimmed);
    EXPECT_GE(sim.RequestCount(kSimMeasure), at + 5);

    SetCtrlVal(pHandle, MAINPANEL_DROPdatatype, 0);
    SimulateCtrlEvent(pHandle, MAINPANEL_DROPdatatype, EVENT_VAL_CHANGED, 0, 0);
    EXPECT_EQ(1, Visible(pHandle, MAINPANEL_GRAPHVideo));
    EXPECT_EQ(0, Visible(pHandle, MAINPANEL_GRAPHJet));
    EXPECT_EQ(1, Dimmed(pHandle, MAINPANEL_SWITCHZoom));
}
