// GET from a parameter file: the file dialog's answer is the fuzzed file (in memory), and
// the words it holds reach the panels and the bar graph. A file without
// sixteen numbers must change no word.
//   bytes 0..  the file
#include "fuzz_program.h"
#include "kvor_panels.h"
#include "params.h"
#include "transfer.h"
#include "userint_readback.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz::WorkDir() + "/para.cfg";
    if (!fuzz::WriteFile(path, data, size)) return 0;
    // Each GET puts its grey wipe and band on top of what the bar graph holds; a VIDEO cycle
    // clears it. Cleared here too, so that every input starts from the same graph.
    DeleteGraphPlot(pHandle, MAINPANEL_GRAPHBar, -1, VAL_DELAYED_DRAW);
    target = DATFILE;
    QueueFileSelectAnswer(VAL_EXISTING_FILE_SELECTED, path.c_str());
    SimulateCtrlEvent(pHandle, MAINPANEL_BTNGet, EVENT_COMMIT, 0, 0);
    if (PendingPopupAnswers() != 0) std::abort(); // the GET asked for its file
    return 0;
}
