// Array files: numbers written as text columns, replaced atomically; read back separated
// by any white space.
#include "formatio.h"

#include "trace.h"
#include "userint.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool ElementText(const void *array, int dataType, int index, char *out, size_t size) {
    switch (dataType) {
    case VAL_UNSIGNED_SHORT_INTEGER:
        std::snprintf(out, size, "%u", unsigned(static_cast<const unsigned short *>(array)[index]));
        return true;
    case VAL_SHORT_INTEGER:
        std::snprintf(out, size, "%d", int(static_cast<const short *>(array)[index]));
        return true;
    case VAL_UNSIGNED_INTEGER:
        std::snprintf(out, size, "%u", static_cast<const unsigned *>(array)[index]);
        return true;
    case VAL_INTEGER:
        std::snprintf(out, size, "%d", static_cast<const int *>(array)[index]);
        return true;
    case VAL_DOUBLE:
        std::snprintf(out, size, "%.10g", static_cast<const double *>(array)[index]);
        return true;
    default:
        return false;
    }
}

// An integer token: decimal, or a number in floating-point form (e.g. "1.2e3") taken
// toward zero. A value beyond the 64-bit range, or a non-finite one, is not a number here:
// cutting it down would store a value the file never held.
bool IntegerToken(const char *token, long long *value) {
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(token, &end, 10);
    if (end != token && *end == '\0') {
        if (errno == ERANGE) return false;
        *value = v;
        return true;
    }
    errno = 0;
    const double d = std::strtod(token, &end);
    if (end == token || *end != '\0' || errno == ERANGE || !std::isfinite(d)) return false;
    // 2^63 is exactly representable; every double below it converts without overflow.
    constexpr double kLimit = 9223372036854775808.0;
    if (d >= kLimit || d < -kLimit) return false;
    *value = static_cast<long long>(d);
    return true;
}

bool StoreElement(void *array, int dataType, int index, const char *token) {
    switch (dataType) {
    case VAL_UNSIGNED_SHORT_INTEGER:
    case VAL_SHORT_INTEGER:
    case VAL_UNSIGNED_INTEGER:
    case VAL_INTEGER: {
        long long v = 0;
        if (!IntegerToken(token, &v)) return false;
        // Narrower types keep the low bits of the number (a parameter word is its low 16).
        if (dataType == VAL_UNSIGNED_SHORT_INTEGER) static_cast<unsigned short *>(array)[index] = static_cast<unsigned short>(v);
        else if (dataType == VAL_SHORT_INTEGER) static_cast<short *>(array)[index] = static_cast<short>(v);
        else if (dataType == VAL_UNSIGNED_INTEGER) static_cast<unsigned *>(array)[index] = static_cast<unsigned>(v);
        else static_cast<int *>(array)[index] = static_cast<int>(v);
        return true;
    }
    case VAL_DOUBLE: {
        char *end = nullptr;
        errno = 0;
        const double d = std::strtod(token, &end);
        if (end == token || *end != '\0') return false;
        if (errno == ERANGE && std::isinf(d)) return false; // beyond the double range
        static_cast<double *>(array)[index] = d;
        return true;
    }
    default:
        return false;
    }
}

// The file's bytes, at most `limit`: read as they come, in pieces of the file's own size
// (a device or pipe, which has none, in small ones), so that a small file costs only its
// own size and a device or pipe given as a file ends at the limit.
QByteArray ReadAtMost(QFile &in, qint64 limit) {
    constexpr qint64 kMinChunk = 4 * 1024, kMaxChunk = 64 * 1024;
    const qint64 piece = std::clamp(in.size(), kMinChunk, kMaxChunk);
    QByteArray bytes;
    while (bytes.size() < limit) {
        const QByteArray chunk = in.read(std::min(piece, limit - qint64(bytes.size())));
        if (chunk.isEmpty()) break;
        bytes += chunk;
    }
    return bytes;
}

} // namespace

int ArrayToFile(const char *fileName, const void *array, int dataType, int count, int groups,
                int arrayOrder, int fileLayout, int colSepStyle, int fieldWidth, int fileType,
                int fileAction) {
    if (!fileName || !*fileName || !array || count < 0 || groups < 1 || count % groups != 0 ||
        fileType != VAL_ASCII || fileAction != VAL_TRUNCATE)
        return -1;
    const int perGroup = count / groups;
    // Element of group g at position i, for either order of the groups in the array.
    auto at = [&](int g, int i) {
        return arrayOrder == VAL_DATA_MULTIPLEXED ? i * groups + g : g * perGroup + i;
    };
    const int lines = fileLayout == VAL_GROUPS_AS_ROWS ? groups : perGroup;
    const int columns = fileLayout == VAL_GROUPS_AS_ROWS ? perGroup : groups;
    std::string text;
    text.reserve(size_t(count) * 8);
    char cell[64];
    for (int line = 0; line < lines; line++) {
        for (int col = 0; col < columns; col++) {
            int g = fileLayout == VAL_GROUPS_AS_ROWS ? line : col;
            int i = fileLayout == VAL_GROUPS_AS_ROWS ? col : line;
            if (!ElementText(array, dataType, at(g, i), cell, sizeof cell)) return -1;
            if (colSepStyle == VAL_CONST_WIDTH) {
                char padded[80];
                std::snprintf(padded, sizeof padded, "%*s", fieldWidth > 0 ? fieldWidth : 0, cell);
                text += padded;
            } else {
                if (col > 0) text += colSepStyle == VAL_SEP_BY_TAB ? '\t' : ',';
                text += cell;
            }
        }
        text += '\n';
    }
    // Written beside the target and renamed over it: a crash or a full disk never leaves a
    // torn file, and a failed write leaves the old file as it was.
    QSaveFile out(QString::fromLocal8Bit(fileName));
    if (!out.open(QIODevice::WriteOnly)) {
        TraceLine("file-write-failed", fileName);
        return -1;
    }
    // The flush reports a refused write (full disk, size limit) that commit alone would
    // miss; without it a short file could still be renamed over the good one.
    if (out.write(text.data(), qint64(text.size())) != qint64(text.size()) || !out.flush()) {
        out.cancelWriting();
        TraceLine("file-write-failed", fileName);
        return -1;
    }
    if (!out.commit()) {
        TraceLine("file-write-failed", fileName);
        return -1;
    }
    TraceLine("file-write", fileName);
    return 0;
}

int FileToArray(const char *fileName, void *array, int dataType, int count, int groups,
                int arrayOrder, int fileLayout, int fileType) {
    (void)fileLayout;
    if (!fileName || !array || count < 0 || groups < 1 || fileType != VAL_ASCII) return -1;
    QFile in(QString::fromLocal8Bit(fileName));
    if (!in.open(QIODevice::ReadOnly)) {
        TraceLine("file-read-failed", fileName);
        return -1;
    }
    // Parameter and profile files are a few kilobytes; anything far larger is not ours.
    constexpr qint64 kMaxBytes = 16 * 1024 * 1024;
    const QByteArray bytes = ReadAtMost(in, kMaxBytes);
    TraceLine("file-read", fileName);
    const int perGroup = count / groups;
    int stored = 0;
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    char token[64];
    while (p < end && stored < count) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ',' ||
                           *p == '\v' || *p == '\f'))
            p++;
        if (p >= end) break;
        size_t n = 0;
        bool tooLong = false;
        while (p < end && !(*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ',' ||
                            *p == '\v' || *p == '\f')) {
            if (n + 1 < sizeof token) token[n++] = *p;
            else tooLong = true;
            p++;
        }
        token[n] = '\0';
        // A token longer than any number written here is no number: read no further.
        if (tooLong) break;
        // Numbers are read in file order: line by line, one value of each group per line.
        int line = stored / groups, g = stored % groups;
        int index = arrayOrder == VAL_DATA_MULTIPLEXED ? stored : g * perGroup + line;
        if (groups == 1) index = stored;
        if (!StoreElement(array, dataType, index, token)) break; // not a number: stop here
        stored++;
    }
    return stored;
}
