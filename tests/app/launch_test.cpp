// The real program with its launch options: --simulate and --port reach the sensor (seen in
// the --trace file), a signal ends the program cleanly with its simulator, bad options are
// refused.
#include "test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class Launch : public ::testing::Test {
  protected:
    void Run(QStringList args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.path()));
        program_.setProcessEnvironment(env);
        program_.start(QString::fromStdString(BinDir() + "/kvor-rur-glint"),
                       args << "--trace" << Trace() << "--data-dir" << QString::fromStdString(dir_.path()));
    }
    QString Trace() const { return QString::fromStdString(dir_.file("trace.log")); }
    // The probe has ended when the simulator's firmware text reaches the status line.
    bool Probed() {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            if (ReadWholeFile(Trace().toStdString()).find("status K-VOR-RUR SIM") != std::string::npos)
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void StopWithSignal() {
        ::kill(pid_t(program_.processId()), SIGTERM);
        ASSERT_TRUE(program_.waitForFinished(5000));
        EXPECT_EQ(QProcess::NormalExit, program_.exitStatus());
        EXPECT_EQ(0, program_.exitCode());
    }
    TempDir dir_;
    QProcess program_;
};

TEST_F(Launch, SimulateProbesTheBundledSensorAndASignalEndsBoth) {
    Run({"--simulate"});
    ASSERT_TRUE(Probed()) << ReadWholeFile(Trace().toStdString());
    EXPECT_NE(std::string::npos, ReadWholeFile(Trace().toStdString()).find("com-write COM1 38: 00 55 00 05"));
    QProcess pgrep;
    pgrep.start("pgrep", {"-P", QString::number(program_.processId())});
    pgrep.waitForFinished(2000);
    const QString simPid = QString::fromLatin1(pgrep.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(simPid.isEmpty()) << "the simulator runs as the program's child";
    StopWithSignal();
    QElapsedTimer t;
    t.start();
    while (QFile::exists("/proc/" + simPid) && t.elapsed() < 3000) QThread::msleep(20);
    EXPECT_FALSE(QFile::exists("/proc/" + simPid)) << "the simulator ends with the program";
}

TEST_F(Launch, PortOptionReachesTheDeviceThroughASymlink) {
    QProcess sim;
    sim.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"), {"--link", QString::fromStdString(dir_.file("tty"))});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    Run({"--port", "1=" + QString::fromStdString(dir_.file("tty"))});
    EXPECT_TRUE(Probed()) << ReadWholeFile(Trace().toStdString());
    StopWithSignal();
    sim.terminate();
    sim.waitForFinished(2000);
}

TEST_F(Launch, BadOptionsAreRefused) {
    for (const char *bad : {"--port=x", "--port 99=/dev/null", "--frobnicate"}) {
        Run(QString::fromLatin1(bad).split(' '));
        ASSERT_TRUE(program_.waitForFinished(5000));
        EXPECT_EQ(2, program_.exitCode()) << bad;
        EXPECT_TRUE(program_.readAllStandardError().contains("kvor-rur-glint:")) << bad;
    }
}

} // namespace
