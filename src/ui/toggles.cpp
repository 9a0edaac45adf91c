#include "toggles.h"

#include "kvor_panels.h"
#include "popup.h"
#include "userint.h"

namespace {

// The toggles and the child panel each one shows (the statistics panel of the service
// tools is the fourth; its handle is 0 while it is not loaded).
struct Choice {
    int toggle;
    int *panel;
};
const Choice kChoices[] = {{MAINPANEL_TOGGBTN_Para1, &pPara1},
                           {MAINPANEL_TOGGBTN_Para2, &pPara2},
                           {MAINPANEL_TOGGBTN_Jet, &pJet},
                           {MAINPANEL_TOGGBTN_Stats, &pStats}};

// A left click clears the sibling toggles (the platform flips the clicked one); the commit
// shows this toggle's child panel and hides the others.
int Toggle(int panel, int event, int chosen) {
    switch (event) {
    case EVENT_LEFT_CLICK:
        for (const Choice &c : kChoices)
            if (c.toggle != chosen) SetCtrlVal(panel, c.toggle, 0);
        break;
    case EVENT_COMMIT:
        for (const Choice &c : kChoices)
            if (c.toggle != chosen && *c.panel != 0) HidePanel(*c.panel);
        for (const Choice &c : kChoices)
            if (c.toggle == chosen && *c.panel != 0) DisplayPanel(*c.panel);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

int CC_TOGGBTN_Para1(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Para1);
}

int CC_TOGGBTN_Para2(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Para2);
}

int CC_TOGGBTN_Jet(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Jet);
}

int CC_TOGGBTN_Stats(int panel, int, int event, void *, int, int) {
    return Toggle(panel, event, MAINPANEL_TOGGBTN_Stats);
}

void BindUiCallbacks(void) {
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Para1, CC_TOGGBTN_Para1, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Para2, CC_TOGGBTN_Para2, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Jet, CC_TOGGBTN_Jet, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTN_Stats, CC_TOGGBTN_Stats, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_HelpText1, CC_HelpText1, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_HelpText2, CC_HelpText2, nullptr);
}
