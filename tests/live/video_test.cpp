// VIDEO, the profile blocks and the reference profile on the whole program.
#include "live_fixture.h"

// The profile sent after `scans` measurement requests, as sent or smoothed as VIDEO does.
static std::vector<unsigned short> Profile(unsigned scans, bool smoothed = true) {
    const std::vector<uint16_t> p = SimModel(SimSettings()).Profile(scans > 0 ? scans - 1 : 0);
    std::vector<unsigned short> out(p.begin(), p.end());
    if (smoothed) SmoothCurve(out.data());
    return out;
}
static std::vector<double> CurveY(int graph) {
    std::vector<double> y(PROFILE_LEN);
    y.resize(size_t(GetGraphCurve(pHandle, graph, 0, nullptr, y.data(), PROFILE_LEN, 0, 0)));
    return y;
}

// STOP during a cycle ends VIDEO once the cycle is whole. The frozen reference (the live profile
// smoothed again, no sample below 1, the maximum last) survives a restart. The jet curve chosen
// during VIDEO is drawn from the next cycle.
TEST_F(LiveTest, VideoCyclesFetchFourBlocksEachAndTheFrozenProfileSurvivesARestart) {
    SimSensor &sim = StartWith();
    std::vector<std::string> looks;
    When([&] { return sim.RequestCount(kSimBlock) >= 10; },
         [&] { looks.push_back(Looks()), PressStop(); });
    Press(pHandle, MAINPANEL_BTNVideo);
    looks.push_back(Looks());
    EXPECT_EQ(std::make_pair(3, 12),
              std::make_pair(sim.RequestCount(kSimMeasure), sim.RequestCount(kSimBlock)));
    EXPECT_EQ(Profile(3), Live());
    EXPECT_EQ(std::vector<double>(adcbuf, adcbuf + PROFILE_LEN), CurveY(MAINPANEL_GRAPHVideo));
    const SimFrame f = sim.LastRequest();
    Words16 block(PNUM); // the last block's: 192, selector 0
    block[0] = 192;
    EXPECT_EQ(std::make_tuple(f.size(), Command(f), Payload(f), f[36] | f[37]),
              std::make_tuple(size_t(TX_FRAME_LEN), int(CMD_VIDEO_BLOCK), block, 0));

    std::vector<unsigned short> reference = Profile(3);
    SmoothCurve(reference.data());
    reference.push_back(*std::max_element(reference.begin(), reference.end()));
    std::replace(reference.begin(), reference.end() - 1, (unsigned short)0, (unsigned short)1);
    std::string file;
    for (unsigned short v : reference)
        file += QString::asprintf("%6u\n", v).toStdString();
    videoMax = 0;
    Press(pJet, JETPANEL_BTNFreezeProfile);
    EXPECT_EQ(reference, Reference());
    EXPECT_EQ(file, ReadWholeFile(dir_.file("FREEZE.DAT")));

    AfterFrames(sim, 2, [] { Choose(MAINPANEL_DROPdatatype, 1); });
    AfterFrames(sim, 4, PressStop);
    Press(pHandle, MAINPANEL_BTNVideo);
    looks.push_back(Looks());
    EXPECT_EQ(28, sim.RequestCount(kSimBlock));
    EXPECT_EQ(std::vector<double>(dArray, dArray + PROFILE_LEN), CurveY(MAINPANEL_GRAPHJet));
    EXPECT_EQ((std::vector<std::string>{"1100100", "0000100", "0000010"}), looks);

    AppFinish();
    std::fill(thdArray, thdArray + PROFILE_LEN + 1, 5);
    StartProgram();
    EXPECT_EQ(reference, Reference());
    int shown = -1;
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(reference.back(), shown);
}

// Answers of the wrong length: a short block times out, a long one is dropped at once; in
// both cases nothing of it is stored and the rest of that cycle's blocks are not asked for.
TEST_F(LiveTest, AShortOrALongBlockIsDroppedAndTheCycleGoesOn) {
    SimSensor &sim = StartWith();
    std::vector<unsigned short> expect = Profile(0, false);
    std::fill(expect.begin(), expect.begin() + 192, 7);
    for (auto [length, seconds, status] :
         {std::tuple{127, 1.5, "Timeout-RS-232 while reading 64 data-words!"},
          {130, 0.0, "Data[64] block too long - dropped!"}}) {
        std::fill(adcbuf, adcbuf + PROFILE_LEN, 7);
        RemoveRxCallback();
        const double t0 = Timer();
        sim.AddFault({SimFaultKind::ReplyLength, kSimBlock, length, 1});
        EXPECT_EQ(0, ReadData64(64, 0));
        EXPECT_NEAR(seconds + 0.5, Timer() - t0, 0.5) << length;
        EXPECT_EQ(status, Status());
        EXPECT_EQ(1, ReadData64(192, 0)); // read whole and in place: nothing of the bad one left
        InstallRxCallback();
        EXPECT_EQ(expect, Live()) << length;
    }
    sim.AddFault({SimFaultKind::ReplyLength, kSimBlock, 130, 1});
    const int before = sim.RequestCount(kSimBlock);
    AfterFrames(sim, 3, PressStop);
    Press(pHandle, MAINPANEL_BTNVideo);
    EXPECT_EQ(4 * sim.RequestCount(kSimMeasure) - 3, sim.RequestCount(kSimBlock) - before);
    EXPECT_EQ(Profile(unsigned(sim.RequestCount(kSimMeasure))), Live());
}
