// One VIDEO cycle of the real loop: the measurement frame, the four profile blocks (the
// scripted sensor answers each block request with fuzzed bytes) into adcbuf, and the
// processing and drawing after them; optionally the reference is frozen from the result
// (which writes the profile file).
//   byte 0     bit 0 the data-type ring (0 video curve, 1 jet curve); bit 1 freeze after
//              the cycle
//   bytes 1-4  block k is 128 bytes, or 128 + (v - 223) when byte 1+k is v >= 224 (too long)
//   bytes 5..  the blocks' bytes, one after the other (padded with zeros where short: a
//              short block only times out, which the link tests cover)
#include "com232.h"
#include "freeze.h"
#include "fuzz_program.h"
#include "kvor_panels.h"
#include "userint_readback.h"
#include "videoblock.h"
#include "videomode.h"

#include <QTimer>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    SetCtrlVal(pHandle, MAINPANEL_DROPdatatype, int(data[0] & 1));
    fuzz::ForgetAnswers();
    size_t at = 5;
    for (int k = 0; k < VIDEO_BLOCK_COUNT; k++) {
        const size_t len = VIDEO_BLOCK_LEN + (data[1 + k] >= 224 ? data[1 + k] - 223 : 0);
        fuzz::Bytes block(len, 0);
        for (size_t i = 0; i < len && at < size; i++) block[i] = data[at++];
        fuzz::AnswerNext(CMD_VIDEO_BLOCK, block);
    }
    // The loop runs a cycle, once begun, to its end: STOP comes during its first wait.
    QTimer::singleShot(0, [] { stop_flag = 1; });
    PushVIDEO();
    if (data[0] & 2) SimulateCtrlEvent(pJet, JETPANEL_BTNFreezeProfile, EVENT_COMMIT, 0, 0);
    return 0;
}
