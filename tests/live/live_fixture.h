// The whole program started against simulated sensors on pseudo-terminals, with a way to
// act from inside the event processing of a running RUN or VIDEO loop.
#pragma once

#include "sim.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class LiveTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A sensor on port `port` (1 is the program's start-up port).
    SimSensor &AddSensor(SimSettings s, int port = 1);
    void StartProgram();
    void FinishProgram();

    // Runs `action` once, from inside the event processing of whatever waits at that
    // moment, as soon as `when` holds. Actions run one at a time.
    void When(std::function<bool()> when, std::function<void()> action);
    // The operator's press on STOP: mouse down, then the commit.
    static void PressStop();
    static void Press(int panel, int control);
    // Starts RUN or VIDEO with a press and returns when the loop has ended; a loop still
    // running after `limit` seconds is stopped and the test fails.
    void RunLoop(int button, double limit = 20.0);

    static std::string Status();
    static int Dimmed(int panel, int control);
    static int Visible(int panel, int control);
    // Values a strip-chart trace holds (oldest first).
    static std::vector<double> Trace(int trace);
    static std::vector<unsigned short> Words();
    static int Command(const SimFrame &f);
    static std::vector<unsigned short> Payload(const SimFrame &f);
    // The profile the sensor sends after `scans` measurement requests, smoothed once as a
    // VIDEO cycle smooths it.
    static std::vector<unsigned short> SmoothedProfile(const SimSettings &s, unsigned scans);

    TempDir dir_;
    std::vector<std::unique_ptr<SimSensor>> sensors_;
    bool started_ = false;

  private:
    struct Pending {
        std::function<bool()> when;
        std::function<void()> action;
    };
    std::vector<Pending> pending_;
    bool acting_ = false;
    class QTimer *timer_ = nullptr;
};
