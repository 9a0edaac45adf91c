// Saves that survive a kill, a full disk and a read-only folder, for the three files the
// program writes: the parameter file (SEND to a file), the profile file (FREEZE) and the
// record file (SAVE of the jet profile). The writing process is a child forked from the
// started program, so each save runs the program's own save path on its own panels.
#include "live_fixture.h"

#include "parafile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// Per file kind: the child is killed until both counts are reached.
constexpr int kMinKills = 500, kMinSaves = 1000;
// Kills land between the child being ready and the end of its first save and this many more.
constexpr double kKillWindowSaves = 3.0;
// The machine's load changes the save times as the test runs: the window grows when a child
// completed no save and shrinks when it completed more than a few, so that the kills stay
// spread over the saves and the test's time stays bounded.
constexpr double kGrow = 1.1, kShrink = 0.9;
constexpr int kManySaves = 2;
constexpr uid_t kNobody = 65534;

// The two contents a file alternates between: variant 0 and variant 1.
struct Kind {
    const char *name;
    const char *file;
    void (*save)(int variant);
};

void PrintTo(const Kind &k, std::ostream *os) {
    *os << k.name;
}

void SaveParameters(int variant) {
    static const Words16 w0 = DistinctWords();
    static const Words16 w1 = [] { // the power, setpoint and tolerance changed
        Words16 w = DistinctWords();
        w[0] = 650, w[8] = 470, w[9] = 55;
        return w;
    }();
    std::copy_n((variant ? w1 : w0).begin(), PNUM, parameter + PARAM_HEADER);
    SetPAValues(); // SEND to a file reads the panels
    SendParaToFile();
}

void LiveProfile(int variant) {
    for (int i = 0; i < PROFILE_LEN; i++)
        adcbuf[i] = static_cast<unsigned short>(variant ? 900 - i : 100 + 2 * i);
}

void SaveProfile(int variant) {
    LiveProfile(variant);
    videoMax = 0;
    CC_BTNFreezeProfile(pHandle, 0, EVENT_COMMIT, nullptr, 0, 0);
}

void SaveRecord(int variant) {
    LiveProfile(variant);
    CC_BTNSaveJetProfile(pHandle, 0, EVENT_COMMIT, nullptr, 0, 0);
}

const Kind kKinds[] = {
    {"parameter", "KVORJETpara.cfg", SaveParameters},
    {"profile", "FREEZE.DAT", SaveProfile},
    {"record", "RECORD.DAT", SaveRecord},
};

void SleepMicroseconds(long us) {
    timespec ts{us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Runs `body` in a forked child and returns what it wrote to the pipe (the child ends
// with _exit, never through the test's own exit).
template <class F> std::string InChild(F body) {
    int p[2];
    if (pipe(p) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        g_traceOn = 0;
        const std::string out = body();
        if (write(p[1], out.data(), out.size()) < 0) _exit(1);
        _exit(0);
    }
    close(p[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;)
        out.append(buf, size_t(n));
    close(p[0]);
    waitpid(pid, nullptr, 0);
    return out;
}

} // namespace

class SaveTest : public LiveTest {
  protected:
    void SetUp() override {
        LiveTest::SetUp();
        StartProgram(); // no sensor: the saves need only the panels
        std::snprintf(file_name, sizeof file_name, "%s", dir_.file(kKinds[0].file).c_str());
        std::snprintf(freece_fname, sizeof freece_fname, "%s", dir_.file(kKinds[1].file).c_str());
        std::snprintf(rec_fname, sizeof rec_fname, "%s", dir_.file(kKinds[2].file).c_str());
    }
    // The bytes each variant saves, the file left holding variant 0.
    std::pair<std::string, std::string> Variants(const Kind &k) {
        const std::string path = dir_.file(k.file);
        k.save(1);
        const std::string v1 = ReadWholeFile(path);
        k.save(0);
        const std::string v0 = ReadWholeFile(path);
        EXPECT_FALSE(v0.empty());
        EXPECT_NE(v0, v1);
        return {v0, v1};
    }
};

class KilledSaveTest : public SaveTest, public ::testing::WithParamInterface<Kind> {};

// A child saves the file over and over, alternating two contents, until it is killed at a
// random moment; every time, the file holds one of the two contents, whole.
TEST_P(KilledSaveTest, LeavesTheOldOrTheNewFileNeverATornOne) {
    const Kind &k = GetParam();
    const auto [v0, v1] = Variants(k);
    const std::string path = dir_.file(k.file);
    // A forked child's first save is slower (its memory is copied as it is touched): the
    // window spans the first save and a few more.
    const std::string timed = InChild([&] {
        const double t0 = Timer();
        k.save(1);
        const double t1 = Timer();
        for (int i = 0; i < 10; i++)
            k.save(i % 2);
        char text[64];
        std::snprintf(text, sizeof text, "%.0f %.0f", (t1 - t0) * 1e6, (Timer() - t1) * 1e5);
        return std::string(text);
    });
    double firstUs = 0, saveUs = 0;
    ASSERT_EQ(2, std::sscanf(timed.c_str(), "%lf %lf", &firstUs, &saveUs)) << timed;
    k.save(0);
    ASSERT_EQ(v0, ReadWholeFile(path));
    std::mt19937 random(20261209);
    double windowUs = firstUs + kKillWindowSaves * saveUs;
    int saves = 0, midSave = 0, torn = 0, kills = 0;
    for (; kills < kMinKills || saves < kMinSaves; kills++) {
        int p[2];
        ASSERT_EQ(0, pipe(p));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) { // marks 'b' before each save and 'e' after it
            close(p[0]);
            g_traceOn = 0;
            if (write(p[1], "r", 1) != 1) _exit(1);
            for (int i = 1;; i++) {
                if (write(p[1], "b", 1) != 1) _exit(1);
                k.save(i % 2);
                if (write(p[1], "e", 1) != 1) _exit(1);
            }
        }
        close(p[1]);
        char ready = 0;
        ASSERT_EQ(1, read(p[0], &ready, 1));
        SleepMicroseconds(std::uniform_int_distribution<long>(0, long(windowUs) + 1)(random));
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        char last = 'r', buf[4096];
        int done = 0;
        for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) {
            done += int(std::count(buf, buf + n, 'e'));
            last = buf[n - 1];
        }
        close(p[0]);
        saves += done;
        windowUs *= done == 0 ? kGrow : done > kManySaves ? kShrink : 1.0;
        midSave += last == 'b' ? 1 : 0;
        const std::string now = ReadWholeFile(path);
        if (now != v0 && now != v1 && torn++ == 0) ADD_FAILURE() << "torn:\n" << now;
    }
    std::printf("kill-saves: file=%s saves=%d kills=%d killed-mid-save=%d torn=%d "
                "first_save_us=%.0f save_us=%.0f window_us=%.0f\n",
                k.name, saves, kills, midSave, torn, firstUs, saveUs, windowUs);
    EXPECT_EQ(0, torn);
    EXPECT_GE(saves, kMinSaves);
    EXPECT_GE(midSave, kills / 4) << "the kills land inside saves";
}

INSTANTIATE_TEST_SUITE_P(Files, KilledSaveTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind> &info) { return info.param.name; });

// A save that cannot be written (the file size limit of a full disk, a folder the program
// may not write) keeps the old file byte for byte and names the file in the status line.
TEST_F(SaveTest, AFullDiskOrAReadOnlyFolderKeepsTheOldFileAndNamesIt) {
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        const auto [v0, v1] = Variants(k);
        const std::string path = dir_.file(k.file);
        const std::string full = InChild([&] {
            signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the child
            const rlimit limit{16, 16};
            setrlimit(RLIMIT_FSIZE, &limit);
            k.save(1);
            return Status();
        });
        EXPECT_EQ(v0, ReadWholeFile(path)) << "full disk";
        EXPECT_NE(std::string::npos, full.find(k.file)) << full;

        // Read-only for the writer: as root the child writes as "nobody" (root writes
        // anywhere), otherwise the folder itself is made read-only.
        ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
        if (geteuid() != 0) {
            ASSERT_EQ(0, chmod(dir_.path().c_str(), 0555));
        }
        const std::string readOnly = InChild([&] {
            if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                return std::string("cannot become nobody");
            k.save(1);
            return Status();
        });
        chmod(dir_.path().c_str(), 0700);
        EXPECT_EQ(v0, ReadWholeFile(path)) << "read-only folder";
        EXPECT_NE(std::string::npos, readOnly.find(k.file)) << readOnly;
    }
}
