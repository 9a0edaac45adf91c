// Transfer of one 64-word block of the CCD intensity profile.
#include "videoblock.h"

#include "com232.h"
#include "exchange.h"
#include "processing.h"
#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <cstring>

namespace {

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
    WriteFrame();
}

// Only the four block starts address adcbuf; anything else would store past its end.
bool IsBlockStart(int start) {
    return start >= 0 && start <= PROFILE_LEN - VIDEO_BLOCK_WORDS && start % VIDEO_BLOCK_WORDS == 0;
}

} // namespace

int ReadData64(int start, int dest) {
    if (!IsBlockStart(start)) return 0;
    parameter[1] = CMD_VIDEO_BLOCK;

    unsigned short words[PNUM] = {};
    words[VIDEO_BLOCK_START_WORD] = static_cast<unsigned short>(start);
    words[VIDEO_BLOCK_DEST_WORD] = static_cast<unsigned short>(dest);
    FillTxBuf(CMD_VIDEO_BLOCK, words);
    char request[TX_FRAME_LEN];
    std::memcpy(request, szWriteBuf, TX_FRAME_LEN);
    WriteRequest(request);
    ShowStatusText(kWaitText[start / VIDEO_BLOCK_WORDS]);

    // The poll ends as soon as a block's worth waits; bytes beyond it that are already
    // there make the answer too long.
    WaitRules rules;
    rules.queueBytes = VIDEO_BLOCK_LEN;
    rules.oneShot = false; // GET, SEND, TEACH, RESET stay usable during VIDEO
    const unsigned generation = link_generation;
    tstart = Timer();
    for (;;) {
        const WaitOutcome outcome = AwaitExchange(rules);
        if (outcome == WAIT_RECEIVED) {
            AwaitQuietTail(); // an answer longer than 128 bytes shows as such
            break;
        }
        if (outcome == WAIT_SUPERSEDED && link_generation != generation) {
            // The port was changed meanwhile: the block will not come on the new port, and
            // the new port's probe owns the status line.
            return 0;
        }
        if (outcome == WAIT_SUPERSEDED) {
            // A command started from a button ran nested in this wait. SEND leaves the
            // queues as they are: the answer is still there or on its way. Any other emptied
            // them for its own reply: this block's answer is gone; ask again on a quiet line.
            if (LastExchangeKeptQueues()) continue;
            LetLineSettle();
            if (link_generation != generation) return 0;
            WriteRequest(request);
            tstart = Timer();
            continue;
        }
        // No answer in time, or the port is gone (closed, hung up): nothing more comes.
        SetStatus("Timeout-RS-232 while reading 64 data-words!");
        break;
    }

    // Whatever arrived is taken from the queue; only an answer of exactly 128 bytes is kept.
    const int waiting = GetInQLen(com);
    nBytesR = 0;
    if (waiting > 0) nBytesR = ComRd(com, szReadBuf, waiting < IO_BUF_LEN ? waiting : IO_BUF_LEN);
    if (waiting > IO_BUF_LEN) FlushInQ(com);
    return TakeDataBlock(start, szReadBuf, nBytesR, waiting);
}

int TakeDataBlock(int start, const char *answer, int count, int waiting) {
    int result = 0;
    if (!IsBlockStart(start)) return 0;
    if (count == VIDEO_BLOCK_LEN && waiting == VIDEO_BLOCK_LEN) {
        SetStatus("Data[64] block received!");
        for (int i = 0; i < VIDEO_BLOCK_WORDS; i++) {
            const unsigned hi = static_cast<unsigned char>(answer[2 * i]);
            const unsigned lo = static_cast<unsigned char>(answer[2 * i + 1]);
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
