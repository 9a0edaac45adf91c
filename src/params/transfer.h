// GET and SEND of the parameter frame (sensor RAM, EEPROM or a parameter file), the
// memory-target radio buttons, TEACH and RESET.
#pragma once

#include "params.h"

// GET for a memory target: RAM and EEPROM read the sensor's frame into the parameter
// words; DATFILE sends nothing. In every case the words are then shown on the panels and
// the status text in the status line.
void PushGET(int memoryTarget);

// Reads the sensor's RAM or EEPROM frame (command 2 or 4) into `words` without touching
// the parameter words, pp or the panels: 1 when the reply arrived, 0 on time-out (status
// "Timeout-RS-232...") or when the port was re-opened meanwhile. The service tools' read.
int ReadParaFrame(int memoryTarget, unsigned short words[PNUM]);
// SEND to RAM or EEPROM: the panels into the words, the words to the sensor (no reply
// comes). 1 when the whole frame was written ("Line Ok!").
int SendParaFrame(int memoryTarget);

// Memory target RAM in `target` and on the radio buttons (start of RUN and VIDEO, and
// every probe), so that what the buttons show is what the next GET or SEND uses.
void SelectRamTarget(void);

// Main-panel controls.
int CC_BTNGet(int panel, int control, int event, void *data, int e1, int e2);
int CC_BTNSend(int panel, int control, int event, void *data, int e1, int e2);
int CC_RBTRam(int panel, int control, int event, void *data, int e1, int e2);
int CC_RBTEeprom(int panel, int control, int event, void *data, int e1, int e2);
int CC_RBTFile(int panel, int control, int event, void *data, int e1, int e2);
// Parameter-panel buttons.
int CC_ButtonTeach(int panel, int control, int event, void *data, int e1, int e2);
int CC_ButtonReset(int panel, int control, int event, void *data, int e1, int e2);

// Registers the callbacks above.
void BindTransferCallbacks(void);
