// An adapter pulled while the program is idle, during RUN, during VIDEO and during GET: the
// loop or the exchange ends with its own text first, then the status line says "Port lost:
// DEVICE" once (a device without a stable name is named by its path); nothing is resumed.
#include "live_fixture.h"

#include "port_return.h"

namespace {

TEST_F(LiveTest, APulledAdapterIsToldOnceAfterTheLoopsOwnText) {
    struct Case {
        int button; // 0: idle
        int requests;
        const char *ownText;
    } cases[] = {{0, 0, ""},
                 {MAINPANEL_BTNRun, 10, "Timeout RS232-Line!"},
                 {MAINPANEL_BTNVideo, 7, "Timeout RS232-Line!"},
                 {MAINPANEL_BTNGet, 0, "Timeout-RS-232..."}};
    // Processes events until the status line starts with `prefix` or `seconds` have passed.
    const auto statusBecomes = [](const std::string &prefix, double seconds) {
        for (const double t0 = Timer(); Timer() - t0 < seconds; Delay(0.01)) {
            if (Status().rfind(prefix, 0) == 0) return true;
            ProcessSystemEvents();
        }
        return Status().rfind(prefix, 0) == 0;
    };
    SimSensor *sim = &StartWith("SENSOR A");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        const std::string lost = "Port lost: " + sim->DevicePath();
        if (c.button == 0) {
            sim->Stop();
        } else {
            sim->AddFault({SimFaultKind::HangUp, 0, sim->RequestCount() + c.requests, -1});
            Press(pHandle, c.button);
            EXPECT_EQ(c.ownText, Status()) << "the loop's or the exchange's own text first";
            EXPECT_EQ(LOOP_IDLE, loop_mode);
        }
        ASSERT_TRUE(statusBecomes(lost, 1.0)) << Status();
        SetStatus("");
        ShowStatus();
        EXPECT_FALSE(statusBecomes(lost, 0.5)) << "told once";
        EXPECT_EQ(LOOP_IDLE, loop_mode) << "not resumed";
        // The next sensor on the same port number, picked by the operator.
        sim = &AddSensor("SENSOR B");
        Choose(MAINPANEL_DropDCom, 1);
        EXPECT_EQ("SENSOR B", Status());
    }
}

// The handler itself: asked while a loop still runs it waits; another port's loss is not told.
TEST_F(LiveTest, PortLostWaitsForTheLoopAndConcernsOnlyTheLinksPort) {
    StartWith();
    SetStatus("before");
    loop_mode = LOOP_RUN;
    EXPECT_EQ(0, OnPortLost(com, "usb-X"));
    loop_mode = LOOP_IDLE;
    EXPECT_EQ(1, OnPortLost(com + 1, "usb-Y"));
    EXPECT_EQ("before", std::string(szStatus));
    EXPECT_EQ(1, OnPortLost(com, "usb-X"));
    EXPECT_EQ("Port lost: usb-X", Status());
}

} // namespace
