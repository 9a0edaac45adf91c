// Named tapping points for the tools beside the described logic (src/service, src/publish)
// and the launch options that ask for a scripted service job or for publishing. The
// described logic calls the Notify functions at a few documented places; each point holds
// a short list of sinks called in the order they were attached, so recording, statistics
// and the broker publisher all see the same frames. A point with no sink costs one
// comparison.
#pragma once

#include <string>

template <typename Fn> struct HookList {
    static constexpr int kMaxSinks = 4;
    Fn sinks[kMaxSinks] = {};
    int count = 0;
};

struct ServiceHooks {
    HookList<void (*)(void)> runStart;       // RUN begins (statistics start again)
    HookList<void (*)(void)> runFrame;       // RUN has drawn a frame (measure.h values)
    HookList<void (*)(void)> probed;         // the echo check passed and the probe ran
    HookList<void (*)(const char *)> status; // the status line shows a new text
};
extern ServiceHooks g_serviceHooks;

// Adds `sink` after the sinks already attached; attaching one twice keeps one. False when
// the point already holds kMaxSinks sinks.
template <typename Fn> bool AttachHook(HookList<Fn> &list, Fn sink) {
    for (int i = 0; i < list.count; i++)
        if (list.sinks[i] == sink) return true;
    if (list.count >= HookList<Fn>::kMaxSinks) return false;
    list.sinks[list.count++] = sink;
    return true;
}
// Removes `sink`; the others keep their order.
template <typename Fn> void DetachHook(HookList<Fn> &list, Fn sink) {
    int kept = 0;
    for (int i = 0; i < list.count; i++)
        if (list.sinks[i] != sink) list.sinks[kept++] = list.sinks[i];
    for (int i = kept; i < list.count; i++)
        list.sinks[i] = nullptr;
    list.count = kept;
}

inline void NotifyRunStart(void) {
    const auto &l = g_serviceHooks.runStart;
    for (int i = 0; i < l.count; i++)
        l.sinks[i]();
}
inline void NotifyRunFrame(void) {
    const auto &l = g_serviceHooks.runFrame;
    for (int i = 0; i < l.count; i++)
        l.sinks[i]();
}
inline void NotifyProbed(void) {
    const auto &l = g_serviceHooks.probed;
    for (int i = 0; i < l.count; i++)
        l.sinks[i]();
}
inline void NotifyStatus(const char *text) {
    const auto &l = g_serviceHooks.status;
    for (int i = 0; i < l.count; i++)
        l.sinks[i](text);
}

// A scripted service job asked for on the command line (--info, --backup FILE, --restore
// FILE, with --eeprom for the EEPROM instead of the RAM).
enum ServiceJobKind {
    SERVICE_JOB_NONE = 0,
    SERVICE_JOB_INFO,
    SERVICE_JOB_BACKUP,
    SERVICE_JOB_RESTORE
};
struct ServiceJobRequest {
    int kind = SERVICE_JOB_NONE;
    char file[4096] = {};
    int eeprom = 0;
};
extern ServiceJobRequest g_serviceJob;

// Publishing to a broker asked for on the command line: --mqtt URL, --mqtt-user NAME,
// --mqtt-password-file FILE (the password is read from the file at start, never given on
// the command line), --mqtt-topic PREFIX.
struct PublishRequest {
    bool on = false;
    std::string host;
    int port = 0;
    bool tls = false; // mqtts://: TLS, the broker's certificate checked against the system's CAs
    std::string user; // empty: no user name sent
    bool hasPassword = false;
    std::string password;
    std::string topicPrefix; // empty: kvor-rur/<host name>/COM<n>
};
extern PublishRequest g_publishRequest;

constexpr int kMqttPort = 1883, kMqttTlsPort = 8883;
// Reads "mqtt://host[:port]" or "mqtts://host[:port]" (host a name, an IPv4 address or an
// IPv6 address in brackets; a trailing '/' allowed) into req->host, port and tls. Returns
// "" or what is wrong with the text. User and password inside the URL are refused: they
// belong in --mqtt-user and --mqtt-password-file.
std::string ParseBrokerUrl(const std::string &url, PublishRequest *req);
// "" when `prefix` can begin topics (not empty, no '+', '#' or NUL, no leading '/'),
// otherwise what is wrong with it.
std::string CheckTopicPrefix(const std::string &prefix);
