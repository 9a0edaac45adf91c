#include "plots.h"
