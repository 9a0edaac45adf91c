// GET, SEND, TEACH and RESET against the simulated sensor, one one-shot exchange at a time,
// and the panels' edge entries and hardware-mode dimming (exchanges during RUN: live tests).
#include "link_fixture.h"

using TransferTest = LinkTest;
static const char kGetText[] = "Parameter-frame received! - Line Ok!";

TEST_F(TransferTest, GetMendsTheWordsAndSendWritesThePanelValuesToRamOrEeprom) {
    // Every checked word out of range and its mends; each control set to a value it did not show
    // (words 12 and 13 have none and go out as the GET left them).
    const Words16 wild = {1001, 2, 5, 8, 2, 9, 1600, 0, 700, 0, 1, 7, 0, 4242, 2000, 1234};
    const Words16 mended = {500, 0, 10, 0, 1, 4, 1, 1, 700, 1, 1, 3, 1, 4242, 1024, 1234};
    // clang-format off
    const std::tuple<int *, int, int> entries[] = {
        {&pPara2, PARA2_SLIDEpower, 301},    {&pPara1, PARA1_DROPrs232Mode, 1},   {&pPara2, PARA2_SLIDEVideoThreshold, 250},
        {&pPara1, PARA1_RINGanaMode, 5},     {&pPara1, PARA1_DROPpolarity, 0},    {&pPara1, PARA1_DROPEvalMode, 3},
        {&pPara2, PARA2_NEDITEdgeLeft, 5},   {&pPara2, PARA2_NEDITEdgeRight, 800}, {&pPara2, PARA2_NUMSetpoint, 601},
        {&pPara1, PARA1_NEDITTolerance, 70}, {&pPara1, PARA1_DROPopMode, 0},      {&pPara1, PARA1_DROPHardwareMode, 1},
        {&pPara1, PARA1_DROPaverage, 64},    {&pPara1, PARA1_NUMtolDelta, 1111}};
    // clang-format on
    const Words16 sent = {301, 1, 250, 5, 0, 3, 5, 800, 601, 70, 0, 1, 1, 4242, 64, 1111};
    SimSettings s = Sensor();
    s.eeprom = wild; // and so the RAM
    SimSensor &sim = Start(s);
    for (auto [radio, get, send] :
         {std::tuple{MAINPANEL_RBTRam, 2, 1}, std::tuple{MAINPANEL_RBTEeprom, 4, 3}}) {
        SetCtrlVal(pHandle, radio, 1); // the memory target, as the operator chooses it
        Click(pHandle, radio, EVENT_VAL_CHANGED);
        sim.SetRam(get == 4 ? DistinctWords() : wild); // the EEPROM GET must not read it
        SetWords(DistinctWords(), true);
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
        EXPECT_EQ(Command(sim.LastRequest()), get);
        EXPECT_EQ(Status(), kGetText);
        EXPECT_EQ(std::make_pair(Words(), PanelWords()), std::make_pair(mended, mended));
        EXPECT_EQ(graphrefresh, 0); // a parameter frame is no measurement to draw

        for (auto [panel, control, value] : entries)
            SetCtrlVal(*panel, control, static_cast<unsigned short>(value));
        const int before = sim.RequestCount();
        Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK);
        ASSERT_TRUE(sim.WaitForRequests(before + 1, 1.0));
        const SimFrame f = sim.LastRequest();
        EXPECT_EQ(std::make_pair(f.size(), Command(f)), std::make_pair(size_t(38), send));
        EXPECT_EQ(Payload(f), sent);
        EXPECT_EQ(Status(), "Line Ok!");
    }
}

TEST_F(TransferTest, OneShotExchangesWithAndWithoutReplyIgnoreClicksWhileTheyWait) {
    SimSensor &sim = Start();
    const std::tuple<int *, int, int, const char *, const char *> cases[] = {
        // panel, button, command, fault (nullptr: the sensor replies), status
        {&pPara2, PARA2_ButtonTeach, 6, nullptr, kGetText}, // then the new setpoint is read
        {&pPara2, PARA2_ButtonTeach, 6, "no-reply@6", "New setpoint value teached!"},
        {&pPara1, PARA1_ButtonReset, 11, nullptr, "Reset of analog-output Max/Min OK!"},
        {&pPara1, PARA1_ButtonReset, 11, "no-reply@11", "Timeout-RS-232..."},
        {&pHandle, MAINPANEL_BTNGet, 2, "no-reply@2", "Timeout-RS-232..."}};
    Later(6000, [] { stop_flag = 1; }); // ends a RUN or VIDEO loop that should not have started
    for (auto [panel, control, command, fault, status] : cases) {
        SCOPED_TRACE(status);
        sim.ClearFaults();
        if (fault) {
            sim.AddFault(Sensor({fault}).faults[0]);
            Later(300, [] { // every button while the exchange waits
                Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK);
                Click(pPara2, PARA2_ButtonTeach, EVENT_COMMIT);
                Click(pPara1, PARA1_ButtonReset, EVENT_COMMIT);
                for (int button : {MAINPANEL_BTNGet, MAINPANEL_BTNRun, MAINPANEL_BTNVideo})
                    Click(pHandle, button, EVENT_COMMIT);
            });
        }
        const int requests = sim.RequestCount();
        SetWords(DistinctWords(), true);
        const double t0 = Timer();
        Click(*panel, control, EVENT_COMMIT);
        EXPECT_GE(Timer() - t0, fault ? TIMEOUT : 0);
        const bool reread = std::string(status) == kGetText;
        EXPECT_EQ(sim.RequestCount(), requests + 1 + reread);
        EXPECT_EQ(Command(sim.LastRequest()), reread ? 2 : command);
        EXPECT_EQ(Status(), status); // and exchange_busy is back to 0, or the next case fails
        EXPECT_EQ(PanelWords(), reread ? sim.Ram() : DistinctWords());
    }
    EXPECT_EQ(Payload(sim.LastRequest()), DistinctWords()); // the GET carries the words
}

TEST_F(TransferTest, PanelEdgeEntriesAreClampedAndMoveTheirCursorsHardwareModeDimsTolerance) {
    SimSettings type1 = Sensor();
    type1.ccdtype = 1; // edges 1 .. 1024
    Start(type1);
    // left or right edge, entered, shown; taken: a corrected entry goes into the word at once
    const std::tuple<bool, int, int, bool> cases[] = {
        {true, 0, 1, true},  {false, 2000, 1024, true}, {true, 1024, 1024, false},
        {false, 0, 2, true}, {true, 2000, 1023, true},  {false, 1, 1, false}};
    for (auto [left, entered, shown, taken] : cases) {
        const int control = left ? PARA2_NEDITEdgeLeft : PARA2_NEDITEdgeRight;
        const int word = left ? PW_edgeLeft : PW_edgeRight;
        parameter[PARAM_HEADER + word] = 555;
        SetCtrlVal(pPara2, control, static_cast<unsigned short>(entered));
        Click(pPara2, control, EVENT_COMMIT);
        unsigned short value = 0;
        double x = -1, y = -1;
        GetCtrlVal(pPara2, control, &value);
        GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, left ? 2 : 3, &x, &y);
        EXPECT_EQ((std::vector<int>{value, int(x), Words()[word]}),
                  (std::vector<int>{shown, shown, taken ? shown : 555}))
            << left << " " << entered;
    }
    for (unsigned short mode : {0, 1, 2, 3}) { // modes 1 and 3 let the operator set it
        SetCtrlVal(pPara1, PARA1_DROPHardwareMode, mode);
        Click(pPara1, PARA1_DROPHardwareMode, EVENT_COMMIT);
        EXPECT_EQ(Attr(pPara1, PARA1_NEDITTolerance, ATTR_DIMMED), mode % 2 ? 0 : 1) << mode;
    }
}
