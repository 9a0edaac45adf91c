// Freezing the reference profile, and the record file.
#include "freeze.h"

#include "com232.h"
#include "devinfo.h"
#include "formatio.h"
#include "gui_state.h"
#include "kvor_panels.h"
#include "plots.h"
#include "processing.h"
#include "shell.h"
#include "userint.h"
#include "utility.h"

namespace {

// Tells the operator that `path` could not be written. The whole path is named when the
// text fits the status line's buffer, otherwise the file's own name.
void ReportWriteFailure(const char *path) {
    static const char kPrefix[] = "Cannot write file ";
    const char *name = path;
    for (const char *p = path; *p != '\0'; p++)
        if (*p == '/' || *p == '\\') name = p + 1;
    int pathLen = 0;
    while (path[pathLen] != '\0') pathLen++;
    const char *shown = (int)sizeof kPrefix - 1 + pathLen + 1 < STATUS_LEN ? path : name;

    char text[STATUS_LEN];
    int n = 0;
    for (const char *p = kPrefix; *p != '\0' && n < STATUS_LEN - 2; p++) text[n++] = *p;
    for (const char *p = shown; *p != '\0' && n < STATUS_LEN - 2; p++) text[n++] = *p;
    text[n++] = '!';
    text[n] = '\0';
    SetStatus(text);
    ShowStatus();
}

} // namespace

int CC_BTNFreezeProfile(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;

    for (int i = 0; i < PROFILE_LEN; i++) thdArray[i] = adcbuf[i];
    // The live profile was smoothed by its VIDEO cycle already; the reference is smoothed
    // once more.
    SmoothCurve(thdArray);
    // videoMax becomes the larger of its previous value and the largest reference sample.
    // No reference sample may be 0: the jet curve divides by it.
    for (int i = 0; i < PROFILE_LEN; i++) {
        if (thdArray[i] > videoMax) videoMax = thdArray[i];
        if (thdArray[i] == 0) thdArray[i] = 1;
    }
    thdArray[PROFILE_LEN] = videoMax;
    SetCtrlVal(pHandle, MAINPANEL_NUMVideoMax, videoMax);

    // The file is replaced as a whole or not at all, so a failed write keeps the previous
    // reference on disk; the new one is in use all the same.
    if (ArrayToFile(freece_fname, thdArray, VAL_UNSIGNED_SHORT_INTEGER, PROFILE_FILE_VALUES, 1,
                    VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH,
                    PROFILE_FILE_FIELD, VAL_ASCII, VAL_TRUNCATE) < 0)
        ReportWriteFailure(freece_fname);

    PlotVIDEOCurve(adcbuf, thdArray, xArray8);
    return 0;
}

int CC_BTNRecfile(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;

    // The dialog's answer goes to a buffer of its own: rec_fname changes only once the
    // choice stands, so a declined overwrite keeps the previous record file.
    char chosen[MAX_PATHNAME_LEN] = "";
    const int result = FileSelectPopup(proj_dir, "RECORD.DAT", "*.dat", "K-VOR-RUR Recorder-File:",
                                       VAL_OK_BUTTON, 0, 1, 1, 1, chosen);
    if (result == VAL_EXISTING_FILE_SELECTED) {
        if (ConfirmPopup("ATTENTION!", "Output-File already exist! - Overwrite ?") == 0) return 0;
        CVI_DeleteFile(chosen);
    } else if (result != VAL_NEW_FILE_SELECTED) {
        return 0; // cancelled, or the dialog failed
    }
    CopyText(rec_fname, MAX_PATHNAME_LEN, chosen);
    ResetTextBox(pJet, JETPANEL_TEXTBOXRecfile, rec_fname);
    return 0;
}

int CC_BTNSaveJetProfile(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;

    // Group 1 the reference, group 2 the live profile; written as two columns.
    static unsigned short record[RECORD_FILE_GROUPS * PROFILE_LEN];
    for (int i = 0; i < PROFILE_LEN; i++) {
        record[i] = thdArray[i];
        record[PROFILE_LEN + i] = adcbuf[i];
    }
    if (ArrayToFile(rec_fname, record, VAL_UNSIGNED_SHORT_INTEGER, RECORD_FILE_GROUPS * PROFILE_LEN,
                    RECORD_FILE_GROUPS, VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_SEP_BY_TAB,
                    PROFILE_FILE_FIELD, VAL_ASCII, VAL_TRUNCATE) < 0)
        ReportWriteFailure(rec_fname);
    return 0;
}
