// Ports that refuse to open: chosen in the port drop-down of a running program, each gives
// its open-error text at once, and the program goes on with another port.
#include "link_fixture.h"

#include <QProcess>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRefusing = 2;    // the port that refuses
constexpr double kAtOnce = 0.1; // seconds from the choice to the error text
const char kNoPort[] = "No serial port found", kCannotOpen[] = "Cannot open port";
const char kDeniedDeviceVar[] = "KVOR_DENIED_DEVICE";

} // namespace

class RefusedPortTest : public LinkTest {
  protected:
    // Port 1 a good sensor (the start-up port); the port that refuses is chosen, then port 1
    // again.
    void ChooseRefusingThenGood(const std::string &device, const char *status) {
        SCOPED_TRACE(device);
        AssignPortDevice(kRefusing, device.c_str());
        const double t0 = Timer();
        SetCtrlVal(pHandle, MAINPANEL_DropDCom, kRefusing);
        Click(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT);
        const double took = Timer() - t0;
        EXPECT_EQ(status, Status()) << device;
        EXPECT_LT(took, kAtOnce) << device;
        // The program stays usable: a GET on the refused port times out like on any port
        // that is not open, and the good port works again.
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
        EXPECT_EQ("Timeout-RS-232...", Status());
        SetCtrlVal(pHandle, MAINPANEL_DropDCom, 1);
        Click(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT);
        EXPECT_EQ("K-VOR-RUR SIM T104 1536PX V2.10", Status());
        Click(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT);
        EXPECT_EQ("Parameter-frame received! - Line Ok!", Status());
        EXPECT_EQ(DistinctWords(), Words());
    }
    void StartWithRefusingPort() {
        AssignPortDevice(kRefusing, "/dev/null"); // listed from the start
        Start();
    }
};

TEST_F(RefusedPortTest, EachRefusalGivesItsTextAtOnceAndAnotherPortWorks) {
    StartWithRefusingPort();

    // Missing: no such device.
    ChooseRefusingThenGood("/nonexistent/kvor-tty", kNoPort);

    // Vanished between the port list and the open: the adapter is pulled after the drop-down
    // listed it (a pseudo-terminal whose other end has gone).
    {
        SimSensor &gone = AddSensor(Sensor(), kRefusing);
        const std::string path = gone.DevicePath();
        gone.Stop();
        ChooseRefusingThenGood(path, kNoPort);
    }

    // Held by another program (its lock on the device).
    {
        SimSensor &other = AddSensor(Sensor(), 3);
        DeviceHolder holder(other.DevicePath());
        ASSERT_TRUE(holder.held());
        ChooseRefusingThenGood(other.DevicePath(), kCannotOpen);
        EXPECT_EQ(0, other.RequestCount()) << "nothing was sent to the held line";
    }

    // Not a serial device: a plain file, a character device that is no terminal.
    const std::string plain = dir_.file("not-a-tty");
    WriteWholeFile(plain, "text\n");
    ChooseRefusingThenGood(plain, kNoPort);
    EXPECT_EQ("text\n", ReadWholeFile(plain)) << "nothing was written to the file";
    ChooseRefusingThenGood("/dev/null", kNoPort);
}

// Permission denied: the device belongs to another user. The super-user may open anything,
// so as root the case runs in a copy of this test as the user "nobody".
TEST_F(RefusedPortTest, PermissionDeniedGivesItsTextAndAnotherPortWorks) {
    if (const char *denied = std::getenv(kDeniedDeviceVar)) { // the copy, as "nobody"
        ASSERT_NE(0u, geteuid());
        StartWithRefusingPort();
        ChooseRefusingThenGood(denied, kCannotOpen);
        return;
    }
    SimSensor &locked = AddSensor(Sensor(), 3);
    ASSERT_EQ(0, chmod(locked.DevicePath().c_str(), 0600));
    if (geteuid() != 0) {
        ASSERT_EQ(0, chmod(locked.DevicePath().c_str(), 0));
        StartWithRefusingPort();
        ChooseRefusingThenGood(locked.DevicePath(), kCannotOpen);
        return;
    }
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    QProcess copy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kDeniedDeviceVar, QString::fromStdString(locked.DevicePath()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", "/tmp");
    env.remove("XDG_RUNTIME_DIR");
    copy.setProcessEnvironment(env);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    copy.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", self,
                           QString::fromStdString("--gtest_filter=RefusedPortTest." + name)});
    if (!copy.waitForStarted(5000)) GTEST_SKIP() << "setpriv is not available";
    ASSERT_TRUE(copy.waitForFinished(60000));
    const std::string out = copy.readAll().toStdString();
    EXPECT_EQ(0, copy.exitCode()) << out;
    EXPECT_NE(std::string::npos, out.find("[  PASSED  ] 1 test")) << out;
    EXPECT_EQ(0, locked.RequestCount());
}
