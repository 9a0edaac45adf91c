// Array files: numeric arrays written to and read from text files.
#pragma once

enum { VAL_GROUPS_TOGETHER = 0, VAL_DATA_MULTIPLEXED = 1 };
enum { VAL_GROUPS_AS_COLUMNS = 0, VAL_GROUPS_AS_ROWS = 1 };
enum { VAL_CONST_WIDTH = 0, VAL_SEP_BY_COMMA = 1, VAL_SEP_BY_TAB = 2 };
enum { VAL_ASCII = 0, VAL_BINARY = 1 };
enum { VAL_TRUNCATE = 0, VAL_APPEND = 1 };

// Writes `count` numbers of `dataType` (VAL_UNSIGNED_SHORT_INTEGER, VAL_UNSIGNED_INTEGER,
// VAL_INTEGER, VAL_SHORT_INTEGER, VAL_DOUBLE) as `groups` groups. With groups as columns,
// line i holds element i of every group. The file is replaced atomically: a crash never
// leaves a torn file. Returns 0, or a negative code when nothing was written.
int ArrayToFile(const char *fileName, const void *array, int dataType, int count, int groups,
                int arrayOrder, int fileLayout, int colSepStyle, int fieldWidth, int fileType,
                int fileAction);
// Reads up to `count` numbers separated by any white space (at most the first 16 MB of the
// file; a token that is no number, or a number beyond the 64-bit range, ends the reading).
// Returns the count read
// (0 .. count), or a negative code when the file cannot be opened. Elements past the
// count read are left as they were.
int FileToArray(const char *fileName, void *array, int dataType, int count, int groups,
                int arrayOrder, int fileLayout, int fileType);
