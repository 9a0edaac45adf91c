// The firmware text (reply to command 7) in both forms, as the firmware exchange takes apart
// what it read from the queue after its wait: the bytes land in the read buffer, at most a
// buffer's worth, and go to the same function the exchange calls. (The exchange's waits end
// only on a quiet line, two milliseconds at the least; the link tests cover them.)
//   byte 0   board type: even values give 0 (the text in word form), odd ones the value
//            itself (plain text)
//   bytes 1.. the answer; one shorter than 72 bytes is padded with zeros to 72, as a short
//            answer would only time out; a longer one is too long and changes no text
#include "com232.h"
#include "devinfo.h"
#include "fuzz_program.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    pcbtype = (data[0] & 1) ? data[0] : 0;
    const size_t waiting = std::max(size - 1, size_t(FIRMWARE_TEXT_LEN));
    const int count = int(std::min(waiting, size_t(IO_BUF_LEN)));
    std::memset(szReadBuf, 0, size_t(count));
    std::memcpy(szReadBuf, data + 1, std::min(size - 1, size_t(count)));
    std::memset(szVersion, 'x', sizeof szVersion); // a text not terminated, from before
    TakeFirmwareText(szReadBuf, count);
    // Both texts stay terminated inside their buffers; a text of another length is none.
    if (memchr(szStatus, '\0', sizeof szStatus) == nullptr) std::abort();
    if (memchr(szVersion, '\0', sizeof szVersion) == nullptr) std::abort();
    if (count != FIRMWARE_TEXT_LEN && szVersion[0] != '\0') std::abort();
    return 0;
}
