// The profile file read at start-up (the panels' set-up that loads it, on the fuzzed
// FREEZE.DAT in the program's folder). A file that does not hold exactly 257 numbers must
// leave the reference profile as it was.
//   bytes 0..  the file
#include "com232.h"
#include "fuzz_program.h"
#include "processing.h"
#include "shell.h"
#include "winmain.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = std::string(proj_dir) + "/FREEZE.DAT";
    if (!fuzz::WriteFile(path, data, size)) return 0;
    unsigned short before[PROFILE_LEN + 1];
    std::memcpy(before, thdArray, sizeof before);
    InitGUI();
    if (ret != PROFILE_LEN + 1 && std::memcmp(before, thdArray, sizeof before) != 0) std::abort();
    return 0;
}
