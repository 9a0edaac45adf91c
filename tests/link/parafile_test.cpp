// Parameter files through the file dialogs (answers queued): save, load and their failures.
#include "link_fixture.h"

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

class ParaFileTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        Start();
        SetCtrlVal(pHandle, MAINPANEL_RBTFile, 1);
        Click(pHandle, MAINPANEL_RBTFile, EVENT_VAL_CHANGED);
    }
    static void Save(const std::string &path) {
        QueueFileSelectAnswer(VAL_NEW_FILE_SELECTED, path.c_str());
        Click(pHandle, MAINPANEL_BTNSend, EVENT_LEFT_CLICK);
    }
    static void Load(const std::string &path) { Load(path, VAL_EXISTING_FILE_SELECTED); }
    static void Load(const std::string &path, int answer) {
        QueueFileSelectAnswer(answer, path.c_str());
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
    }
};

// Sixteen numbers of width 6 in packet order; the second file's 1001 and 65578 mend to 500 and 42.
static const char kSaved[] = "   650\n     1\n   300\n     2\n     0\n     2\n   100\n   900\n"
                             " 65535\n    60\n     1\n     3\n    77\n  4242\n    16\n  1234\n";
static const char kWide[] = "  1001\n     1\n   300\n     2\n     0\n     2\n   100\n   900\n"
                            " 65578\n    60\n     1\n     3\n    77\n  4242\n    16\n  1234\n";

TEST_F(ParaFileTest, SaveReplacesTheFileAndLoadBringsBackAllSixteenWords) {
    const Words16 edited = {650, 1, 300, 2, 0, 2, 100, 900, 65535, 60, 1, 3, 77, 4242, 16, 1234};
    SetWords(edited, true);
    const std::string path = dir_.file("set.cfg");
    WriteWholeFile(path, std::string(4000, '7') + "\n"); // an older, longer file
    Save(path);
    EXPECT_EQ(Status(), "Transmit...");
    EXPECT_EQ(ReadWholeFile(path), kSaved);
    EXPECT_EQ(Dialog(), "K-VOR-RUR-Series Parameter File|KVORJETpara.cfg|*.cfg|0|1|proj");
    SetWords(Words16(PNUM, 1), true); // words 12 and 13 come back too
    Load(path);
    EXPECT_EQ(PanelWords(), edited);
    EXPECT_EQ(Dialog(), "K-VOR-RUR-Parameter-File|KVORpara.cfg|*.cfg|3|1|proj");
    WriteWholeFile(path, kWide);
    Load(path);
    EXPECT_EQ(PanelWords(),
              Words16({500, 1, 300, 2, 0, 2, 100, 900, 42, 60, 1, 3, 77, 4242, 16, 1234}));
}

TEST_F(ParaFileTest, FilesThatCannotBeUsedChangeNoWord) {
    const char incomplete[] = "Incomplete parameter file bad.cfg";
    const std::tuple<const char *, int, const char *> cases[] = {
        {kWide, VAL_NO_FILE_SELECTED, "K-VOR-RUR SIM"},      // cancelled: the status text stays
        {kWide + 7, VAL_EXISTING_FILE_SELECTED, incomplete}, // fifteen numbers
        {"power = 500\n", VAL_EXISTING_FILE_SELECTED, incomplete},
        {nullptr, VAL_EXISTING_FILE_SELECTED, "Cannot read parameter file bad.cfg"}}; // no file
    const std::string path = dir_.file("bad.cfg");
    for (auto [content, answer, status] : cases) {
        std::filesystem::remove(path);
        if (content) WriteWholeFile(path, content);
        Load(path, answer);
        EXPECT_EQ(Words(), DistinctWords()) << status;
        EXPECT_EQ(Status().rfind(status, 0), 0u) << Status();
    }
}

TEST_F(ParaFileTest, TooLongPathsAreRefusedNotCutAndAFailedWriteKeepsTheOldFile) {
    std::string folder = dir_.path(); // its first 259 bytes name a file: a cut path loads it
    while (folder.size() < 200)
        folder += "/d";
    std::filesystem::create_directories(folder);
    const std::string cut = folder + "/" + std::string(258 - folder.size(), 'p');
    WriteWholeFile(cut, kSaved);
    for (auto action : {Load, Save}) {
        action(cut + ".cfg");
        EXPECT_EQ(Status(), "File path too long - no file used!");
    }
    EXPECT_EQ(Words(), DistinctWords());
    EXPECT_FALSE(std::filesystem::exists(cut + ".cfg"));

    const std::string path = dir_.file("keep.cfg");
    WriteWholeFile(path, kSaved);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny{8, saved.rlim_max}; // no file may grow beyond 8 bytes
    setrlimit(RLIMIT_FSIZE, &tiny);
    Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Status(), "Cannot write parameter file keep.cfg!");
    EXPECT_EQ(ReadWholeFile(path), kSaved) << "the old file must stay until the new one is whole";
}
