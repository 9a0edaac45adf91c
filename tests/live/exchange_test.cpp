// Exchanges that meet each other on the line, a line that chatters or goes away, and the
// buttons pressed while a loop ends: the link's one wait on the whole program.
#include "live_fixture.h"

#include "transfer.h"

static const char kGetText[] = "Parameter-frame received! - Line Ok!";

// A GET nested in RUN meets a line that never stays quiet (a reply behind 10 000 bytes of
// noise, paced: over 5 s of chatter). RUN waits for a quiet line before it asks again, but
// that wait has a deadline and gives way to STOP at once.
TEST_F(LiveTest, StopEndsRunAtOnceWhileANestedExchangeLeftTheLineChattering) {
    SimSensor &sim = StartWith();
    double stopped = 0;
    AfterFrames(sim, 3, [&] {
        sim.SetPaced(true);
        sim.AddFault({SimFaultKind::Garbage, kSimReadRam, 10000, 1});
        Press(pHandle, MAINPANEL_BTNGet);
        EXPECT_EQ("Timeout-RS-232...", Status());
        Later(100, [&] { stopped = Timer(), PressStop(); });
    });
    Press(pHandle, MAINPANEL_BTNRun);
    ASSERT_GT(stopped, 0);
    EXPECT_LT(Timer() - stopped, 0.3);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_BTNRun, ATTR_DIMMED));
}

// VIDEO pressed while a stopped loop still ends: it selects the RAM target like every VIDEO
// press, and after RUN it starts VIDEO once RUN has ended.
TEST_F(LiveTest, VideoPressedWhileALoopEndsSelectsRamAndRuns) {
    SimSensor &sim = StartWith();
    struct Case {
        const char *name;
        int loop;          // the button of the loop that is stopped
        int expectBlocks;  // at least this many block requests after the press
    };
    for (const Case c : {Case{.name = "VIDEO resumed", .loop = MAINPANEL_BTNVideo, .expectBlocks = 8},
                         Case{.name = "VIDEO after RUN", .loop = MAINPANEL_BTNRun, .expectBlocks = 4}}) {
        SCOPED_TRACE(c.name);
        int blocksAtPress = -1, targetAfterPress = -1, ramButton = -1;
        const int counter = c.loop == MAINPANEL_BTNVideo ? kSimBlock : kSimMeasure;
        const int at = sim.RequestCount(counter) + 2;
        When([&sim, counter, at] { return sim.RequestCount(counter) >= at; }, [&] {
            PressStop(); // enables VIDEO at once; the loop ends after this pass
            SetCtrlVal(pHandle, MAINPANEL_RBTEeprom, 1);
            Click(pHandle, MAINPANEL_RBTEeprom, EVENT_VAL_CHANGED);
            Press(pHandle, MAINPANEL_BTNVideo);
            blocksAtPress = sim.RequestCount(kSimBlock);
            targetAfterPress = target;
            GetCtrlVal(pHandle, MAINPANEL_RBTRam, &ramButton);
        });
        When([&] { return blocksAtPress >= 0 && sim.RequestCount(kSimBlock) >= blocksAtPress + 8; },
             PressStop);
        Press(pHandle, c.loop);
        ASSERT_GE(blocksAtPress, 0);
        EXPECT_GE(sim.RequestCount(kSimBlock) - blocksAtPress, c.expectBlocks);
        if (c.loop == MAINPANEL_BTNVideo) { // RUN's start selects RAM after the press anyway
            EXPECT_EQ(std::make_pair(int(RAM), 1), std::make_pair(targetAfterPress, ramButton));
        }
        EXPECT_EQ(int(RAM), target);
        EXPECT_EQ(int(LOOP_IDLE), loop_mode);
        pending_.clear();
    }
}

// A reply frame with another sync word: taken by a GET on an idle line (only the echo check
// looks at the sync), dropped and waited past while RUN's replies share the line.
TEST_F(LiveTest, OnlyALoopMakesAGetDropAFrameWithAnotherSync) {
    SimSensor &sim = AddSensor();
    sim.SetRam(DistinctWords());
    StartProgram();
    sim.AddFault({SimFaultKind::WrongSync, kSimReadRam, 0x1234, 1});
    Press(pHandle, MAINPANEL_BTNGet);
    EXPECT_EQ(kGetText, Status());
    EXPECT_EQ(DistinctWords(), Words());

    std::string during;
    AfterFrames(sim, 3, [&] {
        sim.AddFault({SimFaultKind::WrongSync, kSimReadRam, 0x1234, 1});
        Press(pHandle, MAINPANEL_BTNGet);
        during = Status();
        PressStop();
    });
    Press(pHandle, MAINPANEL_BTNRun);
    EXPECT_EQ("Timeout-RS-232...", during);
}

// SEND during a block wait empties no queue: the block answer on its way is kept, not asked
// for again. Every cycle asks for four blocks.
TEST_F(LiveTest, ASendDuringABlockKeepsTheBlockThatIsOnItsWay) {
    SimSensor &sim = StartWith();
    sim.SetPaced(true); // a block answer is 67 ms on the wire
    const int measures0 = sim.RequestCount(kSimMeasure), blocks0 = sim.RequestCount(kSimBlock);
    int sends = 0;
    for (int k : {2, 5, 7}) // blocks 2 and 3 of cycle 1, 3 of cycle 2
        When([&sim, blocks0, k] { return sim.RequestCount(kSimBlock) == blocks0 + k; },
             [&sends] { Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK), sends++; });
    When([&] { return sim.RequestCount(kSimBlock) >= blocks0 + 9; }, PressStop);
    Press(pHandle, MAINPANEL_BTNVideo);
    EXPECT_EQ(3, sends);
    EXPECT_EQ(3, sim.RequestCount(kSimWriteRam));
    const int cycles = sim.RequestCount(kSimMeasure) - measures0;
    EXPECT_EQ(4 * cycles, sim.RequestCount(kSimBlock) - blocks0);
    EXPECT_EQ("Data[64] block received!", Status());
}

// A port that goes away (the sensor's line hung up at the exchange's request) ends every
// exchange's wait at once with the exchange's own outcome, instead of its whole time-out.
TEST_F(LiveTest, AGonePortEndsEveryWaitAtOnce) {
    struct Case {
        const char *name;
        int *panel;
        int control; // 0: the probe of a port chosen in the drop-down
        const char *status;
    };
    const Case cases[] = {
        {.name = "GET", .panel = &pHandle, .control = MAINPANEL_BTNGet, .status = "Timeout-RS-232..."},
        {.name = "TEACH", .panel = &pPara2, .control = PARA2_ButtonTeach,
         .status = "New setpoint value teached!"},
        {.name = "RESET", .panel = &pPara1, .control = PARA1_ButtonReset,
         .status = "Timeout-RS-232..."},
        {.name = "probe", .panel = &pHandle, .control = 0, .status = "Error reading firmware-info!"},
    };
    StartWith();
    int port = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        port = port % 4 + 1;
        SimSensor &sim = AddSensor("SENSOR " + std::to_string(port), port);
        if (c.control == 0) { // the echo check is answered, the hardware request hangs up
            sim.AddFault({SimFaultKind::HangUp, 0, 1, -1});
        } else {
            Choose(MAINPANEL_DropDCom, port);
            ASSERT_EQ("SENSOR " + std::to_string(port), Status());
            sim.AddFault({SimFaultKind::HangUp, 0, sim.RequestCount(), -1});
        }
        const double t0 = Timer();
        if (c.control == 0)
            Choose(MAINPANEL_DropDCom, port);
        else
            Press(*c.panel, c.control);
        // The probe pauses 0.1 s before each of its three later steps.
        EXPECT_LT(Timer() - t0, c.control == 0 ? 0.7 : 0.3);
        EXPECT_TRUE(sim.HungUp());
        EXPECT_EQ(c.status, Status());
        EXPECT_EQ(0, exchange_busy);
    }
}
