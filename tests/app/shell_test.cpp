// The application shell on the real panels (offscreen): start-up state, help bubbles, child-panel toggles, closing, the stored reference, and a start without
// its panel resource.
#include "com232.h"
#include "kvor_panels.h"
#include "logo.h"
#include "shell.h"
#include "params.h"
#include "popup.h"
#include "processing.h"
#include "qt_access.h"
#include "rs232.h"
#include "test_support.h"
#include "userint_readback.h"
#include "utility.h"
#include "winmain.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

int Attr(int panel, int control, int attr) {
    int v = -1;
    GetCtrlAttribute(panel, control, attr, &v);
    return v;
}
int IntVal(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}
std::string Text(int panel, int control) {
    char buf[MAX_PATHNAME_LEN] = {};
    GetCtrlVal(panel, control, buf);
    return buf;
}
bool Visible(int panel) { return PlatformPanelWidget(panel)->isVisible(); }
void Click(int panel, int control, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(PlatformControlWidget(panel, control), button);
    QCoreApplication::processEvents();
}
// Which child panel shows, and the three toggles' values (Para1, Para2, Jet).
void ExpectChild(int shown, int p1, int p2, int jet) {
    EXPECT_EQ(shown == pPara1, Visible(pPara1));
    EXPECT_EQ(shown == pPara2, Visible(pPara2));
    EXPECT_EQ(shown == pJet, Visible(pJet));
    EXPECT_EQ(p1, IntVal(pHandle, MAINPANEL_TOGGBTN_Para1));
    EXPECT_EQ(p2, IntVal(pHandle, MAINPANEL_TOGGBTN_Para2));
    EXPECT_EQ(jet, IntVal(pHandle, MAINPANEL_TOGGBTN_Jet));
}

class Shell : public ::testing::Test {
  protected:
    void SetUp() override { Start(); }
    void TearDown() override {
        AppFinish();
        SetProjectDirOverride(nullptr);
    }
    void Start() {
        SetProjectDirOverride(dir_.path().c_str());
        // No sensor: COM1 names a device that does not exist, so the probe ends at once.
        AssignPortDevice(1, dir_.file("no-such-tty").c_str());
        ASSERT_EQ(0, AppStart());
    }
    TempDir dir_;
};

TEST_F(Shell, StartUpState) {
    EXPECT_TRUE(Visible(pHandle));
    ExpectChild(pJet, 0, 0, 1);
    for (int panel : {pPara1, pPara2, pJet}) {
        int left = 0, top = 0;
        GetPanelAttribute(panel, ATTR_LEFT, &left);
        GetPanelAttribute(panel, ATTR_TOP, &top);
        EXPECT_EQ(std::make_pair(8, 105), std::make_pair(left, top));
    }
    for (int box : {MAINPANEL_HelpText1, MAINPANEL_HelpText2})
        EXPECT_EQ((std::vector<int>{0, 10, 110}),
                  (std::vector<int>{Attr(pHandle, box, ATTR_VISIBLE), Attr(pHandle, box, ATTR_LEFT),
                                    Attr(pHandle, box, ATTR_TOP)}));
    EXPECT_EQ("HELPTEXT1", Text(pHandle, MAINPANEL_HelpText1));
    EXPECT_EQ("HELPTEXT2", Text(pHandle, MAINPANEL_HelpText2));
    EXPECT_NE("InitVars", Text(pHandle, MAINPANEL_TEXTStatus)) << "the open error replaces it";

    // Without a sensor the words are the panels' start values; the spare words stay 0.
    EXPECT_EQ((std::vector<int>{500, 512, 100, 1024, 0, 0}),
              (std::vector<int>{power, setpoint, tolerance, edgeRight, spare12, spare13}));
    EXPECT_EQ(0, Attr(pPara1, PARA1_NEDITTolerance, ATTR_DIMMED)) << "hardware mode 1";

    // Bar graph: cursors at setpoint, edgeLeft, edgeRight; band setpoint +- tolerance.
    const double cursorX[] = {512, 1, 1024};
    for (int k = 1; k <= 3; k++) {
        double x = 0, y = 0;
        GetGraphCursor(pHandle, MAINPANEL_GRAPHBar, k, &x, &y);
        EXPECT_DOUBLE_EQ(cursorX[k - 1], x);
        EXPECT_DOUBLE_EQ(1.0, y);
    }
    ASSERT_EQ(1, GetGraphPlotCount(pHandle, MAINPANEL_GRAPHBar));
    double x1, y1, x2, y2;
    int frame, fill;
    GetGraphRectangle(pHandle, MAINPANEL_GRAPHBar, 0, &x1, &y1, &x2, &y2, &frame, &fill);
    EXPECT_EQ((std::vector<double>{412, 0, 612, 0.25}), (std::vector<double>{x1, y1, x2, y2}));
    EXPECT_EQ(VAL_GREEN, fill);

    // No profile file yet: the reference is all ones and the maximum display shows 0.
    for (int i = 0; i < 256; i++) ASSERT_EQ(1, thdArray[i]);
    EXPECT_EQ(0, IntVal(pHandle, MAINPANEL_NUMVideoMax));
}

TEST_F(Shell, HelpBubblesOpenBesideTheirControlAndToggle) {
    int top, left, height, width;
    GetCtrlBoundingRect(pHandle, MAINPANEL_BTNRun, &top, &left, &height, &width);
    Click(pHandle, MAINPANEL_BTNRun, Qt::RightButton);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(left + width + 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_LEFT));
    EXPECT_EQ(top - 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_TOP));
    EXPECT_EQ(HELP_BTNRun, Text(pHandle, MAINPANEL_HelpText1));
    Click(pHandle, MAINPANEL_BTNRun, Qt::RightButton);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));

    // A child-panel control: the box lands in main-panel coordinates.
    Click(pHandle, MAINPANEL_TOGGBTN_Para2);
    GetCtrlBoundingRect(pPara2, PARA2_SLIDEpower, &top, &left, &height, &width);
    Click(pPara2, PARA2_SLIDEpower, Qt::RightButton);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(8 + left + width + 135, Attr(pHandle, MAINPANEL_HelpText1, ATTR_LEFT));
    EXPECT_EQ(105 + top - 10, Attr(pHandle, MAINPANEL_HelpText1, ATTR_TOP));
    EXPECT_EQ(HELP_SLIDEpower, Text(pHandle, MAINPANEL_HelpText1));
    unsigned short p = 0;
    GetCtrlVal(pPara2, PARA2_SLIDEpower, &p);
    EXPECT_EQ(500, p) << "a right click changes no value";

    // The shared box moves to a second control, hides and takes its text.
    ShowHelpBubble(pHandle, MAINPANEL_DropDCom, MAINPANEL_HelpText2, 20, 80, HELP_DropDCom);
    ShowHelpBubble(pPara1, PARA1_DROPaverage, MAINPANEL_HelpText2, 20, 10, HELP_DROPaverage);
    GetCtrlBoundingRect(pPara1, PARA1_DROPaverage, &top, &left, &height, &width);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText2, ATTR_VISIBLE));
    EXPECT_EQ(8 + left + width + 20, Attr(pHandle, MAINPANEL_HelpText2, ATTR_LEFT));
    EXPECT_EQ(HELP_DROPaverage, Text(pHandle, MAINPANEL_HelpText2));
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE)) << "HelpText1 untouched";

    // A click on an open box hides it; position and text stay.
    Click(pHandle, MAINPANEL_HelpText1);
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(HELP_SLIDEpower, Text(pHandle, MAINPANEL_HelpText1));
}

// Mouse, keyboard and a screen reader's toggle action all switch the child panel; of the
// four toggles (with the statistics') only the one clicked is on and shows its panel.
TEST_F(Shell, ToggleButtonsSwitchTheChildPanel) {
    Click(pHandle, MAINPANEL_TOGGBTN_Para2);
    ExpectChild(pPara2, 0, 1, 0);
    Click(pHandle, MAINPANEL_TOGGBTN_Para1);
    ExpectChild(pPara1, 1, 0, 0);

    auto *jet = static_cast<QAbstractButton *>(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Jet));
    jet->setFocus();
    QTest::keyClick(jet, Qt::Key_Space);
    ExpectChild(pJet, 0, 0, 1);

    static_cast<QAbstractButton *>(PlatformControlWidget(pHandle, MAINPANEL_TOGGBTN_Para2))->toggle();
    QCoreApplication::processEvents();
    ExpectChild(pPara2, 0, 1, 0);
    Click(pHandle, MAINPANEL_TOGGBTN_Para2); // flips itself off, the panel stays
    ExpectChild(pPara2, 0, 0, 0);

    // With the statistics toggle: four toggles, the one clicked shows its panel only.
    const int toggles[] = {MAINPANEL_TOGGBTN_Para1, MAINPANEL_TOGGBTN_Para2, MAINPANEL_TOGGBTN_Jet,
                           MAINPANEL_TOGGBTN_Stats};
    const int panels[] = {pPara1, pPara2, pJet, pStats};
    for (int chosen : {3, 0, 3, 2, 1, 3}) {
        Click(pHandle, toggles[chosen]);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(std::make_pair(k == chosen, k == chosen),
                      std::make_pair(IntVal(pHandle, toggles[k]) == 1, Visible(panels[k])))
                << chosen << " " << k;
    }
}

// The memory-target radio buttons act as one group with RAM as the fall-back.
TEST_F(Shell, MemoryTargetButtonsFallBackToRam) {
    const int ram = MAINPANEL_RBTRam, eeprom = MAINPANEL_RBTEeprom, file = MAINPANEL_RBTFile;
    const struct {
        int clicked, target, ramOn, eepromOn, fileOn;
    } steps[] = {{eeprom, EEPROM, 0, 1, 0}, {file, DATFILE, 0, 0, 1}, {file, RAM, 1, 0, 0},
                 {eeprom, EEPROM, 0, 1, 0}, {eeprom, RAM, 1, 0, 0}, {ram, RAM, 1, 0, 0}};
    for (const auto &s : steps) {
        Click(pHandle, s.clicked);
        EXPECT_EQ((std::vector<int>{s.target, s.ramOn, s.eepromOn, s.fileOn}),
                  (std::vector<int>{target, IntVal(pHandle, ram), IntVal(pHandle, eeprom), IntVal(pHandle, file)}))
            << s.clicked;
    }
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
    WriteWholeFile(dir_.file("FREEZE.DAT"), good + "355\n");
    Start();
    EXPECT_EQ(100, thdArray[0]);
    EXPECT_EQ(355, thdArray[255]);
    EXPECT_EQ(355, IntVal(pHandle, MAINPANEL_NUMVideoMax));
    AppFinish();

    WriteWholeFile(dir_.file("FREEZE.DAT"), "900\n901\n902\n"); // torn: not half-loaded
    Start();
    for (int i = 0; i < 256; i++) ASSERT_EQ(1, thdArray[i]) << i;
    EXPECT_EQ(0, IntVal(pHandle, MAINPANEL_NUMVideoMax));
    EXPECT_NE(std::string::npos, Text(pHandle, MAINPANEL_TEXTStatus).find("FREEZE.DAT"));
}

// Without its panel resource, or with a broken one, the program ends at once with -1 and
// one line on stderr.
TEST(StartWithoutPanels, EndsWithMinusOneAndOneLine) {
    TempDir dir;
    const QString exe = QString::fromStdString(dir.file("kvor-rur-glint"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BinDir() + "/kvor-rur-glint"), exe));
    for (bool broken : {false, true}) {
        if (broken) WriteWholeFile(dir.file("K-VOR-JETGlintV100.uir"), "not a panel resource");
        QProcess p;
        p.setProcessEnvironment(ProgramEnvironment(dir));
        p.start(exe, {"--data-dir", QString::fromStdString(dir.path())});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(255, p.exitCode()) << "broken=" << broken;
        const QByteArray err = p.readAllStandardError().trimmed();
        EXPECT_EQ(0, err.count('\n')) << err.constData();
        EXPECT_TRUE(err.contains("panel")) << err.constData();
    }
}

} // namespace

// The second press of a double click is an event of its own: a callback that acts on the
// left click (SEND) acts once, and a double right click leaves the help box open.
TEST_F(Shell, ADoubleClickIsOneClickAndThenADoubleClick) {
    static std::vector<int> events;
    events.clear();
    InstallCtrlCallback(pHandle, MAINPANEL_BTNSend,
                        [](int, int, int event, void *, int, int) { return events.push_back(event), 0; },
                        nullptr);
    // Through the window, as the system delivers it: two presses in quick succession.
    auto doubleClick = [](int control, Qt::MouseButton button) {
        QWidget *w = PlatformControlWidget(pHandle, control);
        QTest::mouseDClick(w->window()->windowHandle(), button, {},
                           w->mapTo(w->window(), w->rect().center()));
        QCoreApplication::processEvents();
    };
    doubleClick(MAINPANEL_BTNSend, Qt::LeftButton);
    const std::vector<int> clicks(events.begin(), events.end());
    EXPECT_EQ(1, std::count(clicks.begin(), clicks.end(), EVENT_LEFT_CLICK));
    EXPECT_EQ(1, std::count(clicks.begin(), clicks.end(), EVENT_LEFT_DOUBLE_CLICK));

    doubleClick(MAINPANEL_BTNGet, Qt::RightButton);
    EXPECT_EQ(1, Attr(pHandle, MAINPANEL_HelpText1, ATTR_VISIBLE));
    EXPECT_EQ(HELP_BTNGet, Text(pHandle, MAINPANEL_HelpText1));
}

// The logo area's texts are 11 and 18 points: 15 and 24 pixels of a 96-dpi panel.
TEST_F(Shell, InfoTextsAreSetInPoints) {
    std::map<std::string, int> pixels;
    for (QLabel *l : PlatformPanelWidget(pHandle)->findChildren<QLabel *>())
        pixels[l->text().toStdString()] = l->font().pixelSize();
    EXPECT_EQ(15, pixels[LOGO_COMPANY]);
    EXPECT_EQ(15, pixels[LOGO_WEB]);
    EXPECT_EQ(24, pixels[szSoftName]);
}
