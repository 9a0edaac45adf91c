// The sensor's parameter set: sixteen unsigned 16-bit words kept in `parameter`, moved as a
// whole through the 16-word packet `pp` (payload of every frame).
#pragma once

constexpr int PNUM = 16;                // words in a frame's payload
enum { RAM = 1, EEPROM = 2, DATFILE = 3 }; // memory targets of GET and SEND

// parameter[0] sync word 0x55, [1] command word of the latest exchange, [2] always 0,
// [3 + i] packet word i.
constexpr int PARAM_HEADER = 3;
constexpr int PARAM_WORDS = PARAM_HEADER + PNUM;
extern unsigned short parameter[PARAM_WORDS];
extern unsigned short pp[PNUM];
extern int target;

// Packet indices of the sixteen words.
constexpr int PW_power = 0;
constexpr int PW_rs232Mode = 1;
constexpr int PW_videoThreshold = 2;
constexpr int PW_anaMode = 3;
constexpr int PW_polarity = 4;
constexpr int PW_evalMode = 5;
constexpr int PW_edgeLeft = 6;
constexpr int PW_edgeRight = 7;
constexpr int PW_setpoint = 8;
constexpr int PW_tolerance = 9;
constexpr int PW_opMode = 10;
constexpr int PW_hardwareMode = 11;
constexpr int PW_spare12 = 12;
constexpr int PW_spare13 = 13;
constexpr int PW_average = 14;
constexpr int PW_tolDelta = 15;

// The words by name.
inline unsigned short &power = parameter[PARAM_HEADER + PW_power];
inline unsigned short &rs232Mode = parameter[PARAM_HEADER + PW_rs232Mode];
inline unsigned short &videoThreshold = parameter[PARAM_HEADER + PW_videoThreshold];
inline unsigned short &anaMode = parameter[PARAM_HEADER + PW_anaMode];
inline unsigned short &polarity = parameter[PARAM_HEADER + PW_polarity];
inline unsigned short &evalMode = parameter[PARAM_HEADER + PW_evalMode];
inline unsigned short &edgeLeft = parameter[PARAM_HEADER + PW_edgeLeft];
inline unsigned short &edgeRight = parameter[PARAM_HEADER + PW_edgeRight];
inline unsigned short &setpoint = parameter[PARAM_HEADER + PW_setpoint];
inline unsigned short &tolerance = parameter[PARAM_HEADER + PW_tolerance];
inline unsigned short &opMode = parameter[PARAM_HEADER + PW_opMode];
inline unsigned short &hardwareMode = parameter[PARAM_HEADER + PW_hardwareMode];
inline unsigned short &spare12 = parameter[PARAM_HEADER + PW_spare12];
inline unsigned short &spare13 = parameter[PARAM_HEADER + PW_spare13];
inline unsigned short &average = parameter[PARAM_HEADER + PW_average];
inline unsigned short &tolDelta = parameter[PARAM_HEADER + PW_tolDelta];

// Packet word i <-> parameter word i, for all sixteen.
void CopyVarsToPP(void);
void CopyPPtoVars(void);

// Start-up values: words 0..9, 11 and 15 from the table of start-up values, the header
// (sync 0x55, command 1, 0) and target RAM. Words 10, 12, 13, 14 are left as they are.
void SetParameterDefaults(void);
