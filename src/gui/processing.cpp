#include "processing.h"
