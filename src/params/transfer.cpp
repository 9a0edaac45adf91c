// Moving the parameter words between the program and the sensor (GET, SEND), the memory
// target, and the two one-shot commands TEACH and RESET.
//
// A one-shot exchange (GET, TEACH, RESET) waits with exchange_busy at 1 (the link's wait
// sees to it); clicks on GET, SEND, TEACH and RESET meanwhile are ignored instead of
// starting a second exchange inside the wait, whose flush would throw the first one's
// reply away. The RUN and VIDEO
// loops are no one-shot exchanges: the buttons stay usable while they run.
#include "transfer.h"

#include "com232.h"
#include "exchange.h"
#include "kvor_panels.h"
#include "params.h"
#include "parafile.h"
#include "parapanels.h"
#include "popup.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <algorithm>

namespace {

constexpr double kTeachTimeout = 1.5; // the sensor acknowledges a teach within this time

// The wait of GET, TEACH and RESET for their reply frame.
WaitOutcome AwaitReply(double timeout, bool endAtLimit) {
    WaitRules rules;
    rules.timeout = timeout;
    rules.endAtLimit = endAtLimit;
    rules.ownReplyOnly = true;
    tstart = Timer();
    return AwaitExchange(rules);
}

} // namespace

// ---- GET -------------------------------------------------------------------------------------

void PushGET(int memoryTarget) {
    if (memoryTarget != DATFILE) {
        WaitForLoopReply();
        parameter[1] = memoryTarget == EEPROM ? CMD_READ_EEPROM : CMD_READ_RAM;
        parameter[2] = 0;
        CopyVarsToPP(); // the request carries the current words
        FlushInQ(com);
        FlushOutQ(com);
        FillTxBuf(parameter[1], pp);
        rx_flag = 0;
        if (WriteFrame() == TX_FRAME_LEN) ShowStatusText("Waiting for parameter-frame ...");
        const WaitOutcome reply = AwaitReply(TIMEOUT, false);
        if (reply == WAIT_RECEIVED) {
            GetRxBuf();
            CopyPPtoVars();
            graphrefresh = 0; // a parameter frame is no measurement frame
            SetStatus("Parameter-frame received! - Line Ok!");
        } else if (reply != WAIT_SUPERSEDED) {
            SetStatus("Timeout-RS-232...");
        }
    }
    SetPAValues();
    ShowStatus();
}

int ReadParaFrame(int memoryTarget, unsigned short words[PNUM]) {
    WaitForLoopReply();
    unsigned short kept[PNUM];
    std::copy(pp, pp + PNUM, kept); // the receive callback parses the reply into pp
    FlushInQ(com);
    FlushOutQ(com);
    FillTxBuf(memoryTarget == EEPROM ? CMD_READ_EEPROM : CMD_READ_RAM, parameter + PARAM_HEADER);
    rx_flag = 0;
    if (WriteFrame() == TX_FRAME_LEN) ShowStatusText("Waiting for parameter-frame ...");
    const WaitOutcome reply = AwaitReply(TIMEOUT, false);
    if (reply == WAIT_RECEIVED) {
        GetRxBuf();
        std::copy(pp, pp + PNUM, words);
        graphrefresh = 0; // a parameter frame is no measurement frame
        SetStatus("Parameter-frame received! - Line Ok!");
    } else if (reply != WAIT_SUPERSEDED) {
        SetStatus("Timeout-RS-232...");
    }
    std::copy(kept, kept + PNUM, pp);
    if (reply != WAIT_SUPERSEDED) ShowStatus();
    return reply == WAIT_RECEIVED ? 1 : 0;
}

int CC_BTNGet(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        if (exchange_busy) return 0;
        if (target == DATFILE)
            ReadParaFromFile();
        else
            parameter[1] = target == EEPROM ? CMD_READ_EEPROM : CMD_READ_RAM;
        PushGET(target);
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowHelpBubble(panel, control, MAINPANEL_HelpText1, 20, 20, HELP_BTNGet);
    }
    return 0;
}

// ---- SEND ------------------------------------------------------------------------------------

int CC_BTNSend(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_LEFT_CLICK) {
        if (exchange_busy) return 0;
        SetStatus("Transmit...");
        ShowStatus();
        if (target == DATFILE) {
            // To a parameter file: nothing goes to the sensor.
            if (SelectParaFileForSave() > 0) SendParaToFile();
            return 0;
        }
        SendParaFrame(target);
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowHelpBubble(panel, control, MAINPANEL_HelpText1, 20, 20, HELP_BTNSend);
    }
    return 0;
}

int SendParaFrame(int memoryTarget) {
    parameter[0] = static_cast<unsigned short>(sync_char);
    parameter[1] = memoryTarget == EEPROM ? CMD_WRITE_EEPROM : CMD_WRITE_RAM;
    parameter[2] = 0;
    GetPAValues();
    CopyVarsToPP();
    FillTxBuf(parameter[1], pp);
    // The sensor does not answer a write; a frame it sends anyway is taken in by the
    // receive callback like any other.
    if (WriteFrame() != TX_FRAME_LEN) return 0;
    SetStatus("Line Ok!");
    ShowStatus();
    return 1;
}

// ---- memory target ---------------------------------------------------------------------------

namespace {

// The three radio buttons act as one group with RAM as the fall-back: switching a button
// on selects its target and clears the two others; switching it off selects RAM.
void TargetButtonChanged(int panel, int control, int memoryTarget, int other1, int other2) {
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on) {
        target = memoryTarget;
        SetCtrlVal(panel, control, 1);
        SetCtrlVal(panel, other1, 0);
        SetCtrlVal(panel, other2, 0);
    } else {
        target = RAM;
        SetCtrlVal(panel, MAINPANEL_RBTRam, 1);
    }
}

} // namespace

int CC_RBTRam(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_VAL_CHANGED)
        TargetButtonChanged(panel, control, RAM, MAINPANEL_RBTEeprom, MAINPANEL_RBTFile);
    return 0;
}

int CC_RBTEeprom(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_VAL_CHANGED)
        TargetButtonChanged(panel, control, EEPROM, MAINPANEL_RBTRam, MAINPANEL_RBTFile);
    return 0;
}

int CC_RBTFile(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_VAL_CHANGED)
        TargetButtonChanged(panel, control, DATFILE, MAINPANEL_RBTEeprom, MAINPANEL_RBTRam);
    return 0;
}

void SelectRamTarget(void) {
    target = RAM;
    SetCtrlVal(pHandle, MAINPANEL_RBTRam, 1);
    SetCtrlVal(pHandle, MAINPANEL_RBTEeprom, 0);
    SetCtrlVal(pHandle, MAINPANEL_RBTFile, 0);
}

// ---- TEACH -----------------------------------------------------------------------------------

namespace {

// Starts a one-shot exchange with pp as it stands: waits out a running loop's reply,
// empties both queues and writes the frame of `command`.
void SendOneShot(unsigned short command) {
    WaitForLoopReply();
    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    FillTxBuf(command, pp);
    WriteFrame();
}

} // namespace

int CC_ButtonTeach(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT || exchange_busy) return 0;
    // The teach frame carries pp as it stands; the record's command word stays.
    SendOneShot(CMD_TEACH);
    SetStatus("New setpoint value teached!");
    ShowStatus();
    // Without an acknowledgement there is nothing more to show.
    if (AwaitReply(kTeachTimeout, true) == WAIT_RECEIVED) {
        graphrefresh = 0; // the acknowledgement is no measurement frame
        PushGET(RAM);     // re-read the sensor's words, the new setpoint among them
    }
    return 0;
}

// ---- RESET -----------------------------------------------------------------------------------

int CC_ButtonReset(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT || exchange_busy) return 0;
    parameter[1] = CMD_RESET_MAXMIN;
    SendOneShot(CMD_RESET_MAXMIN);
    SetStatus("Reset Max/Min values...");
    ShowStatus();
    const WaitOutcome reply = AwaitReply(TIMEOUT, true);
    if (reply == WAIT_SUPERSEDED) return 0;
    if (reply == WAIT_RECEIVED) {
        graphrefresh = 0;
        SetStatus("Reset of analog-output Max/Min OK!");
    } else {
        SetStatus("Timeout-RS-232...");
    }
    ShowStatus();
    return 0;
}

void BindTransferCallbacks(void) {
    InstallCtrlCallback(pHandle, MAINPANEL_BTNGet, CC_BTNGet, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_BTNSend, CC_BTNSend, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_RBTRam, CC_RBTRam, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_RBTEeprom, CC_RBTEeprom, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_RBTFile, CC_RBTFile, nullptr);
    InstallCtrlCallback(pPara2, PARA2_ButtonTeach, CC_ButtonTeach, nullptr);
    InstallCtrlCallback(pPara1, PARA1_ButtonReset, CC_ButtonReset, nullptr);
}
