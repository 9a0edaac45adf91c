#include "freeze.h"
