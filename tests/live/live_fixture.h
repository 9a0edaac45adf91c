// The whole program against simulated sensors on pseudo-terminals; actions run inside the
// event processing of a RUN or VIDEO loop, whose button press returns when the loop ends.
#pragma once

#include "com232.h"
#include "kvor_panels.h"
#include "processing.h"
#include "rs232.h"
#include "sim.h"
#include "test_support.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <QTimer>
#include <gtest/gtest.h>

class LiveTest : public ::testing::Test {
  public:
    void SetUp() override {
        SetProjectDirOverride(dir_.path().c_str());
        for (int port = 1; port <= 4; port++)
            AssignPortDevice(port, "");
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
        AppFinish();
        SetProjectDirOverride(nullptr);
    }

    // A sensor that answers at once, on port 1 (the start-up port) unless told.
    SimSensor &AddSensor(const std::string &firmware = "", int port = 1) {
        SimSettings s;
        s.paced = false;
        s.firmware = firmware;
        sensors_.push_back(std::make_unique<SimSensor>(s));
        EXPECT_TRUE(sensors_.back()->Start()) << sensors_.back()->LastError();
        AssignPortDevice(port, sensors_.back()->DevicePath().c_str());
        return *sensors_.back();
    }
    static void StartProgram() { ASSERT_EQ(0, AppStart()); }

    // Runs `action` once, inside the event processing of whatever waits, once `when` holds.
    void When(std::function<bool()> when, std::function<void()> action) {
        pending_.emplace_back(std::move(when), std::move(action));
    }
    // The same once `sim` took `frames` more measurement requests than now.
    void AfterFrames(SimSensor &sim, int frames, std::function<void()> action) {
        const int at = sim.RequestCount(kSimMeasure) + frames;
        When([&sim, at] { return sim.RequestCount(kSimMeasure) >= at; }, std::move(action));
    }
    static void Press(int panel, int control) {
        SimulateCtrlEvent(panel, control, EVENT_COMMIT, 0, 0);
    }
    // STOP pressed: mouse down, then the commit.
    static void PressStop() {
        SimulateCtrlEvent(pHandle, MAINPANEL_BTNStop, EVENT_LEFT_CLICK, 0, 0);
        Press(pHandle, MAINPANEL_BTNStop);
    }
    // A value chosen in a ring or drop-down: value changed, then the commit.
    static void Choose(int control, int value) {
        SetCtrlVal(pHandle, control, value);
        SimulateCtrlEvent(pHandle, control, EVENT_VAL_CHANGED, 0, 0);
        Press(pHandle, control);
    }
    static std::string Status() {
        char buf[MAX_PATHNAME_LEN] = {};
        GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, buf);
        return buf;
    }
    static int Attr(int control, int attribute, int panel = pHandle) {
        int v = -1;
        GetCtrlAttribute(panel, control, attribute, &v);
        return v;
    }
    // '1': RUN, VIDEO, TEACH dimmed; strip chart, video, jet graph visible; zoom dimmed.
    static std::string Looks() {
        std::string s;
        for (int v :
             {Attr(MAINPANEL_BTNRun, ATTR_DIMMED), Attr(MAINPANEL_BTNVideo, ATTR_DIMMED),
              Attr(PARA2_ButtonTeach, ATTR_DIMMED, pPara2),
              Attr(MAINPANEL_STRIPChart, ATTR_VISIBLE), Attr(MAINPANEL_GRAPHVideo, ATTR_VISIBLE),
              Attr(MAINPANEL_GRAPHJet, ATTR_VISIBLE), Attr(MAINPANEL_SWITCHZoom, ATTR_DIMMED)})
            s += char('0' + v);
        return s;
    }
    static std::vector<unsigned short> Live() { return {adcbuf, adcbuf + PROFILE_LEN}; }
    static std::vector<unsigned short> Reference() {
        return {thdArray, thdArray + PROFILE_LEN + 1};
    }
    // A request's words after the sync word: command, payload, last word.
    static std::vector<int> Request(const SimFrame &f) {
        std::vector<int> w;
        for (size_t k = 2; k + 1 < f.size(); k += 2)
            w.push_back(f[k] * 256 + f[k + 1]);
        return w;
    }

    TempDir dir_;
    std::vector<std::unique_ptr<SimSensor>> sensors_;
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> pending_;
    QTimer timer_;
};
