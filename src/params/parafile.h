// Parameter files (*.cfg): the sixteen packet words, one per line, field width 6.
#pragma once

#include "userint.h"

// Path of the last parameter file chosen in either dialog.
extern char file_name[MAX_PATHNAME_LEN];

// Save dialog for SEND to a file; > 0 when a file was chosen into file_name.
int SelectParaFileForSave(void);
// Reads the panels into the words and writes them to file_name. A failed write leaves
// the old file as it was and says so in the status line.
void SendParaToFile(void);
// Load dialog; a chosen file that holds all sixteen numbers becomes the parameter words.
// A file that cannot be read or holds fewer numbers changes no word and says so in the
// status line.
void ReadParaFromFile(void);
