// Named tapping points for the service tools (src/service) and the launch options that ask
// for a scripted service job. The described logic calls the Notify functions at a few
// documented places; each hook is a plain function pointer that is null while nothing is
// attached, so a tap that is off costs one branch.
#pragma once

struct ServiceHooks {
    void (*runStart)(void) = nullptr;              // RUN begins (statistics start again)
    void (*runFrame)(void) = nullptr;              // RUN has drawn a frame (measure.h values)
    void (*probed)(void) = nullptr;                // the echo check passed and the probe ran
    void (*status)(const char *text) = nullptr;    // the status line shows a new text
};
extern ServiceHooks g_serviceHooks;

inline void NotifyRunStart(void) {
    if (g_serviceHooks.runStart) g_serviceHooks.runStart();
}
inline void NotifyRunFrame(void) {
    if (g_serviceHooks.runFrame) g_serviceHooks.runFrame();
}
inline void NotifyProbed(void) {
    if (g_serviceHooks.probed) g_serviceHooks.probed();
}
inline void NotifyStatus(const char *text) {
    if (g_serviceHooks.status) g_serviceHooks.status(text);
}

// A scripted service job asked for on the command line (--info, --backup FILE, --restore
// FILE, with --eeprom for the EEPROM instead of the RAM).
enum ServiceJobKind { SERVICE_JOB_NONE = 0, SERVICE_JOB_INFO, SERVICE_JOB_BACKUP, SERVICE_JOB_RESTORE };
struct ServiceJobRequest {
    int kind = SERVICE_JOB_NONE;
    char file[4096] = {};
    int eeprom = 0;
};
extern ServiceJobRequest g_serviceJob;
