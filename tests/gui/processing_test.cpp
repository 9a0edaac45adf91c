// Profile processing against hand-computed results.
#include "measure.h"
#include "params.h"
#include "processing.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>

using Profile = std::array<unsigned short, PROFILE_LEN>;

// An impulse leans right (the loop works in place); flat stays flat at any level, though from
// 8192 on the five-sample sum exceeds 16 bits; up to 8191 the same as the sum cut to 16 bits.
TEST(SmoothCurve, ImpulseRampFlatAndTheSumNeverCut) {
    auto smoothed = [](Profile p) { return SmoothCurve(p.data()), p; };
    Profile impulse{}, ramp, flat, random;
    impulse[10] = 800;
    std::iota(ramp.begin(), ramp.end(), 0);
    const Profile si = smoothed(impulse), sr = smoothed(ramp);
    EXPECT_EQ((std::vector<int>{0, 100, 112, 426, 67, 61, 16, 9, 3, 1, 0}),
              std::vector<int>(&si[7], &si[18]));
    EXPECT_EQ((std::vector<int>{2, 2, 2, 3, 4, 5, 6}), std::vector<int>(&sr[0], &sr[7]));
    EXPECT_EQ((std::vector<int>{251, 252, 253, 253}), std::vector<int>(&sr[252], sr.end()));
    for (unsigned short level : {0, 8191, 8192, 40000, 65535}) {
        flat.fill(level);
        EXPECT_EQ(flat, smoothed(flat)) << level;
    }
    std::mt19937 rng(4711);
    for (int r = 0; r < 300; r++) {
        std::uniform_int_distribution<unsigned short> level(0, r % 3 == 0 ? 1023 : 8191);
        for (size_t i = 0; i < PROFILE_LEN; i++)
            random[i] = r % 3 == 2 ? (i % 2) * 8191 : level(rng);
        Profile cut = random;
        cut[0] = cut[1] = cut[2], cut[254] = cut[255] = cut[253];
        for (size_t i = 2; i <= 253; i++)
            cut[i] = static_cast<unsigned short>(
                ((cut[i - 2] + cut[i - 1] + 4u * cut[i] + cut[i + 1] + cut[i + 2]) & 0xFFFF) >> 3);
        ASSERT_EQ(cut, smoothed(random)) << "profile " << r;
    }
}

// Percent rounded toward zero, 0 where the live sample is brighter, a reference 0 taken as
// 1 (and stored so), no overflow at full scale. Reference and live sample everywhere, except
// at {index, ref, live, dArray}; elsewhere the jet curve is 0.
TEST(NormCurve, JetCurveRoundingAndClamps) {
    // clang-format off
    for (auto [r0, l0, spots, results] : {
             std::tuple{800, 800, std::vector<std::array<int, 4>>{{100, 800, 200, 75}, {109, 800, 200, 75}},
                        std::array<int, 4>{75, 100, 6 * 150, 800}}, // jetMax, idxMax, jetArea, videoMax
             {3, 3, {{5, 3, 2, 33}, {6, 3, 4, 0}, {7, 1, 500, 0}}, {33, 5, 6 * 33, 500}},
             {0, 7, {{40, 0, 0, 100}}, {100, 40, 600, 7}},
             {100, 100, {{30, 100, 50, 50}, {20, 100, 50, 50}}, {50, 20, 600, 100}}, // the first maximum
             {65535, 65535, {{200, 65535, 0, 100}}, {100, 200, 600, 65535}}}) {
        // clang-format on
        Profile ref, live;
        ref.fill(static_cast<unsigned short>(r0)), live.fill(static_cast<unsigned short>(l0));
        std::vector<int> want(PROFILE_LEN, 0);
        for (auto [i, r, l, jet] : spots)
            ref[size_t(i)] = static_cast<unsigned short>(r),
            live[size_t(i)] = static_cast<unsigned short>(l), want[size_t(i)] = jet;
        NormCurve(live.data(), ref.data());
        EXPECT_EQ(want, std::vector<int>(dArray, dArray + PROFILE_LEN)) << r0;
        EXPECT_EQ(results, (std::array<int, 4>{jetMax, idxMax, jetArea, videoMax})) << r0;
        EXPECT_EQ(0, std::count(ref.begin(), ref.end(), 0)) << r0;
    }
}

// edgeLeft passes over a fall at its index, never a rise; past 62 crossings, entry 62 is reused.
TEST(FindEdge, CrossingsAndResults) {
    std::array<short, PROFILE_LEN> object{}, alternating{};
    std::fill(object.begin() + 100, object.begin() + 110, 75);
    for (size_t i = 0; i < PROFILE_LEN; i += 2)
        alternating[i] = 100;
    std::vector<int> first62(1 + EDGE_BUF_LEN, 0); // as below: the count kept, then edbuf
    std::iota(&first62[1], &first62[63], 1);
    first62[0] = 62, first62[63] = 255;
    // clang-format off
    for (auto [left, curve, crossings, results] : {
             std::tuple{1, object, std::vector<int>{2, 100, 110, 0}, std::array<int, 4>{600, 660, 630, 60}},
             {0, object, {3, 1, 100, 110, 0}, {6, 660, 333, 654}}, {110, object, {2, 1, 100, 0}, {6, 600, 303, 594}},
             {100, object, {3, 1, 100, 110}, {6, 660, 333, 654}}, {0, alternating, first62, {6, 372, 189, 366}}}) {
        // clang-format on
        videoThreshold = 50, edgeLeft = static_cast<unsigned short>(left);
        std::fill(std::begin(edbuf), std::end(edbuf), 0xBEEF); // cleared by every search
        std::vector<int> got = {FindEdge(curve.data())};
        got.insert(got.end(), edbuf, edbuf + crossings.size() - 1);
        EXPECT_EQ(crossings, got) << left;
        EXPECT_EQ(results, (std::array<int, 4>{Ledge, Redge, Mcenter, Mwidth})) << left;
    }
}

// In place or into another array; a rejected shift leaves the output untouched.
TEST(Shift, MovesZeroFillsAndRejects) {
    const std::vector<double> in = {1, 2, 3, 4, 5};
    // clang-format off
    for (auto [n, by, result, out] : {std::tuple{5, -2, ARRAY_OK, std::vector<double>{3, 4, 5, 0, 0}},
         {5, 4, ARRAY_OK, {0, 0, 0, 0, 1}}, {5, 0, ARRAY_OK, in}, {5, 5, ARRAY_ERR_SHIFT, in},
         {5, -2147483647 - 1, ARRAY_ERR_SHIFT, in}, {0, 0, ARRAY_ERR_COUNT, in}, {-3, 1, ARRAY_ERR_COUNT, in}}) {
        // clang-format on
        std::vector<double> separate(5, -1.0), inPlace = in;
        EXPECT_EQ(result, Shift(in.data(), n, by, separate.data())) << by;
        EXPECT_EQ(result, Shift(inPlace.data(), n, by, inPlace.data())) << by;
        EXPECT_EQ(out, inPlace) << by;
        EXPECT_EQ(result == ARRAY_OK ? out : std::vector<double>(5, -1.0), separate) << by;
    }
}
