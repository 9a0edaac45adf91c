// The link's one wait: every exchange with the sensor writes its frame through WriteFrame
// and then waits here for its reply (a reply frame taken in by the receive callback, or a
// number of raw bytes in the input queue), for a quiet line, or for its own deadline.
#pragma once

#include "com232.h"

// How a wait ended.
enum WaitOutcome {
    WAIT_RECEIVED = 0,   // the reply is there (rx_flag 1, or the bytes wait, or the line is quiet)
    WAIT_SUPERSEDED = 1, // the port was re-opened, or another exchange wrote a frame meanwhile
    WAIT_TIMED_OUT = 2,  // the deadline passed first
    WAIT_PORT_GONE = 3,  // the port hung up or was closed: nothing more can come
    WAIT_STOPPED = 4,    // stop_flag was set (only with endOnStop: the RUN and VIDEO loops)
};

// The sender's own rules. Every wait measures from tstart (the sender sets it at its write)
// and leaves the time elapsed in tdiff.
struct WaitRules {
    double timeout = TIMEOUT;
    // 0: a reply frame (rx_flag, set by the receive callback). N > 0: N raw bytes in the
    // input queue (firmware text, profile block; the receive callback is removed then).
    int queueBytes = 0;
    // > 0: the wait is for a quiet line: no byte has arrived for this long.
    double quietTime = 0.0;
    // The reply is looked at before each pass's events (the raw-frame request), so a reply
    // that completes in the pass that runs out of time does not count; otherwise it is
    // looked at after them, and such a reply counts.
    bool flagBeforeEvents = false;
    // The wait ends once tdiff reaches the time-out (TEACH, RESET); otherwise once it
    // exceeds it.
    bool endAtLimit = false;
    // Events are processed while waiting; the firmware wait keeps the GUI still instead.
    bool processEvents = true;
    // A one-shot exchange (probe steps, GET, TEACH, RESET): exchange_busy is 1 while it
    // waits, so that clicks on the transfer and loop buttons are ignored instead of starting
    // a second exchange nested in this one. Restored on every way out.
    bool oneShot = true;
    // A set stop_flag ends the wait (the loops' own waits).
    bool endOnStop = false;
    // While RUN or VIDEO runs, a frame that is no reply of this exchange (a measurement
    // frame, or one without the reply sync) is dropped and waited past.
    bool ownReplyOnly = false;
};

// Waits by the rules; sleeps in the event loop between events, never spins.
WaitOutcome AwaitExchange(const WaitRules &rules);

// Writes the transmit frame built in szWriteBuf (TX_FRAME_LEN bytes) to `port` (com when
// omitted), counts the exchange and notes its command; returns ComWrt's count (nBytesW).
int WriteFrame(int port);
int WriteFrame(void);

// Counts the frames written; a wait that sees it change was superseded by another
// exchange started from a callback nested in it.
extern unsigned exchange_count;
// Command word of the frame written last.
extern unsigned exchange_command;
// 1 when the frame written last came from an exchange that leaves the queues as they are
// (SEND: the parameter writes get no reply and flush nothing).
int LastExchangeKeptQueues(void);

// Waits, without processing events, until no byte has arrived for a few byte times (at
// most a few tens of milliseconds). A reply read by its length (firmware text, profile
// block) is judged only after it: bytes beyond the expected count that are still on their
// way then make the reply too long, instead of being left to land in front of the next one.
void AwaitQuietTail(void);

// Processes events until no byte has arrived for LINE_SETTLE_TIME, at most TIMEOUT, and
// not past a STOP: used before a request is sent again after another exchange used the
// line, so that the tail of a reply still on its way is not left in front of the next
// answer. Returns the wait's outcome (WAIT_RECEIVED: the line is quiet).
WaitOutcome LetLineSettle(void);
