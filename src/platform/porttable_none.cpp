// The Qt-free core lists no devices of its own: ports are those assigned, and on Windows
// each port number names the system's port of that number.
#include "porttable_devices.h"

std::vector<FoundSerialDevice> FindSerialDevices() {
    return {};
}
