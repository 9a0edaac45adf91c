// Parameter files: one set of the sixteen parameter words kept on the PC.
//
// File layout (text, one group written as one column):
//   line i (i = 0..15)  packet word i as an unsigned decimal number, field width 6
// The reader takes sixteen numbers separated by any white space; of each number the low
// 16 bits become the word.
#include "parafile.h"

#include "com232.h"
#include "formatio.h"
#include "params.h"
#include "parapanels.h"
#include "shell.h"
#include "userint.h"

char file_name[MAX_PATHNAME_LEN] = {};

namespace {

constexpr int kFieldWidth = 6;
constexpr int kOneGroup = 1;

// The file's own name, without its folder, for status texts.
const char *BaseName(const char *path) {
    const char *base = path;
    for (const char *p = path; *p != '\0'; p++)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

// "<prefix><file's name><suffix>" into szStatus, shown in the status line.
void FileStatus(const char *prefix, const char *path, const char *suffix) {
    char text[STATUS_LEN];
    int n = 0;
    const char *parts[] = {prefix, BaseName(path), suffix};
    for (const char *part : parts)
        for (const char *p = part; *p != '\0' && n < STATUS_LEN - 1; p++)
            text[n++] = *p;
    text[n] = '\0';
    SetStatus(text);
    ShowStatus();
}

// A dialog's result: > 0 with a terminated, non-empty path in file_name lets the operation
// go on. The dialog refuses a path longer than file_name holds instead of cutting it; that
// and any other failed dialog is told in the status line, and no file is used.
bool DialogChoseUsableFile(int result) {
    bool terminated = false;
    for (int i = 0; i < MAX_PATHNAME_LEN && !terminated; i++)
        terminated = file_name[i] == '\0';
    if (!terminated) {
        file_name[0] = '\0';
        result = VAL_PATH_TOO_LONG;
    }
    if (result > 0) return file_name[0] != '\0';
    if (result == VAL_PATH_TOO_LONG) {
        SetStatus("File path too long - no file used!");
        ShowStatus();
    } else if (result < 0) {
        SetStatus("File dialog failed - no file used!");
        ShowStatus();
    }
    return false;
}

} // namespace

int SelectParaFileForSave(void) {
    const int result =
        FileSelectPopup(proj_dir, "KVORJETpara.cfg", "*.cfg", "K-VOR-RUR-Series Parameter File",
                        VAL_OK_BUTTON, 0, 1, 1, 1, file_name);
    return DialogChoseUsableFile(result) ? result : 0;
}

int WriteParaFileWords(const char *path, const unsigned short words[PNUM]) {
    unsigned int values[PNUM];
    for (int i = 0; i < PNUM; i++)
        values[i] = words[i];
    // The file is replaced as a whole or not at all: a failed write leaves the old one.
    return ArrayToFile(path, values, VAL_UNSIGNED_INTEGER, PNUM, kOneGroup, VAL_GROUPS_TOGETHER,
                       VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, kFieldWidth, VAL_ASCII,
                       VAL_TRUNCATE);
}

void SendParaToFile(void) {
    GetPAValues();
    CopyVarsToPP();
    if (WriteParaFileWords(file_name, pp) < 0)
        FileStatus("Cannot write parameter file ", file_name, "!");
}

int ReadParaFileWords(const char *path, unsigned short words[PNUM]) {
    unsigned int values[PNUM] = {};
    const int count = FileToArray(path, values, VAL_UNSIGNED_INTEGER, PNUM, kOneGroup,
                                  VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    // Only a whole set replaces the words: a partial one would mix two configurations.
    if (count < PNUM) return count;
    for (int i = 0; i < PNUM; i++)
        words[i] = static_cast<unsigned short>(values[i] & 0xFFFFu);
    return count;
}

void ReadParaFromFile(void) {
    const int result =
        FileSelectPopup(proj_dir, "KVORpara.cfg", "*.cfg", "K-VOR-RUR-Parameter-File",
                        VAL_LOAD_BUTTON, 0, 1, 1, 1, file_name);
    if (!DialogChoseUsableFile(result)) return;

    const int count = ReadParaFileWords(file_name, pp);
    if (count < 0) {
        FileStatus("Cannot read parameter file ", file_name, "!");
        return;
    }
    if (count < PNUM) {
        FileStatus("Incomplete parameter file ", file_name, " - not loaded!");
        return;
    }
    CopyPPtoVars();
}
