// The simulated sensor's scenario file, and a model made from whatever it accepted: every
// command answered once, the profile and the firmware text.
//   bytes 0..  the scenario file
#include "fuzz_program.h"
#include "sim.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz::WorkDir() + "/scenario.txt";
    if (!fuzz::WriteFile(path, data, size)) return 0;
    SimSettings s;
    std::string error;
    if (!LoadSimScenario(s, path, &error)) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    SimModel model(s);
    for (int command = 1; command < kSimCommandCount; command++) {
        uint8_t request[kSimRequestLen] = {0x00, 0x55, 0x00, uint8_t(command)};
        request[5] = uint8_t(command * 64); // block start word 0, 64, 128, 192, ...
        model.Answer(request);
    }
    if (model.FirmwareBytes().size() != size_t(kSimFirmwareLen)) std::abort();
    if (model.Profile(model.scan).size() != size_t(kSimProfileLen)) std::abort();
    return 0;
}
