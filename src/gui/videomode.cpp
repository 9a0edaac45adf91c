// VIDEO mode and the data-type ring.
#include "videomode.h"

#include "com232.h"
#include "devinfo.h"
#include "exchange.h"
#include "kvor_panels.h"
#include "measure.h"
#include "plots.h"
#include "popup.h"
#include "processing.h"
#include "rs232.h"
#include "transfer.h"
#include "runmode.h"
#include "userint.h"
#include "videoblock.h"

unsigned short ReadDataType(void) {
    // The ring may hold a 16- or a 32-bit value; either lands in the low bytes of a zeroed
    // int, and the value is taken as unsigned 16-bit.
    int value = 0;
    GetCtrlVal(pHandle, MAINPANEL_DROPdatatype, &value);
    return static_cast<unsigned short>(value);
}

void ProcessVideoProfile(void) {
    SmoothCurve(adcbuf);
    NormCurve(adcbuf, thdArray);
    FindEdge(dArray);
}

void DrawVideoProfile(void) {
    if (ReadDataType() == 0)
        PlotVIDEOCurve(adcbuf, thdArray, xArray8);
    else
        PlotJETCurve(dArray, xArray8);
    PlotVIDEOBarGraph();
}

void PushVIDEO(void) {
    const int outerMode = loop_mode;
    loop_mode = LOOP_VIDEO;
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_VISIBLE, 0);
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHVideo, ATTR_VISIBLE, 1);
    DimLoopButtons();
    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_XAXIS, VAL_MANUAL, 1.0,
                       static_cast<double>(ccdpixE));
    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHJet, VAL_XAXIS, VAL_MANUAL, 1.0,
                       static_cast<double>(ccdmaxpixelX8));
    stop_flag = 0;

    // A cycle, once begun, runs to its end; stop_flag is looked at after its events. The
    // profile of a cycle is drawn once the next cycle's request is on the wire, while the
    // sensor prepares its reply, which keeps the drawing out of the time between two cycles;
    // the last profile is drawn when the loop ends.
    bool drawPending = false;
    do {
        SendRawRequest();
        if (drawPending) DrawVideoProfile();
        drawPending = false;
        rx_flag = AwaitRawFrame();
        if (rx_flag == 1) {
            UnpackVideoFrame(pp);
            // The blocks come without frame header: the receive callback must not take them.
            RemoveRxCallback();
            FlushInQ(com);
            FlushOutQ(com);
            for (int block = 0; block < VIDEO_BLOCK_COUNT; block++) {
                if (ReadData64(block * VIDEO_BLOCK_WORDS, VIDEO_DEST_LIVE) <= 0) break;
            }
            InstallRxCallback();
            FlushInQ(com);
            FlushOutQ(com);

            ProcessVideoProfile();
            drawPending = true;
        } else {
            stop_flag = 1;
        }
        ProcessSystemEvents();
    } while (stop_flag == 0);
    if (drawPending) DrawVideoProfile();

    EnableLoopButtons();
    InstallRxCallback();
    FlushOutQ(com);
    FlushInQ(com);
    loop_mode = outerMode;
}

namespace {
// A VIDEO press while a stopped RUN is still ending: VIDEO starts once RUN has ended, unless
// the port was changed or closed meanwhile.
bool g_videoAfterRun = false;
unsigned g_videoAfterRunLink = 0;
} // namespace

void StartVideoAfterRun(void) {
    if (!g_videoAfterRun) return;
    g_videoAfterRun = false;
    if (g_videoAfterRunLink != link_generation || GetInQLen(com) < 0) return;
    if (exchange_busy == 1 || loop_mode != LOOP_IDLE) return;
    SelectRamTarget();
    PushVIDEO();
}

int CC_BTNVideo(int panel, int control, int event, void *, int, int) {
    switch (event) {
    case EVENT_COMMIT:
        if (exchange_busy == 1) break; // a one-shot exchange waits for its reply
        if (loop_mode == LOOP_VIDEO) {
            // STOP enables this button at once while the current cycle still reads its
            // blocks. Pressed again in that interval, VIDEO simply goes on: a second loop
            // nested in the first would find the receive callback removed and fail. Like
            // every VIDEO press it selects the RAM target.
            stop_flag = 0;
            DimLoopButtons();
            SelectRamTarget();
            break;
        }
        if (loop_mode == LOOP_RUN) {
            // STOP has enabled this button while RUN still ends its last pass.
            if (stop_flag != 0) {
                g_videoAfterRun = true;
                g_videoAfterRunLink = link_generation;
            }
            break;
        }
        SelectRamTarget();
        PushVIDEO();
        break;
    case EVENT_RIGHT_CLICK:
        ShowHelpBubble(panel, control, MAINPANEL_HelpText1, 10, 10, HELP_BTNVideo);
        break;
    default: break;
    }
    return 0;
}

int CC_DROPdatatype(int, int, int event, void *, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    const int video = ReadDataType() == 0 ? 1 : 0;
    SetCtrlAttribute(pHandle, MAINPANEL_STRIPChart, ATTR_VISIBLE, 0);
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHVideo, ATTR_VISIBLE, video);
    SetCtrlAttribute(pHandle, MAINPANEL_GRAPHJet, ATTR_VISIBLE, 1 - video);
    SetCtrlAttribute(pHandle, MAINPANEL_SWITCHZoom, ATTR_DIMMED, video);
    return 0;
}
