#include "service_hooks.h"

ServiceHooks g_serviceHooks;
ServiceJobRequest g_serviceJob;
