#include "sim.h"
