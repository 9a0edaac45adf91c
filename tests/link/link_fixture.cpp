#include "link_fixture.h"

#include "com232.h"
#include "kvor_panels.h"
#include "params.h"
#include "qt_access.h"
#include "rs232.h"
#include "userint.h"
#include "trace.h"
#include "utility.h"
#include "winmain.h"

#include <QComboBox>
#include <QTimer>

#include <cstdlib>
#include <sstream>

namespace {

struct Bound {
    int *panel;
    int control;
    int word;
};
const Bound kBound[] = {
    {&pPara1, PARA1_NUMtolDelta, PW_tolDelta},
    {&pPara1, PARA1_NEDITTolerance, PW_tolerance},
    {&pPara1, PARA1_RINGanaMode, PW_anaMode},
    {&pPara1, PARA1_DROPEvalMode, PW_evalMode},
    {&pPara1, PARA1_DROPrs232Mode, PW_rs232Mode},
    {&pPara1, PARA1_DROPopMode, PW_opMode},
    {&pPara1, PARA1_DROPpolarity, PW_polarity},
    {&pPara1, PARA1_DROPaverage, PW_average},
    {&pPara1, PARA1_DROPHardwareMode, PW_hardwareMode},
    {&pPara2, PARA2_SLIDEVideoThreshold, PW_videoThreshold},
    {&pPara2, PARA2_SLIDEpower, PW_power},
    {&pPara2, PARA2_NUMSetpoint, PW_setpoint},
    {&pPara2, PARA2_NEDITEdgeLeft, PW_edgeLeft},
    {&pPara2, PARA2_NEDITEdgeRight, PW_edgeRight},
};

} // namespace

SimWords DistinctWords() {
    //      power rs232 vthd ana pol eval eL   eR   setp tol opM hw sp12 sp13 avg tolD
    return {700, 1, 300, 2, 0, 2, 100, 900, 480, 60, 1, 3, 77, 4242, 16, 1234};
}

void LinkTest::SetUp() {
    SetProjectDirOverride(dir_.path().c_str());
    for (int port = 1; port <= 4; port++)
        AssignPortDevice(port, "");
    TraceOpen(dir_.file("trace.txt").c_str());
}

void LinkTest::TearDown() {
    timers_.reset();
    if (started_) AppFinish();
    started_ = false;
    TraceClose();
    if (HasFailure() && std::getenv("KVOR_KEEP_TRACE"))
        WriteWholeFile(std::getenv("KVOR_KEEP_TRACE"), ReadWholeFile(dir_.file("trace.txt")));
    for (auto &s : sensors_)
        s->Stop();
    sensors_.clear();
}

SimSensor &LinkTest::AddSensor(SimSettings s, int port) {
    s.paced = false;
    sensors_.push_back(std::make_unique<SimSensor>(s));
    SimSensor &sim = *sensors_.back();
    EXPECT_TRUE(sim.Start()) << sim.LastError();
    AssignPortDevice(port, sim.DevicePath().c_str());
    return sim;
}

bool LinkTest::StartProgram() {
    started_ = AppStart() == 0;
    return started_;
}

void LinkTest::Pump(double seconds) {
    const double t0 = Timer();
    while (Timer() - t0 < seconds)
        ProcessSystemEvents();
}

bool LinkTest::PumpUntil(const std::function<bool()> &done, double seconds) {
    const double t0 = Timer();
    while (!done() && Timer() - t0 < seconds)
        ProcessSystemEvents();
    return done();
}

void LinkTest::Later(int ms, std::function<void()> action) {
    if (!timers_) timers_ = std::make_unique<QObject>();
    QTimer::singleShot(ms, timers_.get(), [action] { action(); });
}

std::string LinkTest::Status() {
    char buf[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, buf);
    return buf;
}

unsigned short LinkTest::WordOf(int i) {
    return parameter[PARAM_HEADER + i];
}

std::vector<unsigned short> LinkTest::Words() {
    std::vector<unsigned short> w(PNUM);
    for (int i = 0; i < PNUM; i++)
        w[i] = WordOf(i);
    return w;
}

std::vector<unsigned short> LinkTest::PanelWords() {
    std::vector<unsigned short> w(PNUM, 0xFFFF);
    for (const Bound &b : kBound) {
        unsigned short v = 0;
        GetCtrlVal(*b.panel, b.control, &v);
        w[b.word] = v;
    }
    return w;
}

void LinkTest::SetPanelWords(const std::vector<unsigned short> &w) {
    for (const Bound &b : kBound)
        SetCtrlVal(*b.panel, b.control, w[b.word]);
}

int LinkTest::Dimmed(int panel, int control) {
    int dimmed = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &dimmed);
    return dimmed;
}

std::vector<std::string> LinkTest::RingLabels(int panel, int control) {
    std::vector<std::string> labels;
    auto *box = qobject_cast<QComboBox *>(PlatformControlWidget(panel, control));
    if (box)
        for (int i = 0; i < box->count(); i++)
            labels.push_back(box->itemText(i).toStdString());
    return labels;
}

void LinkTest::ChooseTarget(int control) {
    SetCtrlVal(pHandle, control, 1);
    SimulateCtrlEvent(pHandle, control, EVENT_VAL_CHANGED, 0, 0);
}

void LinkTest::Click(int panel, int control, int event) {
    SimulateCtrlEvent(panel, control, event, 0, 0);
}

std::vector<unsigned short> LinkTest::Payload(const SimFrame &f) {
    std::vector<unsigned short> w;
    for (int k = 0; k < kSimWords && 5 + 2 * k < int(f.size()); k++)
        w.push_back(static_cast<unsigned short>(f[4 + 2 * k] * 256 + f[5 + 2 * k]));
    return w;
}

std::vector<SimFrame> LinkTest::Writes() const {
    // Lines "<ms> com-write COM<n> <count>: hh hh ...".
    std::vector<SimFrame> frames;
    const std::string text = ReadWholeFile(dir_.file("trace.txt"));
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string ms, kind, port, count;
        words >> ms >> kind >> port >> count;
        if (kind != "com-write") continue;
        SimFrame f;
        for (std::string hex; words >> hex;)
            f.push_back(uint8_t(std::stoul(hex, nullptr, 16)));
        frames.push_back(f);
    }
    return frames;
}

std::vector<int> LinkTest::Commands(const std::vector<SimFrame> &frames) {
    std::vector<int> commands;
    for (const SimFrame &f : frames)
        commands.push_back(Command(f));
    return commands;
}

int LinkTest::Command(const SimFrame &f) {
    return f.size() >= 4 ? f[2] * 256 + f[3] : -1;
}
