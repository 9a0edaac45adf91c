// The real program with adapters that come and go: simulated sensors on pseudo-terminals
// behind a folder of stable names the test controls (--serial-dir). Pulling an adapter stops
// its simulator (the line hangs up) and removes its link; plugging it back starts a new one
// under the same name. What the program does is read from its --trace file.
#include "test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kA = "usb-Acme_Lab_Adapter_A1-if00-port0";
const QString kB = "usb-Acme_Lab_Adapter_B2-if00-port0";
const std::string kSimFirmware = "status K-VOR-RUR SIM";

class Adapters : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, mkdir(ById().c_str(), 0755));
        chmod(dir_.path().c_str(), 0777); // the program may run as another user
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.terminate();
            program_.waitForFinished(5000);
        }
        for (auto &s : sims_) {
            s->terminate();
            s->waitForFinished(2000);
        }
    }
    std::string ById() const { return dir_.file("by-id"); }
    std::string Trace() const { return dir_.file("trace.log"); }
    std::string TraceText() const { return ReadWholeFile(Trace()); }

    // Plugs an adapter: a simulator whose pseudo-terminal gets the stable name.
    QProcess *Plug(const QString &name, QStringList options = {}) {
        auto sim = std::make_unique<QProcess>();
        sim->start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"),
                   options << "--link" << QString::fromStdString(ById() + "/") + name);
        EXPECT_TRUE(sim->waitForReadyRead(5000)); // "PORT ..." follows the link
        sims_.push_back(std::move(sim));
        return sims_.back().get();
    }
    // Pulls it: the line hangs up and the link goes.
    void Pull(QProcess *sim) {
        sim->terminate();
        EXPECT_TRUE(sim->waitForFinished(3000));
    }
    void Start(QStringList extra = {}, const QString &asUser = {}, const QString &asGroup = {}) {
        QProcessEnvironment env = ProgramEnvironment(dir_);
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir_.file("config")));
        program_.setProcessEnvironment(env);
        QStringList args = {"--serial-dir", QString::fromStdString(ById()), "--trace",
                            QString::fromStdString(Trace()), "--data-dir",
                            QString::fromStdString(dir_.path())};
        args << extra;
        QString exe = QString::fromStdString(BinDir() + "/kvor-rur-glint");
        if (!asUser.isEmpty()) {
            args.prepend(exe);
            args = QStringList{"--reuid=" + asUser, "--regid=" + asGroup, "--clear-groups"} + args;
            exe = "setpriv";
        }
        program_.start(exe, args);
        ASSERT_TRUE(program_.waitForStarted(5000));
    }
    void Stop() {
        ::kill(pid_t(program_.processId()), SIGTERM);
        ASSERT_TRUE(program_.waitForFinished(5000));
    }
    // Waits until the trace holds `text` `times` times; the ms it took, or -1.
    long WaitFor(const std::string &text, int times = 1, int ms = 10000) const {
        return WaitForFileText(Trace(), text, times, ms);
    }
    int Count(const std::string &text) const { return CountOf(TraceText(), text); }
    // CPU seconds (user + system) the program has used so far.
    double ProgramCpu() const {
        std::ifstream in("/proc/" + std::to_string(program_.processId()) + "/stat");
        std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::istringstream fields(s.substr(s.rfind(')') + 2));
        std::string f;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14) utime = std::stol(f);
            if (i == 15) stime = std::stol(f);
        }
        return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
    }
    std::string OpenOf(const QString &name) const {
        return "com-open COM1 " + ById() + "/" + name.toStdString();
    }

    TempDir dir_;
    QProcess program_;
    std::vector<std::unique_ptr<QProcess>> sims_;
};

// Pulled: "Port lost" once, a quiet wait; plugged back: the port opens again within 1 s and
// the whole probe runs; a different sensor on the same name is named in the status line.
TEST_F(Adapters, UnplugThenReplugProbesAgainAndADifferentSensorIsNamed) {
    struct Case {
        QStringList replugOptions;
        std::string otherText; // "" = the same sensor came back
    } cases[] = {
        {{}, ""},
        {{"--firmware", "K-VOR-RUR NEW T200"}, "status Other sensor on COM1: K-VOR-RUR NEW T200"},
    };
    for (const Case &c : cases) {
        TearDown();
        sims_.clear();
        QFile::remove(QString::fromStdString(Trace()));
        QProcess *sim = Plug(kA);
        Start();
        ASSERT_GE(WaitFor(kSimFirmware), 0) << TraceText();
        Pull(sim);
        ASSERT_GE(WaitFor("status Port lost: " + kA.toStdString()), 0) << TraceText();

        // Waiting for the adapter costs next to nothing.
        const double cpu0 = ProgramCpu();
        QThread::msleep(3000);
        const double share = (ProgramCpu() - cpu0) / 3.0;
        EXPECT_LT(share, 0.01) << "CPU share while the adapter is away";
        EXPECT_EQ(1, Count("status Port lost:")) << "told once";
        EXPECT_EQ(1, Count("com-hangup"));

        QElapsedTimer back;
        Plug(kA, c.replugOptions);
        back.start();
        ASSERT_GE(WaitFor(OpenOf(kA), 2, 3000), 0) << TraceText();
        EXPECT_LT(back.elapsed(), 1000) << "re-opened within 1 s of the name's return";
        ASSERT_GE(WaitFor("com-write COM1 38: 00 55 00 07", 2), 0) << "the probe ran to the firmware request";
        if (c.otherText.empty()) {
            ASSERT_GE(WaitFor(kSimFirmware, 3), 0) << TraceText();
            QThread::msleep(300);
            EXPECT_EQ(0, Count("Other sensor")) << TraceText();
        } else {
            EXPECT_GE(WaitFor(c.otherText), 0) << TraceText();
        }
        Stop();
    }
}

TEST_F(Adapters, WithTwoAdaptersOnePulledTheOtherIsNeverOpened) {
    QProcess *a = Plug(kA);
    Plug(kB);
    Start();
    ASSERT_GE(WaitFor(kSimFirmware), 0) << TraceText();
    EXPECT_EQ(1, Count(OpenOf(kA)));
    Pull(a);
    ASSERT_GE(WaitFor("status Port lost: " + kA.toStdString()), 0);
    QThread::msleep(1500);
    EXPECT_EQ(1, Count("com-open ")) << TraceText();
    Stop();
}

TEST_F(Adapters, AfterARestartTheLastGoodAdapterIsCom1AndProbed) {
    // First run: only B is there, so B is COM1 and answers.
    QProcess *b = Plug(kB);
    Start();
    ASSERT_GE(WaitFor(kSimFirmware), 0) << TraceText();
    Stop();
    // Second run: A sorts first, yet B, the last good one, is COM1 and is probed.
    Pull(b);
    Plug(kA);
    Plug(kB);
    QFile::remove(QString::fromStdString(Trace()));
    Start();
    ASSERT_GE(WaitFor(kSimFirmware), 0) << TraceText();
    EXPECT_EQ(1, Count(OpenOf(kB))) << TraceText();
    EXPECT_EQ(0, Count(OpenOf(kA)));
    Stop();
}

TEST_F(Adapters, ALockedPortGivesAHintNamingTheProcess) {
    Plug(kA);
    const int fd = open((ById() + "/" + kA.toStdString()).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    Start();
    ASSERT_GE(WaitFor("status Cannot open port"), 0) << TraceText();
    const std::string pid = "(pid " + std::to_string(getpid()) + ")";
    EXPECT_GE(WaitFor("port-hint COM1 is in use by "), 0) << TraceText();
    EXPECT_NE(std::string::npos, TraceText().find(pid)) << TraceText();
    Stop();
    close(fd);
}

TEST_F(Adapters, PermissionDeniedGivesTheGroupHint) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    Plug(kA);
    // The pseudo-terminal belongs to the test's user and group, which nobody lacks.
    struct stat st {};
    ASSERT_EQ(0, stat((ById() + "/" + kA.toStdString()).c_str(), &st));
    const group *g = getgrgid(st.st_gid);
    ASSERT_NE(nullptr, g);
    const std::string owner = g->gr_name;
    Start({}, "nobody", "nogroup");
    ASSERT_GE(WaitFor("status Cannot open port"), 0) << TraceText()
                                                     << program_.readAllStandardError().toStdString();
    EXPECT_GE(WaitFor("port-hint No access to COM1 (group " + owner +
                      "). Run: sudo usermod -aG " + owner + " $USER"), 0)
        << TraceText();
    Stop();
}

} // namespace
