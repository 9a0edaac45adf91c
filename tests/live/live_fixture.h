// The link tests' program and sensors; actions run inside the event processing of a RUN or
// VIDEO loop, whose button press returns when the loop ends.
#pragma once

#include "../link/link_fixture.h"
#include "freeze.h"
#include "gui_state.h"
#include "measure.h"
#include "plots.h"
#include "processing.h"
#include "videoblock.h"

class LiveTest : public LinkTest {
  public:
    void SetUp() override {
        LinkTest::SetUp();
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto due =
                std::find_if(pending_.begin(), pending_.end(), [](auto &p) { return p.first(); });
            if (due == pending_.end()) return;
            auto action = due->second;
            pending_.erase(due);
            action();
        });
        timer_.start(1);
    }
    void TearDown() override {
        timer_.stop();
        LinkTest::TearDown();
    }
    // A sensor with the simulator's default words that answers at once (port 1: start-up's).
    SimSensor &AddSensor(const std::string &firmware = "", int port = 1) {
        SimSettings s;
        s.firmware = firmware;
        return LinkTest::AddSensor(s, port);
    }
    void StartProgram() { ASSERT_TRUE(LinkTest::StartProgram()); }
    SimSensor &StartWith(const std::string &firmware = "") { // AddSensor(firmware), started
        SimSensor &sim = AddSensor(firmware);
        StartProgram();
        return sim;
    }
    // Runs `action` once, inside the event processing of whatever waits, once `when` holds.
    void When(std::function<bool()> when, std::function<void()> action) {
        pending_.emplace_back(std::move(when), std::move(action));
    }
    // The same once `sim` took `frames` more measurement requests than now.
    void AfterFrames(SimSensor &sim, int frames, std::function<void()> action) {
        const int at = sim.RequestCount(kSimMeasure) + frames;
        When([&sim, at] { return sim.RequestCount(kSimMeasure) >= at; }, std::move(action));
    }
    static void Press(int panel, int control) { Click(panel, control, EVENT_COMMIT); }
    static void PressStop() { // mouse down, then the commit
        Click(pHandle, MAINPANEL_BTNStop, EVENT_LEFT_CLICK);
        Press(pHandle, MAINPANEL_BTNStop);
    }
    static void Choose(int control, int value) { // value changed, then the commit
        SetCtrlVal(pHandle, control, value);
        Click(pHandle, control, EVENT_VAL_CHANGED);
        Press(pHandle, control);
    }
    // '1': RUN, VIDEO, TEACH dimmed; strip chart, video, jet graph visible; zoom dimmed.
    static std::string Looks() {
        auto dim = [](int panel, int c) { return char('0' + Attr(panel, c, ATTR_DIMMED)); };
        auto shown = [](int c) { return char('0' + Attr(pHandle, c, ATTR_VISIBLE)); };
        return {dim(pHandle, MAINPANEL_BTNRun),    dim(pHandle, MAINPANEL_BTNVideo),
                dim(pPara2, PARA2_ButtonTeach),    shown(MAINPANEL_STRIPChart),
                shown(MAINPANEL_GRAPHVideo),       shown(MAINPANEL_GRAPHJet),
                dim(pHandle, MAINPANEL_SWITCHZoom)};
    }
    static std::vector<unsigned short> Live() { return {adcbuf, adcbuf + PROFILE_LEN}; }
    static std::vector<unsigned short> Reference() {
        return {thdArray, thdArray + PROFILE_LEN + 1};
    }

    std::vector<std::pair<std::function<bool()>, std::function<void()>>> pending_;
    QTimer timer_;
};
