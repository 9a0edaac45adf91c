// The profile file read at start-up (LoadProfileFile, as the panels' set-up calls it, on the
// fuzzed FREEZE.DAT in the program's folder, which is in memory). A file that does not hold
// exactly 257 numbers must leave the reference profile as it was.
//   bytes 0..  the file
#include "com232.h"
#include "fuzz_program.h"
#include "gui_state.h"
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
    if (!fuzz::WriteFile(freece_fname, data, size)) return 0;
    unsigned short before[PROFILE_LEN + 1];
    std::memcpy(before, thdArray, sizeof before);
    LoadProfileFile();
    if (ret != PROFILE_LEN + 1 && std::memcmp(before, thdArray, sizeof before) != 0) std::abort();
    return 0;
}
