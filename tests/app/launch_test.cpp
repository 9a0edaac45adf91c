// The real program with its launch options: --simulate and --port reach the sensor, the
// trace records the exchange, a signal ends the program cleanly with its simulator, and a
// bad option is refused.
#include "test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <string>

namespace {

QProcessEnvironment Env(const TempDir &dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
    return env;
}

// Waits until the trace holds `text` (the probe has finished when the firmware text shows).
bool WaitForTrace(const std::string &trace, const std::string &text, double seconds = 10) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) {
        if (ReadWholeFile(trace).find(text) != std::string::npos) return true;
        QThread::msleep(50);
    }
    return false;
}

void StartProgram(QProcess &p, const TempDir &dir, QStringList args) {
    args << "--trace" << QString::fromStdString(dir.file("trace.log")) << "--data-dir"
         << QString::fromStdString(dir.path());
    p.setProcessEnvironment(Env(dir));
    p.start(QString::fromStdString(BinDir() + "/kvor-rur-glint"), args);
    ASSERT_TRUE(p.waitForStarted(5000));
}

void StopWithSignal(QProcess &p) {
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(QProcess::NormalExit, p.exitStatus());
    EXPECT_EQ(0, p.exitCode());
}

TEST(Launch, SimulateProbesTheBundledSensorAndASignalEndsBothCleanly) {
    TempDir dir;
    QProcess program;
    StartProgram(program, dir, {"--simulate"});
    const std::string trace = dir.file("trace.log");
    ASSERT_TRUE(WaitForTrace(trace, "status K-VOR-RUR SIM")) << ReadWholeFile(trace);
    const std::string text = ReadWholeFile(trace);
    EXPECT_NE(std::string::npos, text.find("com-write COM1 38: 00 55 00 05")) << "echo check first";
    EXPECT_NE(std::string::npos, text.find("status Echo Check - Line Ok!"));

    QProcess pgrep;
    pgrep.start("pgrep", {"-P", QString::number(program.processId())});
    pgrep.waitForFinished(2000);
    const QString simPid = QString::fromLatin1(pgrep.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(simPid.isEmpty()) << "the simulator runs as the program's child";
    StopWithSignal(program);
    QElapsedTimer t;
    t.start();
    while (QFile::exists("/proc/" + simPid) && t.elapsed() < 3000) QThread::msleep(20);
    EXPECT_FALSE(QFile::exists("/proc/" + simPid)) << "the simulator ends with the program";
}

TEST(Launch, PortOptionAssignsADeviceToComN) {
    TempDir dir;
    QProcess sim;
    sim.start(QString::fromStdString(BinDir() + "/kvor-sensor-sim"),
              {"--link", QString::fromStdString(dir.file("sensor-link"))});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    ASSERT_TRUE(sim.readLine().startsWith("PORT "));

    // The sensor reached through a symbolic link, assigned to COM1 which start-up probes.
    QProcess program;
    StartProgram(program, dir, {"--port", "1=" + QString::fromStdString(dir.file("sensor-link"))});
    EXPECT_TRUE(WaitForTrace(dir.file("trace.log"), "status K-VOR-RUR SIM"))
        << ReadWholeFile(dir.file("trace.log"));
    StopWithSignal(program);
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(2000);
}

TEST(Launch, BadOptionsAreRefused) {
    TempDir dir;
    for (const QStringList &args : {QStringList{"--port", "x=/dev/null"}, QStringList{"--port", "99=/dev/null"},
                                    QStringList{"--frobnicate"}}) {
        QProcess p;
        p.setProcessEnvironment(Env(dir));
        p.start(QString::fromStdString(BinDir() + "/kvor-rur-glint"), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(2, p.exitCode()) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("kvor-rur-glint:"));
    }
}

} // namespace
