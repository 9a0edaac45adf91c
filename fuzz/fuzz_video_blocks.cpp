// One VIDEO cycle as the loop runs it, its exchanges' halves that take the answers apart:
// the measurement frame's words, the four profile blocks (each as its exchange reads it
// from the queue after the wait: the bytes that waited, at most a read buffer's worth) into
// adcbuf up to the first block refused, and then the processing of the profile and its
// hand-over to the curve and the bar graph (their repaint, Qt's own drawing, is left out);
// optionally the reference is frozen from the result (which writes the profile file, in
// memory). (The block exchange's wait ends only on a quiet
// line, two milliseconds at the least; the link tests cover it.)
//   byte 0     bit 0 the data-type ring (0 video curve, 1 jet curve); bit 1 freeze after
//              the cycle
//   bytes 1-4  block k is 128 bytes, or 128 + (v - 223) when byte 1+k is v >= 224 (too long)
//   bytes 5..  the blocks' bytes, one after the other (padded with zeros where short: a
//              short block only times out, which the link tests cover), then up to 32 bytes:
//              the measurement frame's 16 words, high byte first (missing ones 0)
#include "com232.h"
#include "freeze.h"
#include "fuzz_program.h"
#include "kvor_panels.h"
#include "processing.h"
#include "runmode.h"
#include "userint_readback.h"
#include "videoblock.h"
#include "videomode.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    const int dataType = data[0] & 1;
    SetCtrlVal(pHandle, MAINPANEL_DROPdatatype, dataType);
    size_t at = 5;
    fuzz::Bytes blocks[VIDEO_BLOCK_COUNT];
    for (int k = 0; k < VIDEO_BLOCK_COUNT; k++) {
        const size_t len = VIDEO_BLOCK_LEN + (data[1 + k] >= 224 ? data[1 + k] - 223 : 0);
        blocks[k].assign(len, 0);
        for (size_t i = 0; i < len && at < size; i++)
            blocks[k][i] = data[at++];
    }
    unsigned short words[PNUM] = {};
    for (int w = 0; w < PNUM && at + 1 < size; w++, at += 2)
        words[w] = static_cast<unsigned short>(data[at] << 8 | data[at + 1]);

    std::memset(adcbuf, 0, sizeof adcbuf); // the previous cycle's profile plays no part
    UnpackVideoFrame(words);
    for (int k = 0; k < VIDEO_BLOCK_COUNT; k++) {
        const int waiting = int(blocks[k].size());
        const int count = waiting < IO_BUF_LEN ? waiting : IO_BUF_LEN;
        std::memcpy(szReadBuf, blocks[k].data(), size_t(count));
        if (TakeDataBlock(k * VIDEO_BLOCK_WORDS, szReadBuf, count, waiting) <= 0) break;
    }
    ProcessVideoProfile();
    DrawVideoProfile();
    if (data[0] & 2) SimulateCtrlEvent(pJet, JETPANEL_BTNFreezeProfile, EVENT_COMMIT, 0, 0);
    return 0;
}
