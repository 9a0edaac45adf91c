// The whole program started against simulated sensors on pseudo-terminals.
#pragma once

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "params.h"
#include "parapanels.h"
#include "rs232.h"
#include "shell.h"
#include "sim.h"
#include "test_support.h"
#include "trace.h"
#include "userint_readback.h"
#include "utility.h"
#include "winmain.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <functional>
#include <memory>
#include <sstream>

using Words16 = std::vector<unsigned short>;

// In range, and unlike the panels' start values and the simulated sensor's default set.
inline Words16 DistinctWords() {
    return {700, 1, 300, 2, 0, 2, 100, 900, 480, 60, 1, 3, 77, 4242, 16, 1234};
}

// A sensor holding DistinctWords() in its EEPROM and RAM, with faults such as "no-reply@2".
inline SimSettings Sensor(std::initializer_list<const char *> faults = {}) {
    SimSettings s;
    s.eeprom = DistinctWords();
    for (std::string error; const char *text : faults)
        EXPECT_TRUE(ParseSimFault(text, &s.faults.emplace_back(), &error)) << error;
    return s;
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetProjectDirOverride(dir_.path().c_str());
        for (int port = 1; port <= 4; port++)
            AssignPortDevice(port, "");
        TraceOpen(dir_.file("trace.txt").c_str());
    }
    void TearDown() override {
        timers_.reset();
        if (started_) AppFinish();
        TraceClose();
        for (auto &s : sensors_)
            s->Stop();
    }
    SimSensor &AddSensor(SimSettings s, int port = 1) { // answers at once; 1: the start-up port
        s.paced = false;
        SimSensor &sim = *sensors_.emplace_back(std::make_unique<SimSensor>(s));
        EXPECT_TRUE(sim.Start()) << sim.LastError();
        AssignPortDevice(port, sim.DevicePath().c_str());
        return sim;
    }
    bool StartProgram() { return started_ = AppStart() == 0; }
    SimSensor &Start(const SimSettings &s = Sensor()) {
        SimSensor &sim = AddSensor(s);
        EXPECT_TRUE(StartProgram());
        return sim;
    }
    // Runs `action` inside the event processing: a click that comes while the program waits.
    void Later(int ms, std::function<void()> action) {
        if (!timers_) timers_ = std::make_unique<QObject>();
        QTimer::singleShot(ms, timers_.get(), action);
    }
    static std::string Status() {
        char buf[MAX_PATHNAME_LEN] = {};
        GetCtrlVal(pHandle, MAINPANEL_TEXTStatus, buf);
        return buf;
    }
    static Words16 Words() { return {parameter + PARAM_HEADER, parameter + PARAM_WORDS}; }
    static void SetWords(const Words16 &w, bool show = false) { // show: SetPAValues them too
        std::copy_n(w.begin(), PNUM, parameter + PARAM_HEADER);
        if (show) SetPAValues();
    }
    static Words16 PanelWords() { // the words as the panels show them (GetPAValues)
        const Words16 kept = Words();
        GetPAValues();
        const Words16 shown = Words();
        SetWords(kept);
        return shown;
    }
    static int Attr(int panel, int control, int attribute) {
        int value = -1;
        GetCtrlAttribute(panel, control, attribute, &value);
        return value;
    }
    static void Click(int p, int c, int event) { SimulateCtrlEvent(p, c, event, 0, 0); }
    // The last file dialog: title|default name|filter|button label|extension restricted|folder.
    static std::string Dialog() {
        FileSelectRequest r;
        GetLastFileSelectRequest(&r);
        return std::string(r.title) + "|" + r.defaultFileName + "|" + r.fileTypeList + "|" +
               std::to_string(r.buttonLabel) + "|" + std::to_string(r.restrictExtension) +
               (std::string(r.defaultDirectory) == proj_dir ? "|proj" : "|elsewhere");
    }
    // The frames the program wrote (kind "com-write") or read ("com-read"): trace lines
    // "<ms> <kind> COM<n> <count>: hh hh ...".
    std::vector<SimFrame> TraceFrames(const std::string &kind) const {
        std::vector<SimFrame> frames;
        std::istringstream in(ReadWholeFile(dir_.file("trace.txt")));
        for (std::string line, ms, k, port, count; std::getline(in, line);) {
            std::istringstream words(line);
            if (!(words >> ms >> k >> port >> count) || k != kind) continue;
            SimFrame &f = frames.emplace_back();
            for (std::string hex; words >> hex;)
                f.push_back(uint8_t(std::stoul(hex, nullptr, 16)));
        }
        return frames;
    }
    std::vector<SimFrame> Writes() const { return TraceFrames("com-write"); }
    // The measurement replies read from the line, in order: their words.
    std::vector<Words16> WireFrames() const {
        std::vector<Words16> out;
        for (const SimFrame &f : TraceFrames("com-read"))
            if (f.size() == size_t(kSimReplyLen) && Command(f) == CMD_RAW_FRAME)
                out.push_back(Payload(f));
        return out;
    }
    // A measurement reply's values in the recording's column order (after time and frame).
    static std::vector<long> RecordValues(const Words16 &w) {
        std::vector<long> v = {w[0], w[1], w[2], long(w[3] | w[4] << 16)};
        for (int k = 5; k <= 13; k++)
            v.push_back(w[k]);
        v.push_back(w[5] - w[6] <= w[2] && w[2] <= w[5] + w[6]);
        return v;
    }
    int TraceCount(const std::string &text) const {
        return CountOf(ReadWholeFile(dir_.file("trace.txt")), text);
    }
    static int Command(const SimFrame &f) { return f.size() >= 4 ? f[2] << 8 | f[3] : -1; }
    static Words16 Payload(const SimFrame &f) { // words 0..15 of a request frame
        Words16 w(PNUM);
        for (int k = 0; k < PNUM; k++)
            w[k] = static_cast<unsigned short>(f.at(4 + 2 * k) << 8 | f.at(5 + 2 * k));
        return w;
    }

    TempDir dir_;
    std::vector<std::unique_ptr<SimSensor>> sensors_;
    bool started_ = false;
    std::unique_ptr<QObject> timers_;
};
