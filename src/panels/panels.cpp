#include "kvor_panels.h"

int pHandle = 0;
int pPara1 = 0;
int pPara2 = 0;
int pJet = 0;
int pStats = 0;
