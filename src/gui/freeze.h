// The reference profile (frozen from the live profile and kept in the profile file) and
// the record file of reference and live profile.
#pragma once

// Profile file, ASCII, replaced as a whole on every freeze: PROFILE_FILE_VALUES lines, each
// one unsigned decimal integer in a field PROFILE_FILE_FIELD characters wide:
//   lines 1..256  reference samples thdArray[0..255], each at least 1
//   line  257     videoMax at the time of the freeze
// Start-up reads the same 257 values back.
enum { PROFILE_FILE_VALUES = 257, PROFILE_FILE_FIELD = 6 };

// Record file, ASCII, replaced as a whole on every save: 256 lines "reference<TAB>live",
// reference sample i (thdArray) and live sample i (adcbuf), no header line.
enum { RECORD_FILE_LINES = 256, RECORD_FILE_GROUPS = 2 };

// Freezes the live profile as the reference, writes the profile file and redraws.
int CC_BTNFreezeProfile(int panel, int control, int event, void *data, int e1, int e2);
// Chooses the record file.
int CC_BTNRecfile(int panel, int control, int event, void *data, int e1, int e2);
// Writes reference and live profile to the record file.
int CC_BTNSaveJetProfile(int panel, int control, int event, void *data, int e1, int e2);
