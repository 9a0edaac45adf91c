// Profile processing against hand-computed results.
#include "measure.h"
#include "params.h"
#include "processing.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

using Profile = std::array<unsigned short, PROFILE_LEN>;
using Curve = std::array<short, PROFILE_LEN>;

Profile Flat(unsigned short v) {
    Profile p;
    p.fill(v);
    return p;
}

Profile Smoothed(Profile p) {
    SmoothCurve(p.data());
    return p;
}

TEST(SmoothCurve, ImpulseRampAndFlatProfiles) {
    Profile impulse = Flat(0), ramp;
    impulse[10] = 800;
    for (int i = 0; i < PROFILE_LEN; i++)
        ramp[i] = static_cast<unsigned short>(i);
    struct {
        Profile in;
        int from;
        std::vector<unsigned short> out;
    } cases[] = {
        // The in-place feedback makes the impulse lean to the right.
        {impulse, 7, {0, 100, 112, 426, 67, 61, 16, 9, 3, 1, 0, 0}},
        {ramp, 0, {2, 2, 2, 3, 4, 5}},
        {ramp, 250, {250, 251, 251, 252, 253, 253}},
    };
    for (const auto &c : cases) {
        Profile got = Smoothed(c.in);
        for (size_t k = 0; k < c.out.size(); k++)
            EXPECT_EQ(got[c.from + k], c.out[k]) << c.from + k;
    }
    // From 8192 on the five-sample sum no longer fits 16 bits; flat stays flat at any level.
    for (unsigned short level : {0, 800, 8191, 8192, 40000, 65535})
        EXPECT_EQ(Smoothed(Flat(level)), Flat(level)) << level;
}

TEST(SmoothCurve, UpTo8191SameAsSumCutTo16Bits) {
    // Older releases cut the sum to 16 bits; for samples up to 8191 nothing may change.
    auto cut = [](Profile a) {
        a[0] = a[1] = a[2];
        a[254] = a[255] = a[253];
        for (int i = 2; i <= 253; i++)
            a[i] = static_cast<unsigned short>(
                ((a[i - 2] + a[i - 1] + 4u * a[i] + a[i + 1] + a[i + 2]) & 0xFFFFu) >> 3);
        return a;
    };
    std::mt19937 rng(4711);
    for (int r = 0; r < 300; r++) {
        Profile p;
        std::uniform_int_distribution<int> level(0, r % 3 == 0 ? 1023 : 8191);
        for (int i = 0; i < PROFILE_LEN; i++)
            p[i] = static_cast<unsigned short>(r % 3 == 2 ? (i % 2) * 8191 : level(rng));
        ASSERT_EQ(Smoothed(p), cut(p)) << "profile " << r;
    }
}

TEST(NormCurve, JetCurveRoundingClampsAndMaxima) {
    struct Case {
        const char *name;
        unsigned short ref, live;              // everywhere, except:
        std::vector<std::array<int, 3>> spots; // {index, ref, live}
        std::vector<std::array<int, 2>> jet;   // {index, dArray}; elsewhere jetElse
        int jetElse, jetMax, idxMax, jetArea, videoMax;
    };
    // clang-format off
    const Case cases[] = {
        {"object of 75 %", 800, 800, {{100, 800, 200}, {109, 800, 200}}, {{100, 75}, {109, 75}},
         0, 75, 100, 6 * 150, 800},
        // Rounding toward zero; a brighter live sample gives 0, however far it is off.
        {"rounding", 3, 3, {{5, 3, 2}, {6, 3, 4}, {7, 1, 500}}, {{5, 33}}, 0, 33, 5, 6 * 33, 500},
        // A reference 0 counts as 1 (the start-up reference is all ones).
        {"zero reference", 0, 7, {{40, 0, 0}}, {{40, 100}}, 0, 100, 40, 600, 7},
        {"nothing covered", 1, 1, {}, {}, 0, 1, 1, 0, 1},
        {"dark live", 1, 0, {}, {}, 100, 100, 1, 6 * 100 * 256, 1},
        // A maximum at index 0 is reported at 1; ties keep the earlier index.
        {"maximum at 0", 100, 100, {{0, 100, 10}, {9, 100, 10}}, {{0, 90}, {9, 90}}, 0, 90, 1,
         6 * 180, 100},
        {"tie", 100, 100, {{30, 100, 50}, {20, 100, 50}}, {{20, 50}, {30, 50}}, 0, 50, 20, 600, 100},
        {"full scale", 65535, 65535, {{200, 65535, 0}}, {{200, 100}}, 0, 100, 200, 600, 65535},
    };
    // clang-format on
    for (const auto &c : cases) {
        Profile ref = Flat(c.ref), live = Flat(c.live);
        for (const auto &s : c.spots) {
            ref[s[0]] = static_cast<unsigned short>(s[1]);
            live[s[0]] = static_cast<unsigned short>(s[2]);
        }
        NormCurve(live.data(), ref.data());
        std::array<int, PROFILE_LEN> want;
        want.fill(c.jetElse);
        for (const auto &j : c.jet)
            want[j[0]] = j[1];
        for (int i = 0; i < PROFILE_LEN; i++) {
            ASSERT_EQ(dArray[i], want[i]) << c.name << " " << i;
            ASSERT_GE(ref[i], 1) << c.name << " " << i;
        }
        EXPECT_EQ(jetMax, c.jetMax) << c.name;
        EXPECT_EQ(idxMax, c.idxMax) << c.name;
        EXPECT_EQ(jetArea, c.jetArea) << c.name;
        EXPECT_EQ(videoMax, c.videoMax) << c.name;
    }
}

TEST(FindEdge, CrossingsAndResults) {
    Curve object{}, high, atThreshold, alternating{}, negative{};
    for (int i = 100; i < 110; i++)
        object[i] = 75;
    high.fill(100);
    atThreshold.fill(50);
    for (int i = 0; i < PROFILE_LEN; i++)
        alternating[i] = (i % 2) ? 0 : 100;
    negative[5] = -1; // read as 65535: a rise
    std::vector<unsigned short> first62;
    for (int j = 1; j <= 62; j++)
        first62.push_back(static_cast<unsigned short>(j));
    first62.insert(first62.end(), {255, 0}); // every further crossing lands in entry 62
    struct {
        const char *name;
        unsigned short threshold, left;
        Curve curve;
        int n;
        std::vector<unsigned short> crossings; // edbuf[0..]
        unsigned short Ledge, Redge, Mcenter, Mwidth;
    } cases[] = {
        // edgeLeft 1 passes over the fall at index 1.
        {"left 1", 50, 1, object, 2, {100, 110, 0}, 600, 660, 630, 60},
        {"left 0", 50, 0, object, 3, {1, 100, 110, 0}, 6, 660, 333, 654},
        // edgeLeft passes over a fall wherever it lies, never a rise.
        {"left at fall", 50, 110, object, 2, {1, 100, 0}, 6, 600, 303, 594},
        {"left at rise", 50, 100, object, 3, {1, 100, 110}, 6, 660, 333, 654},
        {"never below", 50, 0, high, 0, {0}, 0, 0, 0, 0},
        {"equal is no crossing", 50, 0, atThreshold, 0, {0}, 0, 0, 0, 0},
        // The jet curve never reaches the start-up threshold 512.
        {"threshold 512 left 1", 512, 1, object, 0, {0}, 0, 0, 0, 0},
        {"threshold 512 left 0", 512, 0, object, 1, {1, 0}, 6, 6, 6, 0},
        {"more than 62", 50, 0, alternating, 62, first62, 6, 372, 189, 366},
        {"unsigned reading", 50, 0, negative, 3, {1, 5, 6}, 6, 36, 21, 30},
    };
    for (const auto &c : cases) {
        videoThreshold = c.threshold;
        edgeLeft = c.left;
        std::fill(std::begin(edbuf), std::end(edbuf), 0xBEEF); // cleared by every search
        EXPECT_EQ(FindEdge(c.curve.data()), c.n) << c.name;
        for (size_t k = 0; k < c.crossings.size(); k++)
            EXPECT_EQ(edbuf[k], c.crossings[k]) << c.name << " entry " << k;
        EXPECT_EQ(edbuf[EDGE_BUF_LEN - 1], 0) << c.name;
        EXPECT_EQ((std::array<int, 4>{Ledge, Redge, Mcenter, Mwidth}),
                  (std::array<int, 4>{c.Ledge, c.Redge, c.Mcenter, c.Mwidth}))
            << c.name;
    }
}

TEST(Shift, MovesZeroFillsAndRejects) {
    const std::vector<double> in = {1, 2, 3, 4, 5};
    struct {
        int n, by, result;
        std::vector<double> out;
    } cases[] = {
        {5, -2, ARRAY_OK, {3, 4, 5, 0, 0}},
        {5, 2, ARRAY_OK, {0, 0, 1, 2, 3}},
        {5, 4, ARRAY_OK, {0, 0, 0, 0, 1}},
        {5, -4, ARRAY_OK, {5, 0, 0, 0, 0}},
        {5, 0, ARRAY_OK, in},
        {5, 5, ARRAY_ERR_SHIFT, in},
        {5, -5, ARRAY_ERR_SHIFT, in},
        {5, -2147483647 - 1, ARRAY_ERR_SHIFT, in},
        {0, 0, ARRAY_ERR_COUNT, in},
        {-3, 1, ARRAY_ERR_COUNT, in},
    };
    for (const auto &c : cases) {
        std::vector<double> separate(5, -1.0), inPlace = in;
        EXPECT_EQ(Shift(in.data(), c.n, c.by, separate.data()), c.result) << c.by;
        EXPECT_EQ(Shift(inPlace.data(), c.n, c.by, inPlace.data()), c.result) << c.by;
        EXPECT_EQ(inPlace, c.out) << "in place, shift " << c.by;
        EXPECT_EQ(separate, c.result == ARRAY_OK ? c.out : std::vector<double>(5, -1.0)) << c.by;
    }
    double one[1] = {7};
    EXPECT_EQ(Copy1D(in.data(), 0, one), ARRAY_ERR_COUNT);
    EXPECT_EQ(one[0], 7);
}

TEST(ProfileArrays, StartUpReferenceIsOnesWithMaximumZero) {
    for (int i = 0; i < PROFILE_LEN; i++)
        ASSERT_EQ(thdArray[i], 1) << i;
    EXPECT_EQ(thdArray[PROFILE_LEN], 0);
}

} // namespace
