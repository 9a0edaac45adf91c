// GET and SEND of the parameter frame (sensor RAM, EEPROM or a parameter file), the
// memory-target radio buttons, TEACH and RESET.
#pragma once

// GET for a memory target: RAM and EEPROM read the sensor's frame into the parameter
// words; DATFILE sends nothing. In every case the words are then shown on the panels and
// the status text in the status line.
void PushGET(int memoryTarget);

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
