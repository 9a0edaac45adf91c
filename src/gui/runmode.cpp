// RUN mode and the raw measurement frame request.
#include "runmode.h"

#include "com232.h"
#include "exchange.h"
#include "kvor_panels.h"
#include "measure.h"
#include "params.h"
#include "plots.h"
#include "popup.h"
#include "rs232.h"
#include "service_hooks.h"
#include "transfer.h"
#include "userint.h"
#include "utility.h"
#include "videomode.h"

#include <cstring>

namespace {

void ReportLineTimeout(void) {
    SetStatus("Timeout RS232-Line!");
    ShowStatus();
    stop_flag = 1;
}

// After a bad frame: the rest of whatever spoiled it is let pass, then the measurement
// request goes out again. The reply clock runs on from the first request, so a line that
// only ever brings bad frames still ends in the loop's time-out.
void AskAgainOnQuietLine(const char *request) {
    const double asked = tstart;
    const unsigned generation = link_generation;
    LetLineSettle();
    if (link_generation == generation) {
        FlushInQ(com);
        FlushOutQ(com);
        std::memcpy(szWriteBuf, request, TX_FRAME_LEN);
        rx_flag = 0;
        WriteFrame();
    }
    tstart = asked;
}

} // namespace

// ---- the frame ---------------------------------------------------------------------------

namespace {
// Words 3..13, taken by both loops.
void UnpackCommonWords(const unsigned short *words) {
    umValue = static_cast<unsigned>(words[RAW_umValueLow]) |
              (static_cast<unsigned>(words[RAW_umValueHigh]) << 16);
    setpoint = words[RAW_setpoint];
    tolerance = words[RAW_tolerance];
    edcnt = words[RAW_edcnt];
    mvstart = words[RAW_mvstart];
    mvend = words[RAW_mvend];
    dynpow = words[RAW_dynpow];
    anaMax = words[RAW_anaMax];
    anaMin = words[RAW_anaMin];
    in0 = words[RAW_in0];
}
} // namespace

void UnpackRunFrame(const unsigned short *words) {
    Ledge = words[RAW_Ledge];
    Redge = words[RAW_Redge];
    Mvalue = words[RAW_Mvalue];
    UnpackCommonWords(words);
}

void UnpackVideoFrame(const unsigned short *words) {
    UnpackCommonWords(words);
    trk_flag = static_cast<int>(words[RAW_trk_flag]);
}

// ---- shared by RUN and VIDEO -----------------------------------------------------------------

void DimLoopButtons(void) {
    SetCtrlAttribute(pHandle, MAINPANEL_BTNRun, ATTR_DIMMED, 1);
    SetCtrlAttribute(pHandle, MAINPANEL_BTNVideo, ATTR_DIMMED, 1);
}

void EnableLoopButtons(void) {
    SetCtrlAttribute(pHandle, MAINPANEL_BTNRun, ATTR_DIMMED, 0);
    SetCtrlAttribute(pHandle, MAINPANEL_BTNVideo, ATTR_DIMMED, 0);
    SetCtrlAttribute(pPara2, PARA2_ButtonTeach, ATTR_DIMMED, 0);
}

// ---- raw frame request ---------------------------------------------------------------------

namespace {
char g_rawRequest[TX_FRAME_LEN]; // the latest raw frame request, for asking again
} // namespace

void SendRawRequest(void) {
    FlushInQ(com);
    FlushOutQ(com);
    parameter[1] = CMD_RAW_FRAME;
    parameter[2] = 0;
    FillTxBuf(CMD_RAW_FRAME, pp);
    std::memcpy(g_rawRequest, szWriteBuf, TX_FRAME_LEN);
    if (WriteFrame() == TX_FRAME_LEN) {
        SetStatus("Line Ok!");
        ShowStatus();
    }
    rx_flag = 0;
    tstart = Timer();
}

int PushGETRAW(void) {
    SendRawRequest();
    return AwaitRawFrame();
}

int AwaitRawFrame(void) {
    int result = 0;
    const char *request = g_rawRequest;
    WaitRules rules;
    // The flag is looked at before the events of a pass: a reply that completes in the
    // pass that runs out of time is not counted.
    rules.flagBeforeEvents = true;
    rules.oneShot = false; // GET, SEND, TEACH, RESET stay usable during the loops
    const unsigned generation = link_generation;
    for (;;) {
        const WaitOutcome outcome = AwaitExchange(rules);
        if (outcome == WAIT_RECEIVED && DropBadMeasurementFrame()) {
            AskAgainOnQuietLine(request);
            continue;
        }
        if (outcome == WAIT_RECEIVED) {
            result = 1;
            break;
        }
        if (outcome == WAIT_SUPERSEDED && link_generation != generation) {
            // The port was changed meanwhile (which also asks the loops to end); the new
            // port's probe owns the status line.
            stop_flag = 1;
            break;
        }
        if (outcome == WAIT_SUPERSEDED) {
            // A command started from a button ran nested in this wait; it emptied the queues
            // and whatever reply it left in pp is its own. Ask for the frame again once the
            // line is quiet.
            LetLineSettle();
            if (link_generation != generation) continue;
            FlushInQ(com);
            FlushOutQ(com);
            std::memcpy(szWriteBuf, request, TX_FRAME_LEN);
            WriteFrame();
            rx_flag = 0;
            tstart = Timer();
            continue;
        }
        ReportLineTimeout(); // timed out, or the port is gone
        break;
    }
    return result;
}

// ---- RUN loop --------------------------------------------------------------------------------

void PushRUN(void) {
    const int outerMode = loop_mode;
    loop_mode = LOOP_RUN;
    NotifyRunStart(); // service tools: statistics of this RUN start again (service_hooks.h)
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHVideo, ATTR_VISIBLE, 0);
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_VISIBLE, 1);
    DimLoopButtons();
    SelectRamTarget();

    // The first reply only starts the request cycle; it is not shown. After a time-out here
    // the loop below ends by its own time-out, 1.5 s later. STOP, a closed main panel or a
    // port change during this first request end RUN before the loop.
    stop_flag = 0;
    const unsigned generation = link_generation;
    const int first = PushGETRAW();
    const bool endAsked = (first == 1 && stop_flag == 1) || link_generation != generation;
    tstart = Timer();
    stop_flag = endAsked ? 1 : 0;
    graphrefresh = 0;

    WaitRules rules;
    rules.oneShot = false; // GET, SEND, TEACH, RESET stay usable during RUN
    rules.endOnStop = true;
    char request[TX_FRAME_LEN]; // the latest measurement request, for asking again
    std::memcpy(request, szWriteBuf, TX_FRAME_LEN);
    while (stop_flag == 0) {
        // A frame that has arrived is taken over first, so that the next request carries
        // the setpoint and tolerance it brought; it is drawn once that request is on the
        // wire, while the sensor prepares its reply, which keeps the drawing out of the
        // time between two frames.
        const int draw = graphrefresh;
        if (draw == 1) UnpackRunFrame(pp);
        if (rx_flag == 1) {
            // Every request carries the current parameter words as payload.
            FlushInQ(com);
            FlushOutQ(com);
            CopyVarsToPP();
            FillTxBuf(CMD_RAW_FRAME, pp);
            std::memcpy(request, szWriteBuf, TX_FRAME_LEN);
            rx_flag = 0;
            tstart = Timer();
            WriteFrame();
        }
        if (draw == 1) {
            PlotVIDEOBarGraph();
            PlotRAWGraphX8();
            NotifyRunFrame(); // service tools: the frame just drawn, to record (service_hooks.h)
            graphrefresh = 0;
        }
        const WaitOutcome outcome = AwaitExchange(rules);
        if (outcome == WAIT_RECEIVED && DropBadMeasurementFrame()) {
            AskAgainOnQuietLine(request);
            continue;
        }
        if (outcome == WAIT_TIMED_OUT || outcome == WAIT_PORT_GONE) {
            ReportLineTimeout();
            break;
        }
        if (outcome == WAIT_SUPERSEDED && stop_flag == 0) {
            // GET, SEND, TEACH or RESET ran nested in the wait. What it left in pp is its
            // own reply, not a measurement frame, and the reply to the loop's own request was
            // emptied from the queue or is still on its way. Once the line is quiet, ask
            // again; the reply clock restarts with the line given back.
            LetLineSettle();
            graphrefresh = 0;
            rx_flag = stop_flag == 0 ? 1 : 0;
            tstart = Timer();
        }
    }

    rx_flag = 0;
    FlushInQ(com);
    FlushOutQ(com);
    graphrefresh = 0;
    EnableLoopButtons();
    loop_mode = outerMode;
}

// ---- buttons ---------------------------------------------------------------------------------

int CC_BTNRun(int panel, int control, int event, void *, int, int) {
    switch (event) {
    case EVENT_COMMIT:
        // Not while a one-shot exchange waits for its reply, nor nested in a running loop
        // (the button is dimmed then; STOP does not enable it).
        if (exchange_busy == 1 || loop_mode != LOOP_IDLE) break;
        PushRUN();
        StartVideoAfterRun(); // VIDEO pressed while RUN was ending
        break;
    case EVENT_RIGHT_CLICK:
        ShowHelpBubble(panel, control, MAINPANEL_HelpText1, 10, 10, HELP_BTNRun);
        break;
    default: break;
    }
    return 0;
}

int CC_BTNStop(int panel, int control, int event, void *, int, int) {
    switch (event) {
    case EVENT_COMMIT:
        stop_flag = 1;
        SetCtrlAttribute(pHandle, MAINPANEL_BTNVideo, ATTR_DIMMED, 0);
        Sleep(0);
        break;
    case EVENT_LEFT_CLICK: // the loop is asked to end as soon as the button goes down
    case EVENT_KEYPRESS:
        stop_flag = 1;
        break;
    case EVENT_RIGHT_CLICK:
        ShowHelpBubble(panel, control, MAINPANEL_HelpText1, 10, 10, HELP_BTNStop);
        break;
    default: break;
    }
    return 0;
}
