#include "transfer.h"
