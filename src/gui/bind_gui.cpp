// Control callbacks of the measurement part.
#include "freeze.h"
#include "gui_state.h"
#include "kvor_panels.h"
#include "runmode.h"
#include "userint.h"
#include "videomode.h"

void BindGuiCallbacks(void) {
    InstallCtrlCallback(pHandle, MAINPANEL_BTNRun, CC_BTNRun, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_BTNStop, CC_BTNStop, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_BTNVideo, CC_BTNVideo, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_DROPdatatype, CC_DROPdatatype, nullptr);
    InstallCtrlCallback(pJet, JETPANEL_BTNFreezeProfile, CC_BTNFreezeProfile, nullptr);
    InstallCtrlCallback(pJet, JETPANEL_BTNSaveJetProfile, CC_BTNSaveJetProfile, nullptr);
    InstallCtrlCallback(pJet, JETPANEL_BTNRecfile, CC_BTNRecfile, nullptr);
}
