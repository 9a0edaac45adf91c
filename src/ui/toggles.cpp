#include "toggles.h"

#include "kvor_panels.h"
#include "popup.h"
#include "userint.h"

namespace {

// A left click clears the two sibling toggles (the platform flips the clicked one); the
// commit shows this toggle's child panel and hides the two others.
int Toggle(int panel, int event, int other1, int other2, int showPanel, int hide1, int hide2) {
    switch (event) {
    case EVENT_LEFT_CLICK:
        SetCtrlVal(panel, other1, 0);
        SetCtrlVal(panel, other2, 0);
        break;
    case EVENT_COMMIT:
        HidePanel(hide1);
        HidePanel(hide2);
        DisplayPanel(showPanel);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

int CC_TOGGBTN_Para1(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Para2, MAINPANEL_TOGGBTN_Jet, pPara1, pPara2,
                  pJet);
}

int CC_TOGGBTN_Para2(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Para1, MAINPANEL_TOGGBTN_Jet, pPara2, pPara1,
                  pJet);
}

int CC_TOGGBTN_Jet(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Para1, MAINPANEL_TOGGBTN_Para2, pJet, pPara1,
                  pPara2);
}

void BindUiCallbacks(void) {
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Para1, CC_TOGGBTN_Para1, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Para2, CC_TOGGBTN_Para2, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Jet, CC_TOGGBTN_Jet, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_HelpText1, CC_HelpText1, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_HelpText2, CC_HelpText2, nullptr);
}
