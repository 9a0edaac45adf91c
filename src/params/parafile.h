// Parameter files (*.cfg): the sixteen packet words, one per line, field width 6.
#pragma once

#include "params.h"
#include "userint.h"

// Path of the last parameter file chosen in either dialog.
extern char file_name[MAX_PATHNAME_LEN];

// Save dialog for SEND to a file; > 0 when a file was chosen into file_name.
int SelectParaFileForSave(void);
// Reads the panels into the words and writes them to file_name. A failed write leaves
// the old file as it was and says so in the status line.
void SendParaToFile(void);
// The sixteen words of a parameter file by path, without dialog or status text: 16 when
// the file holds a whole set (then in words), fewer when it is incomplete (words
// unchanged), negative when it cannot be read. Also for the service tools.
int ReadParaFileWords(const char *path, unsigned short words[PNUM]);
// Writes the sixteen words as a parameter file, replacing it as a whole or not at all;
// negative on failure.
int WriteParaFileWords(const char *path, const unsigned short words[PNUM]);
// Load dialog; a chosen file that holds all sixteen numbers becomes the parameter words.
// A file that cannot be read or holds fewer numbers changes no word and says so in the
// status line.
void ReadParaFromFile(void);
