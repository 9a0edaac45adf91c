#include "publish.h"

#include "broker_client.h"
#include "identity.h"
#include "payload.h"
#include "runstats.h"

#include "com232.h"
#include "service_hooks.h"
#include "trace.h"

#include <QDateTime>
#include <QSysInfo>

#include <memory>

namespace {

std::unique_ptr<BrokerClient> g_client;
long g_runFrames = 0; // frames of the current RUN, counted from 1

void OnRunStart() {
    g_runFrames = 0;
}

void OnRunFrame() {
    ++g_runFrames;
    g_client->PublishFrame(
        FrameJson(QDateTime::currentDateTimeUtc(), g_runFrames, CurrentRunFrame()));
}

void OnProbed() {
    g_client->PublishIdentity(IdentityJson());
}

void OnStatus(const char *text) {
    g_client->PublishStatus(QString::fromLocal8Bit(text).toUtf8());
}

// The client's own texts go to the status line without replacing the logic's status text
// (the probe reads the firmware text from it).
void Tell(const QString &text) {
    ShowStatusText(text.toLocal8Bit().constData());
}
void Trace(const QString &text) {
    TraceLine("mqtt", text.toLocal8Bit().constData());
}

} // namespace

void InstallPublisher(void) {
    ShutdownPublisher();
    const PublishRequest &r = g_publishRequest;
    if (!r.on) return;
    BrokerSettings s;
    s.host = r.host;
    s.port = r.port;
    s.tls = r.tls;
    s.user = r.user;
    s.hasPassword = r.hasPassword;
    s.password = r.password;
    // The topics name the port the program starts on.
    s.prefix = r.topicPrefix.empty()
                   ? DefaultTopicPrefix(QSysInfo::machineHostName(), com).toStdString()
                   : r.topicPrefix;
    g_client = std::make_unique<BrokerClient>(s, Tell, Trace);
    g_runFrames = 0;
    AttachHook(g_serviceHooks.runStart, OnRunStart);
    AttachHook(g_serviceHooks.runFrame, OnRunFrame);
    AttachHook(g_serviceHooks.probed, OnProbed);
    AttachHook(g_serviceHooks.status, OnStatus);
}

void ConnectPublisher(void) {
    if (!g_client) return;
    QString error;
    if (!g_client->Start(&error)) {
        ShutdownPublisher();
        Trace(error);
        Tell("MQTT: " + error);
        return;
    }
    Trace(QStringLiteral("MQTT: publishing to broker %1 under %2")
              .arg(g_client->Where(), QString::fromStdString(g_client->Prefix())));
}

void ShutdownPublisher(void) {
    DetachHook(g_serviceHooks.runStart, OnRunStart);
    DetachHook(g_serviceHooks.runFrame, OnRunFrame);
    DetachHook(g_serviceHooks.probed, OnProbed);
    DetachHook(g_serviceHooks.status, OnStatus);
    g_client.reset(); // Stop: online "false", disconnect, the thread ends
}

const BrokerClient *CurrentPublisher(void) {
    return g_client.get();
}
