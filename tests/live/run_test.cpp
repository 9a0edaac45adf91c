// RUN on the whole program, commands pressed while it runs, and how RUN and VIDEO end.
#include "live_fixture.h"

// On a paced line, ten frames apart: the sensor's setpoint and tolerance change, the jet curve
// is chosen, GET, TEACH, SEND, STOP. RUN neither draws the commands' replies nor stops.
TEST_F(LiveTest, RunShowsTheFramesAndEveryRequestCarriesTheParameterWords) {
    SimSensor &sim = AddSensor();
    sim.SetPaced(true);
    SimWords ram = sim.Ram();
    ram[kSimEvalMode] = 2; // would show as the setpoint if a GET reply were drawn
    sim.SetRam(ram);
    StartProgram();
    std::fill(arrayNORM, arrayNORM + HISTORY_LEN, 0.0); // the history outlives a start-up
    std::vector<std::string> looks;
    AfterFrames(sim, 10, [&] { // a teach at the sensor's button; the power for GET
        looks.push_back(Looks());
        ram[kSimSetpoint] = 655, ram[kSimTolerance] = 45, ram[kSimPower] = 321;
        sim.SetRam(ram);
    });
    AfterFrames(sim, 20, [&] { Choose(MAINPANEL_DROPdatatype, 1), looks.push_back(Looks()); });
    AfterFrames(sim, 30, [] { Press(pHandle, MAINPANEL_BTNGet); });
    AfterFrames(sim, 40, [] { Press(pPara2, PARA2_ButtonTeach); });
    AfterFrames(sim, 50, [] { Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK); });
    AfterFrames(sim, 60, PressStop);
    Press(pHandle, MAINPANEL_BTNRun);
    looks.push_back(Looks());
    EXPECT_EQ((std::vector<std::string>{"1101000", "1100010", "0000010"}), looks);
    EXPECT_NE("Timeout RS232-Line!", Status());
    EXPECT_EQ((std::vector<int>{3, 1, 1, 321}), // 3 GETs: start-up, the GET, the one after TEACH
              (std::vector<int>{sim.RequestCount(kSimReadRam), sim.RequestCount(kSimTeach),
                                sim.RequestCount(kSimWriteRam), power}));

    // Every reply but the first, the one in flight at STOP and those the commands displaced is
    // drawn; the displays follow the sensor (the TEACH gave a new setpoint).
    std::vector<double> drawn(400);
    drawn.resize(size_t(GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, 3, drawn.data(), 400)));
    EXPECT_EQ(0, std::count(drawn.begin(), drawn.end(), 2.0));
    EXPECT_EQ(sim.Ram()[kSimSetpoint], drawn.back());
    const int n = int(drawn.size() - 1) - int(std::count(drawn.begin() + 1, drawn.end(), 0.0));
    EXPECT_GE(n, sim.RequestCount(kSimMeasure) - 5);
    EXPECT_LE(n, sim.RequestCount(kSimMeasure) - 1);
    // The last request carried the setpoint, the tolerance and the other parameter words.
    EXPECT_EQ(std::make_pair(sim.Ram()[kSimSetpoint], (unsigned short)45),
              std::make_pair(setpoint, tolerance));
    const SimFrame f = sim.LastRequest();
    EXPECT_EQ(std::make_tuple(f.size(), Command(f), Payload(f), f[36] | f[37]),
              std::make_tuple(size_t(TX_FRAME_LEN), int(CMD_RAW_FRAME), Words(), 0));
}

// How RUN or VIDEO ends, port after port: a silent sensor (after two time-outs), a port
// change, a hang-up (the adapter pulled) during RUN and during VIDEO, the main panel closed.
// The status line tells why, the buttons are enabled, and the next port works.
TEST_F(LiveTest, RunAndVideoEndOnALostLineAPortChangeOrAClosedPanel) {
    enum How { kSilent, kNewPort, kHangUp, kClose };
    const std::string timeout = "Timeout RS232-Line!";
    for (int p = 1; p <= 4; p++)
        AddSensor("SENSOR " + std::to_string(p), p);
    StartProgram();
    int port = 1;
    SimSensor *sim = sensors_[0].get();
    auto nextPort = [&] { // the one on port 1 is replaced: it fell silent
        port = port % 4 + 1;
        sim = port == 1 ? &AddSensor("SENSOR 1") : sensors_[size_t(port - 1)].get();
        Choose(MAINPANEL_DropDCom, port);
    };
    // n: frames before the port change or the closing, requests before the hang-up.
    for (auto [button, how, n, minSeconds, maxSeconds, status] :
         {std::tuple{MAINPANEL_BTNRun, kSilent, 0, 2.9, 3.5, timeout},
          {MAINPANEL_BTNRun, kNewPort, 5, 0.0, 1.0, "SENSOR 3"}, // the probe's, not a time-out
          {MAINPANEL_BTNRun, kHangUp, 10, 0.0, 1.6, timeout},
          {MAINPANEL_BTNVideo, kHangUp, 5 + 1 + 1, 0.0, 1.6, timeout}, // 2nd block, 2nd cycle
          {MAINPANEL_BTNRun, kClose, 5, 0.0, 0.2, "Line Ok!"}}) {
        SCOPED_TRACE(how);
        SimSensor &old = *sim;
        if (how == kSilent) sim->AddFault({SimFaultKind::NoReply, kSimMeasure, 0, -1});
        if (how == kHangUp) sim->AddFault({SimFaultKind::HangUp, 0, sim->RequestCount() + n, -1});
        if (how == kNewPort) AfterFrames(*sim, n, nextPort);
        if (how == kClose) AfterFrames(*sim, n, [] { CC_PANEL(pHandle, EVENT_CLOSE, 0, 0, 0); });
        const double t0 = Timer();
        Press(pHandle, button);
        EXPECT_GT(Timer() - t0, minSeconds);
        EXPECT_LT(Timer() - t0, maxSeconds);
        EXPECT_EQ(std::make_tuple(status, 0, how == kHangUp),
                  std::make_tuple(Status(), Attr(pHandle, button, ATTR_DIMMED), old.HungUp()));
        EXPECT_TRUE(how != kSilent || old.RequestCount(kSimMeasure) == 1);   // no reply, no more
        EXPECT_TRUE(how != kNewPort || sim->RequestCount(kSimMeasure) == 0); // RUN ended
        if (how == kSilent || how == kHangUp) nextPort();
        EXPECT_EQ(port, com);
    }
}
