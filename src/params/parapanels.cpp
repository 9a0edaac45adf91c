// The two parameter panels bound to the parameter words: fourteen controls, each showing
// one word. Panels become words only in GetPAValues (start-up, SEND, file write) and
// words become panels only in SetPAValues (end of every GET and file load).
#include "parapanels.h"

#include "devinfo.h"
#include "kvor_panels.h"
#include "params.h"
#include "plots.h"
#include "popup.h"
#include "transfer.h"
#include "userint.h"

namespace {

struct Binding {
    int *panel;
    int control;
    int word; // packet index
};

// Control -> parameter word. Words 12 and 13 have no control.
const Binding kBindings[] = {
    {&pPara1, PARA1_NUMtolDelta, PW_tolDelta},
    {&pPara1, PARA1_NEDITTolerance, PW_tolerance},
    {&pPara1, PARA1_RINGanaMode, PW_anaMode},
    {&pPara1, PARA1_DROPEvalMode, PW_evalMode},
    {&pPara1, PARA1_DROPrs232Mode, PW_rs232Mode},
    {&pPara1, PARA1_DROPopMode, PW_opMode},
    {&pPara1, PARA1_DROPpolarity, PW_polarity},
    {&pPara1, PARA1_DROPaverage, PW_average},
    {&pPara1, PARA1_DROPHardwareMode, PW_hardwareMode},
    {&pPara2, PARA2_SLIDEVideoThreshold, PW_videoThreshold},
    {&pPara2, PARA2_SLIDEpower, PW_power},
    {&pPara2, PARA2_NUMSetpoint, PW_setpoint},
    {&pPara2, PARA2_NEDITEdgeLeft, PW_edgeLeft},
    {&pPara2, PARA2_NEDITEdgeRight, PW_edgeRight},
};

unsigned short &Word(int index) {
    return parameter[PARAM_HEADER + index];
}

constexpr int kHelpLift = 10; // help boxes of parameter controls open 10 pixels higher

// Bar-graph cursors of the two edge settings.
constexpr int kCursorEdgeLeft = 2;
constexpr int kCursorEdgeRight = 3;
constexpr double kEdgeCursorY = 1.0;

} // namespace

void GetPAValues(void) {
    for (const Binding &b : kBindings)
        GetCtrlVal(*b.panel, b.control, &Word(b.word));
}

void CheckParameterRanges(void) {
    if (power > 1000) power = 500;
    if (rs232Mode > 1) rs232Mode = 0;
    if (videoThreshold > 950) videoThreshold = 950;
    if (videoThreshold < 10) videoThreshold = 10;
    if (anaMode > 7) anaMode = 0;
    if (polarity > 1) polarity = 1;
    if (evalMode > 4) evalMode = 4;
    if (tolerance > ccdmaxpixelX8) tolerance = ccdmaxpixelX8;
    if (tolerance < 1) tolerance = 1;
    if (spare12 > ccdsubpixel) spare12 = ccdsubpixel;
    if (spare12 < 1) spare12 = 1;
    if (edgeLeft > ccdsubpixel) edgeLeft = 1;
    if (edgeRight > ccdsubpixel) edgeRight = ccdsubpixel;
    if (edgeRight == 0) edgeRight = 1;
    if (hardwareMode > 3) hardwareMode = 3;
    if (average > 1024) average = 1024;
}

void SetPAValues(void) {
    CheckParameterRanges();
    for (const Binding &b : kBindings)
        SetCtrlVal(*b.panel, b.control, Word(b.word));
    // Pixel floor, bar-graph axis, video curve, edge cursors, background and tolerance band.
    PlotBarGraphRefresh();
}

void ApplyHardwareModeDimming(void) {
    unsigned short mode = 0;
    GetCtrlVal(pPara1, PARA1_DROPHardwareMode, &mode);
    // Modes 1 and 3 let the operator set the tolerance; the others take it from the sensor.
    const int dim = (mode == 1 || mode == 3) ? 0 : 1;
    SetCtrlAttribute(pPara1, PARA1_NEDITTolerance, ATTR_DIMMED, dim);
}

// ---- callbacks -------------------------------------------------------------------------------

namespace {

int HelpOnRightClick(int panel, int control, int event, int helpBox, int gap, const char *text) {
    if (event == EVENT_RIGHT_CLICK) ShowHelpBubble(panel, control, helpBox, gap, kHelpLift, text);
    return 0;
}

int Clamp16(int v) {
    return v < 0 ? 0 : (v > 0xFFFF ? 0xFFFF : v);
}

} // namespace

#define KVOR_HELP_CALLBACK(name, box, gap)                                                         \
    int CC_##name(int panel, int control, int event, void *data, int e1, int e2) {                 \
        (void)data;                                                                                \
        (void)e1;                                                                                  \
        (void)e2;                                                                                  \
        return HelpOnRightClick(panel, control, event, box, gap, HELP_##name);                     \
    }

KVOR_HELP_CALLBACK(DROPEvalMode, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(DROPrs232Mode, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(DROPopMode, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(DROPpolarity, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(DROPaverage, MAINPANEL_HelpText2, 20)
KVOR_HELP_CALLBACK(RINGanaMode, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(NEDITTolerance, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(NUMtolDelta, MAINPANEL_HelpText1, 20)
KVOR_HELP_CALLBACK(SLIDEpower, MAINPANEL_HelpText1, 135)
KVOR_HELP_CALLBACK(SLIDEVideoThreshold, MAINPANEL_HelpText1, 30)

#undef KVOR_HELP_CALLBACK

int CC_DROPHardwareMode(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) ApplyHardwareModeDimming();
    return HelpOnRightClick(panel, control, event, MAINPANEL_HelpText1, 20, HELP_DROPHardwareMode);
}

namespace {

// Takes an edge entry: a value outside pixB..pixE is corrected and goes into `word` at once;
// a value inside is only shown (GetPAValues takes it over). Either way the cursor follows.
// The left edge is checked against pixB first and goes to pixE - 1 above pixE; the right
// edge is checked against pixE first and goes to pixB + 1 below pixB.
void TakeEdgeEntry(int panel, int control, unsigned short &word, int cursor, bool leftEdge) {
    unsigned short entry = 0;
    GetCtrlVal(panel, control, &entry);
    int v = entry;
    auto correct = [&](int to) {
        v = to;
        word = static_cast<unsigned short>(v);
    };
    auto checkLow = [&] {
        if (v < pixB) correct(leftEdge ? pixB : Clamp16(pixB + 1));
    };
    auto checkHigh = [&] {
        if (v > pixE) correct(leftEdge ? Clamp16(pixE - 1) : pixE);
    };
    if (leftEdge) {
        checkLow();
        checkHigh();
    } else {
        checkHigh();
        checkLow();
    }
    SetCtrlVal(panel, control, static_cast<unsigned short>(v));
    SetGraphCursor(pHandle, MAINPANEL_GRAPHBar, cursor, v, kEdgeCursorY);
}

} // namespace

int CC_NEDITEdgeLeft(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) TakeEdgeEntry(panel, control, edgeLeft, kCursorEdgeLeft, true);
    return 0;
}

int CC_NEDITEdgeRight(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) TakeEdgeEntry(panel, control, edgeRight, kCursorEdgeRight, false);
    return 0;
}

int CC_NUMteach(int, int, int, void *, int, int) {
    return 0;
}

void BindParamCallbacks(void) {
    InstallCtrlCallback(pPara1, PARA1_DROPEvalMode, CC_DROPEvalMode, nullptr);
    InstallCtrlCallback(pPara1, PARA1_DROPHardwareMode, CC_DROPHardwareMode, nullptr);
    InstallCtrlCallback(pPara1, PARA1_DROPrs232Mode, CC_DROPrs232Mode, nullptr);
    InstallCtrlCallback(pPara1, PARA1_DROPopMode, CC_DROPopMode, nullptr);
    InstallCtrlCallback(pPara1, PARA1_DROPpolarity, CC_DROPpolarity, nullptr);
    InstallCtrlCallback(pPara1, PARA1_DROPaverage, CC_DROPaverage, nullptr);
    InstallCtrlCallback(pPara1, PARA1_RINGanaMode, CC_RINGanaMode, nullptr);
    InstallCtrlCallback(pPara1, PARA1_NEDITTolerance, CC_NEDITTolerance, nullptr);
    InstallCtrlCallback(pPara1, PARA1_NUMtolDelta, CC_NUMtolDelta, nullptr);
    InstallCtrlCallback(pPara2, PARA2_SLIDEpower, CC_SLIDEpower, nullptr);
    InstallCtrlCallback(pPara2, PARA2_SLIDEVideoThreshold, CC_SLIDEVideoThreshold, nullptr);
    InstallCtrlCallback(pPara2, PARA2_NEDITEdgeLeft, CC_NEDITEdgeLeft, nullptr);
    InstallCtrlCallback(pPara2, PARA2_NEDITEdgeRight, CC_NEDITEdgeRight, nullptr);
    InstallCtrlCallback(pPara2, PARA2_NUMteach, CC_NUMteach, nullptr);
    BindTransferCallbacks();
}
