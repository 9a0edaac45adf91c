#include "runmode.h"
