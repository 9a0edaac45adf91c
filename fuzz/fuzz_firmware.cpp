// The firmware text (reply to command 7) in both forms, through the real exchange: the
// request goes out on the pseudo-terminal and the scripted sensor answers with the bytes.
//   byte 0   board type: even values give 0 (the text in word form), odd ones the value
//            itself (plain text)
//   bytes 1.. the answer; one shorter than 72 bytes is padded with zeros to 72 (a short
//            answer only times out, which the link tests cover)
#include "com232.h"
#include "devinfo.h"
#include "fuzz_program.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    pcbtype = (data[0] & 1) ? data[0] : 0;
    fuzz::Bytes reply(data + 1, data + std::min(size, fuzz::kMaxLineBytes));
    if (reply.size() < size_t(FIRMWARE_TEXT_LEN)) reply.resize(FIRMWARE_TEXT_LEN, 0);
    fuzz::ForgetAnswers();
    fuzz::AnswerNext(CMD_FIRMWARE, reply);
    GetVERSIONInfo();
    // Both texts stay terminated inside their buffers.
    if (memchr(szStatus, '\0', sizeof szStatus) == nullptr) std::abort();
    if (memchr(szVersion, '\0', sizeof szVersion) == nullptr) std::abort();
    return 0;
}
