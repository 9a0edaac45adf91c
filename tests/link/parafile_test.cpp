// Parameter files through the file dialogs: save and load, and the files that must not
// change any word.
#include "link_fixture.h"

#include "com232.h"
#include "kvor_panels.h"
#include "params.h"
#include "parafile.h"
#include "userint.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace {

class ParaFileTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        SimSettings s;
        s.eeprom = DistinctWords();
        AddSensor(s);
        ASSERT_TRUE(StartProgram());
        ChooseTarget(MAINPANEL_RBTFile);
    }
    void Save(const std::string &path) {
        QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
        Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK);
    }
    void Load(const std::string &path) {
        QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    }
};

std::string FileText(const std::vector<unsigned> &values) {
    std::string text;
    for (unsigned v : values)
        text += std::to_string(v) + "\n";
    return text;
}

} // namespace

TEST_F(ParaFileTest, SaveWritesSixteenLinesThatLoadBack) {
    const SimWords distinct = DistinctWords();
    std::vector<unsigned short> edited(distinct.begin(), distinct.end());
    edited[PW_power] = 650;
    edited[PW_setpoint] = 65535;
    SetPanelWords(edited);
    const std::string path = dir_.file("set.cfg");
    Save(path);
    EXPECT_EQ(Status(), "Transmit...");
    EXPECT_EQ(std::string(file_name), path);

    // Sixteen lines, each one number in a field of width 6, in packet order.
    const std::string text = ReadWholeFile(path);
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
        lines.push_back(text.substr(from, nl - from));
    ASSERT_EQ(lines.size(), 16u) << text;
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(lines[i].size(), 6u) << i;
        EXPECT_EQ(std::stoul(lines[i]), edited[i]) << i;
    }

    // Change every word, then load: all sixteen come back, words 12 and 13 included.
    SetPanelWords(std::vector<unsigned short>(16, 1));
    spare12 = 9;
    spare13 = 9;
    Load(path);
    std::vector<unsigned short> expected = edited;
    EXPECT_EQ(Words(), expected);
    std::vector<unsigned short> shown = PanelWords();
    expected[PW_spare12] = expected[PW_spare13] = 0xFFFF;
    EXPECT_EQ(shown, expected);
}

TEST_F(ParaFileTest, LoadTakesLowSixteenBitsAndCorrectsRanges) {
    const std::string path = dir_.file("wide.cfg");
    // power 1001 is out of range; 65536 + 42 is 42 in 16 bits; earlier versions' layout.
    WriteWholeFile(path, "  1001\n     1\n   300\n     2\n     0\n     2\n   100\n   900\n"
                         " 65578\n    60\n     1\n     3\n    77\n  4242\n    16\n  1234\n");
    Load(path);
    EXPECT_EQ(WordOf(PW_power), 500);
    EXPECT_EQ(WordOf(PW_setpoint), 42);
    EXPECT_EQ(WordOf(PW_spare13), 4242);
    EXPECT_EQ(PanelWords()[PW_setpoint], 42);
}

TEST_F(ParaFileTest, SavingOverAFileReplacesItsWholeContent) {
    const std::string path = dir_.file("old.cfg");
    WriteWholeFile(path, std::string(4000, '7') + "\n");
    Save(path);
    const std::string text = ReadWholeFile(path);
    EXPECT_LT(text.size(), 200u);
    EXPECT_EQ(text.find("7777777"), std::string::npos);
}

// Files that must leave every word as it was, each with its own status text.
struct BadLoad {
    const char *name;
    const char *content; // nullptr: no file at all
    int dialogResult;
    const char *status; // expected prefix of the status text
};

class BadLoadTest : public ParaFileTest, public ::testing::WithParamInterface<BadLoad> {};

TEST_P(BadLoadTest, ChangesNoWord) {
    const BadLoad &c = GetParam();
    const std::string path = dir_.file("bad.cfg");
    if (c.content) WriteWholeFile(path, c.content);
    const std::vector<unsigned short> before = Words();
    QueueFileSelectAnswer(c.dialogResult, path.c_str());
    Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    EXPECT_EQ(Words(), before);
    EXPECT_EQ(Status().rfind(c.status, 0), 0u) << Status();
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadLoadTest,
    ::testing::Values(
        BadLoad{"fifteen_numbers", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n",
                VAL_EXISTING_FILE_SELECTED, "Incomplete parameter file bad.cfg"},
        BadLoad{"empty", "", VAL_EXISTING_FILE_SELECTED, "Incomplete parameter file bad.cfg"},
        BadLoad{"text", "power = 500\n", VAL_EXISTING_FILE_SELECTED,
                "Incomplete parameter file bad.cfg"},
        BadLoad{"missing", nullptr, VAL_EXISTING_FILE_SELECTED,
                "Cannot read parameter file bad.cfg"},
        // A cancelled dialog reads nothing and shows the previous status text again.
        BadLoad{"cancelled", nullptr, VAL_NO_FILE_SELECTED, "K-VOR-RUR SIM"}),
    [](const ::testing::TestParamInfo<BadLoad> &info) { return info.param.name; });

TEST_F(ParaFileTest, PathLongerThanTheProgramHoldsIsRefusedNotCut) {
    // The path's first 259 bytes name a file that exists: a cut path would load it.
    std::string folder = dir_.path();
    while (folder.size() < 200)
        folder += "/d";
    std::string cut = folder + "/" + std::string(258 - folder.size(), 'p');
    ASSERT_EQ(cut.size(), 259u);
    std::filesystem::create_directories(folder);
    WriteWholeFile(cut,
                   FileText({1001, 1, 300, 2, 0, 2, 100, 900, 480, 60, 1, 3, 77, 4242, 16, 1234}));
    const std::string tooLong = cut + ".cfg";
    const std::vector<unsigned short> before = Words();
    Load(tooLong);
    EXPECT_EQ(Words(), before);
    EXPECT_EQ(Status(), "File path too long - no file used!");

    Save(tooLong);
    EXPECT_EQ(Status(), "File path too long - no file used!");
    EXPECT_EQ(ReadWholeFile(tooLong), "");
}

TEST_F(ParaFileTest, FailedWriteIsReportedAndKeepsTheOldFile) {
    const std::string path = dir_.file("keep.cfg");
    const std::string old = FileText({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    WriteWholeFile(path, old);
    // No file may grow beyond 8 bytes: the replacement cannot be written.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &tiny);
    Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Status(), "Cannot write parameter file keep.cfg!");
    EXPECT_EQ(ReadWholeFile(path), old)
        << "the replacement must be complete before it takes the old file's place";
}
