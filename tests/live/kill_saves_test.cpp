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

constexpr int kKills = 1000;        // per file kind
constexpr long kMaxKillDelayUs = 1500; // kills land 0 .. this long after the child is ready
constexpr uid_t kNobody = 65534;

// The two contents a file alternates between: variant 0 and variant 1.
struct Kind {
    const char *name;
    const char *file;
    void (*save)(int variant);
};

void SaveParameters(int variant) {
    static const Words16 w0 = DistinctWords();
    static const Words16 w1 = {640, 0, 350, 1, 0, 3, 120, 880, 470, 55, 0, 2, 66, 1111, 12, 2222};
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

// A child saves the file over and over, alternating two contents, until it is killed at a
// random moment; every time, the file holds one of the two contents, whole.
TEST_F(SaveTest, AKilledSaveLeavesTheOldOrTheNewFileNeverATornOne) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> delay(0, kMaxKillDelayUs);
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        const auto [v0, v1] = Variants(k);
        const std::string path = dir_.file(k.file);
        int saves = 0, midSave = 0, torn = 0;
        for (int kill = 0; kill < kKills; kill++) {
            int p[2];
            ASSERT_EQ(0, pipe(p));
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) { // marks 'b' before each save and 'e' after it
                close(p[0]);
                g_traceOn = 0;
                char mark = 'r';
                if (write(p[1], &mark, 1) != 1) _exit(1);
                for (int i = 1;; i++) {
                    mark = 'b';
                    if (write(p[1], &mark, 1) != 1) _exit(1);
                    k.save(i % 2);
                    mark = 'e';
                    if (write(p[1], &mark, 1) != 1) _exit(1);
                }
            }
            close(p[1]);
            char ready = 0;
            ASSERT_EQ(1, read(p[0], &ready, 1));
            SleepMicroseconds(delay(random));
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            char last = 'r', buf[4096];
            for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) {
                saves += int(std::count(buf, buf + n, 'e'));
                last = buf[n - 1];
            }
            close(p[0]);
            midSave += last == 'b' ? 1 : 0;
            const std::string now = ReadWholeFile(path);
            torn += now == v0 || now == v1 ? 0 : 1;
        }
        std::printf("kill-saves: file=%s saves=%d kills=%d killed-mid-save=%d torn=%d\n", k.name,
                    saves, kKills, midSave, torn);
        EXPECT_EQ(0, torn);
        EXPECT_GE(saves, 1000);
        EXPECT_GE(midSave, kKills / 4) << "the kills land inside saves";
    }
}

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
        if (geteuid() != 0) ASSERT_EQ(0, chmod(dir_.path().c_str(), 0555));
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
