// The program's launch options. The arguments are the input split at NUL bytes (at most
// 16); --port assigns devices in the port table, which is emptied again after each input.
#include "launchopts.h"
#include "rs232.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() <= 16; i++) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    LaunchOptions options;
    std::string error;
    bool usage = false;
    const int status = ReadLaunchOptions(args, &options, &error, &usage);
    if (status != 0 && (status != 2 || error.empty())) std::abort();
    for (int port = 1; port <= kMaxPortNumber; port++) AssignPortDevice(port, "");
    return 0;
}
