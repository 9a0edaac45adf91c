// The four panels as the program loads them from the panel resource: every control the
// logic addresses, its kind, data type, start value, caption and accessible name, and a
// layout in which nothing is clipped, nothing overlaps and every help box opens inside the
// main panel with room for its text.
#include "kvor_panels.h"
#include "popup.h"
#include "qt_access.h"
#include "userint.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Child panels sit at this place inside the main panel.
constexpr int kChildLeft = 8;
constexpr int kChildTop = 105;

enum class Type { U16, I32, Str };
// Where a screen reader finds the control's name: Qt keeps the value beside the accessible
// name for buttons, numerics, sliders and graphs, but shows the text or current item as
// the name of text messages and rings, so those carry it in the description.
enum class Acc { Name, Description };

struct Expected {
    int resourceId;
    int id;
    const char *name;      // object name
    const char *className; // widget class (or a base of it)
    Type type;
    int start; // start value (numbers); texts are checked separately
    const char *accessible;
    Acc where;
    bool dimmed;
    bool caption; // has a caption label
};

// clang-format off
const Expected kControls[] = {
    // main panel
    {MAINPANEL, MAINPANEL_DropDCom,      "DropDCom",      "QComboBox",      Type::I32, 1,   "DropDCom",              Acc::Description, false, true},
    {MAINPANEL, MAINPANEL_BTNGet,        "BTNGet",        "QPushButton",    Type::I32, 0,   "BTNGet",                Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_BTNSend,       "BTNSend",       "QPushButton",    Type::I32, 0,   "BTNSend",               Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_RBTFile,       "RBTFile",       "QRadioButton",   Type::I32, 0,   "RBTFile",               Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_RBTEeprom,     "RBTEeprom",     "QRadioButton",   Type::I32, 0,   "RBTEeprom",             Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_RBTRam,        "RBTRam",        "QRadioButton",   Type::I32, 1,   "RBTRam",                Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_BTNVideo,      "BTNVideo",      "QPushButton",    Type::I32, 0,   "BTNVideo",              Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_BTNStop,       "BTNStop",       "QPushButton",    Type::I32, 0,   "BTNStop",               Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_BTNRun,        "BTNRun",        "QPushButton",    Type::I32, 0,   "BTNRun",                Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_NUMWidth,      "NUMWidth",      "QSpinBox",       Type::I32, 0,   "width display",         Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_NUMCenter,     "NUMCenter",     "QSpinBox",       Type::I32, 0,   "centre display",        Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_DROPdatatype,  "DROPdatatype",  "QComboBox",      Type::U16, 0,   "DROPdatatype",          Acc::Description, false, true},
    {MAINPANEL, MAINPANEL_NUMJetMax,     "NUMJetMax",     "QSpinBox",       Type::I32, 0,   "jet maximum display",   Acc::Name, true, true},
    {MAINPANEL, MAINPANEL_NUMVideoMax,   "NUMVideoMax",   "QSpinBox",       Type::I32, 0,   "video maximum display", Acc::Name, true, true},
    {MAINPANEL, MAINPANEL_NUMLedge,      "NUMLedge",      "QSpinBox",       Type::I32, 0,   "left edge display",     Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_NUMRedge,      "NUMRedge",      "QSpinBox",       Type::I32, 0,   "right edge display",    Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_DECOInfo,      "DECOInfo",      "QFrame",         Type::I32, 0,   "info frame",            Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_TEXTStatus,    "TEXTStatus",    "QLabel",         Type::Str, 0,   "status line",           Acc::Description, false, false},
    {MAINPANEL, MAINPANEL_GRAPHJet,      "GRAPHJet",      "QCustomPlot",    Type::I32, 0,   "jet graph",             Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_GRAPHVideo,    "GRAPHVideo",    "QCustomPlot",    Type::I32, 0,   "video graph",           Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_GRAPHBar,      "GRAPHBar",      "QCustomPlot",    Type::I32, 0,   "bar graph",             Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_PICTLogo,      "PICTLogo",      "QLabel",         Type::I32, 0,   "logo picture",          Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_SWITCHZoom,    "SWITCHZoom",    "QCheckBox",      Type::I32, 0,   "zoom switch",           Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_STRIPChart,    "STRIPChart",    "QCustomPlot",    Type::I32, 0,   "strip chart",           Acc::Name, false, true},
    {MAINPANEL, MAINPANEL_TOGGBTN_Jet,   "TOGGBTN_Jet",   "QPushButton",    Type::I32, 1,   "TOGGBTN_Jet",           Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_TOGGBTN_Para2, "TOGGBTN_Para2", "QPushButton",    Type::I32, 0,   "TOGGBTN_Para2",         Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_TOGGBTN_Para1, "TOGGBTN_Para1", "QPushButton",    Type::I32, 0,   "TOGGBTN_Para1",         Acc::Name, false, false},
    {MAINPANEL, MAINPANEL_HelpText2,     "HelpText2",     "QLabel",         Type::Str, 0,   "HelpText2",             Acc::Description, false, false},
    {MAINPANEL, MAINPANEL_HelpText1,     "HelpText1",     "QLabel",         Type::Str, 0,   "HelpText1",             Acc::Description, false, false},
    // first parameter panel: start values are the start-up values of the parameter words
    {PARA1, PARA1_NUMtolDelta,       "NUMtolDelta",       "QSpinBox",    Type::U16, 1500, "NUMtolDelta",       Acc::Name, false, true},
    {PARA1, PARA1_NEDITTolerance,    "NEDITTolerance",    "QSpinBox",    Type::U16, 100,  "NEDITTolerance",    Acc::Name, false, true},
    {PARA1, PARA1_RINGanaMode,       "RINGanaMode",       "QComboBox",   Type::U16, 0,    "RINGanaMode",       Acc::Description, true, true},
    {PARA1, PARA1_DROPEvalMode,      "DROPEvalMode",      "QComboBox",   Type::U16, 1,    "DROPEvalMode",      Acc::Description, false, true},
    {PARA1, PARA1_DROPrs232Mode,     "DROPrs232Mode",     "QComboBox",   Type::U16, 0,    "DROPrs232Mode",     Acc::Description, false, true},
    {PARA1, PARA1_DROPopMode,        "DROPopMode",        "QComboBox",   Type::U16, 0,    "DROPopMode",        Acc::Description, false, true},
    {PARA1, PARA1_DROPpolarity,      "DROPpolarity",      "QComboBox",   Type::U16, 1,    "DROPpolarity",      Acc::Description, false, true},
    {PARA1, PARA1_DROPaverage,       "DROPaverage",       "QComboBox",   Type::U16, 0,    "DROPaverage",       Acc::Description, false, true},
    {PARA1, PARA1_DROPHardwareMode,  "DROPHardwareMode",  "QComboBox",   Type::U16, 1,    "DROPHardwareMode",  Acc::Description, false, true},
    {PARA1, PARA1_ButtonReset,       "ButtonReset",       "QPushButton", Type::I32, 0,    "ButtonReset",       Acc::Name, false, false},
    // second parameter panel
    {PARA2, PARA2_ButtonTeach,          "ButtonTeach",          "QPushButton", Type::I32, 0,    "ButtonTeach",          Acc::Name, false, false},
    {PARA2, PARA2_SLIDEVideoThreshold,  "SLIDEVideoThreshold",  "QSlider",     Type::U16, 512,  "SLIDEVideoThreshold",  Acc::Name, false, true},
    {PARA2, PARA2_SLIDEpower,           "SLIDEpower",           "QSlider",     Type::U16, 500,  "SLIDEpower",           Acc::Name, false, true},
    {PARA2, PARA2_NUMSetpoint,          "NUMSetpoint",          "QSpinBox",    Type::U16, 512,  "setpoint numeric",     Acc::Name, false, true},
    {PARA2, PARA2_NEDITEdgeLeft,        "NEDITEdgeLeft",        "QSpinBox",    Type::U16, 1,    "NEDITEdgeLeft",        Acc::Name, false, true},
    {PARA2, PARA2_NEDITEdgeRight,       "NEDITEdgeRight",       "QSpinBox",    Type::U16, 1024, "NEDITEdgeRight",       Acc::Name, false, true},
    {PARA2, PARA2_NUMteach,             "NUMteach",             "QSpinBox",    Type::I32, 0,    "NUMteach",             Acc::Name, false, true},
    // jet panel
    {JETPANEL, JETPANEL_BTNFreezeProfile,  "BTNFreezeProfile",  "QPushButton",    Type::I32, 0, "BTNFreezeProfile",  Acc::Name, false, false},
    {JETPANEL, JETPANEL_BTNSaveJetProfile, "BTNSaveJetProfile", "QPushButton",    Type::I32, 0, "BTNSaveJetProfile", Acc::Name, false, false},
    {JETPANEL, JETPANEL_BTNRecfile,        "BTNRecfile",        "QPushButton",    Type::I32, 0, "BTNRecfile",        Acc::Name, false, false},
    {JETPANEL, JETPANEL_NUMJetArea,        "NUMJetArea",        "QSpinBox",       Type::I32, 0, "jet area display",  Acc::Name, false, true},
    {JETPANEL, JETPANEL_TEXTBOXRecfile,    "TEXTBOXRecfile",    "QPlainTextEdit", Type::Str, 0, "record file box",   Acc::Name, false, true},
};
// clang-format on

// The panels loaded as start-up loads them: main panel first, then its three children,
// placed at the children's common position; main and jet panel shown.
class Panels : public ::testing::Test {
  protected:
    void SetUp() override {
        pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL);
        ASSERT_GT(pHandle, 0) << "main panel not loaded from " << PANEL_RESOURCE_FILE;
        pPara1 = LoadPanel(pHandle, PANEL_RESOURCE_FILE, PARA1);
        pPara2 = LoadPanel(pHandle, PANEL_RESOURCE_FILE, PARA2);
        pJet = LoadPanel(pHandle, PANEL_RESOURCE_FILE, JETPANEL);
        ASSERT_GT(pPara1, 0);
        ASSERT_GT(pPara2, 0);
        ASSERT_GT(pJet, 0);
        for (int child : {pPara1, pPara2, pJet}) {
            SetPanelAttribute(child, ATTR_LEFT, kChildLeft);
            SetPanelAttribute(child, ATTR_TOP, kChildTop);
        }
        DisplayPanel(pHandle);
        DisplayPanel(pJet);
    }
    void TearDown() override {
        for (int p : {pPara1, pPara2, pJet, pHandle})
            if (p > 0) DiscardPanel(p);
        pHandle = pPara1 = pPara2 = pJet = 0;
    }

    static int Handle(int resourceId) {
        switch (resourceId) {
        case MAINPANEL:
            return pHandle;
        case PARA1:
            return pPara1;
        case PARA2:
            return pPara2;
        default:
            return pJet;
        }
    }
    static QWidget *Widget(const Expected &e) {
        return PlatformControlWidget(Handle(e.resourceId), e.id);
    }
};

std::string Where(const Expected &e) {
    return std::string(e.name);
}

// ---- controls --------------------------------------------------------------------------------

TEST_F(Panels, EveryPanelHasItsSizeAndTitle) {
    QWidget *main = PlatformPanelWidget(pHandle);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("K-VOR-RUR-Glint"));
    EXPECT_EQ(main->objectName(), QStringLiteral("MAINPANEL"));
    const QSize child = PlatformPanelWidget(pJet)->size();
    for (int p : {pPara1, pPara2, pJet}) {
        QWidget *w = PlatformPanelWidget(p);
        EXPECT_EQ(w->size(), child) << "the three child panels share one place and size";
        EXPECT_TRUE(main->rect().contains(QRect(QPoint(kChildLeft, kChildTop), w->size())))
            << w->objectName().toStdString() << " sticks out of the main panel";
    }
    EXPECT_EQ(PlatformPanelWidget(pPara1)->objectName(), QStringLiteral("PARA1"));
    EXPECT_EQ(PlatformPanelWidget(pPara2)->objectName(), QStringLiteral("PARA2"));
    EXPECT_EQ(PlatformPanelWidget(pJet)->objectName(), QStringLiteral("JETPANEL"));
}

TEST_F(Panels, EveryControlHasItsKindNameAndStartState) {
    for (const Expected &e : kControls) {
        SCOPED_TRACE(Where(e));
        QWidget *w = Widget(e);
        ASSERT_NE(w, nullptr) << "control id " << e.id << " missing";
        EXPECT_EQ(w->objectName().toStdString(), e.name);
        EXPECT_TRUE(w->inherits(e.className)) << w->metaObject()->className();
        int dimmed = -1;
        GetCtrlAttribute(Handle(e.resourceId), e.id, ATTR_DIMMED, &dimmed);
        EXPECT_EQ(dimmed, e.dimmed ? 1 : 0);
        char label[MAX_PATHNAME_LEN] = "";
        GetCtrlAttribute(Handle(e.resourceId), e.id, ATTR_LABEL_TEXT, label);
        if (e.caption) {
            EXPECT_GT(std::strlen(label), 1u) << "no caption";
        }

        const QString expected = QString::fromLatin1(e.accessible);
        if (e.where == Acc::Name) {
            EXPECT_EQ(w->accessibleName(), expected);
        } else {
            EXPECT_EQ(w->accessibleDescription(), expected);
        }
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->text(e.where == Acc::Name ? QAccessible::Name : QAccessible::Description),
                  expected)
            << "what a screen reader reads";
    }
}

TEST_F(Panels, NoOtherControlCarriesAnIdentifier) {
    for (int resourceId : {MAINPANEL, PARA1, PARA2, JETPANEL}) {
        std::set<int> listed;
        for (const Expected &e : kControls)
            if (e.resourceId == resourceId) listed.insert(e.id);
        QWidget *panel = PlatformPanelWidget(Handle(resourceId));
        std::set<int> seen;
        for (QWidget *w : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            bool ok = false;
            const int id = w->property("ctrlId").toInt(&ok);
            if (!ok) continue;
            EXPECT_TRUE(seen.insert(id).second) << "identifier " << id << " used twice";
            EXPECT_TRUE(listed.count(id))
                << w->objectName().toStdString() << " has stray id " << id;
        }
        EXPECT_EQ(seen, listed);
    }
}

TEST_F(Panels, ValuesStartAtTheStartUpWordsAndFillExactlyTheirType) {
    for (const Expected &e : kControls) {
        SCOPED_TRACE(Where(e));
        const int panel = Handle(e.resourceId);
        if (e.type == Type::U16) {
            // A 16-bit control writes one word and leaves its neighbours alone.
            unsigned short words[3] = {0xA5A5, 0xA5A5, 0xA5A5};
            ASSERT_EQ(GetCtrlVal(panel, e.id, &words[1]), 0);
            EXPECT_EQ(words[1], e.start);
            EXPECT_EQ(words[0], 0xA5A5);
            EXPECT_EQ(words[2], 0xA5A5);
        } else if (e.type == Type::I32) {
            if (std::strcmp(e.className, "QCustomPlot") == 0 ||
                std::strcmp(e.className, "QFrame") == 0 || e.id == MAINPANEL_PICTLogo)
                continue;
            int v = -12345;
            ASSERT_EQ(GetCtrlVal(panel, e.id, &v), 0);
            EXPECT_EQ(v, e.start);
        }
    }
    char text[MAX_PATHNAME_LEN];
    GetCtrlVal(pHandle, MAINPANEL_HelpText1, text);
    EXPECT_STREQ(text, "HELPTEXT1");
    GetCtrlVal(pHandle, MAINPANEL_HelpText2, text);
    EXPECT_STREQ(text, "HELPTEXT2");
    GetCtrlVal(pJet, JETPANEL_TEXTBOXRecfile, text);
    EXPECT_STREQ(text, "");
}

TEST_F(Panels, ScreenReaderReadsTheValueOfNumericsAndSliders) {
    for (const Expected &e : kControls) {
        QWidget *w = Widget(e);
        if (!qobject_cast<QSpinBox *>(w) && !qobject_cast<QSlider *>(w)) continue;
        SCOPED_TRACE(Where(e));
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(iface, nullptr);
        ASSERT_NE(iface->valueInterface(), nullptr);
        EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), e.start);
    }
}

// Every value a word can hold after its range check must show unchanged, or the next SEND
// would carry a different word than the sensor sent.
TEST_F(Panels, BoundControlsShowEveryValueOfTheirWord) {
    struct Range {
        int panelRes, id;
        std::vector<int> values;
    };
    std::vector<int> anyWord = {0, 1, 2, 511, 1000, 1023, 8192, 12288, 32768, 65534, 65535};
    const std::vector<Range> ranges = {
        {PARA1, PARA1_NUMtolDelta, anyWord},
        {PARA1, PARA1_NEDITTolerance, anyWord},
        {PARA2, PARA2_NUMSetpoint, anyWord},
        {PARA2, PARA2_NEDITEdgeLeft, anyWord},
        {PARA2, PARA2_NEDITEdgeRight, anyWord},
        {PARA1, PARA1_RINGanaMode, {0, 1, 2, 3, 4, 5, 6, 7}},
        {PARA1, PARA1_DROPEvalMode, {0, 1, 2, 3, 4}},
        {PARA1, PARA1_DROPrs232Mode, {0, 1}},
        {PARA1, PARA1_DROPopMode, {0, 1}},
        {PARA1, PARA1_DROPpolarity, {0, 1}},
        {PARA1, PARA1_DROPHardwareMode, {0, 1, 2, 3}},
        {PARA1, PARA1_DROPaverage, {0, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024}},
        {PARA2, PARA2_SLIDEpower, {0, 1, 500, 999, 1000}},
        {PARA2, PARA2_SLIDEVideoThreshold, {10, 11, 512, 949, 950}},
        {MAINPANEL, MAINPANEL_DROPdatatype, {0, 1}},
    };
    for (const Range &r : ranges) {
        const int panel = Handle(r.panelRes);
        for (int v : r.values) {
            SCOPED_TRACE(PlatformControlWidget(panel, r.id)->objectName().toStdString() + " = " +
                         std::to_string(v));
            // Start from another value so that a value the control cannot show is seen.
            SetCtrlVal(panel, r.id, v == r.values.front() ? r.values.back() : r.values.front());
            SetCtrlVal(panel, r.id, static_cast<unsigned short>(v));
            unsigned short got = 0;
            GetCtrlVal(panel, r.id, &got);
            EXPECT_EQ(got, v);
        }
    }
    // Rings offer only those values.
    auto *average = qobject_cast<QComboBox *>(PlatformControlWidget(pPara1, PARA1_DROPaverage));
    EXPECT_EQ(average->count(), 11);
}

TEST_F(Panels, IndicatorsCannotBeEdited) {
    for (const Expected &e : kControls) {
        auto *spin = qobject_cast<QSpinBox *>(Widget(e));
        if (!spin) continue;
        const bool indicator = std::string(e.accessible).find("display") != std::string::npos;
        SCOPED_TRACE(Where(e));
        EXPECT_EQ(spin->isReadOnly(), indicator);
        if (indicator) {
            EXPECT_EQ(spin->buttonSymbols(), QAbstractSpinBox::NoButtons);
        }
    }
}

TEST_F(Panels, GraphsHaveTheirCursorsTracesAndRanges) {
    struct Graph {
        int id, cursors;
        double xMin, xMax, yMin, yMax;
        bool visible;
    };
    const Graph graphs[] = {
        {MAINPANEL_GRAPHBar, 3, 1, 1536, 0, 1, true},
        {MAINPANEL_GRAPHJet, 1, 1, 1536, 0, 100, false},
        {MAINPANEL_GRAPHVideo, 0, 1, 1536, 0, 1024, false},
    };
    for (const Graph &g : graphs) {
        SCOPED_TRACE(g.id);
        double x, y;
        for (int c = 1; c <= g.cursors; c++)
            EXPECT_EQ(GetGraphCursor(pHandle, g.id, c, &x, &y), 0);
        EXPECT_NE(GetGraphCursor(pHandle, g.id, g.cursors + 1, &x, &y), 0) << "cursor too many";
        int mode;
        double lo, hi;
        GetAxisScalingMode(pHandle, g.id, VAL_XAXIS, &mode, &lo, &hi);
        EXPECT_EQ(lo, g.xMin);
        EXPECT_EQ(hi, g.xMax);
        GetAxisScalingMode(pHandle, g.id, VAL_LEFT_YAXIS, &mode, &lo, &hi);
        EXPECT_EQ(lo, g.yMin);
        EXPECT_EQ(hi, g.yMax);
        int visible = -1;
        GetCtrlAttribute(pHandle, g.id, ATTR_VISIBLE, &visible);
        EXPECT_EQ(visible, g.visible ? 1 : 0);
    }
    int traces = 0, visible = 0;
    GetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_NUM_TRACES, &traces);
    EXPECT_EQ(traces, 5);
    GetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 1);
    int mode;
    double lo, hi;
    GetAxisScalingMode(pHandle, MAINPANEL_STRIPChart, VAL_LEFT_YAXIS, &mode, &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 8192);
}

// ---- layout -------------------------------------------------------------------------------

// The widgets drawn on a panel: its direct children, without the child panels.
std::vector<QWidget *> PanelItems(QWidget *panel) {
    std::vector<QWidget *> items;
    static const std::set<QString> childPanels = {"PARA1", "PARA2", "JETPANEL"};
    for (QWidget *w : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!childPanels.count(w->objectName())) items.push_back(w);
    return items;
}

// The control a widget belongs to: itself, or the control it captions / shows the value of.
QString OwnerOf(QWidget *w) {
    for (const char *p : {"labelOf", "valueOf"}) {
        QString of = w->property(p).toString();
        if (!of.isEmpty()) return of;
    }
    return w->objectName();
}

using PanelLayout = Panels;

TEST_F(PanelLayout, NothingIsClippedOrOverlapping) {
    // The graphs that take turns at one place, and the help boxes that open over anything.
    static const std::set<QString> stacked = {"GRAPHVideo", "GRAPHJet", "STRIPChart"};
    static const std::set<QString> floating = {"HelpText1", "HelpText2"};
    for (int panel : {pHandle, pPara1, pPara2, pJet}) {
        QWidget *pw = PlatformPanelWidget(panel);
        const std::vector<QWidget *> items = PanelItems(pw);
        QWidget *backdrop = pw->findChild<QWidget *>("DECOInfo", Qt::FindDirectChildrenOnly);
        for (QWidget *a : items) {
            SCOPED_TRACE(pw->objectName().toStdString() + "/" + a->objectName().toStdString());
            EXPECT_TRUE(pw->rect().contains(a->geometry())) << "clipped by the panel edge";
            if (floating.count(a->objectName())) continue;
            for (QWidget *b : items) {
                if (b <= a || floating.count(b->objectName())) continue;
                if (stacked.count(OwnerOf(a)) && stacked.count(OwnerOf(b))) continue;
                // The logo and the toggles sit on the info frame.
                if ((a == backdrop && a->geometry().contains(b->geometry())) ||
                    (b == backdrop && b->geometry().contains(a->geometry())))
                    continue;
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << "overlaps " << b->objectName().toStdString();
            }
        }
    }
}

TEST_F(PanelLayout, MainPanelKeepsTheChildPanelAndInfoTextAreasFree) {
    QWidget *main = PlatformPanelWidget(pHandle);
    const QRect childArea(QPoint(kChildLeft, kChildTop), PlatformPanelWidget(pJet)->size());
    // Info texts are created at run time at (15,10), (15,25), (15,40) in 11 px, the title at
    // (300,35) in 18 px and the version at (450,40) in 11 px.
    const QRect infoTexts(0, 0, 530, 60);
    for (QWidget *w : PanelItems(main)) {
        const QString n = w->objectName();
        if (n == "HelpText1" || n == "HelpText2" || n == "DECOInfo") continue;
        SCOPED_TRACE(n.toStdString());
        EXPECT_FALSE(w->geometry().intersects(childArea)) << "hidden under the child panels";
        if (n != "PICTLogo") {
            EXPECT_FALSE(w->geometry().intersects(infoTexts)) << "under the info texts";
        }
    }
    const QRect frame = PlatformControlWidget(pHandle, MAINPANEL_DECOInfo)->geometry();
    EXPECT_TRUE(frame.contains(infoTexts)) << "info texts need the azure backdrop";
}

// Text must fit the widget that shows it, at the fonts the program runs with.
void ExpectTextFits(QWidget *w) {
    SCOPED_TRACE(w->objectName().toStdString());
    const QFontMetrics fm = w->fontMetrics();
    if (auto *b = qobject_cast<QPushButton *>(w)) {
        EXPECT_LE(fm.horizontalAdvance(b->text()) + 12, w->width()) << b->text().toStdString();
        EXPECT_LE(fm.height() + 6, w->height());
    } else if (qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w)) {
        EXPECT_LE(w->sizeHint().width(), w->width());
        EXPECT_LE(w->sizeHint().height(), w->height());
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        if (l->text().isEmpty()) return;
        if (l->wordWrap()) {
            EXPECT_LE(l->heightForWidth(w->width()), w->height()) << l->text().toStdString();
        } else {
            EXPECT_LE(l->sizeHint().width(), w->width()) << l->text().toStdString();
            EXPECT_LE(l->sizeHint().height(), w->height()) << l->text().toStdString();
        }
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        if (c->property("portList").toBool()) return; // items come from the machine's ports
        for (int i = 0; i < c->count(); i++)
            EXPECT_LE(fm.horizontalAdvance(c->itemText(i)) + 36, w->width())
                << c->itemText(i).toStdString();
        EXPECT_LE(fm.height() + 6, w->height());
    } else if (qobject_cast<QSpinBox *>(w)) {
        EXPECT_LE(w->sizeHint().width(), w->width()) << "largest value does not fit";
        EXPECT_LE(fm.height() + 6, w->height());
    }
}

TEST_F(PanelLayout, TextsFitTheirControls) {
    for (int panel : {pHandle, pPara1, pPara2, pJet})
        for (QWidget *w : PanelItems(PlatformPanelWidget(panel)))
            ExpectTextFits(w);
}

TEST_F(PanelLayout, TextsThatTheSensorTypeBringsFitToo) {
    // Some sensors relabel the delta tolerance and rename the operation-mode items.
    SetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_LABEL_TEXT, "OFFSET-VALUE");
    ReplaceListItem(pPara1, PARA1_DROPopMode, 0, "DIG-COMP", 0);
    ReplaceListItem(pPara1, PARA1_DROPopMode, 1, "ADC-CONV", 1);
    for (QWidget *w : PanelItems(PlatformPanelWidget(pPara1)))
        ExpectTextFits(w);
}

// Desktops differ in their default font; the panels keep working up to 11 points.
TEST(PanelFonts, TextsFitWithALargerDesktopFont) {
    const QFont saved = QApplication::font();
    QFont larger = saved;
    larger.setPointSizeF(11);
    QApplication::setFont(larger);
    pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL);
    ASSERT_GT(pHandle, 0);
    std::vector<int> panels = {pHandle};
    for (int res : {PARA1, PARA2, JETPANEL})
        panels.push_back(LoadPanel(pHandle, PANEL_RESOURCE_FILE, res));
    for (int panel : panels)
        for (QWidget *w : PanelItems(PlatformPanelWidget(panel)))
            ExpectTextFits(w);
    DiscardPanel(pHandle);
    pHandle = 0;
    QApplication::setFont(saved);
}

// ---- help boxes ------------------------------------------------------------------------------

struct Help {
    int panelRes, id, box, gap, lift;
    const char *text;
};

// clang-format off
const Help kHelp[] = {
    {MAINPANEL, MAINPANEL_BTNRun,   MAINPANEL_HelpText1, 10, 10, HELP_BTNRun},
    {MAINPANEL, MAINPANEL_BTNStop,  MAINPANEL_HelpText1, 10, 10, HELP_BTNStop},
    {MAINPANEL, MAINPANEL_BTNVideo, MAINPANEL_HelpText1, 10, 10, HELP_BTNVideo},
    {MAINPANEL, MAINPANEL_DropDCom, MAINPANEL_HelpText2, 20, 80, HELP_DropDCom},
    {MAINPANEL, MAINPANEL_BTNSend,  MAINPANEL_HelpText1, 20, 20, HELP_BTNSend},
    {MAINPANEL, MAINPANEL_BTNGet,   MAINPANEL_HelpText1, 20, 20, HELP_BTNGet},
    {PARA1, PARA1_DROPEvalMode,     MAINPANEL_HelpText1, 20, 10, HELP_DROPEvalMode},
    {PARA1, PARA1_DROPHardwareMode, MAINPANEL_HelpText1, 20, 10, HELP_DROPHardwareMode},
    {PARA1, PARA1_DROPrs232Mode,    MAINPANEL_HelpText1, 20, 10, HELP_DROPrs232Mode},
    {PARA1, PARA1_DROPopMode,       MAINPANEL_HelpText1, 20, 10, HELP_DROPopMode},
    {PARA1, PARA1_DROPpolarity,     MAINPANEL_HelpText1, 20, 10, HELP_DROPpolarity},
    {PARA1, PARA1_DROPaverage,      MAINPANEL_HelpText2, 20, 10, HELP_DROPaverage},
    {PARA1, PARA1_RINGanaMode,      MAINPANEL_HelpText1, 20, 10, HELP_RINGanaMode},
    {PARA1, PARA1_NEDITTolerance,   MAINPANEL_HelpText1, 20, 10, HELP_NEDITTolerance},
    {PARA1, PARA1_NUMtolDelta,      MAINPANEL_HelpText1, 20, 10, HELP_NUMtolDelta},
    {PARA2, PARA2_SLIDEpower,       MAINPANEL_HelpText1, 135, 10, HELP_SLIDEpower},
    {PARA2, PARA2_SLIDEVideoThreshold, MAINPANEL_HelpText1, 30, 10, HELP_SLIDEVideoThreshold},
};
// clang-format on

using HelpBoxes = Panels;

TEST_F(HelpBoxes, StartHiddenAtTheirHomePlace) {
    for (int box : {MAINPANEL_HelpText1, MAINPANEL_HelpText2}) {
        int left = 0, top = 0, visible = 1;
        GetCtrlAttribute(pHandle, box, ATTR_LEFT, &left);
        GetCtrlAttribute(pHandle, box, ATTR_TOP, &top);
        GetCtrlAttribute(pHandle, box, ATTR_VISIBLE, &visible);
        EXPECT_EQ(left, 10);
        EXPECT_EQ(top, 110);
        EXPECT_EQ(visible, 0);
    }
}

TEST_F(HelpBoxes, OpenInsideTheMainPanelWithRoomForTheirText) {
    QWidget *main = PlatformPanelWidget(pHandle);
    for (const Help &h : kHelp) {
        const int panel = Handle(h.panelRes);
        SCOPED_TRACE(PlatformControlWidget(panel, h.id)->objectName().toStdString());
        // The child panel holding the control is the one on show.
        if (panel != pHandle) {
            for (int p : {pPara1, pPara2, pJet})
                HidePanel(p);
            DisplayPanel(panel);
        }
        ShowHelpBubble(panel, h.id, h.box, h.gap, h.lift, h.text);
        auto *box = qobject_cast<QLabel *>(PlatformControlWidget(pHandle, h.box));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisibleTo(main));
        EXPECT_TRUE(main->rect().contains(box->geometry()))
            << "box at " << box->x() << "," << box->y() << " leaves the panel";
        EXPECT_LE(box->heightForWidth(box->width()), box->height()) << "text cut off";
        // Drawn above the child panel where the two meet.
        const QRect over = box->geometry() & PlatformPanelWidget(panel)->geometry();
        if (panel != pHandle && !over.isEmpty()) {
            EXPECT_EQ(main->childAt(over.center()), box);
        }
        ShowHelpBubble(panel, h.id, h.box, h.gap, h.lift, h.text); // hide again
        EXPECT_FALSE(box->isVisibleTo(main));
    }
}

} // namespace
