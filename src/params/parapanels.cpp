// Placeholder until the parameter binding lands.
#include "parapanels.h"
void GetPAValues(void) {}
void SetPAValues(void) {}
void BindParamCallbacks(void) {}
