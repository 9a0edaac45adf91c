// Placeholder until the link lands: start-up goes on as after a port that cannot be opened.
#include "com232.h"
#include "kvor_panels.h"
#include "userint.h"
#include <cstring>

void SetStatus(const char *text) {
    std::strncpy(szStatus, text, STATUS_LEN - 1);
    szStatus[STATUS_LEN - 1] = '\0';
}
void ShowStatus(void) { SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, szStatus); }
void ShowStatusText(const char *text) { SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, text); }
void InitRS232(int) {
    SetStatus("Cannot open port");
    ShowStatus();
}
void BindComCallbacks(void) {}
