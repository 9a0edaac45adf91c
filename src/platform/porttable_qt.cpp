// The machine's serial devices, found by Qt (see porttable_devices.h).
#include "porttable_devices.h"

#include <QSerialPortInfo>

std::vector<FoundSerialDevice> FindSerialDevices() {
    std::vector<FoundSerialDevice> found;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        FoundSerialDevice f;
        f.name = info.portName().toStdString();
        f.path = info.systemLocation().toStdString();
        f.description = info.description().toStdString();
        f.manufacturer = info.manufacturer().toStdString();
        found.push_back(f);
    }
    return found;
}
