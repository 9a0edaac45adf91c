#include "measure.h"

unsigned short Ledge = 0, Redge = 0;
unsigned short Mvalue = 0;
unsigned int umValue = 0;
unsigned short edcnt = 0;
unsigned short mvstart = 0, mvend = 0;
unsigned short dynpow = 0;
unsigned short anaMax = 0, anaMin = 0;
unsigned short in0 = 0;
int trk_flag = 0;
