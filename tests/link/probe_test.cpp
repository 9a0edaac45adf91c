// The start-up probe (echo, hardware description, RAM words, firmware text), its failures,
// the sensor types it adapts the panels to, and a port change from the drop-down.
#include "link_fixture.h"

#include "qt_access.h"

#include <QComboBox>

TEST_F(LinkTest, GoodProbeReadsDescriptionParametersAndFirmwareText) {
    Start();
    // Echo, hardware, GET from RAM, firmware, nothing else. Echo and GET carry the panels' start
    // words, the hardware request them as the echo left them (word 0 its sync), firmware the RAM's.
    const std::vector<SimFrame> frames = Writes();
    ASSERT_EQ(frames.size(), 4u);
    const Words16 start = Payload(frames[0]);
    Words16 echoed = start;
    echoed[0] = 0x00AA;
    const Words16 payloads[] = {start, echoed, start, DistinctWords()};
    for (int i = 0; i < 4; i++) {
        const SimFrame &f = frames[i];
        ASSERT_EQ(f.size(), size_t(TX_FRAME_LEN));
        EXPECT_EQ((std::vector<int>{Command(f), f[0], f[1], f[36], f[37]}),
                  (std::vector<int>{std::vector{5, 10, 2, 7}[i], 0x00, 0x55, 0x00, 0x00}));
        EXPECT_EQ(Payload(f), payloads[i]) << i;
    }
    EXPECT_EQ(Status(), "K-VOR-RUR SIM T104 1536PX V2.10"); // the firmware text
    EXPECT_EQ(PanelWords(), DistinctWords());
    EXPECT_EQ(std::make_pair(target, exchange_busy), std::make_pair(int(RAM), 0));
}

class ProbeFailureTest : public LinkTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(ProbeFailureTest, EndsTheProbeWithItsStatusTextAndNothingMoreIsSent) {
    const std::string fault = GetParam(); // "": a port that cannot be opened
    SimSensor *sim = fault.empty() ? nullptr : &AddSensor(Sensor({GetParam()}));
    if (!sim) AssignPortDevice(1, "/nonexistent/kvor-no-such-tty");
    const double t0 = Timer();
    ASSERT_TRUE(StartProgram());
    const double took = Timer() - t0;
    EXPECT_EQ(Status(), fault.empty()         ? "No serial port found"
                        : fault == "no-reply" ? "Timeout-RS-232..."
                                              : "read error - not sync byte 0xAA!");
    EXPECT_TRUE(fault != "no-reply" || (took >= TIMEOUT && took < TIMEOUT + 1.0)) << took;
    while (Timer() - t0 < took + 0.3)
        ProcessSystemEvents();
    EXPECT_TRUE(!sim || sim->RequestCount() == 1) << "nothing more is sent";
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT); // on the closed port: a time-out
    EXPECT_TRUE(sim || Status() == "Timeout-RS-232...") << Status();
}

INSTANTIATE_TEST_SUITE_P(Link, ProbeFailureTest, ::testing::Values("no-reply", "wrong-sync@5", ""));

TEST_F(LinkTest, PortChangeFromTheDropDownWhileAGetWaitsReprobesTheNewPort) {
    SimSensor &second = AddSensor(Sensor(), 2);
    SimSensor &first = Start(Sensor({"no-reply"}));
    Later(200, [] {
        SetCtrlVal(pHandle, MAINPANEL_DropDCom, 2);
        Click(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT);
    });
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(Status(), "K-VOR-RUR SIM T104 1536PX V2.10"); // the abandoned GET changed nothing
    EXPECT_EQ(Words(), DistinctWords());
    EXPECT_EQ((std::vector<int>{com, stop_flag, exchange_busy}), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(std::make_pair(first.RequestCount(), second.RequestCount()), std::make_pair(2, 4));
}

// The panels, ranges and status line after the probe, per sensor description and firmware reply.
struct SensorCase {
    const char *name;
    int sensor[7]; // ccdtype, resolution, version, pcb, maxpixel, subpixel, pixE
    int pixE, yAxisMax, maxPixel, xStep;   // taken over (x step 0: not checked)
    const char *ring;                      // items 0 and 1 of the operation-mode ring
    int versionDim, opModeDim, anaModeDim; // dimmed: 1 or 0; -1: not checked
    const char *tolDelta;                  // the numeric's label and range
    const char *firmware, *fault, *status; // nullptr: the name, no fault, the firmware text
};

void PrintTo(const SensorCase &c, std::ostream *os) { *os << c.name; }

class SensorTest : public LinkTest, public ::testing::WithParamInterface<SensorCase> {};

TEST_P(SensorTest, PanelsRangesAndStatusFollowTheSensor) {
    const SensorCase &c = GetParam();
    SimSettings s = c.fault ? Sensor({c.fault}) : Sensor();
    s.firmware = c.firmware ? c.firmware : c.name;
    // clang-format off
    int SimSettings::*const fields[] = {&SimSettings::ccdtype, &SimSettings::ccdresolution, &SimSettings::softversion,
        &SimSettings::pcbtype, &SimSettings::ccdmaxpixel, &SimSettings::ccdsubpixel, &SimSettings::ccdpixE};
    const std::tuple<int *, int, int> dims[] = {{&pPara1, PARA1_DROPrs232Mode, c.versionDim},
        {&pPara1, PARA1_NUMtolDelta, c.versionDim}, {&pPara1, PARA1_DROPopMode, c.opModeDim},
        {&pPara1, PARA1_RINGanaMode, c.anaModeDim}, {&pHandle, MAINPANEL_NUMVideoMax, c.anaModeDim},
        {&pHandle, MAINPANEL_NUMJetMax, c.anaModeDim}};
    // clang-format on
    for (int i = 0; i < 7; i++)
        s.*fields[i] = c.sensor[i];
    Start(s);
    EXPECT_EQ(
        (std::vector<int>{pixB, pixE, YAXISMAX, ccdmaxpixel, c.xStep ? int(xArray8[255]) : 0}),
        (std::vector<int>{1, c.pixE, c.yAxisMax, c.maxPixel, 255 * c.xStep}));
    double lo = 0, hi = 0; // the video graph spans the sensor's sub-pixel range
    GetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_XAXIS, nullptr, &lo, &hi);
    EXPECT_TRUE(!c.xStep || (lo == 1.0 && hi == c.sensor[5])) << lo << ".." << hi;
    auto *ring = qobject_cast<QComboBox *>(PlatformControlWidget(pPara1, PARA1_DROPopMode));
    ASSERT_TRUE(ring && ring->count() >= 2);
    EXPECT_EQ((ring->itemText(0) + "/" + ring->itemText(1)).toStdString(), c.ring);
    for (auto [panel, control, dimmed] : dims)
        EXPECT_TRUE(dimmed < 0 || Attr(*panel, control, ATTR_DIMMED) == dimmed) << control;
    char label[MAX_PATHNAME_LEN] = {};
    GetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_LABEL_TEXT, label);
    EXPECT_EQ(label + (" " + std::to_string(Attr(pPara1, PARA1_NUMtolDelta, ATTR_MIN_VALUE))) +
                  ".." + std::to_string(Attr(pPara1, PARA1_NUMtolDelta, ATTR_MAX_VALUE)),
              c.tolDelta);
    EXPECT_EQ(Status(), c.status ? c.status : s.firmware);
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT); // the receive callback is back
    EXPECT_EQ(Status(), "Parameter-frame received! - Line Ok!");
}

const char kGain[] = "LO-GAIN/HI-GAIN", kAdc[] = "DIG-COMP/ADC-CONV";
const char kTol[] = "Tol-diff check [pixel] 0..65535", kOffset[] = "OFFSET-VALUE 950..1000";
const char k72[] = "123456789012345678901234567890123456789012345678901234567890123456789012";
const char k71[] = "12345678901234567890123456789012345678901234567890123456789012345678901";
// clang-format off
INSTANTIATE_TEST_SUITE_P(Types, SensorTest, ::testing::Values(
    SensorCase{"type1_v1001",   {1,   350, 1001, 0,   1024, 1024, 1024}, 1024,  256,  1024, 4,  kGain, 1,  -1, -1, kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type1_v999",    {1,   350, 999,  0,   1024, 1024, 1024}, 1024,  256,  1024, 4,  kGain, 0,  -1, -1, kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type1_v219",    {1,   350, 219,  0,   1024, 2048, 1024}, 1024,  1024, 1024, 8,  kGain, 0,  -1, -1, kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type2_res750",  {2,   750, 230,  100, 1024, 1536, 1024}, 8192,  1024, 1024, 6,  kGain, -1, -1, 0,  kTol,    nullptr, "firmware-length=74", "Parameter-frame received! - Line Ok!"},
    SensorCase{"type3",         {3,   350, 230,  100, 512,  512,  512},  4096,  1024, 512,  2,  kGain, -1, -1, 0,  kTol,    nullptr, "firmware-length=70", "Error reading firmware-info!"},
    SensorCase{"type101",       {101, 0,   230,  0,   4096, 1180, 256},  256,   1024, 256,  5,  kAdc,  -1, -1, -1, kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type102_v220",  {102, 0,   220,  0,   768,  768,  768},  768,   256,  768,  3,  kAdc,  -1, 0,  -1, kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type102_v230",  {102, 0,   230,  0,   768,  768,  768},  768,   256,  768,  3,  kGain, -1, 1,  -1, kOffset, nullptr, nullptr, nullptr},
    SensorCase{"type103_pcb100", {103, 0,  230,  100, 1280, 2560, 1200}, 9600,  256,  1280, 10, kAdc,  -1, -1, 0,  kTol,    nullptr, nullptr, nullptr},
    SensorCase{"type104_pcb101", {104, 0,  230,  101, 1536, 8192, 1536}, 12288, 256,  1536, 32, kAdc,  -1, -1, 0,  kTol,    k72,     nullptr, k71},
    SensorCase{"type104_wrong_echo", {104, 0, 230, 101, 1536, 8192, 1536}, 1024, 1024, 1536, 0, kGain, -1, -1, -1, kTol, nullptr, "wrong-echo@10", nullptr},
    SensorCase{"unknown_type",  {77,  0,   230,  0,   1024, 1024, 1024}, 1024,  1024, 1024, 4,  kAdc,  -1, -1, -1, kTol,    nullptr, nullptr, nullptr}),
    [](const ::testing::TestParamInfo<SensorCase> &info) { return info.param.name; });
// clang-format on
