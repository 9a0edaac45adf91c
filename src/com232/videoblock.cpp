#include "videoblock.h"
