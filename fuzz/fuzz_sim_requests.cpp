// The simulated sensor's request parser (sync search, frame extraction, every command) with
// one fault in force, fed the bytes directly.
//   line 1     a fault as the fault parser reads it ("cut=20@8x1"); an unknown one: none
//   byte after its newline  split point: the rest arrives in two parts, the first this long
//   the rest   the bytes from the line
#include "sim.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t *nl = static_cast<const uint8_t *>(std::memchr(data, '\n', size < 64 ? size : 64));
    size_t at = 0;
    SimSettings s;
    s.paced = false; // nothing to pace for: the replies go nowhere
    if (nl) {
        SimFault f;
        std::string error;
        if (ParseSimFault(std::string(reinterpret_cast<const char *>(data), size_t(nl - data)), &f,
                          &error))
            s.faults.push_back(f);
        at = size_t(nl - data) + 1;
    }
    if (at >= size) return 0;
    const size_t split = data[at++];
    SimSensor sim(s); // not started: no pseudo-terminal
    const size_t rest = size - at;
    const size_t first = split < rest ? split : rest;
    sim.TakeBytes(data + at, int(first));
    sim.TakeBytes(data + at + first, int(rest - first));
    return 0;
}
