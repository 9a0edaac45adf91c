#include "measure.h"
