#include "popup.h"

#include "kvor_panels.h"
#include "userint.h"

const char HELP_BTNRun[] = "START-BUTTON:\nStart the continuosly serial RS232-data-\ntransfer between "
                           "PC and K-VOR sensor...\nA frame of 16 meas.-values is transferred!";
const char HELP_BTNStop[] =
    "STOP-BUTTON:\nStops the serial RS232-data-transfer\nbetween PC and K-VOR sensor.";
const char HELP_BTNVideo[] = "VIDEO-BUTTON:\nTransfer video-signal (pixel information)\n= intensity "
                             "profile at CCD-line, via\nserial communication interface to PC.";
const char HELP_DropDCom[] =
    "DROP-DOWN-CONNECT:\nSelect the port-number of the serial RS232 comunication interface of "
    "the PC.\n\nThe port-number can be found under:\n<Start>/System-Settings/Hardware/...";
const char HELP_BTNSend[] =
    "SEND-BUTTON:\nSend parameter-frame to EEPROM- or\nRAM-memory of the K-VOR-sensor!";
const char HELP_BTNGet[] =
    "GET-BUTTON:\nGet parameter-frame of K-VOR sensor\nfrom EEPROM- or RAM-memory ...";
const char HELP_DROPEvalMode[] =
    "EVALUATION-MODE:\nDrop-down element to select an\nevaluation mode at the K-VOR-sensor.";
const char HELP_DROPHardwareMode[] =
    "HARDWARE OPERATION-MODE:\nDrop-down element to enable or disable \nharware components "
    "e.g. the button or\npotentiometer at the K-VOR-housing.";
const char HELP_DROPrs232Mode[] = "RS-232-MODE:\nDrop-down element to set the working\nmode of the "
                                  "serial rs232-interface of\nthe K-VOR hardware.";
const char HELP_DROPopMode[] =
    "CCD-OP-MODE:\nDrop-down element to change the\noperation mode of the CCD sensor.";
const char HELP_DROPpolarity[] = "POLARITY:\nDrop-down element to change the polarity\n(0V,+24VDC) "
                                 "of the digital outputs OUT0,\nOUT1 and OUT2 at the K-VOR-sensor.";
const char HELP_DROPaverage[] =
    "AVERAGE:\nNumber of CCD-scans which are stored\nin a ring-buffer. On every main-loop\n-cycle "
    "a mean-value is calculated\nfrom the ring-buffer.\nThe switching frequency is not "
    "reduced!\nAveraging affects the analog output\nvoltage (smoothing).";
const char HELP_RINGanaMode[] =
    "ANALOG-OUT:\nDrop-down element to preset the mode\nof the analog output. The "
    "analog-output\nis connected to /pin8/red/8-pole socket.";
const char HELP_NEDITTolerance[] = "TOLERANCE-VALUE:\nNumerical input field to preset the lower\nand "
                                   "upper tolerance limit in [pixel] \nat the hardware.";
const char HELP_NUMtolDelta[] =
    "TOL-DIFF-CHECK:\nNumerical input field to preset a delta\ntolerance value in [pixel] to "
    "detect  \ndifferential changes from scan to scan.";
const char HELP_SLIDEpower[] = "POWER:\nWith this slider, the power of the light-\nsource at the "
                               "K-VOR-sensor can be set.";
const char HELP_SLIDEVideoThreshold[] =
    "V-THD:\nWith this slider, the video-threshold for\nthe calculation of the edges can be "
    "set.\nIt is displayed by the green horiz. line!";

void ShowHelpBubble(int panel, int control, int helpBox, int gap, int lift, const char *text) {
    int top = 0, left = 0, height = 0, width = 0;
    GetCtrlBoundingRect(panel, control, &top, &left, &height, &width);
    int boxLeft = left + width + gap;
    int boxTop = top - lift;
    if (panel != pHandle) {
        // A child panel's controls are placed in its own coordinates; the box lives on the
        // main panel.
        int panelLeft = 0, panelTop = 0;
        GetPanelAttribute(panel, ATTR_LEFT, &panelLeft);
        GetPanelAttribute(panel, ATTR_TOP, &panelTop);
        boxLeft += panelLeft;
        boxTop += panelTop;
    }
    SetCtrlAttribute(pHandle, helpBox, ATTR_LEFT, boxLeft);
    SetCtrlAttribute(pHandle, helpBox, ATTR_TOP, boxTop);
    int visible = 0;
    GetCtrlAttribute(pHandle, helpBox, ATTR_VISIBLE, &visible);
    SetCtrlAttribute(pHandle, helpBox, ATTR_VISIBLE, visible ? 0 : 1);
    SetCtrlVal(pHandle, helpBox, text);
}

static int HideHelpBox(int panel, int control, int event) {
    if (event == EVENT_LEFT_CLICK || event == EVENT_RIGHT_CLICK)
        SetCtrlAttribute(panel, control, ATTR_VISIBLE, 0);
    return 0;
}

int CC_HelpText1(int panel, int control, int event, void *, int, int) {
    return HideHelpBox(panel, control, event);
}

int CC_HelpText2(int panel, int control, int event, void *, int, int) {
    return HideHelpBox(panel, control, event);
}
