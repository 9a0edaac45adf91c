// Start-up probe of the sensor: echo check, hardware description, RAM parameters and
// firmware text, the failures of each step, and a port change from the drop-down.
#include "link_fixture.h"

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "params.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"

namespace {

SimFault Fault(SimFaultKind kind, int command, int n = 0) {
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.n = n;
    return f;
}

} // namespace

TEST_F(LinkTest, GoodProbeReadsDescriptionParametersAndFirmwareText) {
    SimSettings s;
    s.eeprom = DistinctWords();
    s.firmware = "K-VOR FW 2.30 TEST";
    SimSensor &sim = AddSensor(s);
    ASSERT_TRUE(StartProgram());

    // Echo, hardware, GET from RAM, firmware: in this order and nothing else.
    const std::vector<SimFrame> frames = Writes();
    EXPECT_EQ(Commands(frames), (std::vector<int>{5, 10, 2, 7}));
    EXPECT_EQ(sim.RequestCount(), 4);
    for (const SimFrame &f : frames) {
        ASSERT_EQ(f.size(), size_t(TX_FRAME_LEN));
        EXPECT_EQ(f[0], 0x00);
        EXPECT_EQ(f[1], 0x55);
        EXPECT_EQ(f[36], 0x00);
        EXPECT_EQ(f[37], 0x00);
    }
    ASSERT_EQ(frames.size(), 4u);
    // The echo and the GET carry the words the panels gave at start-up; the hardware request
    // carries pp as the echo left it (its word 0 the reply's sync word); the firmware request
    // pp as the GET reply left it.
    const std::vector<unsigned short> startWords = Payload(frames[0]);
    EXPECT_EQ(Payload(frames[2]), startWords);
    std::vector<unsigned short> afterEcho = startWords;
    afterEcho[0] = 0x00AA;
    EXPECT_EQ(Payload(frames[1]), afterEcho);
    const SimWords ram = DistinctWords();
    EXPECT_EQ(Payload(frames[3]), std::vector<unsigned short>(ram.begin(), ram.end()));

    EXPECT_EQ(Status(), "K-VOR FW 2.30 TEST");
    EXPECT_EQ(Words(), std::vector<unsigned short>(ram.begin(), ram.end()));
    std::vector<unsigned short> shown = PanelWords();
    shown[PW_spare12] = ram[PW_spare12];
    shown[PW_spare13] = ram[PW_spare13];
    EXPECT_EQ(shown, std::vector<unsigned short>(ram.begin(), ram.end()));
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(exchange_busy, 0);
}

TEST_F(LinkTest, SilentSensorTimesOutAndNothingMoreIsSent) {
    SimSettings s;
    s.faults.push_back(Fault(SimFaultKind::NoReply, 0));
    SimSensor &sim = AddSensor(s);
    const double t0 = Timer();
    ASSERT_TRUE(StartProgram());
    const double took = Timer() - t0;
    EXPECT_EQ(Status(), "Timeout-RS-232...");
    EXPECT_GE(took, TIMEOUT);
    EXPECT_LT(took, TIMEOUT + 1.0);
    Pump(0.3);
    EXPECT_EQ(sim.RequestCount(), 1);
    const SimFrame echo = sim.LastRequest();
    EXPECT_EQ(Command(echo), 5);
    // The echo request carries the words as the panels gave them at start-up.
    EXPECT_EQ(Payload(echo), Words());
}

TEST_F(LinkTest, WrongSyncWordEndsTheProbe) {
    SimSettings s;
    s.faults.push_back(Fault(SimFaultKind::WrongSync, 5, 0)); // answer begins 0xAA 0x00
    SimSensor &sim = AddSensor(s);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(Status(), "read error - not sync byte 0xAA!");
    Pump(0.3);
    EXPECT_EQ(sim.RequestCount(), 1);
}

TEST_F(LinkTest, PortThatCannotBeOpenedIsReportedAndLaterExchangesTimeOut) {
    AssignPortDevice(1, "/nonexistent/kvor-no-such-tty");
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(Status(), "No serial port found");
    // A GET on the closed port writes nothing and ends with the time-out text.
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(Status(), "Timeout-RS-232...");
}

TEST_F(LinkTest, PortChangeFromTheDropDownReprobesTheNewPort) {
    SimSettings silent;
    silent.faults.push_back(Fault(SimFaultKind::NoReply, 0));
    SimSensor &first = AddSensor(silent, 1);
    SimSettings good;
    good.eeprom = DistinctWords();
    good.firmware = "SECOND SENSOR";
    SimSensor &second = AddSensor(good, 2);
    ASSERT_TRUE(StartProgram());
    ASSERT_EQ(Status(), "Timeout-RS-232...");

    SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
    Click(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT);

    EXPECT_EQ(com, 2);
    EXPECT_EQ(stop_flag, 1);
    EXPECT_EQ(Status(), "SECOND SENSOR");
    EXPECT_EQ(second.RequestCount(), 4);
    EXPECT_EQ(first.RequestCount(), 1);
    const SimWords ram = DistinctWords();
    EXPECT_EQ(Words(), std::vector<unsigned short>(ram.begin(), ram.end()));
}

TEST_F(LinkTest, PortChangeWhileAGetWaitsLeavesTheNewProbeInCharge) {
    SimSettings slowGet;
    slowGet.faults.push_back(Fault(SimFaultKind::NoReply, 2));
    AddSensor(slowGet, 1);
    SimSettings good;
    good.eeprom = DistinctWords();
    good.firmware = "SECOND SENSOR";
    AddSensor(good, 2);
    ASSERT_TRUE(StartProgram());

    Later(200, [] {
        SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
        SimulateCtrlEvent(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT, 0, 0);
    });
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    // The abandoned GET neither overwrote the new probe's words nor its status text.
    EXPECT_EQ(Status(), "SECOND SENSOR");
    const SimWords ram = DistinctWords();
    EXPECT_EQ(Words(), std::vector<unsigned short>(ram.begin(), ram.end()));
    EXPECT_EQ(exchange_busy, 0);
}

// ---- hardware adaptation ----------------------------------------------------------------------

struct HardwareCase {
    const char *name;
    int ccdtype, ccdresolution, softversion, pcbtype, ccdmaxpixel, ccdsubpixel, ccdpixE;
    unsigned short pixE, yAxisMax, maxPixel;
    double xStep;
    const char *ringHigh; // item 1 of the operation-mode ring ("" : left as the panel has it)
    int rs232Dimmed, tolDeltaDimmed, opModeDimmed, anaModeDimmed; // -1: not checked
};

class HardwareTest : public LinkTest, public ::testing::WithParamInterface<HardwareCase> {};

TEST_P(HardwareTest, PanelsAndRangesFollowTheSensorType) {
    const HardwareCase &c = GetParam();
    SimSettings s;
    s.ccdtype = c.ccdtype;
    s.ccdresolution = c.ccdresolution;
    s.softversion = c.softversion;
    s.pcbtype = c.pcbtype;
    s.ccdmaxpixel = c.ccdmaxpixel;
    s.ccdsubpixel = c.ccdsubpixel;
    s.ccdpixE = c.ccdpixE;
    AddSensor(s);
    ASSERT_TRUE(StartProgram());

    EXPECT_EQ(pixB, 1);
    EXPECT_EQ(pixE, c.pixE);
    EXPECT_EQ(YAXISMAX, c.yAxisMax);
    EXPECT_EQ(ccdmaxpixel, c.maxPixel);
    EXPECT_DOUBLE_EQ(xArray8[1], c.xStep);
    EXPECT_DOUBLE_EQ(xArray8[255], 255 * c.xStep);
    const std::vector<std::string> ring = RingLabels(pPara1, PARA1_DROPopMode);
    ASSERT_GE(ring.size(), 2u);
    if (std::string(c.ringHigh) == "HI-GAIN") {
        EXPECT_EQ(ring[1], "HI-GAIN");
        EXPECT_EQ(ring[0], "LO-GAIN");
    } else if (std::string(c.ringHigh) == "ADC-CONV") {
        EXPECT_EQ(ring[1], "ADC-CONV");
        EXPECT_EQ(ring[0], "DIG-COMP");
    }
    if (c.rs232Dimmed >= 0) {
        EXPECT_EQ(Dimmed(pPara1, PARA1_DROPrs232Mode), c.rs232Dimmed);
    }
    if (c.tolDeltaDimmed >= 0) {
        EXPECT_EQ(Dimmed(pPara1, PARA1_NUMtolDelta), c.tolDeltaDimmed);
    }
    if (c.opModeDimmed >= 0) {
        EXPECT_EQ(Dimmed(pPara1, PARA1_DROPopMode), c.opModeDimmed);
    }
    if (c.anaModeDimmed >= 0) {
        EXPECT_EQ(Dimmed(pPara1, PARA1_RINGanaMode), c.anaModeDimmed);
        EXPECT_EQ(Dimmed(pHandle, MAINPANEL_NUMVideoMax), c.anaModeDimmed);
        EXPECT_EQ(Dimmed(pHandle, MAINPANEL_NUMJetMax), c.anaModeDimmed);
    }
    double lo = -1, hi = -1;
    int mode = -1;
    GetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(lo, 1.0);
    EXPECT_DOUBLE_EQ(hi, c.ccdsubpixel);
}

INSTANTIATE_TEST_SUITE_P(
    Types, HardwareTest,
    ::testing::Values(
        // name, type, res, version, pcb, maxpix, subpix, pixE(sensor) -> pixE, YAXISMAX,
        // ccdmaxpixel, x step, ring, dims (rs232, tolDelta, opMode, anaMode)
        HardwareCase{"type1_v1001", 1, 350, 1001, 0, 1024, 1024, 1024, 1024, 256, 1024, 4,
                     "HI-GAIN", 1, 1, -1, -1},
        HardwareCase{"type1_v999", 1, 350, 999, 0, 1024, 1024, 1024, 1024, 256, 1024, 4, "HI-GAIN",
                     0, 0, -1, -1},
        HardwareCase{"type1_v219", 1, 350, 219, 0, 1024, 2048, 1024, 1024, 1024, 1024, 8, "HI-GAIN",
                     0, 0, -1, -1},
        HardwareCase{"type2_res750", 2, 750, 230, 0, 1024, 1536, 1024, 1024, 1024, 1024, 6,
                     "HI-GAIN", -1, -1, -1, -1},
        HardwareCase{"type3", 3, 350, 230, 0, 512, 512, 512, 512, 1024, 512, 2, "HI-GAIN", -1, -1,
                     -1, -1},
        HardwareCase{"type101_bad_pixels", 101, 0, 230, 0, 4096, 1180, 256, 256, 1024, 256, 5,
                     "ADC-CONV", -1, -1, -1, -1},
        HardwareCase{"type102_v220", 102, 0, 220, 0, 768, 768, 768, 768, 256, 768, 3, "ADC-CONV",
                     -1, -1, 0, -1},
        HardwareCase{"type103_pcb100", 103, 0, 230, 100, 1280, 2560, 1200, 9600, 256, 1280, 10,
                     "ADC-CONV", -1, -1, -1, 0},
        HardwareCase{"type104_pcb101", 104, 0, 230, 101, 1536, 8192, 1536, 12288, 256, 1536, 32,
                     "ADC-CONV", -1, -1, -1, 0},
        HardwareCase{"unknown_type", 77, 0, 230, 0, 1024, 1024, 1024, 1024, 1024, 1024, 4,
                     "ADC-CONV", -1, -1, -1, -1}),
    [](const ::testing::TestParamInfo<HardwareCase> &info) { return info.param.name; });

TEST_F(LinkTest, Type102Version230UsesTheDeltaToleranceAsOffsetValue) {
    SimSettings s;
    s.ccdtype = 102;
    s.softversion = 230;
    s.eeprom = DistinctWords();
    s.eeprom[PW_tolDelta] = 975;
    AddSensor(s);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(Dimmed(pPara1, PARA1_DROPopMode), 1);
    char label[MAX_PATHNAME_LEN] = {};
    GetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_LABEL_TEXT, label);
    EXPECT_STREQ(label, "OFFSET-VALUE");
    int lo = 0, hi = 0;
    GetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_MIN_VALUE, &lo);
    GetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_MAX_VALUE, &hi);
    EXPECT_EQ(lo, 950);
    EXPECT_EQ(hi, 1000);
    EXPECT_EQ(PanelWords()[PW_tolDelta], 975);
    EXPECT_EQ(pixE, 768);
    EXPECT_EQ(YAXISMAX, 256);
}

TEST_F(LinkTest, HardwareReplyWithWrongEchoStoresTheWordsButAdaptsNothing) {
    SimSettings s;
    s.ccdtype = 104;
    s.faults.push_back(Fault(SimFaultKind::WrongEcho, 10, 0));
    AddSensor(s);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(ccdtype, 104);
    EXPECT_EQ(pixE, 1024); // the start-up range, not type 104's 1536
    EXPECT_EQ(YAXISMAX, 1024);
    // The probe goes on: the firmware text is the last word.
    EXPECT_NE(Status().find("SIM"), std::string::npos);
}

// ---- firmware text -----------------------------------------------------------------------------

struct FirmwareCase {
    const char *name;
    int pcbtype;
    const char *text;
    int replyLength; // 0: the sensor's own 72 bytes
    const char *status;
};

class FirmwareTest : public LinkTest, public ::testing::WithParamInterface<FirmwareCase> {};

TEST_P(FirmwareTest, StatusLineShowsTheTextOnlyForExactly72Bytes) {
    const FirmwareCase &c = GetParam();
    SimSettings s;
    s.pcbtype = c.pcbtype;
    s.firmware = c.text;
    if (c.replyLength > 0) s.faults.push_back(Fault(SimFaultKind::ReplyLength, 7, c.replyLength));
    AddSensor(s);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(Status(), c.status);
    // The receive callback is back: a GET after the firmware request works.
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FirmwareTest,
    ::testing::Values(
        FirmwareCase{"word_form", 0, "V1.23 word form board", 0, "V1.23 word form board"},
        FirmwareCase{"text_form", 100, "V4.56 text form board", 0, "V4.56 text form board"},
        // 72 characters of text: the status text holds 71 of them.
        FirmwareCase{"text_form_full", 101,
                     "123456789012345678901234567890123456789012345678901234567890123456789012", 0,
                     "12345678901234567890123456789012345678901234567890123456789012345678901"},
        FirmwareCase{"short_reply", 100, "V4.56", 70, "Error reading firmware-info!"},
        // Too long: no text is taken, but the reply counts as there; the GET's text stays.
        FirmwareCase{"long_reply", 100, "V4.56", 74, "Parameter-frame received! - Line Ok!"}),
    [](const ::testing::TestParamInfo<FirmwareCase> &info) { return info.param.name; });
