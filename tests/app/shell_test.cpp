// The application shell on the real panels (offscreen): start-up state, control values,
// help bubbles, child-panel toggles, closing, and a start without its panel resource.
#include "com232.h"
#include "kvor_panels.h"
#include "params.h"
#include "popup.h"
#include "processing.h"
#include "qt_access.h"
#include "rs232.h"
#include "test_support.h"
#include "userint.h"
#include "utility.h"
#include "winmain.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>

namespace {

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        SetProjectDirOverride(dir_.path().c_str());
        // No sensor: COM1 names a device that does not exist, so the probe ends at once.
        AssignPortDevice(1, dir_.file("no-such-tty").c_str());
        ASSERT_EQ(0, AppStart());
    }
    void TearDown() override {
        AppFinish();
        SetProjectDirOverride(nullptr);
    }
    static bool Visible(int panel) { return PlatformPanelWidget(panel)->isVisible(); }
    static int Attr(int panel, int control, int attr) {
        int v = -1;
        GetCtrlAttribute(panel, control, attr, &v);
        return v;
    }
    static std::string Text(int panel, int control) {
        char buf[MAX_PATHNAME_LEN] = {};
        GetCtrlVal(panel, control, buf);
        return buf;
    }
    TempDir dir_;
};

TEST_F(Shell, StartsWithTheJetPanelShownAndTheHelpBoxesHidden) {
    EXPECT_TRUE(Visible(pHandle));
    EXPECT_TRUE(Visible(pJet));
    EXPECT_FALSE(Visible(pPara1));
    EXPECT_FALSE(Visible(pPara2));
    int jet = -1, p1 = -1, p2 = -1;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Jet, &jet);
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para1, &p1);
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para2, &p2);
    EXPECT_EQ(1, jet);
    EXPECT_EQ(0, p1);
    EXPECT_EQ(0, p2);
    for (int panel : {pPara1, pPara2, pJet}) {
        int left = 0, top = 0;
        GetPanelAttribute(panel, ATTR_LEFT, &left);
        GetPanelAttribute(panel, ATTR_TOP, &top);
        EXPECT_EQ(8, left);
        EXPECT_EQ(105, top);
    }
    const int boxes[] = {MAINPANEL_HelpText1, MAINPANEL_HelpText2};
    for (int box : boxes) {
        EXPECT_EQ(0, Attr(pHandle, box, ATTR_VISIBLE));
        EXPECT_EQ(10, Attr(pHandle, box, ATTR_LEFT));
        EXPECT_EQ(110, Attr(pHandle, box, ATTR_TOP));
    }
    EXPECT_EQ("HELPTEXT1", Text(pHandle, MAINPANEL_HelpText1));
    EXPECT_EQ("HELPTEXT2", Text(pHandle, MAINPANEL_HelpText2));
}

TEST_F(Shell, WordsComeFromThePanelsAndDrawTheBarGraph) {
    // Without a sensor the words are the panels' start values; the spare words stay 0.
    EXPECT_EQ(500, power);
    EXPECT_EQ(512, videoThreshold);
    EXPECT_EQ(512, setpoint);
    EXPECT_EQ(100, tolerance);
    EXPECT_EQ(1, edgeLeft);
    EXPECT_EQ(1024, edgeRight);
    EXPECT_EQ(0, spare12);
    EXPECT_EQ(0, spare13);
    EXPECT_EQ(0x55, parameter[0]);

    double x = 0, y = 0;
    GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, 1, &x, &y);
    EXPECT_DOUBLE_EQ(512, x);
    EXPECT_DOUBLE_EQ(1.0, y);
    GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, 2, &x, &y);
    EXPECT_DOUBLE_EQ(1, x);
    GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, 3, &x, &y);
    EXPECT_DOUBLE_EQ(1024, x);
    ASSERT_EQ(1, GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar));
    double x1, y1, x2, y2;
    int frame, fill;
    ASSERT_EQ(0, GetGraphRectangle(pHandle, MAINPANEL_GRAPHBar, 0, &x1, &y1, &x2, &y2, &frame, &fill));
    EXPECT_DOUBLE_EQ(412, x1);
    EXPECT_DOUBLE_EQ(612, x2);
    EXPECT_DOUBLE_EQ(0, y1);
    EXPECT_DOUBLE_EQ(0.25, y2);
    EXPECT_EQ(VAL_GREEN, fill);

    // No profile file yet: the reference is all ones and the maximum display shows 0.
    for (int i = 0; i < 256; i++) ASSERT_EQ(1, thdArray[i]);
    int shown = -1;
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(0, shown);
    // Tolerance field follows the hardware mode (1 at start: enabled).
    EXPECT_EQ(0, Attr(pPara1, PARA1_NEDITTolerance, ATTR_DIMMED));
    EXPECT_NE(std::string("InitVars"), Text(pHandle, MAINPANEL_TEXTStatus));
}

TEST_F(Shell, ASixteenBitControlFillsExactlyItsWord) {
    SetCtrlVal(pPara2, PARA2_SLIDEpower, 777);
    SetCtrlVal(pPara2, PARA2_NUMSetpoint, 65535);
    unsigned short words[3] = {0xAAAA, 0xBBBB, 0xCCCC};
    GetCtrlVal(pPara2, PARA2_SLIDEpower, &words[1]);
    EXPECT_EQ(0xAAAA, words[0]);
    EXPECT_EQ(777, words[1]);
    EXPECT_EQ(0xCCCC, words[2]);
    GetCtrlVal(pPara2, PARA2_NUMSetpoint, &words[1]);
    EXPECT_EQ(65535, words[1]);
    EXPECT_EQ(0xCCCC, words[2]);
    // A 32-bit display fills an int.
    int area = 0x7F7F7F7F;
    SetCtrlVal(pJet, JETPANEL_NUMJetArea, 123456);
    GetCtrlVal(pJet, JETPANEL_NUMJetArea, &area);
    EXPECT_EQ(123456, area);
    // Texts replace the old text.
    SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, "first");
    SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, "second");
    EXPECT_EQ("second", Text(pHandle, MAINPANEL_TEXTStatus));
    ResetTextBox(pJet, JETPANEL_TEXTBOXRecfile, "/a/b/RECORD.DAT");
    ResetTextBox(pJet, JETPANEL_TEXTBOXRecfile, "/c.dat");
    EXPECT_EQ("/c.dat", Text(pJet, JETPANEL_TEXTBOXRecfile));
}

TEST_F(Shell, HelpBubbleOpensBesideTheControlAndToggles) {
    int top, left, height, width;
    GetCtrlBoundingRect(pHandle, MAINPANEL_BTNRun, &top, &left, &height, &width);
    ShowHelpBubble(pHandle, MAINPANEL_BTNRun, MAINPANEL_HelpText1, 10, 10, HELP_BTNRun);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(left + width + 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_LEFT));
    EXPECT_EQ(top - 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_TOP));
    EXPECT_EQ(HELP_BTNRun, Text(pHandle, MAINPANEL_HelpText1));
    ShowHelpBubble(pHandle, MAINPANEL_BTNRun, MAINPANEL_HelpText1, 10, 10, HELP_BTNRun);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));

    // A child-panel control: offset by the child panel's place in the main panel.
    GetCtrlBoundingRect(pPara2, PARA2_SLIDEpower, &top, &left, &height, &width);
    ShowHelpBubble(pPara2, PARA2_SLIDEpower, MAINPANEL_HelpText1, 135, 10, HELP_SLIDEpower);
    EXPECT_EQ(8 + left + width + 135, Attr(pHandle, MAINPANEL_HelpText1, ATTR_LEFT));
    EXPECT_EQ(105 + top - 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_TOP));
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));

    // The shared box moves to a second control, hides and takes its text; HelpText2 is
    // not touched.
    ShowHelpBubble(pHandle, MAINPANEL_DropDCom, MAINPANEL_HelpText2, 20, 80, HELP_DropDCom);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText2, ATTR_VISIBLE));
    ShowHelpBubble(pPara1, PARA1_DROPaverage, MAINPANEL_HelpText2, 20, 10, HELP_DROPaverage);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText2, ATTR_VISIBLE));
    EXPECT_EQ(HELP_DROPaverage, Text(pHandle, MAINPANEL_HelpText2));
    GetCtrlBoundingRect(pPara1, PARA1_DROPaverage, &top, &left, &height, &width);
    EXPECT_EQ(8 + left + width + 20, Attr(pHandle, MAINPANEL_HelpText2, ATTR_LEFT));
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));

    // A click on an open box hides it, position and text stay.
    QWidget *box = PlatformControlWidget(pHandle, MAINPANEL_HelpText1);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(HELP_SLIDEpower, Text(pHandle, MAINPANEL_HelpText1));
}

TEST_F(Shell, RightClicksOnControlsShowAndHideTheirHelp) {
    QWidget *run = PlatformControlWidget(pHandle, MAINPANEL_BTNRun);
    QTest::mouseClick(run, Qt::RightButton);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(HELP_BTNRun, Text(pHandle, MAINPANEL_HelpText1));
    QTest::mouseClick(run, Qt::RightButton);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));

    // A control of a child panel, clicked where the operator sees it.
    QTest::mouseClick(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para2), Qt::LeftButton);
    QWidget *slider = PlatformControlWidget(pPara2, PARA2_SLIDEpower);
    QTest::mouseClick(slider, Qt::RightButton);
    int top, left, height, width;
    GetCtrlBoundingRect(pPara2, PARA2_SLIDEpower, &top, &left, &height, &width);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(8 + left + width + 135, Attr(pHandle, MAINPANEL_HelpText1, ATTR_LEFT));
    EXPECT_EQ(105 + top - 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_TOP));
    EXPECT_EQ(HELP_SLIDEpower, Text(pHandle, MAINPANEL_HelpText1));
    // A right click changes no value.
    unsigned short p = 0;
    GetCtrlVal(pPara2, PARA2_SLIDEpower, &p);
    EXPECT_EQ(500, p);
}

TEST_F(Shell, ToggleButtonsSwitchTheChildPanel) {
    QTest::mouseClick(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para2), Qt::LeftButton);
    int jet = -1, p1 = -1, p2 = -1;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Jet, &jet);
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para1, &p1);
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para2, &p2);
    EXPECT_EQ(0, jet);
    EXPECT_EQ(0, p1);
    EXPECT_EQ(1, p2);
    EXPECT_TRUE(Visible(pPara2));
    EXPECT_FALSE(Visible(pJet));
    EXPECT_FALSE(Visible(pPara1));

    QTest::mouseClick(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para1), Qt::LeftButton);
    EXPECT_TRUE(Visible(pPara1));
    EXPECT_FALSE(Visible(pPara2));
    // Clicking the shown panel's own toggle flips it off but the panel stays displayed.
    QTest::mouseClick(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para1), Qt::LeftButton);
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para1, &p1);
    EXPECT_EQ(0, p1);
    EXPECT_TRUE(Visible(pPara1));
}

TEST_F(Shell, ClosingTheWindowEndsTheEventLoopButKeepsTheWindow) {
    stop_flag = 0;
    QCloseEvent close;
    QCoreApplication::sendEvent(PlatformPanelWidget(pHandle), &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_EQ(1, stop_flag);
    EXPECT_TRUE(Visible(pHandle));
    EXPECT_EQ(0, RunUserInterface()); // returns at once: quit was asked for
}

TEST_F(Shell, AStoredReferenceIsLoadedAndABrokenOneIsIgnored) {
    AppFinish();
    std::string good;
    for (int i = 0; i < 256; i++) good += std::to_string(100 + i) + "\n";
    good += "355\n";
    WriteWholeFile(dir_.file("FREEZE.DAT"), good);
    ASSERT_EQ(0, AppStart());
    EXPECT_EQ(100, thdArray[0]);
    EXPECT_EQ(355, thdArray[255]);
    int shown = -1;
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(355, shown);
    AppFinish();

    // A torn file (fewer than 257 numbers) is not half-loaded.
    WriteWholeFile(dir_.file("FREEZE.DAT"), "900\n901\n902\n");
    ASSERT_EQ(0, AppStart());
    for (int i = 0; i < 256; i++) ASSERT_EQ(1, thdArray[i]) << i;
    GetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, &shown);
    EXPECT_EQ(0, shown);
    EXPECT_NE(std::string::npos, Text(pHandle, MAINPANEL_TEXTStatus).find("FREEZE.DAT"));
}

// The program started without its panel resource (or with a broken one) ends at once with
// -1 and one line on stderr.
TEST(StartWithoutPanels, EndsWithMinusOneAndOneLine) {
    TempDir dir;
    const QString exe = QString::fromStdString(dir.file("kvor-rur-glint"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BinDir() + "/kvor-rur-glint"), exe));
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    for (bool broken : {false, true}) {
        if (broken) WriteWholeFile(dir.file("K-VOR-JETGlintV100.uir"), "not a panel resource");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
        p.setProcessEnvironment(env);
        p.start(exe, {"--data-dir", QString::fromStdString(dir.path())});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(255, p.exitCode()) << "broken=" << broken;
        const QByteArray err = p.readAllStandardError().trimmed();
        EXPECT_EQ(0, err.count('\n')) << err.constData();
        EXPECT_TRUE(err.contains("panel")) << err.constData();
    }
}

} // namespace

namespace {

// Keyboard users and screen readers reach the same callbacks as the mouse.
TEST_F(Shell, TogglesWorkFromTheKeyboardAndFromAScreenReaderAction) {
    auto *para2 = static_cast<QAbstractButton *>(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para2));
    para2->setFocus();
    QTest::keyClick(para2, Qt::Key_Space);
    int jet = -1;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Jet, &jet);
    EXPECT_EQ(0, jet) << "the siblings are cleared without a mouse";
    EXPECT_TRUE(Visible(pPara2));
    EXPECT_FALSE(Visible(pJet));

    // A screen reader's toggle action flips the state without a click.
    auto *para1 = static_cast<QAbstractButton *>(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para1));
    para1->toggle();
    QCoreApplication::processEvents();
    int p2 = -1;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para2, &p2);
    EXPECT_EQ(0, p2);
    EXPECT_TRUE(Visible(pPara1));
    EXPECT_FALSE(Visible(pPara2));

    // A real mouse click still delivers exactly one commit.
    QTest::mouseClick(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Jet), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Visible(pJet));
    EXPECT_FALSE(Visible(pPara1));
}

} // namespace
