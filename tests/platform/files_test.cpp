// Array files, paths and the program folder on a real temporary directory.
#include "formatio.h"
#include "test_support.h"
#include "userint.h"
#include "utility.h"

#include <QDir>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <string>

namespace {

// Unsigned shorts, one group or `groups` as columns, width 6 or tab-separated.
int Save(const std::string &path, const unsigned short *data, int count, int groups = 1,
         int separator = VAL_CONST_WIDTH) {
    return ArrayToFile(path.c_str(), data, VAL_UNSIGNED_SHORT_INTEGER, count, groups,
                       VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, separator, 6, VAL_ASCII,
                       VAL_TRUNCATE);
}
int Load(const std::string &path, void *out, int type, int count) {
    return FileToArray(path.c_str(), out, type, count, 1, VAL_GROUPS_TOGETHER,
                       VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
}
int Files(const TempDir &dir) {
    return int(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size());
}

// One number a line, width 6, read back the same; two groups become tab-separated columns.
TEST(ArrayFiles, ProfileLayoutRoundTripsAndGroupsBecomeColumns) {
    TempDir dir;
    const std::string path = dir.file("FREEZE.DAT");
    unsigned short out[257];
    for (int i = 0; i < 257; i++) out[i] = static_cast<unsigned short>(i * 257);
    out[256] = 65535;
    ASSERT_EQ(0, Save(path, out, 257));
    const std::string text = ReadWholeFile(path);
    EXPECT_EQ("     0\n   257\n", text.substr(0, 14));
    EXPECT_EQ(std::string(" 65535\n"), text.substr(text.size() - 7));
    EXPECT_EQ(257 * 7u, text.size());
    unsigned short in[258] = {};
    EXPECT_EQ(257, Load(path, in, VAL_UNSIGNED_SHORT_INTEGER, 258));
    for (int i = 0; i < 257; i++) ASSERT_EQ(out[i], in[i]) << i;

    const unsigned short data[6] = {1, 2, 3, 100, 200, 300}; // group 1: 1 2 3, group 2: 100 200 300
    ASSERT_EQ(0, Save(dir.file("RECORD.DAT"), data, 6, 2, VAL_SEP_BY_TAB));
    EXPECT_EQ("1\t100\n2\t200\n3\t300\n", ReadWholeFile(dir.file("RECORD.DAT")));
}

TEST(ArrayFiles, ReaderTakesAnyWhiteSpaceAndReportsHowManyItRead) {
    TempDir dir;
    const std::string path = dir.file("para.cfg");
    WriteWholeFile(path, "  12\r\n\t70000  \n\n5 6");
    unsigned values[16];
    for (unsigned &v : values) v = 0xDEAD;
    EXPECT_EQ(4, Load(path, values, VAL_UNSIGNED_INTEGER, 16));
    EXPECT_EQ((std::vector<unsigned>{12, 70000, 5, 6, 0xDEAD}), std::vector<unsigned>(values, values + 5))
        << "elements past the count read stay as they were";
    WriteWholeFile(path, "1 2 garbage 4");
    EXPECT_EQ(2, Load(path, values, VAL_UNSIGNED_INTEGER, 16));
    EXPECT_LT(Load(dir.file("missing.cfg"), values, VAL_UNSIGNED_INTEGER, 16), 0);
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
        const int n = Load(path, values, VAL_UNSIGNED_SHORT_INTEGER, 4);
        EXPECT_EQ(r.count, n) << r.what;
        if (n > 0) {
            EXPECT_EQ(r.last, values[n - 1]) << r.what;
        }
    }
    double d[2] = {};
    WriteWholeFile(path, "0.25 1e400");
    EXPECT_EQ(1, Load(path, d, VAL_DOUBLE, 2));
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
    const int n = Load(path, values, VAL_UNSIGNED_INTEGER, 3);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(3, n);
    EXPECT_EQ(9u, values[2]);
}

// A shorter file replaces a longer one whole and leaves nothing beside it; a write that cannot
// be made (a missing folder, a folder in the file's place, a disk that refuses part of the
// bytes) reports the failure, keeps the old file whole and leaves no short file behind.
TEST(ArrayFiles, ReplaceIsWholeAndAFailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("a.dat");
    unsigned short big[257] = {};
    const unsigned short small[2] = {7, 8};
    ASSERT_EQ(0, Save(path, big, 100));
    ASSERT_EQ(0, Save(path, small, 2));
    EXPECT_EQ("     7\n     8\n", ReadWholeFile(path));
    EXPECT_EQ(1, Files(dir));
    EXPECT_LT(Save(dir.file("no/such/folder/b.dat"), small, 2), 0);
    QDir(QString::fromStdString(dir.path())).mkdir("c.dat");
    EXPECT_LT(Save(dir.file("c.dat"), small, 2), 0);
    EXPECT_TRUE(QDir(QString::fromStdString(dir.file("c.dat"))).exists()) << "not replaced";

    std::fill(big, big + 257, 12345);
    EXPECT_FALSE(WithFileSizeLimit(100, [&] { return Save(path, big, 257) == 0; }));
    EXPECT_EQ("     7\n     8\n", ReadWholeFile(path));
    EXPECT_EQ(1, Files(dir));
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
