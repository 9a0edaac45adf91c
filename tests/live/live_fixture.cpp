#include "live_fixture.h"

#include "com232.h"
#include "kvor_panels.h"
#include "params.h"
#include "processing.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <QTimer>

namespace {
constexpr int kTracePoints = 400;
}

void LiveTest::SetUp() {
    SetProjectDirOverride(dir_.path().c_str());
    for (int port = 1; port <= 4; port++) AssignPortDevice(port, "");
    timer_ = new QTimer;
    timer_->setInterval(1);
    QObject::connect(timer_, &QTimer::timeout, [this] {
        if (acting_) return; // an action waits for the sensor: no second one nested in it
        for (size_t i = 0; i < pending_.size(); i++) {
            if (!pending_[i].when()) continue;
            auto action = pending_[i].action;
            pending_.erase(pending_.begin() + long(i));
            acting_ = true;
            action();
            acting_ = false;
            return;
        }
    });
    timer_->start();
}

void LiveTest::TearDown() {
    delete timer_;
    timer_ = nullptr;
    pending_.clear();
    FinishProgram();
    for (auto &s : sensors_) s->Stop();
    sensors_.clear();
    SetProjectDirOverride(nullptr);
}

SimSensor &LiveTest::AddSensor(SimSettings s, int port) {
    sensors_.push_back(std::make_unique<SimSensor>(s));
    SimSensor &sim = *sensors_.back();
    EXPECT_TRUE(sim.Start()) << sim.LastError();
    AssignPortDevice(port, sim.DevicePath().c_str());
    return sim;
}

void LiveTest::StartProgram() {
    ASSERT_EQ(0, AppStart());
    started_ = true;
}

void LiveTest::FinishProgram() {
    if (started_) AppFinish();
    started_ = false;
}

void LiveTest::When(std::function<bool()> when, std::function<void()> action) {
    pending_.push_back({std::move(when), std::move(action)});
}

void LiveTest::PressStop() {
    SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_LEFT_CLICK, 0, 0);
    SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_COMMIT, 0, 0);
}

void LiveTest::Press(int panel, int control) { SimulateCtrlEvent(panel, control, EVENT_COMMIT, 0, 0); }

void LiveTest::RunLoop(int button, double limit) {
    const double t0 = Timer();
    bool overran = false;
    When([t0, limit] { return Timer() - t0 > limit; }, [&overran] {
        overran = true;
        PressStop();
    });
    Press(pHandle, button);
    EXPECT_FALSE(overran) << "the loop was still running after " << limit << " s";
}

std::string LiveTest::Status() {
    char buf[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, buf);
    return buf;
}

int LiveTest::Dimmed(int panel, int control) {
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &v);
    return v;
}

int LiveTest::Visible(int panel, int control) {
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_VISIBLE, &v);
    return v;
}

std::vector<double> LiveTest::Trace(int trace) {
    std::vector<double> y(kTracePoints);
    const int n = GetStripChartTrace(pHandle, MAINPANEL_STRIPChart, trace, y.data(), kTracePoints);
    y.resize(n > 0 ? size_t(n) : 0);
    return y;
}

std::vector<unsigned short> LiveTest::Words() {
    return std::vector<unsigned short>(parameter + PARAM_HEADER, parameter + PARAM_WORDS);
}

int LiveTest::Command(const SimFrame &f) { return f.size() >= 4 ? f[2] * 256 + f[3] : -1; }

std::vector<unsigned short> LiveTest::Payload(const SimFrame &f) {
    std::vector<unsigned short> w;
    for (int k = 0; k < kSimWords && 5 + 2 * k < int(f.size()); k++)
        w.push_back(static_cast<unsigned short>(f[4 + 2 * k] * 256 + f[5 + 2 * k]));
    return w;
}

std::vector<unsigned short> LiveTest::SmoothedProfile(const SimSettings &s, unsigned scans) {
    SimModel model(s);
    std::vector<uint16_t> p = model.Profile(scans > 0 ? scans - 1 : 0);
    std::vector<unsigned short> out(p.begin(), p.end());
    SmoothCurve(out.data());
    return out;
}
