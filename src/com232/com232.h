// The sensor link: serial port, transmit and reply frames, command words, the receive
// callback and the status text.
#pragma once

#include "params.h"

// ---- constants ---------------------------------------------------------------------------
// Sync byte of every transmit frame; also the event character of the receive callback.
// (Not named plain `sync`: that would clash with the POSIX function in test code.)
constexpr int sync_char = 0x55;
constexpr int eventMask = 0x8006;       // receive (0x8000) | event char (0x0002) | tx empty (0x0004)
constexpr double TIMEOUT = 1.5;         // reply time-out and port I/O time-out, seconds
constexpr int RX_NOTIFY_COUNT = 36;     // bytes of one reply frame

// Transmit frame, PC to sensor: TX_FRAME_LEN bytes written as one block.
//   offset 0  size 1  0x00 (high byte of the sync word 0x0055)
//   offset 1  size 1  0x55 sync
//   offset 2  size 2  command word, high byte first
//   offset 4  size 32 payload words 0..15, high byte first
//   offset 36 size 2  0x00 0x00 (never filled)
constexpr int TX_FRAME_LEN = PNUM * 2 + 6;   // 38
// Reply frame, sensor to PC (all commands but 7 and 9): RX_FRAME_LEN bytes.
//   offset 0  size 2  sync word 0x00AA, high byte first (examined by the echo check only)
//   offset 2  size 2  echo of the command word (examined by the hardware request only)
//   offset 4  size 32 payload words 0..15, high byte first, stored into pp
constexpr int RX_FRAME_LEN = PNUM * 2 + 4;   // 36
constexpr int RX_SYNC_WORD = 0x00AA;
constexpr int FIRMWARE_TEXT_LEN = 72;        // reply to command 7, no header
constexpr int VIDEO_BLOCK_LEN = 128;         // reply to command 9, 64 words, no header

// Command words (parameter[1], frame bytes 2-3), each with the function that sends it.
enum {
    CMD_WRITE_RAM = 1,      // CC_BTNSend (target RAM); no reply
    CMD_READ_RAM = 2,       // PushGET(RAM): GET, the probe, the GET after a TEACH
    CMD_WRITE_EEPROM = 3,   // CC_BTNSend (target EEPROM); no reply
    CMD_READ_EEPROM = 4,    // PushGET(EEPROM)
    CMD_ECHO = 5,           // CheckComLine, the probe's echo check
    CMD_TEACH = 6,          // CC_ButtonTeach
    CMD_FIRMWARE = 7,       // GetVERSIONInfo; 72-byte answer without header
    CMD_RAW_FRAME = 8,      // PushGETRAW and the RUN loop (PushRUN)
    CMD_VIDEO_BLOCK = 9,    // ReadData64; 128-byte answer without header
    CMD_HARDWARE = 10,      // GetHARDWAREInfo
    CMD_RESET_MAXMIN = 11,  // CC_ButtonReset
};

enum { IO_BUF_LEN = 2048, STATUS_LEN = 72 };

// ---- flags that cross the link ----------------------------------------------------------------
// Everything runs on the GUI thread; callbacks run nested in the waits' event processing.
//
//   flag             set by                                    cleared by
//   rx_flag          RX_Receive_Function (a whole reply frame)  every sender before its write;
//                                                               DropForeignReply; loop ends
//   graphrefresh     RX_Receive_Function, with rx_flag          RUN after drawing; every
//                                                               non-measurement reply taken
//   stop_flag        STOP, a loop's time-out, the port          the start of RUN and VIDEO
//                    drop-down, closing the main panel
//   exchange_busy    AwaitExchange, while a one-shot exchange   AwaitExchange on every way out
//                    (probe step, GET, TEACH, RESET) waits      (restored, for nested waits)
//   loop_mode        PushRUN, PushVIDEO at their start          the same at their end
//   link_generation  CC_DropDCom, before it re-opens the port   never (a counter)
//   exchange_count   WriteFrame, for every frame written        never (a counter)
//   rx_callback_on   InstallRxCallback / RemoveRxCallback       (the receive callback's state)
//
// A wait notes link_generation and exchange_count when it starts: a change means the port
// was re-opened or another exchange wrote a frame meanwhile (WAIT_SUPERSEDED).

// ---- globals of the link -------------------------------------------------------------------
extern int com;                       // serial port in use (1 = COM1)
extern char szWriteBuf[IO_BUF_LEN];   // transmit bytes; the first 38 are used
extern char szReadBuf[IO_BUF_LEN];    // receive bytes
extern int rx_flag;                   // 1 once the receive callback parsed a reply into pp
extern int stop_flag;                 // 1 asks a RUN or VIDEO loop to end; 1 when none runs
extern int graphrefresh;              // set with rx_flag; RUN draws the frame and clears it
extern double tstart, tdiff;          // time of the write and time elapsed since, seconds
extern int nBytesW, nBytesR;          // results of the last write and the last direct read
extern int ret;                       // result of the last open or probe step
extern char szStatus[STATUS_LEN];     // status text shown in the status line

// ---- operations ------------------------------------------------------------------------------
void InitRS232(int port);
void RX_Receive_Function(int portNumber, int eventMaskGiven, void *callbackData);
void FillTxBuf(unsigned short command, const unsigned short *words);
void GetRxBuf(void);
// Command word echoed in bytes 2-3 of the reply frame last read into szReadBuf.
unsigned ReplyEchoWord(void);
// A one-shot exchange started while RUN or VIDEO runs shares the line with the loop's
// request already sent: the loop's reply, or its tail followed by the head of the
// exchange's own reply, can arrive first. DropForeignReply clears rx_flag and graphrefresh
// (and returns 1) when the frame just taken in is not a reply of the exchange: a
// measurement frame (echo 8) or a frame that does not begin with the reply sync word
// 0x00AA. The waits apply it only while a loop runs.
int DropForeignReply(void);
// While a RUN or VIDEO loop runs, waits (processing events, at most about 0.1 s) until the
// reply to the loop's request has arrived, so that a one-shot exchange starts on a quiet
// line. Returns at once when no loop runs.
void WaitForLoopReply(void);
// RUN and VIDEO take a frame as a measurement only when it begins with the reply sync word
// 0x00AA, which every sensor sends (the echo check insists on it). Anything else taken in as
// the reply to a measurement request (noise or the tail of an earlier reply in front of it,
// a wrong sync) is dropped: rx_flag and graphrefresh are cleared, the status line tells it,
// and 1 is returned. The command echo is not examined: a sensor's measurement reply is
// taken whatever it echoes, as it always was.
int DropBadMeasurementFrame(void);
int CheckComLine(int port);
// Registers RX_Receive_Function with the link's settings / removes it.
void InstallRxCallback(void);
void RemoveRxCallback(void);
// Writes szStatus (or a waiting text) to the status line.
void ShowStatus(void);
void ShowStatusText(const char *text);
// Copies text into szStatus (cut to fit) .
void SetStatus(const char *text);

// Port drop-down of the main panel: commit re-opens the link, right click shows its help.
int CC_DropDCom(int panel, int control, int event, void *data, int e1, int e2);
// Registers CC_DropDCom.
void BindComCallbacks(void);

// Which measurement loop runs (the loops run inside their button's callback).
enum { LOOP_IDLE = 0, LOOP_RUN = 1, LOOP_VIDEO = 2 };
extern int loop_mode;

// 1 while RX_Receive_Function is registered on the port.
extern int rx_callback_on;

// 1 while a one-shot exchange (the probe after a port change, GET, TEACH, RESET) waits for
// its reply. Clicks on GET, SEND, TEACH, RESET, RUN and VIDEO are ignored meanwhile rather
// than started nested inside the wait. Exchanges started during RUN or VIDEO stay allowed.
extern int exchange_busy;

// Counts the re-openings of the port by the port drop-down. A one-shot exchange notes it
// when it starts; if it changed while the exchange waited, the port it wrote to is gone and
// the new port's probe has left its own result, so the exchange takes no reply and leaves
// the status text alone.
extern unsigned link_generation;
