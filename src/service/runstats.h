// Statistics of the frames of one RUN, computed as the frames come (Welford's method):
// constant memory, a few operations a frame. Plain C++, no toolkit.
#pragma once

#include <array>
#include <optional>
#include <string>

// The words of one measurement frame as RUN has drawn it, by the names the recording uses.
struct RunFrame {
    unsigned Ledge = 0, Redge = 0, Mvalue = 0;
    unsigned umValue = 0; // frame words 3 (low half) and 4 (high half)
    unsigned setpoint = 0, tolerance = 0, edcnt = 0, mvstart = 0, mvend = 0, dynpow = 0;
    unsigned anaMax = 0, anaMin = 0, in0 = 0;
};
// 1 when setpoint - tolerance <= Mvalue <= setpoint + tolerance.
bool InTolerance(const RunFrame &f);
// The frame RUN drew last (the measurement values of measure.h and the parameter words).
RunFrame CurrentRunFrame(void);

// Count, mean, sample standard deviation, minimum and maximum of one value.
class Moments {
  public:
    void Add(double x);
    long Count() const { return n_; }
    double Mean() const { return mean_; }
    double Sigma() const; // 0 with fewer than 2 values
    double Min() const { return min_; }
    double Max() const { return max_; }

  private:
    long n_ = 0;
    double mean_ = 0, m2_ = 0, min_ = 0, max_ = 0;
};

class RunStats {
  public:
    static constexpr int kBins = 50;  // histogram of Mvalue over S - 4T .. S + 4T
    static constexpr int kSpan = 4;   // half the histogram's range in tolerances

    void Reset() { *this = RunStats(); }
    void Add(const RunFrame &f);

    long Frames() const { return mvalue.Count(); }
    long OutOfBand() const { return outOfBand_; }
    double OutOfBandPercent() const;
    // Against the latest frame's band S +/- T; empty with fewer than 2 frames or sigma 0.
    std::optional<double> Cp() const;
    std::optional<double> Cpk() const;
    unsigned Setpoint() const { return setpoint_; }
    unsigned Tolerance() const { return tolerance_; }
    // Histogram of the frames since the band last changed; values outside its range are
    // counted in Outside().
    const std::array<long, kBins> &Bins() const { return bins_; }
    long Outside() const { return outside_; }
    double BinLow() const;   // lower end of the histogram's range
    double BinWidth() const; // width of one bin

    Moments mvalue, ledge, redge;

  private:
    long outOfBand_ = 0;
    unsigned setpoint_ = 0, tolerance_ = 0;
    std::array<long, kBins> bins_{};
    long outside_ = 0;
};

// "12.346", or "-" for an empty value.
std::string FormatStat(std::optional<double> v, int decimals);
