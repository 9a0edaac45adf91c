// A profile file that cannot be written, and the record file.
#include "live_fixture.h"

#include <sys/stat.h>

#include <numeric>

// A file not written (folder missing, a folder in its place, path too long) is named in the status
// line and what was there stays; the new reference (dark: ones, the maximum kept) is in use.
TEST_F(LiveTest, AFailedWriteIsReportedAndLeavesWhatWasThere) {
    StartWith();
    const std::string folder = dir_.file("FREEZE.DAT"), deep = dir_.file(std::string(80, 'd'));
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    WriteWholeFile(folder + "/inside", "old\n");
    std::vector<unsigned short> dark(PROFILE_LEN, 1);
    dark.push_back(321);
    for (const std::string &path : {dir_.file("none/FREEZE.DAT"), folder, deep + "/FREEZE.DAT"}) {
        const std::string named =
            "Cannot write file " + (path.starts_with(deep) ? "FREEZE.DAT" : path) + "!";
        CopyText(freece_fname, MAX_PATHNAME_LEN, path.c_str());
        CopyText(rec_fname, MAX_PATHNAME_LEN, path.c_str());
        std::fill(adcbuf, adcbuf + PROFILE_LEN, 0);
        videoMax = 321;
        Press(pJet, JETPANEL_BTNFreezeProfile);
        EXPECT_EQ(named, Status());
        EXPECT_EQ(dark, Reference());
        SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, "");
        Press(pJet, JETPANEL_BTNSaveJetProfile);
        EXPECT_EQ(named, Status());
    }
    EXPECT_EQ("old\n", ReadWholeFile(folder + "/inside"));
}

// A new name is taken without a question; a cancelled dialog changes nothing. To "Output-File
// already exist! - Overwrite ?" 0 keeps both files; 1 deletes the chosen one and records into it.
TEST_F(LiveTest, TheRecordFileIsReplacedOnlyWithConsent) {
    StartWith();
    const std::string fresh = dir_.file("fresh.dat"), other = dir_.file("other.dat");
    WriteWholeFile(other, "keep me\n");
    std::iota(thdArray, thdArray + PROFILE_LEN, 1000);
    std::iota(adcbuf, adcbuf + PROFILE_LEN, 0);
    for (auto [selected, answer, chosen, file] :
         {std::tuple{VAL_NEW_FILE_SELECTED, -1, fresh, fresh},
          {VAL_NO_FILE_SELECTED, -1, "", fresh},
          {VAL_EXISTING_FILE_SELECTED, 0, other, fresh},
          {VAL_EXISTING_FILE_SELECTED, 1, other, other}}) {
        SCOPED_TRACE(answer);
        QueueFileSelectAnswer(selected, chosen.c_str());
        if (answer >= 0) QueueConfirmAnswer(answer);
        Press(pJet, JETPANEL_BTNRecfile);
        EXPECT_EQ(0, PendingPopupAnswers());
        EXPECT_EQ("K-VOR-RUR Recorder-File:|RECORD.DAT|*.dat|0|1|proj", Dialog());
        if (answer >= 0) {
            char title[80], message[80];
            GetLastConfirmRequest(title, message, sizeof title);
            EXPECT_EQ(std::string("ATTENTION!|Output-File already exist! - Overwrite ?"),
                      std::string(title) + "|" + message);
        }
        EXPECT_EQ(file, std::string(rec_fname));
        EXPECT_EQ(answer == 1, !FileExists(other.c_str()));
        Press(pJet, JETPANEL_BTNSaveJetProfile);
        Press(pJet, JETPANEL_BTNSaveJetProfile); // a second save replaces the first
        const std::string text = ReadWholeFile(file);
        EXPECT_EQ(RECORD_FILE_LINES, std::count(text.begin(), text.end(), '\n'));
        EXPECT_NE(std::string::npos, text.find("\n1255\t255\n"));
        EXPECT_EQ(file != other, ReadWholeFile(other) == "keep me\n");
    }
}
