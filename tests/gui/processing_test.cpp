// Profile processing against hand-computed results.
#include "measure.h"
#include "params.h"
#include "processing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

namespace {

using Profile = std::array<unsigned short, PROFILE_LEN>;

Profile Flat(unsigned short v) {
    Profile p;
    p.fill(v);
    return p;
}

Profile Smoothed(Profile p) {
    SmoothCurve(p.data());
    return p;
}

// ---- smoothing --------------------------------------------------------------------------

struct SmoothCase {
    const char *name;
    Profile in;
    int from;                        // first index checked
    std::vector<unsigned short> out; // expected values from `from` on
};

Profile Impulse() {
    Profile p = Flat(0);
    p[10] = 800;
    return p;
}

Profile Ramp() {
    Profile p;
    for (int i = 0; i < PROFILE_LEN; i++) p[i] = static_cast<unsigned short>(i);
    return p;
}

TEST(SmoothCurve, HandComputedProfiles) {
    const SmoothCase cases[] = {
        // The in-place feedback makes the impulse lean to the right.
        {"impulse", Impulse(), 7, {0, 100, 112, 426, 67, 61, 16, 9, 3, 1, 0, 0}},
        {"ramp start", Ramp(), 0, {2, 2, 2, 3, 4, 5}},
        {"ramp end", Ramp(), 250, {250, 251, 251, 252, 253, 253}},
    };
    for (const auto &c : cases) {
        Profile got = Smoothed(c.in);
        for (size_t k = 0; k < c.out.size(); k++)
            EXPECT_EQ(got[c.from + k], c.out[k]) << c.name << " index " << c.from + k;
    }
}

TEST(SmoothCurve, FlatProfilesStayFlatAtAnyLevel) {
    // 8192 and above are the levels whose five-sample sum no longer fits 16 bits.
    for (unsigned short level : {0, 1, 800, 8191, 8192, 20000, 65535}) {
        Profile got = Smoothed(Flat(level));
        EXPECT_EQ(got, Flat(level)) << "level " << level;
    }
}

// The sum cut to 16 bits, as older releases computed it: the reference for profiles whose
// samples stay at or below 8191, where both must agree exactly.
Profile SmoothedCut(Profile a) {
    a[0] = a[1] = a[2];
    a[254] = a[255] = a[253];
    for (int i = 2; i <= 253; i++) {
        unsigned s = a[i - 2] + a[i - 1] + 4u * a[i] + a[i + 1] + a[i + 2];
        a[i] = static_cast<unsigned short>((s & 0xFFFFu) >> 3);
    }
    return a;
}

TEST(SmoothCurve, UpTo8191UnchangedFromCutSum) {
    std::mt19937 rng(4711);
    std::vector<Profile> profiles;
    Profile alternating;
    for (int i = 0; i < PROFILE_LEN; i++) alternating[i] = (i % 2) ? 8191 : 0;
    profiles.push_back(alternating);
    profiles.push_back(Flat(8191));
    for (int r = 0; r < 200; r++) {
        Profile p;
        std::uniform_int_distribution<int> level(0, r % 2 ? 8191 : 1023);
        for (auto &v : p) v = static_cast<unsigned short>(level(rng));
        profiles.push_back(p);
    }
    for (const auto &p : profiles) EXPECT_EQ(Smoothed(p), SmoothedCut(p));
}

TEST(SmoothCurve, BrightProfileSmoothsWithoutWrapping) {
    // A dark object in a profile at 40000: the cut sum would wrap to small values; the
    // smoothed profile must stay between the darkest and brightest sample and keep the
    // bright background.
    Profile p = Flat(40000);
    for (int i = 100; i < 140; i++) p[i] = 1000;
    Profile got = Smoothed(p);
    for (int i = 0; i < PROFILE_LEN; i++) {
        EXPECT_GE(got[i], 1000) << i;
        EXPECT_LE(got[i], 40000) << i;
    }
    EXPECT_EQ(got[50], 40000);
    EXPECT_GE(got[200], 39990); // the feedback's rounding down recovers slowly
    EXPECT_EQ(got[120], 1000);
}

// ---- jet curve ----------------------------------------------------------------------------

struct NormCase {
    const char *name;
    unsigned short ref, live;              // everywhere, except:
    std::vector<std::array<int, 3>> spots; // {index, ref, live}
    std::vector<std::array<int, 2>> jet;   // {index, expected dArray}
    int jetElse;                           // expected dArray at every other index
    int jetMax, idxMax, jetArea, videoMax;
};

TEST(NormCurve, JetCurveRoundingClampsAndMaxima) {
    std::vector<std::array<int, 3>> object;
    std::vector<std::array<int, 2>> objectJet;
    for (int i = 100; i < 110; i++) {
        object.push_back({i, 800, 200});
        objectJet.push_back({i, 75});
    }
    const NormCase cases[] = {
        {"object of 75 %", 800, 800, object, objectJet, 0, 75, 100, 6 * 750, 800},
        // Rounding toward zero; a brighter live sample gives 0, however far it is off.
        {"rounding", 3, 3, {{5, 3, 2}, {6, 3, 4}, {7, 1, 500}}, {{5, 33}}, 0, 33, 5, 6 * 33, 500},
        // A reference 0 counts as 1: the live 0 is 100 % covered, the rest 0 %.
        {"zero reference", 0, 7, {{40, 0, 0}}, {{40, 100}}, 0, 100, 40, 600, 7},
        // Nothing above 1: the maxima keep their start values.
        {"nothing covered", 1, 1, {}, {}, 0, 1, 1, 0, 1},
        {"dark live", 1, 0, {}, {}, 100, 100, 1, 6 * 100 * 256, 1},
        // The maximum at index 0 is reported at 1; ties keep the earlier index.
        {"maximum at 0", 100, 100, {{0, 100, 10}, {9, 100, 10}}, {{0, 90}, {9, 90}}, 0, 90, 1,
         6 * 180, 100},
        {"tie", 100, 100, {{30, 100, 50}, {20, 100, 50}}, {{20, 50}, {30, 50}}, 0, 50, 20, 600,
         100},
        // Full scale samples do not overflow the percentage.
        {"full scale", 65535, 65535, {{200, 65535, 0}}, {{200, 100}}, 0, 100, 200, 600, 65535},
    };
    for (const auto &c : cases) {
        Profile ref = Flat(c.ref), live = Flat(c.live);
        for (const auto &s : c.spots) {
            ref[s[0]] = static_cast<unsigned short>(s[1]);
            live[s[0]] = static_cast<unsigned short>(s[2]);
        }
        NormCurve(live.data(), ref.data());
        std::array<int, PROFILE_LEN> want;
        want.fill(c.jetElse);
        for (const auto &j : c.jet) want[j[0]] = j[1];
        for (int i = 0; i < PROFILE_LEN; i++) ASSERT_EQ(dArray[i], want[i]) << c.name << " " << i;
        EXPECT_EQ(jetMax, c.jetMax) << c.name;
        EXPECT_EQ(idxMax, c.idxMax) << c.name;
        EXPECT_EQ(jetArea, c.jetArea) << c.name;
        EXPECT_EQ(videoMax, c.videoMax) << c.name;
    }
}

TEST(NormCurve, ZeroReferenceEntriesBecomeOne) {
    Profile ref = Flat(500), live = Flat(500);
    ref[0] = ref[17] = ref[255] = 0;
    NormCurve(live.data(), ref.data());
    EXPECT_EQ(ref[0], 1);
    EXPECT_EQ(ref[17], 1);
    EXPECT_EQ(ref[255], 1);
    EXPECT_EQ(ref[18], 500);
}

// ---- edges ----------------------------------------------------------------------------------

struct EdgeCase {
    const char *name;
    unsigned short threshold, left;
    std::array<short, PROFILE_LEN> curve;
    int n;
    std::vector<unsigned short> crossings; // edbuf[0..]
    unsigned short Ledge, Redge, Mcenter, Mwidth;
};

std::array<short, PROFILE_LEN> ObjectJet() { // 75 at 100..109, 0 elsewhere
    std::array<short, PROFILE_LEN> c{};
    for (int i = 100; i < 110; i++) c[i] = 75;
    return c;
}

std::array<short, PROFILE_LEN> FlatJet(short v) {
    std::array<short, PROFILE_LEN> c;
    c.fill(v);
    return c;
}

std::array<short, PROFILE_LEN> Alternating() { // 0 at odd, 100 at even indices
    std::array<short, PROFILE_LEN> c{};
    for (int i = 0; i < PROFILE_LEN; i++) c[i] = (i % 2) ? 0 : 100;
    return c;
}

TEST(FindEdge, CrossingsAndResults) {
    std::vector<unsigned short> first62;
    for (int j = 1; j <= 62; j++) first62.push_back(static_cast<unsigned short>(j));
    first62.push_back(255); // every further crossing lands in entry 62
    first62.push_back(0);
    std::array<short, PROFILE_LEN> negative{};
    negative[5] = -1; // read as 65535: a rise
    const EdgeCase cases[] = {
        // The fall at index 1 is the one edgeLeft 1 passes over.
        {"left 1", 50, 1, ObjectJet(), 2, {100, 110, 0}, 600, 660, 630, 60},
        {"left 0", 50, 0, ObjectJet(), 3, {1, 100, 110, 0}, 6, 660, 333, 654},
        // edgeLeft passes over a fall only, wherever it lies, never a rise.
        {"left at fall", 50, 110, ObjectJet(), 2, {1, 100, 0}, 6, 600, 303, 594},
        {"left at rise", 50, 100, ObjectJet(), 3, {1, 100, 110}, 6, 660, 333, 654},
        {"never below", 50, 0, FlatJet(100), 0, {0}, 0, 0, 0, 0},
        {"equal is no crossing", 50, 0, FlatJet(50), 0, {0}, 0, 0, 0, 0},
        // The jet curve never reaches the start-up threshold 512.
        {"threshold 512 left 1", 512, 1, ObjectJet(), 0, {0}, 0, 0, 0, 0},
        {"threshold 512 left 0", 512, 0, ObjectJet(), 1, {1, 0}, 6, 6, 6, 0},
        {"more than 62", 50, 0, Alternating(), 62, first62, 6, 372, 189, 366},
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
        EXPECT_EQ(Ledge, c.Ledge) << c.name;
        EXPECT_EQ(Redge, c.Redge) << c.name;
        EXPECT_EQ(Mcenter, c.Mcenter) << c.name;
        EXPECT_EQ(Mwidth, c.Mwidth) << c.name;
    }
}

// One VIDEO cycle's processing: a dark object at profile indices 100..139 in front of a
// flat 800 reference.
TEST(Processing, VideoCycleFindsTheObject) {
    Profile ref = Smoothed(Smoothed(Flat(800)));
    Profile live = Flat(800);
    for (int i = 100; i < 140; i++) live[i] = 0;
    SmoothCurve(live.data());
    NormCurve(live.data(), ref.data());
    videoThreshold = 50;
    edgeLeft = 1;
    EXPECT_EQ(FindEdge(dArray), 2);
    EXPECT_EQ(Ledge, 600);
    EXPECT_EQ(Redge, 840);
    EXPECT_EQ(Mcenter, 720);
    EXPECT_EQ(Mwidth, 240);
    EXPECT_EQ(jetMax, 100);
    EXPECT_EQ(idxMax, 106); // the smoothing's feedback moves the dark core right
    EXPECT_EQ(videoMax, 800);
}

// ---- array utilities ----------------------------------------------------------------------

struct ShiftCase {
    int n, by, result;
    std::vector<double> out;
};

TEST(Shift, MovesZeroFillsAndRejects) {
    const std::vector<double> in = {1, 2, 3, 4, 5};
    const ShiftCase cases[] = {
        {5, -2, ARRAY_OK, {3, 4, 5, 0, 0}},
        {5, 2, ARRAY_OK, {0, 0, 1, 2, 3}},
        {5, 4, ARRAY_OK, {0, 0, 0, 0, 1}},
        {5, -4, ARRAY_OK, {5, 0, 0, 0, 0}},
        {5, 0, ARRAY_OK, {1, 2, 3, 4, 5}},
        {5, 5, ARRAY_ERR_SHIFT, {1, 2, 3, 4, 5}},
        {5, -5, ARRAY_ERR_SHIFT, {1, 2, 3, 4, 5}},
        {5, -2147483647 - 1, ARRAY_ERR_SHIFT, {1, 2, 3, 4, 5}},
        {0, 0, ARRAY_ERR_COUNT, {1, 2, 3, 4, 5}},
        {-3, 1, ARRAY_ERR_COUNT, {1, 2, 3, 4, 5}},
    };
    for (const auto &c : cases) {
        std::vector<double> separate(5, -1.0), inPlace = in;
        EXPECT_EQ(Shift(in.data(), c.n, c.by, separate.data()), c.result) << c.by;
        EXPECT_EQ(Shift(inPlace.data(), c.n, c.by, inPlace.data()), c.result) << c.by;
        EXPECT_EQ(inPlace, c.out) << "in place, shift " << c.by;
        if (c.result == ARRAY_OK) EXPECT_EQ(separate, c.out) << "shift " << c.by;
        else EXPECT_EQ(separate, std::vector<double>(5, -1.0)) << "shift " << c.by;
    }
}

TEST(Copy1D, CopiesOrRejects) {
    const double in[3] = {1.5, -2, 3};
    double out[3] = {};
    EXPECT_EQ(Copy1D(in, 3, out), ARRAY_OK);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(out[1], -2);
    double untouched[1] = {7};
    EXPECT_EQ(Copy1D(in, 0, untouched), ARRAY_ERR_COUNT);
    EXPECT_EQ(untouched[0], 7);
}

TEST(ProfileArrays, StartUpReference) {
    // Before any profile file is read, the reference is 256 ones and its maximum 0.
    // (Runs on the process's own start state, so it must not follow a test that writes it.)
    for (int i = 0; i < PROFILE_LEN; i++) ASSERT_EQ(thdArray[i], 1) << i;
    EXPECT_EQ(thdArray[PROFILE_LEN], 0);
}

} // namespace
