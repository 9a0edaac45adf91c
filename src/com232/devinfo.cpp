// The connected sensor's description: the hardware information (command 10), from which
// the panels, the pixel range and the curve positions are adapted, and the firmware text
// (command 7) shown in the status line.
#include "devinfo.h"
#include "exchange.h"

#include "com232.h"
#include "kvor_panels.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"

namespace {

// Hardware reply: payload words 0..8 (frame bytes 4..21), high byte first.
//   word 0 ccdtype        sensor type code
//   word 1 ccdmaxpixel    number of CCD pixels
//   word 2 ccdresolution  resolution code
//   word 3 pcbtype        board type (0: firmware text in word form)
//   word 4 ccdmaxpixelX8  pixels times 8
//   word 5 ccdsubpixel    sub-pixel range: x range of the video graph
//   word 6 ccdpixB        first pixel
//   word 7 ccdpixE        last pixel
//   word 8 softversion    firmware version number
// Frame bytes 2..3 echo the command word and must read 10.

// Firmware versions and codes the adaptation tells apart.
constexpr unsigned kVersionLate = 220; // from this version on the video level tops at 256
constexpr unsigned kVersion230 = 230;
constexpr unsigned kVersion1001 = 1001;
constexpr unsigned short kYAxisFull = 1024;
constexpr unsigned short kYAxisLate = 256;

constexpr int kOpModeItemHigh = 1; // item index 1 has value 1, item 0 value 0

void RingHiLo(void) {
    ReplaceListItem(pPara1, PARA1_DROPopMode, kOpModeItemHigh, "HI-GAIN", 1);
    ReplaceListItem(pPara1, PARA1_DROPopMode, 0, "LO-GAIN", 0);
}

void RingAdcDig(void) {
    ReplaceListItem(pPara1, PARA1_DROPopMode, kOpModeItemHigh, "ADC-CONV", 1);
    ReplaceListItem(pPara1, PARA1_DROPopMode, 0, "DIG-COMP", 0);
}

// Sensors with firmware from version 220 on deliver video levels up to 256.
void LateYAxis(void) {
    if (softversion >= kVersionLate) YAXISMAX = kYAxisLate;
}

void SetPixelRange(unsigned short first, unsigned short last) {
    pixB = first;
    pixE = last;
}

// Spacing of the 256 curve x positions for a sub-pixel range.
int XStep(unsigned subpixel) {
    switch (subpixel) {
    case 512:
        return 2;
    case 768:
        return 3;
    case 1024:
        return 4;
    case 1180:
        return 5;
    case 1280:
        return 5;
    case 1536:
        return 6;
    case 2048:
        return 8;
    case 2360:
        return 10;
    case 2560:
        return 10;
    case 8192:
        return 32;
    default:
        return 4;
    }
}

bool KnownPixelCount(unsigned n) {
    return n == 512 || n == 768 || n == 1024 || n == 1280 || n == 1536 || n == 2048;
}

void StripChartPixelScale(void) {
    SetAxisScalingMode(pHandle, MAINPANEL_STRIPChart, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0,
                       static_cast<double>(ccdmaxpixel));
}

void AdaptToSensorType(void) {
    switch (ccdtype) {
    case 1: {
        const int dim = softversion == kVersion1001 ? 1 : 0;
        SetCtrlAttribute(pPara1, PARA1_DROPrs232Mode, ATTR_DIMMED, dim);
        SetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_DIMMED, dim);
        RingHiLo();
        SetPixelRange(1, 1024);
        LateYAxis();
        break;
    }
    case 2:
        if (ccdresolution == 750) {
            RingHiLo();
            YAXISMAX = kYAxisFull;
        } else if (ccdresolution == 350 || ccdresolution == 250) {
            RingHiLo();
            SetPixelRange(1, 1024);
            LateYAxis();
        }
        break;
    case 3:
        StripChartPixelScale();
        RingHiLo();
        SetPixelRange(1, 512);
        break;
    case 4:
        StripChartPixelScale();
        SetPixelRange(1, 512);
        break;
    case 101:
        RingAdcDig();
        SetPixelRange(1, 256);
        break;
    case 102:
        if (softversion == kVersionLate) {
            RingAdcDig();
        } else if (softversion == kVersion230) {
            // This variant uses the delta-tolerance word as an offset value.
            SetCtrlAttribute(pPara1, PARA1_DROPopMode, ATTR_DIMMED, 1);
            SetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_LABEL_TEXT, "OFFSET-VALUE");
            SetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_MAX_VALUE, 1000);
            SetCtrlAttribute(pPara1, PARA1_NUMtolDelta, ATTR_MIN_VALUE, 950);
        }
        SetPixelRange(1, 768);
        LateYAxis();
        break;
    case 103:
        RingAdcDig();
        SetPixelRange(1, ccdpixE);
        LateYAxis();
        break;
    case 104:
        RingAdcDig();
        SetPixelRange(1, 1536);
        LateYAxis();
        break;
    default:
        RingAdcDig();
        SetPixelRange(1, 1024);
        break;
    }
}

} // namespace

int TakeHardwareInfo(void) {
    graphrefresh = 0; // the description is no measurement frame

    ccdtype = pp[0];
    ccdmaxpixel = pp[1];
    ccdresolution = pp[2];
    pcbtype = pp[3];
    ccdmaxpixelX8 = pp[4];
    ccdsubpixel = pp[5];
    ccdpixB = pp[6];
    ccdpixE = pp[7];
    softversion = pp[8];
    if (ReplyEchoWord() != CMD_HARDWARE) return 0;

    SetAxisScalingMode(pHandle, MAINPANEL_GRAPHVideo, VAL_XAXIS, VAL_MANUAL, 1.0,
                       static_cast<double>(ccdsubpixel));
    if (!KnownPixelCount(ccdmaxpixel)) ccdmaxpixel = 256;
    const int step = XStep(ccdsubpixel);
    for (int i = 0; i < 256; i++)
        xArray8[i] = static_cast<double>(step * i);

    AdaptToSensorType();

    if (pcbtype == 100 || pcbtype == 101) {
        // These boards have the analog output and report the profile maxima.
        SetCtrlAttribute(pPara1, PARA1_RINGanaMode, ATTR_DIMMED, 0);
        SetCtrlAttribute(pHandle, MAINPANEL_NUMVideoMax, ATTR_DIMMED, 0);
        SetCtrlAttribute(pHandle, MAINPANEL_NUMJetMax, ATTR_DIMMED, 0);
        // Positions on these boards count eighth pixels. A last pixel beyond the 16-bit
        // range stays at the top of it instead of wrapping round to a small number.
        const unsigned scaled = static_cast<unsigned>(pixE) * 8u;
        pixE = static_cast<unsigned short>(scaled > 0xFFFFu ? 0xFFFFu : scaled);
    }
    return 1;
}

int GetHARDWAREInfo(void) {
    YAXISMAX = kYAxisFull;
    parameter[1] = CMD_HARDWARE;
    parameter[2] = 0;
    FillTxBuf(CMD_HARDWARE, pp);
    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    WriteFrame();
    tstart = Timer();
    const WaitOutcome outcome = AwaitExchange(WaitRules{});
    if (outcome == WAIT_TIMED_OUT || outcome == WAIT_PORT_GONE) SetStatus("Timeout-RS-232...");
    if (outcome != WAIT_RECEIVED) return 0; // superseded: the port was re-opened
    return TakeHardwareInfo();
}

void TakeFirmwareText(const char *reply, int count) {
    szVersion[0] = '\0';
    if (count != FIRMWARE_TEXT_LEN) return;
    if (pcbtype == 0) {
        // Word form: 36 words, high byte first, one character code in each low byte.
        constexpr int kChars = FIRMWARE_TEXT_LEN / 2;
        int n = 0;
        for (; n < kChars; n++) {
            const char c = reply[2 * n + 1];
            if (c == '\0') break;
            szVersion[n] = c;
        }
        szVersion[n] = '\0';
        SetStatus(szVersion);
    } else {
        // Plain text, up to its first zero byte; the status text holds 71 characters.
        char text[FIRMWARE_TEXT_LEN + 1];
        for (int i = 0; i < FIRMWARE_TEXT_LEN; i++)
            text[i] = reply[i];
        text[FIRMWARE_TEXT_LEN] = '\0';
        SetStatus(text);
    }
}

int GetVERSIONInfo(void) {
    // The firmware text comes without frame header: read it from the queue directly.
    RemoveRxCallback();
    FlushInQ(com);
    FlushOutQ(com);
    parameter[1] = CMD_FIRMWARE;
    parameter[2] = 0;
    FillTxBuf(CMD_FIRMWARE, pp);
    WriteFrame();
    ShowStatusText("Waiting for firmware info ...");

    // This wait keeps the GUI still: no events, so no other exchange can start meanwhile.
    WaitRules rules;
    rules.queueBytes = FIRMWARE_TEXT_LEN;
    rules.processEvents = false;
    tstart = Timer();
    if (AwaitExchange(rules) != WAIT_RECEIVED)
        SetStatus("Timeout - reading firmware info!");
    else
        AwaitQuietTail(); // a text longer than 72 bytes shows as such
    int waiting = GetInQLen(com);
    if (waiting < 0) waiting = 0;

    nBytesR = 0;
    if (waiting > 0) nBytesR = ComRd(com, szReadBuf, waiting < IO_BUF_LEN ? waiting : IO_BUF_LEN);
    TakeFirmwareText(szReadBuf, nBytesR);

    InstallRxCallback();
    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    ShowStatus();
    return waiting;
}
