// The parameter panels on the running program: edge entries and their cursors, the
// hardware-mode dimming, the help bubbles, the bar-graph elements drawn from the words, and
// one-shot exchanges next to a running RUN loop.
#include "link_fixture.h"

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "params.h"
#include "popup.h"
#include "userint.h"
#include "utility.h"

namespace {

class PanelsTest : public LinkTest {
  protected:
    SimSensor *sim_ = nullptr;
    void StartWith(SimSettings s) {
        s.eeprom = DistinctWords();
        sim_ = &AddSensor(s);
        ASSERT_TRUE(StartProgram());
    }
    void SetUp() override {
        LinkTest::SetUp();
        StartWith(SimSettings()); // type 1: edges limited to 1 .. 1024
    }
};

double CursorX(int cursor) {
    double x = -1, y = -1;
    GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, cursor, &x, &y);
    return x;
}

} // namespace

TEST_F(PanelsTest, EdgeEntriesAreClampedToThePixelRangeAndMoveTheirCursors) {
    ASSERT_EQ(pixB, 1);
    ASSERT_EQ(pixE, 1024);
    struct Case {
        int control, cursor;
        unsigned short entered, shown;
        int word; // -1: the word keeps its value (an entry inside the range)
    };
    const Case cases[] = {
        {PARA2_NEDITEdgeLeft, 2, 0, 1, 1},          {PARA2_NEDITEdgeLeft, 2, 1024, 1024, -1},
        {PARA2_NEDITEdgeLeft, 2, 2000, 1023, 1023}, {PARA2_NEDITEdgeRight, 3, 2000, 1024, 1024},
        {PARA2_NEDITEdgeRight, 3, 0, 2, 2},         {PARA2_NEDITEdgeRight, 3, 1, 1, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.control << " " << c.entered);
        const int index = c.control == PARA2_NEDITEdgeLeft ? PW_edgeLeft : PW_edgeRight;
        parameter[PARAM_HEADER + index] = 555;
        SetCtrlVal(pPara2, c.control, c.entered);
        Click(pPara2, c.control, EVENT_COMMIT);
        unsigned short shown = 0;
        GetCtrlVal(pPara2, c.control, &shown);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(WordOf(index), c.word < 0 ? 555 : c.word);
        EXPECT_DOUBLE_EQ(CursorX(c.cursor), c.shown);
    }
}

TEST_F(PanelsTest, HardwareModeOneOrThreeEnablesTheToleranceEntry) {
    for (unsigned short mode : {0, 1, 2, 3}) {
        SetCtrlVal(pPara1, PARA1_DROPHardwareMode, mode);
        Click(pPara1, PARA1_DROPHardwareMode, EVENT_COMMIT);
        EXPECT_EQ(Dimmed(pPara1, PARA1_NEDITTolerance), (mode == 1 || mode == 3) ? 0 : 1) << mode;
    }
}

TEST_F(PanelsTest, RightClickShowsEachControlsHelpInItsBox) {
    struct Case {
        int *panel;
        int control, box;
        const char *text;
    };
    const Case cases[] = {
        {&pHandle, MAINPANEL_DropDCom, MAINPANEL_HelpText2, HELP_DropDCom},
        {&pHandle, MAINPANEL_BTNGet, MAINPANEL_HelpText1, HELP_BTNGet},
        {&pHandle, MAINPANEL_BTNSend, MAINPANEL_HelpText1, HELP_BTNSend},
        {&pPara1, PARA1_DROPEvalMode, MAINPANEL_HelpText1, HELP_DROPEvalMode},
        {&pPara1, PARA1_DROPHardwareMode, MAINPANEL_HelpText1, HELP_DROPHardwareMode},
        {&pPara1, PARA1_DROPrs232Mode, MAINPANEL_HelpText1, HELP_DROPrs232Mode},
        {&pPara1, PARA1_DROPopMode, MAINPANEL_HelpText1, HELP_DROPopMode},
        {&pPara1, PARA1_DROPpolarity, MAINPANEL_HelpText1, HELP_DROPpolarity},
        {&pPara1, PARA1_DROPaverage, MAINPANEL_HelpText2, HELP_DROPaverage},
        {&pPara1, PARA1_RINGanaMode, MAINPANEL_HelpText1, HELP_RINGanaMode},
        {&pPara1, PARA1_NEDITTolerance, MAINPANEL_HelpText1, HELP_NEDITTolerance},
        {&pPara1, PARA1_NUMtolDelta, MAINPANEL_HelpText1, HELP_NUMtolDelta},
        {&pPara2, PARA2_SLIDEpower, MAINPANEL_HelpText1, HELP_SLIDEpower},
        {&pPara2, PARA2_SLIDEVideoThreshold, MAINPANEL_HelpText1, HELP_SLIDEVideoThreshold},
    };
    const std::string status = Status();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SetCtrlAttribute(pHandle, c.box, ATTR_VISIBLE, 0);
        Click(*c.panel, c.control, EVENT_RIGHT_CLICK);
        char text[1024] = {};
        GetCtrlVal(pHandle, c.box, text);
        EXPECT_STREQ(text, c.text);
        int visible = -1;
        GetCtrlAttribute(pHandle, c.box, ATTR_VISIBLE, &visible);
        EXPECT_EQ(visible, 1);
        Click(*c.panel, c.control, EVENT_RIGHT_CLICK);
        GetCtrlAttribute(pHandle, c.box, ATTR_VISIBLE, &visible);
        EXPECT_EQ(visible, 0);
    }
    // Help is no exchange: nothing was sent, the status line is as it was.
    EXPECT_EQ(sim_->RequestCount(), 4);
    EXPECT_EQ(Status(), status);
}

TEST_F(PanelsTest, GetDrawsTheToleranceBandFromTheNewWords) {
    SimWords ram = DistinctWords();
    ram[PW_setpoint] = 50;
    ram[PW_tolerance] = 100;
    sim_->SetRam(ram);
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    // The newest rectangle is the green band setpoint -/+ tolerance, taken as signed.
    const int n = GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar);
    ASSERT_GT(n, 0);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int color = 0, fill = 0;
    ASSERT_EQ(GetGraphPlotKind(pHandle, MAINPANEL_GRAPHBar, n - 1), PLOT_KIND_RECTANGLE);
    GetGraphRectangle(pHandle, MAINPANEL_GRAPHBar, n - 1, &x1, &y1, &x2, &y2, &color, &fill);
    EXPECT_DOUBLE_EQ(x1, -50);
    EXPECT_DOUBLE_EQ(x2, 150);
    EXPECT_DOUBLE_EQ(y2, 0.25);
    EXPECT_EQ(fill, 0x00FF00);
    EXPECT_DOUBLE_EQ(CursorX(2), ram[PW_edgeLeft]);
    EXPECT_DOUBLE_EQ(CursorX(3), ram[PW_edgeRight]);
}

// ---- one-shot exchanges and the RUN loop ----------------------------------------------------

TEST_F(PanelsTest, RunIsNotStartedWhileAGetWaits) {
    SimFault f;
    f.kind = SimFaultKind::NoReply;
    f.command = 2;
    sim_->AddFault(f);
    Later(300, [] {
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNRun, EVENT_COMMIT, 0, 0);
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNVideo, EVENT_COMMIT, 0, 0);
    });
    Later(3000, [] { stop_flag = 1; }); // ends a loop that should not have started
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(sim_->RequestCount(8), 0);
    EXPECT_EQ(sim_->RequestCount(9), 0);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
}

TEST_F(PanelsTest, ExchangesStartedDuringRunGoThroughAndNeverTakeAMeasurementAsWords) {
    // Paced like the real line, so the loop's own replies are on the wire when GET starts.
    sim_->SetPaced(true);
    const SimWords ram = DistinctWords();
    for (int round = 0; round < 4; round++) {
        SCOPED_TRACE(round);
        const int gets = sim_->RequestCount(2);
        const int resets = sim_->RequestCount(11);
        for (int i = 0; i < PNUM; i++)
            parameter[PARAM_HEADER + i] = ram[i];
        Later(250 + 17 * round,
              [] { SimulateCtrlEvent(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT, 0, 0); });
        Later(900 + 13 * round,
              [] { SimulateCtrlEvent(pPara1, PARA1_ButtonReset, EVENT_COMMIT, 0, 0); });
        Later(1600, [] { SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_COMMIT, 0, 0); });
        Click(pHandle, MAINPANEL_BTNRun, EVENT_COMMIT);
        EXPECT_GT(sim_->RequestCount(8), 0);
        EXPECT_EQ(sim_->RequestCount(2), gets + 1);
        EXPECT_EQ(sim_->RequestCount(11), resets + 1);
        // The GET either brought the sensor's RAM set or timed out; a measurement frame
        // never became the parameter words. (RUN itself writes setpoint and tolerance.)
        for (int i = 0; i < PNUM; i++) {
            if (i == PW_setpoint || i == PW_tolerance) continue;
            EXPECT_EQ(WordOf(i), ram[i]) << "word " << i;
        }
    }
}
