// The hardware description (reply to command 10) as its exchange takes it: the reply waits
// in the port's input queue (a real pseudo-terminal), the receive callback takes the frame
// in, and the exchange's second half reads the description and adapts the panels, axes,
// pixel range and curve positions to it. (The exchange's request and wait add only the
// round trip, which the link tests cover; the curves drawn on the adapted graphs are the
// VIDEO cycle's, fuzzed in fuzz_video_blocks.)
//   bytes 0..35  the reply frame (a shorter one is padded with zeros: a short reply only
//                times out, which the link tests cover)
//   bytes 36..   bytes that follow the frame on the line
#include "com232.h"
#include "devinfo.h"
#include "fuzz_program.h"
#include "rs232.h"
#include "userint_readback.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Bytes reply(data, data + std::min(size, fuzz::kMaxLineBytes));
    if (reply.size() < size_t(RX_FRAME_LEN)) reply.resize(RX_FRAME_LEN, 0);
    rx_flag = 0;
    fuzz::PutOnLine(reply.data(), reply.size());
    RX_Receive_Function(com, LWRS_RECEIVE | LWRS_RXFLAG, nullptr);
    if (rx_flag != 1) std::abort(); // a whole frame waited
    const int taken = TakeHardwareInfo();
    if (taken != (ReplyEchoWord() == CMD_HARDWARE ? 1 : 0)) std::abort();
    FlushInQ(com);
    rx_flag = 0;
    graphrefresh = 0;
    return 0;
}
