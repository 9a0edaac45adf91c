#include "videomode.h"
