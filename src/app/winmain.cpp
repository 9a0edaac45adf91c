// Start-up and shutdown of the operating program.
#include "winmain.h"

#include "com232.h"
#include "devinfo.h"
#include "formatio.h"
#include "gui_state.h"
#include "kvor_panels.h"
#include "logo.h"
#include "params.h"
#include "parapanels.h"
#include "plots.h"
#include "processing.h"
#include "publish.h"
#include "rs232.h"
#include "service.h"
#include "shell.h"
#include "toggles.h"
#include "userint.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace {

// Profile file: 256 reference samples and their maximum, one number a line.
constexpr int kProfileFileValues = 257;

int LoadPanelOrFail(int parent, int resourceId) {
    int handle = LoadPanel(parent, PANEL_RESOURCE_FILE, resourceId);
    if (handle < 0) {
        char line[160];
        std::snprintf(line, sizeof line, "cannot load panel %d from the panel resource %s",
                      resourceId, PANEL_RESOURCE_FILE);
        ReportError(line);
    }
    return handle;
}

} // namespace

// Loads the reference profile. A file that does not hold exactly 257 numbers is not used at
// all, so a torn or foreign file never leaves a half-loaded reference.
void LoadProfileFile(void) {
    if (!FileExists(freece_fname)) return;
    static unsigned short values[kProfileFileValues + 1];
    const int n = FileToArray(freece_fname, values, VAL_UNSIGNED_SHORT_INTEGER,
                              kProfileFileValues + 1, 1, VAL_GROUPS_TOGETHER,
                              VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    ret = n;
    if (n != kProfileFileValues) {
        char text[STATUS_LEN];
        std::snprintf(text, sizeof text, "Profile file not loaded (%d of 257 values): FREEZE.DAT",
                      n < 0 ? 0 : n);
        SetStatus(text);
        ShowStatus();
        return;
    }
    std::memcpy(thdArray, values, sizeof(unsigned short) * kProfileFileValues);
}

void InitVars(void) {
    SetParameterDefaults();
    com = 1;
    target = RAM;
    tstart = tdiff = 0.0;
    rx_flag = 0;
    stop_flag = 1;
    pixB = 1;
    pixE = 1024;
    ccdmaxpixel = 1024;
    ccdmaxpixelX8 = 8192;
    pcbtype = 0;

    SetStatus("InitVars");
    ShowStatus();
    CopyText(szSoftVersion, sizeof szSoftVersion, "Version 1.00");
    CopyText(szSoftName, sizeof szSoftName, "K-VOR-RUR-Glint");
    ShowLogo(2);

    // The panels' own start values replace the defaults of every word that has a control.
    GetPAValues();
    PlotBarGraphStartup();
    for (int i = 0; i < 256; i++) thdArray[i] = 1;
    thdArray[256] = 0;
}

void InitGUI(void) {
    unsigned short hw = 0;
    GetCtrlVal(pPara1, PARA1_DROPHardwareMode, &hw);
    SetCtrlAttribute(pPara1, PARA1_NEDITTolerance, ATTR_DIMMED, (hw == 1 || hw == 3) ? 0 : 1);

    const int children[] = {pPara1, pPara2, pJet};
    for (int child : children) {
        SetPanelAttribute(child, ATTR_LEFT, 8);
        SetPanelAttribute(child, ATTR_TOP, 105);
    }

    const int boxes[] = {MAINPANEL_HelpText1, MAINPANEL_HelpText2};
    for (int box : boxes) {
        SetCtrlAttribute(pHandle, box, ATTR_LEFT, 10);
        SetCtrlAttribute(pHandle, box, ATTR_TOP, 110);
        SetCtrlAttribute(pHandle, box, ATTR_VISIBLE, 0);
    }
    SetCtrlVal(pHandle, MAINPANEL_HelpText1, "HELPTEXT1");
    SetCtrlVal(pHandle, MAINPANEL_HelpText2, "HELPTEXT2");

    SetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Jet, 1);
    SetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para1, 0);
    SetCtrlVal(pHandle, MAINPANEL_TOGGBTN_Para2, 0);

    CopyText(freece_fname, sizeof freece_fname, "FREEZE.DAT");
    CopyText(rec_fname, sizeof rec_fname, "RECORD.DAT");
    char path[MAX_PATHNAME_LEN];
    if (MakePathname(proj_dir, "FREEZE.DAT", path) == 0) CopyText(freece_fname, sizeof freece_fname, path);
    if (MakePathname(proj_dir, "RECORD.DAT", path) == 0) CopyText(rec_fname, sizeof rec_fname, path);
    ResetTextBox(pJet, JETPANEL_TEXTBOXRecfile, rec_fname);

    LoadProfileFile();
    videoMax = thdArray[256];
    SetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, videoMax);
}

int CC_PANEL(int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) {
        stop_flag = 1;
        CloseCom(com);
        QuitUserInterface(0);
    }
    return 0;
}

int AppStart(void) {
    pHandle = LoadPanelOrFail(0, MAINPANEL);
    if (pHandle < 0) return -1;
    pPara1 = LoadPanelOrFail(pHandle, PARA1);
    if (pPara1 < 0) return -1;
    pPara2 = LoadPanelOrFail(pHandle, PARA2);
    if (pPara2 < 0) return -1;
    pJet = LoadPanelOrFail(pHandle, JETPANEL);
    if (pJet < 0) return -1;

    InstallPanelCallback(pHandle, CC_PANEL, nullptr);
    BindUiCallbacks();
    BindComCallbacks();
    BindParamCallbacks();
    BindGuiCallbacks();
    InstallServiceTools(); // service tools (src/service): their panel, buttons and taps
    InstallPublisher();    // --mqtt (src/publish): frames, identity, status to the broker

    GetProjectDir(proj_dir);
    InitVars();
    InitRS232(com);
    InitGUI();
    DisplayPanel(pHandle);
    DisplayPanel(pJet);
    ConnectPublisher(); // after the probe: its own texts follow the probe's
    return 0;
}

int AppFinish(void) {
    ShutdownPublisher();
    ShutdownServiceTools();
    CloseCom(com);
    DiscardPanel(pPara1);
    DiscardPanel(pPara2);
    DiscardPanel(pJet);
    DiscardPanel(pHandle);
    return 0;
}

int WinMain(void) {
    if (AppStart() < 0) return -1;
    RunUserInterface();
    return AppFinish();
}
