// A port that goes and comes back. When the adapter is pulled the status line says
// "Port lost: NAME", once a running RUN or VIDEO has ended with its own text. When the
// platform sees the same stable name again it asks for the port to be opened again: that
// is done exactly as the port drop-down does it (CC_DropDCom's commit: re-open and probe).
// RUN and VIDEO are not resumed. After the probe the sensor's identity (hardware words and
// firmware text) is compared with the one known before; a different sensor is named in the
// status line so that nobody sends the old sensor's words to it unknowingly.
#include "port_return.h"

#include "com232.h"
#include "devinfo.h"
#include "kvor_panels.h"
#include "port_events.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

namespace {

struct Identity {
    unsigned short words[9];
    char version[sizeof szVersion];
};

Identity Current() {
    Identity id{{ccdtype, ccdmaxpixel, ccdresolution, pcbtype, ccdmaxpixelX8, ccdsubpixel, ccdpixB,
                 ccdpixE, softversion},
                {}};
    std::memcpy(id.version, szVersion, sizeof id.version);
    return id;
}

bool Same(const Identity &a, const Identity &b) {
    return std::memcmp(a.words, b.words, sizeof a.words) == 0 &&
           std::strncmp(a.version, b.version, sizeof a.version) == 0;
}

void ShowFull(const char *text) {
    SetStatus(text);
    ShowStatusText(text); // the whole text: stable names are longer than szStatus
}

} // namespace

int OnPortLost(int portNumber, const char *name) {
    if (portNumber != com) return 1; // not the link's port
    if (loop_mode != LOOP_IDLE) return 0; // the loop ends first, with its own text
    char text[256];
    std::snprintf(text, sizeof text, "Port lost: %s", name ? name : "");
    ShowFull(text);
    return 1;
}

void OnPortReturned(int portNumber) {
    if (portNumber != com || loop_mode != LOOP_IDLE || exchange_busy == 1) return;
    // The drop-down must name this port: its commit opens the port it shows.
    SetCtrlVal(pHandle, MAINPANEL_DropDCom, portNumber);
    int shown = 0;
    GetCtrlVal(pHandle, MAINPANEL_DropDCom, &shown);
    if (shown != portNumber) return;
    const Identity before = Current();
    const bool knownBefore = before.version[0] != '\0';
    const unsigned generation = link_generation + 1; // the commit's own re-opening
    CC_DropDCom(pHandle, MAINPANEL_DropDCom, EVENT_COMMIT, nullptr, 0, 0);
    if (link_generation != generation) return; // another port was picked meanwhile
    if (com != portNumber || ret < FIRMWARE_TEXT_LEN || !knownBefore) return;
    const Identity after = Current();
    if (Same(before, after)) return;
    char text[256];
    std::snprintf(text, sizeof text, "Other sensor on COM%d: %s", portNumber, szVersion);
    ShowFull(text);
}

void OnPortHint(const char *text) {
    if (pHandle > 0) SetCtrlVal(pHandle, MAINPANEL_TEXTPortHint, text ? text : "");
}

void BindPortEvents(void) {
    g_portEventHooks.lost = OnPortLost;
    g_portEventHooks.returned = OnPortReturned;
    g_portEventHooks.hint = OnPortHint;
}
