// The reference profile and its file across a restart, and the record file.
#include "live_fixture.h"

#include "com232.h"
#include "freeze.h"
#include "gui_state.h"
#include "kvor_panels.h"
#include "processing.h"
#include "shell.h"
#include "userint.h"
#include "utility.h"

#include <sys/stat.h>

#include <sstream>
#include <vector>

namespace {

SimSettings Fast() {
    SimSettings s;
    s.paced = false;
    return s;
}

std::vector<unsigned short> Reference() {
    return std::vector<unsigned short>(thdArray, thdArray + PROFILE_LEN + 1);
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string BoxText() {
    char buf[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(pJet, JETPANEL_TEXTBOXRecfile, buf);
    return buf;
}

void Freeze() { SimulateCtrlEvent(pJet, JETPANEL_BTNFreezeProfile, EVENT_COMMIT, 0, 0); }
void Save() { SimulateCtrlEvent(pJet, JETPANEL_BTNSaveJetProfile, EVENT_COMMIT, 0, 0); }
void ChooseRecordFile() { SimulateCtrlEvent(pJet, JETPANEL_BTNRecfile, EVENT_COMMIT, 0, 0); }

} // namespace

TEST_F(LiveTest, AFrozenProfileIsUsedAtOnceAndSurvivesARestart) {
    SimSensor &sim = AddSensor(Fast());
    StartProgram();
    When([&] { return sim.RequestCount(kSimMeasure) >= 2; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNVideo);

    std::vector<unsigned short> expect(adcbuf, adcbuf + PROFILE_LEN);
    SmoothCurve(expect.data());
    unsigned short max = 0;
    for (unsigned short &v : expect) {
        if (v > max) max = v;
        if (v == 0) v = 1;
    }
    videoMax = 0;
    Freeze();
    expect.push_back(max);
    EXPECT_EQ(expect, Reference());
    unsigned short shown = 0;
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(max, shown);

    // The profile file: 257 lines, one number each in a field six wide.
    const std::vector<std::string> lines = Lines(ReadWholeFile(dir_.file("FREEZE.DAT")));
    ASSERT_EQ(size_t(PROFILE_FILE_VALUES), lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(size_t(PROFILE_FILE_FIELD), lines[i].size()) << i;
        EXPECT_EQ(expect[i], std::stoi(lines[i])) << i;
    }

    // The next cycles use the new reference; after a restart it is loaded again.
    When([&] { return sim.RequestCount(kSimMeasure) >= 3; }, [] { PressStop(); });
    RunLoop(MAINPANEL_BTNVideo);
    FinishProgram();
    for (int i = 0; i <= PROFILE_LEN; i++) thdArray[i] = 5;
    StartProgram();
    EXPECT_EQ(expect, Reference());
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(max, shown);
}

TEST_F(LiveTest, FreezingADarkProfileStoresOnesAndKeepsTheMaximum) {
    AddSensor(Fast());
    StartProgram();
    for (int i = 0; i < PROFILE_LEN; i++) adcbuf[i] = 0;
    videoMax = 321;
    Freeze();
    std::vector<unsigned short> expect(PROFILE_LEN, 1);
    expect.push_back(321);
    EXPECT_EQ(expect, Reference());
}

// A profile or record file that cannot be written (its folder is missing, or a folder
// stands where the file should be): a status text names it, and what was there stays.
TEST_F(LiveTest, AFailedWriteIsReportedAndLeavesWhatWasThere) {
    AddSensor(Fast());
    StartProgram();
    const std::string folder = dir_.file("FREEZE.DAT");
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    WriteWholeFile(folder + "/inside", "old\n");
    for (const std::string &path : {dir_.file("none/FREEZE.DAT"), folder}) {
        SCOPED_TRACE(path);
        CopyText(freece_fname, MAX_PATHNAME_LEN, path.c_str());
        for (int i = 0; i < PROFILE_LEN; i++) adcbuf[i] = 500;
        Freeze();
        EXPECT_EQ("Cannot write file " + path + "!", Status());
        EXPECT_EQ(500, thdArray[100]); // the new reference is in use all the same

        CopyText(rec_fname, MAX_PATHNAME_LEN, path.c_str());
        SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, "");
        Save();
        EXPECT_EQ("Cannot write file " + path + "!", Status());
    }
    EXPECT_EQ("old\n", ReadWholeFile(folder + "/inside"));

    // A path too long for the status line is named by its file name.
    const std::string deep = dir_.file(std::string(80, 'd') + "/REC.DAT");
    CopyText(rec_fname, MAX_PATHNAME_LEN, deep.c_str());
    Save();
    EXPECT_EQ("Cannot write file REC.DAT!", Status());
}

TEST_F(LiveTest, TheRecordFileIsReplacedOnlyWithConsent) {
    AddSensor(Fast());
    StartProgram();
    const std::string first = dir_.file("RECORD.DAT");
    ASSERT_EQ(first, std::string(rec_fname));
    const std::string other = dir_.file("other.dat");
    WriteWholeFile(other, "keep me\n");

    struct Case {
        int answer;        // to "Output-File already exist! - Overwrite ?"
        bool deleted;      // the chosen file is deleted at once
        std::string file;  // the record file afterwards
    };
    for (const Case &c : {Case{0, false, first}, Case{1, true, other}}) {
        SCOPED_TRACE(c.answer);
        QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, other.c_str());
        QueueConfirmAnswer(c.answer);
        ChooseRecordFile();
        EXPECT_EQ(0, PendingPopupAnswers());
        EXPECT_EQ(c.deleted, !FileExists(other.c_str()));
        EXPECT_EQ(c.file, std::string(rec_fname));
        EXPECT_EQ(c.deleted ? other : first, BoxText());

        for (int i = 0; i < PROFILE_LEN; i++) {
            thdArray[i] = static_cast<unsigned short>(1000 + i);
            adcbuf[i] = static_cast<unsigned short>(2 * i + c.answer);
        }
        Save();
        Save(); // a second save replaces the first
        const std::vector<std::string> lines = Lines(ReadWholeFile(c.file));
        ASSERT_EQ(size_t(RECORD_FILE_LINES), lines.size());
        for (int i = 0; i < PROFILE_LEN; i += 51) {
            std::istringstream in(lines[size_t(i)]);
            int ref = -1, live = -1;
            in >> ref >> live;
            EXPECT_EQ(1000 + i, ref);
            EXPECT_EQ(2 * i + c.answer, live);
            EXPECT_NE(std::string::npos, lines[size_t(i)].find('\t'));
        }
        if (!c.deleted) {
            EXPECT_EQ("keep me\n", ReadWholeFile(other));
        }
    }

    // A new name is taken without a question; a cancelled dialog changes nothing.
    const std::string fresh = dir_.file("fresh.dat");
    QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, fresh.c_str());
    ChooseRecordFile();
    EXPECT_EQ(fresh, std::string(rec_fname));
    EXPECT_EQ(fresh, BoxText());
    QueueFileSelectAnswer(VAL_NO_FILE_SELECTED, "");
    ChooseRecordFile();
    EXPECT_EQ(fresh, std::string(rec_fname));
}
