#include "runstats.h"

#include "measure.h"
#include "params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

bool InTolerance(const RunFrame &f) {
    const long m = f.Mvalue, s = f.setpoint, t = f.tolerance;
    return s - t <= m && m <= s + t;
}

RunFrame CurrentRunFrame(void) {
    RunFrame f;
    f.Ledge = Ledge, f.Redge = Redge, f.Mvalue = Mvalue, f.umValue = umValue;
    f.setpoint = setpoint, f.tolerance = tolerance, f.edcnt = edcnt;
    f.mvstart = mvstart, f.mvend = mvend, f.dynpow = dynpow;
    f.anaMax = anaMax, f.anaMin = anaMin, f.in0 = in0;
    return f;
}

void Moments::Add(double x) {
    n_++;
    const double delta = x - mean_;
    mean_ += delta / double(n_);
    m2_ += delta * (x - mean_);
    min_ = n_ == 1 ? x : std::min(min_, x);
    max_ = n_ == 1 ? x : std::max(max_, x);
}

double Moments::Sigma() const {
    return n_ < 2 ? 0.0 : std::sqrt(std::max(0.0, m2_ / double(n_ - 1)));
}

void RunStats::Add(const RunFrame &f) {
    mvalue.Add(f.Mvalue);
    ledge.Add(f.Ledge);
    redge.Add(f.Redge);
    if (!InTolerance(f)) outOfBand_++;
    if (f.setpoint != setpoint_ || f.tolerance != tolerance_ || Frames() == 1) {
        // A new band: the histogram's range follows it and starts again.
        setpoint_ = f.setpoint, tolerance_ = f.tolerance;
        bins_.fill(0);
        outside_ = 0;
    }
    const double width = BinWidth();
    const double at = width > 0 ? (double(f.Mvalue) - BinLow()) / width : -1;
    if (at >= 0 && at < kBins)
        bins_[size_t(at)]++;
    else if (width > 0 && double(f.Mvalue) == BinLow() + kBins * width)
        bins_[kBins - 1]++; // the range's upper end belongs to the last bin
    else
        outside_++;
}

double RunStats::OutOfBandPercent() const {
    return Frames() == 0 ? 0.0 : 100.0 * double(outOfBand_) / double(Frames());
}

std::optional<double> RunStats::Cp() const {
    const double sigma = mvalue.Sigma();
    if (Frames() < 2 || sigma == 0) return std::nullopt;
    return 2.0 * tolerance_ / (6.0 * sigma);
}

std::optional<double> RunStats::Cpk() const {
    const double sigma = mvalue.Sigma();
    if (Frames() < 2 || sigma == 0) return std::nullopt;
    const double s = setpoint_, t = tolerance_, mean = mvalue.Mean();
    return std::min(s + t - mean, mean - (s - t)) / (3.0 * sigma);
}

double RunStats::BinLow() const { return double(setpoint_) - kSpan * double(tolerance_); }
double RunStats::BinWidth() const { return 2.0 * kSpan * double(tolerance_) / kBins; }

std::string FormatStat(std::optional<double> v, int decimals) {
    if (!v) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, *v);
    return text;
}
