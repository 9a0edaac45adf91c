// Program-wide texts of the application shell.
#pragma once

#include "userint.h"

extern char proj_dir[MAX_PATHNAME_LEN];  // the program's folder (GetProjectDir)
extern char szSoftVersion[72];           // "Version 1.00"
extern char szSoftName[72];              // "K-VOR-RUR-Glint"

// Copies text into a fixed buffer of `size` bytes, always terminated.
void CopyText(char *dst, int size, const char *src);
