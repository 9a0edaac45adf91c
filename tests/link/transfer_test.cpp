// GET, SEND, TEACH and RESET against the simulated sensor, and the guard that keeps a second
// one-shot exchange from starting inside the wait of the first.
#include "link_fixture.h"

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "params.h"
#include "userint.h"
#include "utility.h"

namespace {

SimFault NoReplyTo(int command) {
    SimFault f;
    f.kind = SimFaultKind::NoReply;
    f.command = command;
    return f;
}

std::vector<unsigned short> AsWords(const SimWords &w) {
    return {w.begin(), w.end()};
}

// A set with every checked word out of range (ccdsubpixel 1000, ccdmaxpixelX8 8192), and
// what the panels must show for it.
SimWords OutOfRange() {
    //      power rs232 vthd ana pol eval eL    eR setp tol opM hw sp12 sp13 avg  tolD
    return {1001, 2, 5, 8, 2, 9, 1500, 0, 700, 0, 1, 7, 0, 4242, 2000, 1234};
}
std::vector<unsigned short> OutOfRangeCorrected() {
    return {500, 0, 10, 0, 1, 4, 1, 1, 700, 1, 1, 3, 1, 4242, 1024, 1234};
}

class TransferTest : public LinkTest {
  protected:
    // A sensor with ccdsubpixel 1000 whose EEPROM (and so RAM) holds `eeprom`.
    SimSensor &StartWithSensor(const SimWords &eeprom = DistinctWords()) {
        SimSettings s;
        s.ccdsubpixel = 1000;
        s.eeprom = eeprom;
        SimSensor &sim = AddSensor(s);
        EXPECT_TRUE(StartProgram());
        return sim;
    }
};

} // namespace

// ---- GET ---------------------------------------------------------------------------------------

TEST_F(TransferTest, GetCorrectsOutOfRangeWordsFromRamAndFromEeprom) {
    SimSensor &sim = StartWithSensor(OutOfRange()); // RAM starts as a copy of EEPROM
    // The start-up GET has already taken and corrected the words.
    EXPECT_EQ(Words(), OutOfRangeCorrected());

    struct Case {
        int radio;
        int command;
    };
    for (Case c : {Case{MAINPANEL_RBTRam, 2}, Case{MAINPANEL_RBTEeprom, 4}}) {
        SCOPED_TRACE(c.command);
        // RAM good and EEPROM bad for the EEPROM GET, RAM bad for the RAM GET.
        sim.SetRam(c.command == 4 ? DistinctWords() : OutOfRange());
        ChooseTarget(c.radio);
        const int before = sim.RequestCount(c.command);
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
        EXPECT_EQ(sim.RequestCount(c.command), before + 1);
        EXPECT_EQ(Command(sim.LastRequest()), c.command);
        EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
        EXPECT_EQ(Words(), OutOfRangeCorrected());
        std::vector<unsigned short> shown = PanelWords();
        std::vector<unsigned short> expected = OutOfRangeCorrected();
        expected[PW_spare12] = expected[PW_spare13] = 0xFFFF;
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(graphrefresh, 0);
    }
}

TEST_F(TransferTest, GetWithoutReplyTimesOutAndKeepsTheWords) {
    SimSensor &sim = StartWithSensor();
    const std::vector<unsigned short> before = Words();
    sim.AddFault(NoReplyTo(2));
    const double t0 = Timer();
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_GE(Timer() - t0, TIMEOUT);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
    EXPECT_EQ(Words(), before);
    // The request carried the current words.
    EXPECT_EQ(Payload(sim.LastRequest()), before);
}

// ---- SEND --------------------------------------------------------------------------------------

TEST_F(TransferTest, SendWritesThePanelValuesToRamOrEeprom) {
    SimSensor &sim = StartWithSensor();
    struct Case {
        int radio;
        int command;
    };
    for (Case c : {Case{MAINPANEL_RBTRam, 1}, Case{MAINPANEL_RBTEeprom, 3}}) {
        SCOPED_TRACE(c.command);
        std::vector<unsigned short> edited = AsWords(DistinctWords());
        edited[PW_power] = static_cast<unsigned short>(300 + c.command);
        edited[PW_setpoint] = static_cast<unsigned short>(600 + c.command);
        edited[PW_edgeLeft] = 5;
        SetPanelWords(edited);
        ChooseTarget(c.radio);
        Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK);
        ASSERT_TRUE(PumpUntil([&] { return sim.RequestCount(c.command) == 1; }, 1.0));
        const SimFrame f = sim.LastRequest();
        ASSERT_EQ(f.size(), size_t(38));
        EXPECT_EQ(Command(f), c.command);
        // Words 12 and 13 have no control: they go out as the last GET left them.
        EXPECT_EQ(Payload(f), edited);
        EXPECT_EQ(c.command == 1 ? AsWords(sim.Ram()) : AsWords(sim.Eeprom()), edited);
        EXPECT_EQ(Status(), "Line Ok!");
    }
}

// ---- TEACH and RESET ---------------------------------------------------------------------------

TEST_F(TransferTest, TeachWithReplyRereadsTheRamParameters) {
    SimSensor &sim = StartWithSensor();
    Click(pPara2, PARA2_ButtonTeach, EVENT_COMMIT);
    EXPECT_EQ(sim.RequestCount(6), 1);
    EXPECT_EQ(sim.RequestCount(2), 2); // start-up GET and the one after the teach
    EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
    // The sensor took its current measurement as setpoint; the panels show it.
    EXPECT_EQ(WordOf(PW_setpoint), sim.Ram()[PW_setpoint]);
    EXPECT_EQ(PanelWords()[PW_setpoint], sim.Ram()[PW_setpoint]);
}

TEST_F(TransferTest, TeachWithoutReplyEndsQuietly) {
    SimSensor &sim = StartWithSensor();
    sim.AddFault(NoReplyTo(6));
    const std::vector<unsigned short> before = Words();
    Click(pPara2, PARA2_ButtonTeach, EVENT_COMMIT);
    EXPECT_EQ(sim.RequestCount(6), 1);
    EXPECT_EQ(sim.RequestCount(2), 1);
    EXPECT_EQ(Status(), "New setpoint value teached!");
    EXPECT_EQ(Words(), before);
}

TEST_F(TransferTest, ResetReportsTheAcknowledgementOrItsAbsence) {
    SimSensor &sim = StartWithSensor();
    Click(pPara1, PARA1_ButtonReset, EVENT_COMMIT);
    EXPECT_EQ(sim.RequestCount(11), 1);
    EXPECT_EQ(Command(sim.LastRequest()), 11);
    EXPECT_EQ(Status(), "Reset of analog-output Max/Min OK!");

    sim.AddFault(NoReplyTo(11));
    Click(pPara1, PARA1_ButtonReset, EVENT_COMMIT);
    EXPECT_EQ(sim.RequestCount(11), 2);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
}

// ---- one exchange at a time
// ----------------------------------------------------------------------

TEST_F(TransferTest, ClicksWhileAOneShotExchangeWaitsAreIgnored) {
    SimSensor &sim = StartWithSensor();
    sim.AddFault(NoReplyTo(2));
    const int requests = sim.RequestCount();
    int busySeen = 0;
    Later(300, [&] {
        busySeen = exchange_busy;
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK, 0, 0);
        SimulateCtrlEvent(pPara2, PARA2_ButtonTeach, EVENT_COMMIT, 0, 0);
        SimulateCtrlEvent(pPara1, PARA1_ButtonReset, EVENT_COMMIT, 0, 0);
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT, 0, 0);
    });
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(busySeen, 1);
    EXPECT_EQ(exchange_busy, 0);
    Pump(0.2);
    EXPECT_EQ(sim.RequestCount(), requests + 1); // the GET alone
    EXPECT_EQ(Status(), "Timeout-RS-232...");

    // Once the GET is over the buttons act again.
    sim.ClearFaults();
    Click(pPara1, PARA1_ButtonReset, EVENT_COMMIT);
    EXPECT_EQ(Status(), "Reset of analog-output Max/Min OK!");
}

// ---- memory target
// -------------------------------------------------------------------------------

TEST_F(TransferTest, RadioButtonsActAsOneGroupWithRamAsFallBack) {
    StartWithSensor();
    auto on = [](int control) {
        int v = -1;
        GetCtrlVal(pHandle, control, &v);
        return v;
    };
    ChooseTarget(MAINPANEL_RBTEeprom);
    EXPECT_EQ(target, EEPROM);
    EXPECT_EQ(on(MAINPANEL_RBTRam), 0);
    EXPECT_EQ(on(MAINPANEL_RBTFile), 0);
    ChooseTarget(MAINPANEL_RBTFile);
    EXPECT_EQ(target, DATFILE);
    EXPECT_EQ(on(MAINPANEL_RBTEeprom), 0);

    // Switching the chosen button off falls back to RAM.
    SetCtrlVal(pHandle, MAINPANEL_RBTFile, 0);
    Click(pHandle, MAINPANEL_RBTFile, EVENT_VAL_CHANGED);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(on(MAINPANEL_RBTRam), 1);
    EXPECT_EQ(on(MAINPANEL_RBTFile), 0);
    SetCtrlVal(pHandle, MAINPANEL_RBTRam, 0);
    Click(pHandle, MAINPANEL_RBTRam, EVENT_VAL_CHANGED);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(on(MAINPANEL_RBTRam), 1);
}
