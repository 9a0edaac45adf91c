#include "logo.h"

#include "kvor_panels.h"
#include "shell.h"
#include "userint.h"

const char LOGO_COMPANY[] = "Example Sensor Works";
const char LOGO_PHONE[] = "Tel. +00 (0)000 000 000";
const char LOGO_WEB[] = "www.example.com";

void ShowInfoText(int bgColor, int textColor, const char *text, int left, int top, int pointSize) {
    int id = NewCtrl(pHandle, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(pHandle, id, ATTR_TEXT_FONT, VAL_APP_FONT);
    SetCtrlAttribute(pHandle, id, ATTR_TEXT_BGCOLOR, bgColor);
    SetCtrlAttribute(pHandle, id, ATTR_TEXT_COLOR, textColor);
    SetCtrlAttribute(pHandle, id, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlVal(pHandle, id, text);
}

void ShowLogo(int mode) {
    if (mode != 2) return;
    SetCtrlAttribute(pHandle, MAINPANEL_DECOInfo, ATTR_FRAME_COLOR, VAL_AZURE);
    SetCtrlAttribute(pHandle, MAINPANEL_PICTLogo, ATTR_TOP, 10);
    SetCtrlAttribute(pHandle, MAINPANEL_PICTLogo, ATTR_LEFT, 300);
    DisplayImageFile(pHandle, MAINPANEL_PICTLogo, "mk.bmp");
    ShowInfoText(VAL_AZURE, VAL_WHITE, LOGO_COMPANY, 15, 10, 11);
    ShowInfoText(VAL_AZURE, VAL_WHITE, LOGO_PHONE, 15, 25, 11);
    ShowInfoText(VAL_AZURE, VAL_WHITE, LOGO_WEB, 15, 40, 11);
    ShowInfoText(VAL_AZURE, VAL_WHITE, szSoftName, 300, 35, 18);
    ShowInfoText(VAL_AZURE, VAL_WHITE, szSoftVersion, 450, 40, 11);
}
