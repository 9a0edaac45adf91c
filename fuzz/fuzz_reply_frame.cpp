// Reply frames from the line through the receive path: the bytes wait in the port's input
// queue (a real pseudo-terminal) and the receive callback takes them in, directly or as the
// port's notifier delivers it; then the echo word, the foreign-reply filter of the waits
// and the measurement frame's words.
//   byte 0   bits 0-1 loop mode (0 idle, 1 RUN, 2 VIDEO, 3 idle); bit 2 delivered by the
//            event loop's notifier (one pass of the loop) instead of a direct call; bit 3
//            the callback is told of the event character only (no receive event)
//   bytes 1.. the bytes on the line
#include "com232.h"
#include "fuzz_program.h"
#include "runmode.h"
#include "userint_readback.h"

#include "rs232.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const int mode = data[0] & 3;
    const bool byNotifier = (data[0] & 4) != 0;
    const int mask = (data[0] & 8) ? LWRS_RXFLAG : LWRS_RECEIVE | LWRS_RXFLAG;
    const uint8_t *line = data + 1;
    size_t n = size - 1;
    if (n > fuzz::kMaxLineBytes) n = fuzz::kMaxLineBytes;

    rx_flag = 0;
    graphrefresh = 0;
    loop_mode = mode == 1 ? LOOP_RUN : mode == 2 ? LOOP_VIDEO : LOOP_IDLE;
    fuzz::PutOnLine(line, n);
    if (byNotifier)
        fuzz::DeliverEvents();
    else
        RX_Receive_Function(com, mask, nullptr);

    if (!byNotifier) {
        // A whole frame that waits is taken in, and its payload words are the frame's.
        const bool whole = n >= size_t(RX_FRAME_LEN) && (mask & LWRS_RECEIVE);
        if (whole != (rx_flag == 1)) std::abort();
        if (whole)
            for (int k = 0; k < PNUM; k++)
                if (pp[k] != (line[4 + 2 * k] << 8 | line[5 + 2 * k])) std::abort();
    }
    if (rx_flag == 1) {
        const unsigned echo = ReplyEchoWord();
        const bool own = (line[0] << 8 | line[1]) == RX_SYNC_WORD && echo != CMD_RAW_FRAME;
        const int dropped = loop_mode != LOOP_IDLE ? DropForeignReply() : 0;
        if (loop_mode != LOOP_IDLE && dropped != (own ? 0 : 1)) std::abort();
        if (rx_flag == 1) UnpackRunFrame(pp);
    }
    FlushInQ(com);
    loop_mode = LOOP_IDLE;
    rx_flag = 0;
    graphrefresh = 0;
    return 0;
}
