#include "params.h"

unsigned short parameter[PARAM_WORDS] = {};
unsigned short pp[PNUM] = {};
int target = RAM;

void CopyVarsToPP(void) {
    for (int i = 0; i < PNUM; i++) pp[i] = parameter[PARAM_HEADER + i];
}

void CopyPPtoVars(void) {
    for (int i = 0; i < PNUM; i++) parameter[PARAM_HEADER + i] = pp[i];
}

void SetParameterDefaults(void) {
    power = 500;
    rs232Mode = 0;
    videoThreshold = 512;
    anaMode = 0;
    polarity = 1;
    evalMode = 1;
    edgeLeft = 1;
    edgeRight = 1024;
    setpoint = 512;
    tolerance = 100;
    hardwareMode = 1;
    tolDelta = 1500;
    parameter[0] = 0x55;
    parameter[1] = 1;
    parameter[2] = 0;
    target = RAM;
}
