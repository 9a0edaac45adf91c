// RUN mode: raw measurement frames requested one after the other and shown on the bar
// graph and the strip chart; the raw frame request that VIDEO shares; the STOP button.
#pragma once

// Raw measurement frame: the reply to command 8 (CMD_RAW_FRAME), a standard reply frame
// whose 16 payload words the receive callback leaves in pp.
//   word  0  Ledge        left edge, sub-pixel units          (RUN only)
//   word  1  Redge        right edge, sub-pixel units         (RUN only)
//   word  2  Mvalue       measured value                      (RUN only)
//   word  3  umValue      low half of a 32-bit value
//   word  4  umValue      high half
//   word  5  setpoint     the sensor's setpoint; overwrites the parameter word
//   word  6  tolerance    the sensor's tolerance; overwrites the parameter word
//   word  7  edcnt        edges found by the sensor
//   word  8  mvstart      start of the measured section
//   word  9  mvend        end of the measured section
//   word 10  dynpow
//   word 11  anaMax       analog output maximum
//   word 12  anaMin       analog output minimum
//   word 13  in0
//   word 14  trk_flag     (VIDEO only)
//   word 15  not used
enum {
    RAW_Ledge = 0,
    RAW_Redge = 1,
    RAW_Mvalue = 2,
    RAW_umValueLow = 3,
    RAW_umValueHigh = 4,
    RAW_setpoint = 5,
    RAW_tolerance = 6,
    RAW_edcnt = 7,
    RAW_mvstart = 8,
    RAW_mvend = 9,
    RAW_dynpow = 10,
    RAW_anaMax = 11,
    RAW_anaMin = 12,
    RAW_in0 = 13,
    RAW_trk_flag = 14,
};

// Requests one raw measurement frame with whatever pp holds as payload and waits for the
// reply: 1 when it arrived (its words are in pp), 0 on time-out ("Timeout RS232-Line!",
// stop_flag set) or when the port went away.
int PushGETRAW(void);
// PushGETRAW in its two halves, so that a loop can draw while the sensor answers: the
// request written, then the wait for its reply (the same result as PushGETRAW).
void SendRawRequest(void);
int AwaitRawFrame(void);
// Runs RUN mode until STOP, a closed main panel, a port change or a missing reply.
void PushRUN(void);

// Words 0..13 of a raw frame into the measurement values (RUN).
void UnpackRunFrame(const unsigned short *words);
// Words 3..14 of a raw frame into the measurement values (VIDEO computes the edges itself).
void UnpackVideoFrame(const unsigned short *words);

// Shared by both loops: RUN and VIDEO dimmed while a loop runs; the buttons and the teach
// button enabled at its end. (The memory target RAM: SelectRamTarget of transfer.h.)
void DimLoopButtons(void);
void EnableLoopButtons(void);

int CC_BTNRun(int panel, int control, int event, void *data, int e1, int e2);
int CC_BTNStop(int panel, int control, int event, void *data, int e1, int e2);
