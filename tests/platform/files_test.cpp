// Array files, paths and the program folder on a real temporary directory.
#include "formatio.h"
#include "test_support.h"
#include "userint.h"
#include "utility.h"

#include <QDir>
#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(ArrayFiles, ProfileLayoutRoundTripsAndIsOneNumberPerLineWidthSix) {
    TempDir dir;
    const std::string path = dir.file("FREEZE.DAT");
    unsigned short out[257];
    for (int i = 0; i < 257; i++) out[i] = static_cast<unsigned short>(i * 257);
    out[256] = 65535;
    ASSERT_EQ(0, ArrayToFile(path.c_str(), out, VAL_UNSIGNED_SHORT_INTEGER, 257, 1,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                             VAL_ASCII, VAL_TRUNCATE));
    const std::string text = ReadWholeFile(path);
    EXPECT_EQ("     0\n   257\n", text.substr(0, 14));
    EXPECT_EQ(std::string(" 65535\n"), text.substr(text.size() - 7));
    EXPECT_EQ(257 * 7u, text.size());

    unsigned short in[258] = {};
    EXPECT_EQ(257, FileToArray(path.c_str(), in, VAL_UNSIGNED_SHORT_INTEGER, 258, 1,
                               VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII));
    for (int i = 0; i < 257; i++) ASSERT_EQ(out[i], in[i]) << i;
}

TEST(ArrayFiles, TwoGroupsBecomeTabSeparatedColumns) {
    TempDir dir;
    const std::string path = dir.file("RECORD.DAT");
    unsigned short data[6] = {1, 2, 3, 100, 200, 300}; // group 1: 1 2 3, group 2: 100 200 300
    ASSERT_EQ(0, ArrayToFile(path.c_str(), data, VAL_UNSIGNED_SHORT_INTEGER, 6, 2,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_SEP_BY_TAB, 6,
                             VAL_ASCII, VAL_TRUNCATE));
    EXPECT_EQ("1\t100\n2\t200\n3\t300\n", ReadWholeFile(path));
}

TEST(ArrayFiles, ReaderTakesAnyWhiteSpaceAndReportsHowManyItRead) {
    TempDir dir;
    const std::string path = dir.file("para.cfg");
    WriteWholeFile(path, "  12\r\n\t70000  \n\n5 6");
    unsigned values[16];
    for (unsigned &v : values) v = 0xDEAD;
    EXPECT_EQ(4, FileToArray(path.c_str(), values, VAL_UNSIGNED_INTEGER, 16, 1,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII));
    EXPECT_EQ(12u, values[0]);
    EXPECT_EQ(70000u, values[1]);
    EXPECT_EQ(6u, values[3]);
    EXPECT_EQ(0xDEADu, values[4]) << "elements past the count read stay as they were";

    WriteWholeFile(path, "1 2 garbage 4");
    EXPECT_EQ(2, FileToArray(path.c_str(), values, VAL_UNSIGNED_INTEGER, 16, 1,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII));
    EXPECT_LT(FileToArray(dir.file("missing.cfg").c_str(), values, VAL_UNSIGNED_INTEGER, 16, 1,
                          VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII),
              0);
}

// A number the reader cannot hold ends the reading where it stands, so a file with one
// ends up short (and is refused by the loads that need all their values) instead of
// holding a value that was cut down or, past the 64-bit range, undefined.
TEST(ArrayFiles, NumbersBeyondSixtyFourBitsEndTheReading) {
    TempDir dir;
    const std::string path = dir.file("para.cfg");
    const std::string longDigits(70, '1');
    struct Row {
        const char *what;
        std::string text;
        int count;           // numbers read
        unsigned long long last; // the last number read, as stored (low 16 bits)
    } rows[] = {
        {"largest 64-bit", "1 9223372036854775807", 2, 0xFFFFu},
        {"smallest 64-bit", "1 -9223372036854775808", 2, 0u},
        {"one past the 64-bit range", "1 9223372036854775808 3", 1, 1},
        {"twenty digits", "1 99999999999999999999 3", 1, 1},
        {"below the 64-bit range", "1 -9223372036854775809 3", 1, 1},
        {"floating form in range", "1 1.5e3 3", 3, 3},
        {"floating form beyond 2^63", "1 1e19 3", 1, 1},
        {"floating form beyond the double range", "1 1e400 3", 1, 1},
        {"infinity", "1 inf 3", 1, 1},
        {"not a number", "1 nan 3", 1, 1},
        {"token longer than any number", "1 " + longDigits + " 3", 1, 1},
    };
    for (const Row &r : rows) {
        WriteWholeFile(path, r.text);
        unsigned short values[4] = {};
        const int n = FileToArray(path.c_str(), values, VAL_UNSIGNED_SHORT_INTEGER, 4, 1,
                                  VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
        EXPECT_EQ(r.count, n) << r.what;
        if (n > 0) {
            EXPECT_EQ(r.last, values[n - 1]) << r.what;
        }
    }
    double d[2] = {};
    WriteWholeFile(path, "0.25 1e400");
    EXPECT_EQ(1, FileToArray(path.c_str(), d, VAL_DOUBLE, 2, 1, VAL_GROUPS_TOGETHER,
                             VAL_GROUPS_AS_COLUMNS, VAL_ASCII));
    EXPECT_EQ(0.25, d[0]);
}

// Loading a parameter file costs memory in proportion to the file, not to the largest file
// the reader would take; a file past that limit is read up to it.
TEST(ArrayFiles, ReaderTakesOnlyWhatTheFileHolds) {
    TempDir dir;
    const std::string path = dir.file("para.cfg");
    WriteWholeFile(path, "7 8 9");
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_AS, &saved));
    // A few megabytes above what the process has mapped: room for a small file, none for a
    // buffer the size of the reader's limit (16 MB).
    long mappedKb = 0;
    {
        const std::string status = ReadWholeFile("/proc/self/status");
        const size_t at = status.find("VmSize:");
        ASSERT_NE(std::string::npos, at);
        mappedKb = std::stol(status.substr(at + 7));
    }
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(mappedKb + 8 * 1024) * 1024;
    if (saved.rlim_max != RLIM_INFINITY && tight.rlim_cur > saved.rlim_max) GTEST_SKIP();
    ASSERT_EQ(0, setrlimit(RLIMIT_AS, &tight));
    unsigned values[3] = {};
    const int n = FileToArray(path.c_str(), values, VAL_UNSIGNED_INTEGER, 3, 1,
                              VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(3, n);
    EXPECT_EQ(9u, values[2]);
}

TEST(ArrayFiles, ReplaceIsWholeAndAFailedWriteCreatesNothing) {
    TempDir dir;
    const std::string path = dir.file("a.dat");
    unsigned short big[100] = {};
    unsigned short small[2] = {7, 8};
    ASSERT_EQ(0, ArrayToFile(path.c_str(), big, VAL_UNSIGNED_SHORT_INTEGER, 100, 1,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                             VAL_ASCII, VAL_TRUNCATE));
    ASSERT_EQ(0, ArrayToFile(path.c_str(), small, VAL_UNSIGNED_SHORT_INTEGER, 2, 1,
                             VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                             VAL_ASCII, VAL_TRUNCATE));
    EXPECT_EQ("     7\n     8\n", ReadWholeFile(path));
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(1, QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size());

    const std::string inMissingFolder = dir.file("no/such/folder/b.dat");
    EXPECT_LT(ArrayToFile(inMissingFolder.c_str(), small, VAL_UNSIGNED_SHORT_INTEGER, 2, 1,
                          VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                          VAL_ASCII, VAL_TRUNCATE),
              0);
    // A folder in the way of the file is not replaced.
    QDir(QString::fromStdString(dir.path())).mkdir("c.dat");
    EXPECT_LT(ArrayToFile(dir.file("c.dat").c_str(), small, VAL_UNSIGNED_SHORT_INTEGER, 2, 1,
                          VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                          VAL_ASCII, VAL_TRUNCATE),
              0);
    EXPECT_TRUE(QDir(QString::fromStdString(dir.file("c.dat"))).exists());
}

// A disk that refuses part of the bytes (here a file size limit) must not leave a short file
// in place of the good one, and the write must report the failure.
TEST(ArrayFiles, ARefusedWriteKeepsTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("FREEZE.DAT");
    WriteWholeFile(path, "old\n");
    unsigned short values[257];
    for (unsigned short &v : values) v = 12345;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    const int result = ArrayToFile(path.c_str(), values, VAL_UNSIGNED_SHORT_INTEGER, 257, 1,
                                   VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 6,
                                   VAL_ASCII, VAL_TRUNCATE);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_LT(result, 0);
    EXPECT_EQ("old\n", ReadWholeFile(path));
    EXPECT_EQ(1, QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size());
}

TEST(Paths, MakePathnameJoinsAndRefusesWhatDoesNotFit) {
    char path[MAX_PATHNAME_LEN];
    ASSERT_EQ(0, MakePathname("/data/kvor", "FREEZE.DAT", path));
    EXPECT_STREQ("/data/kvor/FREEZE.DAT", path);
    ASSERT_EQ(0, MakePathname("/data/kvor/", "FREEZE.DAT", path));
    EXPECT_STREQ("/data/kvor/FREEZE.DAT", path);
    const std::string longDir(MAX_PATHNAME_LEN - 5, 'd');
    EXPECT_EQ(-1, MakePathname(longDir.c_str(), "FREEZE.DAT", path));
    EXPECT_STREQ("", path);
}

TEST(Paths, ProjectDirOverrideAndDeleteFile) {
    TempDir dir;
    SetProjectDirOverride(dir.path().c_str());
    char projDir[MAX_PATHNAME_LEN];
    ASSERT_EQ(0, GetProjectDir(projDir));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).canonicalPath(),
              QDir(QString::fromLocal8Bit(projDir)).canonicalPath());
    SetProjectDirOverride(nullptr);
    ASSERT_EQ(0, GetProjectDir(projDir));
    EXPECT_GT(std::string(projDir).size(), 0u);

    const std::string f = dir.file("x.dat");
    WriteWholeFile(f, "1");
    EXPECT_EQ(1, FileExists(f.c_str()));
    EXPECT_EQ(0, CVI_DeleteFile(f.c_str()));
    EXPECT_EQ(0, FileExists(f.c_str()));
    EXPECT_LT(CVI_DeleteFile(f.c_str()), 0);
}

TEST(Time, TimerIsMonotonicAndDelayWaitsAtLeastItsTime) {
    const double t0 = Timer();
    Delay(0.02);
    const double t1 = Timer();
    EXPECT_GE(t1 - t0, 0.02);
}

} // namespace
