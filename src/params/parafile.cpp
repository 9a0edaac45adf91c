#include "parafile.h"
