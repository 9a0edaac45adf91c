// The hardware description (reply to command 10) through the real exchange and the
// adaptation of the panels, pixel range and curve positions that follows it; then the
// curves are drawn on the adapted graphs.
//   bytes 0..35  the reply frame (a shorter one is padded with zeros: a short reply only
//                times out, which the link tests cover)
//   bytes 36..   bytes that follow the frame on the line
#include "com232.h"
#include "devinfo.h"
#include "fuzz_program.h"
#include "plots.h"
#include "processing.h"
#include "userint_readback.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Bytes reply(data, data + std::min(size, fuzz::kMaxLineBytes));
    if (reply.size() < size_t(RX_FRAME_LEN)) reply.resize(RX_FRAME_LEN, 0);
    fuzz::ForgetAnswers();
    fuzz::AnswerNext(CMD_HARDWARE, reply);
    GetHARDWAREInfo();
    PlotVIDEOCurve(adcbuf, thdArray, xArray8);
    PlotJETCurve(dArray, xArray8);
    PlotRAWGraphX8();
    PlotVIDEOBarGraph();
    ProcessSystemEvents(); // the queued repaints
    return 0;
}
