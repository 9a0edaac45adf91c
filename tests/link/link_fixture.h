// The whole program started against simulated sensors on pseudo-terminals.
#pragma once

#include "sim.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A sensor answering at once on port `port` (1 is the program's start-up port).
    SimSensor &AddSensor(SimSettings s, int port = 1);
    // Runs the program's start-up; false when it failed.
    bool StartProgram();
    // Processes events for `seconds`.
    static void Pump(double seconds);
    // Processes events until `done` holds or `seconds` passed; the final value of done().
    static bool PumpUntil(const std::function<bool()> &done, double seconds);
    // Runs `action` from inside the event processing after `ms` milliseconds, the way an
    // operator's click arrives while the program waits for the sensor.
    // Timers still pending when the test ends are dropped with it.
    void Later(int ms, std::function<void()> action);

    static std::string Status();
    // Parameter word i (packet order).
    static unsigned short WordOf(int i);
    static std::vector<unsigned short> Words();
    // The fourteen panel values as packet words (12 and 13 have no control: 0xFFFF).
    static std::vector<unsigned short> PanelWords();
    static void SetPanelWords(const std::vector<unsigned short> &w);
    static int Dimmed(int panel, int control);
    static std::vector<std::string> RingLabels(int panel, int control);
    // Selects a memory target as the operator does: the button on, then its callback.
    static void ChooseTarget(int control);
    static void Click(int panel, int control, int event);

    // The frames the program wrote so far, in order (from the service trace).
    std::vector<SimFrame> Writes() const;
    static std::vector<int> Commands(const std::vector<SimFrame> &frames);

    // Payload words 0..15 of a 38-byte request frame.
    static std::vector<unsigned short> Payload(const SimFrame &f);
    static int Command(const SimFrame &f);

    TempDir dir_;
    std::vector<std::unique_ptr<SimSensor>> sensors_;
    bool started_ = false;
    std::unique_ptr<QObject> timers_;
};

// A parameter set with every word inside its range and different from the panels' start
// values, so that a word that was not taken over shows.
SimWords DistinctWords();
