// The Qt-free core has no stable-name folder, port hint or latency request: the serial
// layer's reports of opens, failed opens and hang-ups go nowhere.
#include "port_watch.h"

void PortHungUp(int, const std::string &) {}
void PortOpened(int, int, const std::string &) {}
void PortOpenFailed(int, const std::string &, int) {}
