#include "shell.h"

#include <cstring>

char proj_dir[MAX_PATHNAME_LEN] = {};
char szSoftVersion[72] = {};
char szSoftName[72] = {};

void CopyText(char *dst, int size, const char *src) {
    if (!dst || size <= 0) return;
    if (!src) src = "";
    std::strncpy(dst, src, size_t(size) - 1);
    dst[size - 1] = '\0';
}
