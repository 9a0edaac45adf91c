// Transfer of one 64-word block of the CCD intensity profile.
#include "videoblock.h"

#include "com232.h"
#include "processing.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <cstring>

namespace {

// At 19200 baud 8N1 a byte takes ten bit times. A block answer comes back to back, so once
// 128 bytes wait, the count is taken as final only after the line has stayed quiet for two
// byte times: an answer that is too long would otherwise pass as a good block while its
// tail was still on the wire, and that tail would open the next block's answer and shift
// every sample of it.
constexpr double kByteTime = 10.0 / 19200.0;
constexpr double kQuietTime = 2.0 * kByteTime;
constexpr int kNearBytes = 8; // the last bytes of a block, about 4 ms on the wire

const char *const kWaitText[VIDEO_BLOCK_COUNT] = {
    "Waiting for Data[64] Block 0 ...",
    "Waiting for Data[64] Block 1 ...",
    "Waiting for Data[64] Block 2 ...",
    "Waiting for Data[64] Block 3 ...",
};

// Writes the request prepared in `request` (TX_FRAME_LEN bytes) after emptying both queues.
void WriteRequest(const char *request) {
    FlushOutQ(com);
    FlushInQ(com);
    std::memcpy(szWriteBuf, request, TX_FRAME_LEN);
    nBytesW = ComWrt(com, szWriteBuf, TX_FRAME_LEN);
}

} // namespace

void LetLineSettle(void) {
    int queued = GetInQLen(com);
    double quietSince = Timer();
    while (queued >= 0) {
        ProcessSystemEvents();
        const int now = GetInQLen(com);
        const double t = Timer();
        if (now != queued) {
            queued = now;
            quietSince = t;
        } else if (t - quietSince >= LINE_SETTLE_TIME) {
            break;
        }
    }
}

int ReadData64(int start, int dest) {
    int result = 0;
    // Only the four block starts address adcbuf; anything else would store past its end.
    if (start < 0 || start > PROFILE_LEN - VIDEO_BLOCK_WORDS || start % VIDEO_BLOCK_WORDS != 0)
        return 0;
    parameter[1] = CMD_VIDEO_BLOCK;

    unsigned short words[PNUM] = {};
    words[VIDEO_BLOCK_START_WORD] = static_cast<unsigned short>(start);
    words[VIDEO_BLOCK_DEST_WORD] = static_cast<unsigned short>(dest);
    FlushOutQ(com);
    FlushInQ(com);
    FillTxBuf(CMD_VIDEO_BLOCK, words);
    char request[TX_FRAME_LEN];
    std::memcpy(request, szWriteBuf, TX_FRAME_LEN);
    nBytesW = ComWrt(com, szWriteBuf, TX_FRAME_LEN);
    ShowStatusText(kWaitText[start / VIDEO_BLOCK_WORDS]);

    const unsigned generation = link_generation;
    int n = 0;            // bytes waiting at the last look
    bool growing = false; // and whether that count had grown since the look before
    int fineRun = 0;      // short sleeps in a row
    tstart = Timer();
    for (;;) {
        // Most of the wait processes events (the operator's STOP, the window). The last few
        // bytes, and the quiet time after a full block, are watched in short sleeps of
        // about a byte time: the event loop's own pause is a millisecond, and four blocks a
        // cycle would lose several of them.
        // Only while bytes keep coming, and only for a few such passes in a row, so that a
        // stuck or endless answer never holds the events up for long.
        const bool fine = growing && fineRun < 2 * kNearBytes;
        fineRun = fine ? fineRun + 1 : 0;
        if (fine && n >= VIDEO_BLOCK_LEN) {
            Delay(kQuietTime);
        } else if (fine && n >= VIDEO_BLOCK_LEN - kNearBytes) {
            Delay(kByteTime);
        } else {
            ProcessSystemEvents();
            if (link_generation != generation) {
                // The port was changed meanwhile: the block will not come on the new port,
                // and the new port's probe owns the status line.
                return 0;
            }
            if (std::memcmp(szWriteBuf, request, TX_FRAME_LEN) != 0) {
                // A command started from a button ran nested in this wait and emptied the
                // queues for its own reply: this block's answer is gone. Ask again.
                LetLineSettle();
                WriteRequest(request);
                n = 0;
                growing = false;
                tstart = Timer();
                continue;
            }
        }
        const int waiting = GetInQLen(com);
        tdiff = Timer() - tstart;
        if (waiting < 0 || tdiff > TIMEOUT) {
            // No answer in time, or the port is gone (closed, hung up): nothing more comes.
            SetStatus("Timeout-RS-232 while reading 64 data-words!");
            break;
        }
        // A block's worth that has not grown over the quiet time is the whole answer.
        if (waiting >= VIDEO_BLOCK_LEN && waiting == n) break;
        growing = waiting != n;
        n = waiting;
    }

    // Whatever arrived is taken from the queue; only an answer of exactly 128 bytes is kept.
    const int waiting = GetInQLen(com);
    nBytesR = 0;
    if (waiting > 0) nBytesR = ComRd(com, szReadBuf, waiting < IO_BUF_LEN ? waiting : IO_BUF_LEN);
    if (waiting > IO_BUF_LEN) FlushInQ(com);
    if (nBytesR == VIDEO_BLOCK_LEN && waiting == VIDEO_BLOCK_LEN) {
        SetStatus("Data[64] block received!");
        for (int i = 0; i < VIDEO_BLOCK_WORDS; i++) {
            const unsigned hi = static_cast<unsigned char>(szReadBuf[2 * i]);
            const unsigned lo = static_cast<unsigned char>(szReadBuf[2 * i + 1]);
            adcbuf[start + i] = static_cast<unsigned short>(hi * 256 + lo);
        }
        result = 1;
    } else if (waiting > VIDEO_BLOCK_LEN) {
        // Left alone, the status line would still show the previous block's success.
        SetStatus("Data[64] block too long - dropped!");
    }
    ShowStatus();
    return result;
}
