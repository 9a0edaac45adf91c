// The serial line to the sensor: opening the port, the receive callback, building the
// transmit frame, parsing the reply frame, the echo check and the probe that follows it,
// and the port drop-down.
#include "com232.h"

#include "devinfo.h"
#include "exchange.h"
#include "kvor_panels.h"
#include "popup.h"
#include "port_events.h"
#include "port_return.h"
#include "rs232.h"
#include "service_hooks.h"
#include "transfer.h"
#include "userint.h"
#include "utility.h"

namespace {

// Line settings of the sensor: 19200 baud, no parity, 8 data bits, 1 stop bit.
constexpr long kBaudRate = 19200;
constexpr int kParityNone = 0;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kQueueSize = 4096;    // larger than the largest reply (128 bytes)
constexpr double kProbePause = 0.1; // the sensor needs a pause between two probe requests

// Frame byte offsets (see the tables in com232.h).
constexpr int kTxSyncHi = 0;
constexpr int kTxSyncLo = 1;
constexpr int kTxCommand = 2;
constexpr int kPayload = 4;    // first payload byte, in both frame kinds
constexpr int kTxTrailer = 36; // two bytes after the payload, always zero

unsigned char HighByte(unsigned word) {
    return static_cast<unsigned char>((word >> 8) & 0xFF);
}
unsigned char LowByte(unsigned word) {
    return static_cast<unsigned char>(word & 0xFF);
}

// Word at `offset` of a byte buffer, high byte first; never sign-extended.
unsigned short WordAt(const char *buf, int offset) {
    const unsigned hi = static_cast<unsigned char>(buf[offset]);
    const unsigned lo = static_cast<unsigned char>(buf[offset + 1]);
    return static_cast<unsigned short>(hi * 256 + lo);
}

// Status text for a negative result of opening the port.
const char *OpenErrorText(int code) {
    switch (code) {
    case kRS232UnknownSysError:
        return "Unknown system error";
    case kRS232InvalidPortNum:
        return "Invalid port number";
    case kRS232PortNotOpen:
        return "Port is not open";
    case kRS232UnknownIOError:
        return "Unknown I/0 error";
    case kRS232NoPortFound:
        return "No serial port found";
    case kRS232CannotOpenPort:
        return "Cannot open port";
    case kRS232InvalidParameter:
        return "Invalid parameter";
    case kRS232Timeout:
        return "Timeout";
    default:
        return "RS-232 error!";
    }
}

} // namespace

// ---- status line -----------------------------------------------------------------------------

void SetStatus(const char *text) {
    int i = 0;
    for (; text != nullptr && text[i] != '\0' && i < STATUS_LEN - 1; i++)
        szStatus[i] = text[i];
    szStatus[i] = '\0';
}

void ShowStatus(void) {
    SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, szStatus);
    NotifyStatus(szStatus); // service tools: the status line's text (service_hooks.h)
}

void ShowStatusText(const char *text) {
    SetCtrlVal(pHandle, MAINPANEL_TEXTStatus, text);
    NotifyStatus(text); // service tools: the status line's text (service_hooks.h)
}

// ---- frames ----------------------------------------------------------------------------------

void FillTxBuf(unsigned short command, const unsigned short *words) {
    szWriteBuf[kTxSyncHi] = 0x00;
    szWriteBuf[kTxSyncLo] = static_cast<char>(sync_char);
    szWriteBuf[kTxCommand] = static_cast<char>(HighByte(command));
    szWriteBuf[kTxCommand + 1] = static_cast<char>(LowByte(command));
    for (int k = 0; k < PNUM; k++) {
        szWriteBuf[kPayload + 2 * k] = static_cast<char>(HighByte(words[k]));
        szWriteBuf[kPayload + 2 * k + 1] = static_cast<char>(LowByte(words[k]));
    }
    // The two bytes after the payload go out as zeros in every frame.
    szWriteBuf[kTxTrailer] = 0x00;
    szWriteBuf[kTxTrailer + 1] = 0x00;
}

void GetRxBuf(void) {
    for (int k = 0; k < PNUM; k++)
        pp[k] = WordAt(szReadBuf, kPayload + 2 * k);
}

unsigned ReplyEchoWord(void) {
    return WordAt(szReadBuf, kTxCommand);
}

int DropForeignReply(void) {
    if (rx_flag != 1) return 0;
    if (WordAt(szReadBuf, 0) == RX_SYNC_WORD && ReplyEchoWord() != CMD_RAW_FRAME) return 0;
    rx_flag = 0;
    graphrefresh = 0;
    return 1;
}

int DropBadMeasurementFrame(void) {
    if (rx_flag != 1) return 0;
    if (WordAt(szReadBuf, 0) == RX_SYNC_WORD) return 0;
    rx_flag = 0;
    graphrefresh = 0;
    SetStatus("Bad measurement frame - dropped!");
    ShowStatus();
    return 1;
}

void WaitForLoopReply(void) {
    // One measurement exchange takes about 40 ms at 19200 baud; a byte 0.52 ms.
    constexpr double kLoopReplyWait = 0.1;
    constexpr double kQuietTime = 0.005; // about ten byte times without a new byte
    constexpr double kQuietWait = 0.05;
    if (loop_mode == LOOP_IDLE) return;
    const double savedStart = tstart;
    WaitRules reply;
    reply.timeout = kLoopReplyWait;
    tstart = Timer();
    if (rx_flag == 0) AwaitExchange(reply);
    // The callback takes the first 36 bytes; the rest of a reply that began before the
    // loop's last flush may still be on its way. Start only once the line is quiet.
    WaitRules quiet;
    quiet.quietTime = kQuietTime;
    quiet.timeout = kQuietWait;
    quiet.processEvents = false;
    tstart = Timer();
    AwaitExchange(quiet);
    tstart = savedStart;
}

// ---- receive callback ------------------------------------------------------------------------

void RX_Receive_Function(int portNumber, int eventMaskGiven, void *callbackData) {
    (void)portNumber;
    (void)callbackData;
    if ((eventMaskGiven & LWRS_RECEIVE) == 0) return; // event character, output queue empty
    // Only a whole reply frame counts: a partial one (the queue was emptied between the
    // notification and now) is neither parsed nor waited for here; the sender times out.
    if (GetInQLen(com) < RX_FRAME_LEN) return;
    const int n = ComRd(com, szReadBuf, RX_FRAME_LEN);
    if (n != RX_FRAME_LEN) return;
    GetRxBuf();
    rx_flag = 1;
    graphrefresh = 1;
    FlushInQ(com); // whatever follows the first frame is dropped
}

void InstallRxCallback(void) {
    rx_callback_on =
        InstallComCallback(com, eventMask, RX_NOTIFY_COUNT, sync_char, RX_Receive_Function,
                           nullptr) == 0
            ? 1
            : 0;
}

void RemoveRxCallback(void) {
    InstallComCallback(com, 0, RX_NOTIFY_COUNT, sync_char, nullptr, nullptr);
    rx_callback_on = 0;
}

// ---- echo check and probe ------------------------------------------------------------------

int CheckComLine(int port) {
    int result = 0;
    parameter[1] = CMD_ECHO;
    parameter[2] = 0;
    CopyVarsToPP();
    FillTxBuf(CMD_ECHO, pp);
    FlushOutQ(port);
    FlushInQ(port);
    rx_flag = 0;
    WriteFrame(port);
    tstart = Timer();
    const WaitOutcome outcome = AwaitExchange(WaitRules{});
    if (outcome == WAIT_SUPERSEDED) return 0; // re-opened meanwhile; its own probe reports
    if (outcome == WAIT_RECEIVED) {
        graphrefresh = 0; // the echo is no measurement frame
        pp[0] = WordAt(szReadBuf, 0);
        if (pp[0] == RX_SYNC_WORD) {
            NotePortAnswered(port); // the last good adapter, for the next start
            SetStatus("Echo Check - Line Ok!");
            result = 1;
        } else {
            SetStatus("read error - not sync byte 0xAA!");
        }
    } else {
        SetStatus("Timeout-RS-232...");
    }
    ShowStatus();
    return result;
}

void InitRS232(int port) {
    const unsigned generation = link_generation;
    ret = OpenComConfig(port, "", kBaudRate, kParityNone, kDataBits, kStopBits, kQueueSize,
                        kQueueSize);
    if (ret < 0) {
        SetStatus(OpenErrorText(ret));
    } else {
        SetComTime(port, TIMEOUT);
        FlushInQ(port);
        FlushOutQ(port);
        SetCTSMode(port, 0);
        InstallComCallback(port, eventMask, RX_NOTIFY_COUNT, sync_char, RX_Receive_Function,
                           nullptr);
        rx_callback_on = 1;
        ret = CheckComLine(port);
        if (ret == 1 && link_generation == generation) {
            // The line answers: hardware description, RAM parameters, firmware text. A
            // failed hardware request does not stop the others; each leaves its own text.
            Delay(kProbePause);
            GetHARDWAREInfo();
            Delay(kProbePause);
            if (link_generation == generation) {
                SelectRamTarget();
                PushGET(RAM);
            }
            Delay(kProbePause);
            if (link_generation == generation) {
                ret = GetVERSIONInfo();
                if (ret < FIRMWARE_TEXT_LEN) SetStatus("Error reading firmware-info!");
            }
            if (link_generation == generation) NotifyProbed(); // service tools: identity known
        }
    }
    if (link_generation != generation) return; // a newer probe owns the status line
    ShowStatus();
}

// ---- port drop-down --------------------------------------------------------------------------

int CC_DropDCom(int panel, int control, int event, void *, int, int) {
    switch (event) {
    case EVENT_COMMIT: {
        stop_flag = 1; // a running RUN or VIDEO loop ends
        link_generation++;
        CloseCom(com);
        int port = com;
        GetCtrlVal(panel, control, &port);
        com = port;
        SetStatus("Init COM-Port ...");
        ShowStatus();
        InitRS232(com);
        break;
    }
    case EVENT_RIGHT_CLICK:
        ShowHelpBubble(panel, control, MAINPANEL_HelpText2, 20, 80, HELP_DropDCom);
        break;
    default:
        break;
    }
    return 0;
}

void BindComCallbacks(void) {
    InstallCtrlCallback(pHandle, MAINPANEL_DropDCom, CC_DropDCom, nullptr);
    BindPortEvents(); // the platform's lost and returned ports, the port hint
}
