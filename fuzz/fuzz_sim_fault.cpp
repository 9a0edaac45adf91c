// The simulated sensor's fault parser and its option parser (the command line's and the
// scenario file's "name = value").
//   bytes 0..  text; up to the first '=' or NUL the option's name, after it its value; the
//              whole text is also read as a fault
#include "sim.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    SimFault f;
    std::string error;
    if (ParseSimFault(text, &f, &error)) {
        if (f.n < 0 || f.n > 65535 || f.command < 0 || f.command >= kSimCommandCount) std::abort();
        if (f.times == 0 || f.times > 1000000) std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    const size_t sep = text.find_first_of(std::string("=\0", 2));
    SimSettings s;
    ApplySimOption(s, text.substr(0, sep), sep == std::string::npos ? "" : text.substr(sep + 1),
                   &error);
    return 0;
}
