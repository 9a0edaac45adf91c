#include "identity.h"

#include "com232.h"
#include "devinfo.h"
#include "params.h"
#include "rs232.h"
#include "shell.h"

SensorIdentity g_identity;

namespace {
const char *const kHardwareNames[kHardwareWords] = {
    "ccdtype", "ccdmaxpixel", "ccdresolution", "pcbtype", "ccdmaxpixelX8",
    "ccdsubpixel", "ccdpixB", "ccdpixE", "softversion"};
const char *const kWordNames[PNUM] = {
    "power", "rs232Mode", "videoThreshold", "anaMode", "polarity", "evalMode",
    "edgeLeft", "edgeRight", "setpoint", "tolerance", "opMode", "hardwareMode",
    "spare12", "spare13", "average", "tolDelta"};
} // namespace

void CaptureIdentity(void) {
    const unsigned short words[kHardwareWords] = {ccdtype, ccdmaxpixel, ccdresolution,
                                                  pcbtype, ccdmaxpixelX8, ccdsubpixel,
                                                  ccdpixB, ccdpixE, softversion};
    g_identity.known = true;
    for (int i = 0; i < kHardwareWords; i++)
        g_identity.words[i] = words[i];
    // The probe leaves a firmware text it could read in the status text.
    g_identity.firmware = ret >= FIRMWARE_TEXT_LEN ? szStatus : "";
}

std::vector<std::pair<std::string, unsigned>> HardwareWords(void) {
    std::vector<std::pair<std::string, unsigned>> list;
    for (int i = 0; i < kHardwareWords; i++)
        list.emplace_back(kHardwareNames[i], g_identity.words[i]);
    return list;
}

const char *ParameterWordName(int i) { return i >= 0 && i < PNUM ? kWordNames[i] : "?"; }

std::string ProgramText(void) { return std::string(szSoftName) + " " + szSoftVersion; }

std::string PortText(void) {
    std::string text = "COM" + std::to_string(com);
    const char *device = GetPortDevice(com);
    if (device && *device) text += std::string(" ") + device;
    return text;
}
