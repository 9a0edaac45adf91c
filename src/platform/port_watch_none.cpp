// Where there is no stable-name folder (Windows): the serial layer's reports of opens,
// failed opens and hang-ups go nowhere, and no port comes back by itself.
#include "port_events.h"
#include "port_watch.h"

PortEventHooks g_portEventHooks;
int g_callbackDepth = 0;

void NotePortAnswered(int) {}
void PortHungUp(int, const std::string &) {}
void PortOpened(int, int, const std::string &) {}
void PortOpenFailed(int, const std::string &, int) {}

const std::string &SerialDir(void) {
    static const std::string none;
    return none;
}
void SetSerialDir(const char *) {}
bool SerialDirOverridden(void) { return false; }
