#include "broker_client.h"

#include <mosquitto.h>

#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kLoopWaitMs = 500; // the network thread looks at `stopping_` this often
constexpr auto kOfflineWait = std::chrono::seconds(1);
// CONNACK codes of a broker that refuses the user name or password (3.1.1 and 5).
bool IsAuthRefusal(int rc) {
    return rc == 4 || rc == 5 || rc == 0x86 || rc == 0x87;
}

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString ErrorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromLatin1(mosquitto_strerror(rc));
}

} // namespace

BrokerClient::BrokerClient(BrokerSettings settings, TextSink tell, TextSink trace)
    : settings_(std::move(settings)), tell_(std::move(tell)), trace_(std::move(trace)),
      context_(std::make_unique<QObject>()) {}

BrokerClient::~BrokerClient() {
    Stop();
    if (mosq_) mosquitto_destroy(mosq_);
}

QString BrokerClient::Where() const {
    const QString host = QString::fromStdString(settings_.host);
    return (host.contains(':') ? "[" + host + "]" : host) + ":" + QString::number(settings_.port);
}

bool BrokerClient::Start(QString *error) {
    InitLibraryOnce();
    std::string id = settings_.clientId;
    if (id.empty()) {
        id = settings_.prefix + "-" + std::to_string(getpid());
        for (char &c : id)
            if (c == '/') c = '-';
    }
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (!mosq_) {
        *error = QStringLiteral("cannot make an MQTT client: %1").arg(std::strerror(errno));
        return false;
    }
    mosquitto_threaded_set(mosq_, true);
    mosquitto_connect_callback_set(mosq_, OnConnect);
    mosquitto_disconnect_callback_set(mosq_, OnDisconnect);
    mosquitto_publish_callback_set(mosq_, OnPublish);
    // The broker tells the plant that this program is gone when its connection breaks.
    const std::string online = Topic("online");
    int rc = mosquitto_will_set(mosq_, online.c_str(), 5, "false", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !settings_.user.empty())
        rc =
            mosquitto_username_pw_set(mosq_, settings_.user.c_str(),
                                      settings_.hasPassword ? settings_.password.c_str() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
        rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc != MOSQ_ERR_SUCCESS) // an older library: the system's CA folder
            rc = mosquitto_tls_set(mosq_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("cannot set up the MQTT client: %1").arg(mosquitto_strerror(rc));
        return false;
    }
    thread_ = std::thread([this] { NetworkThread(); });
    return true;
}

void BrokerClient::Stop() {
    if (!thread_.joinable()) return;
    if (connected_) {
        // A clean end: the plant sees "false" as it would see the last will.
        const std::string online = Topic("online");
        if (Send(online, "false", 1, true, nullptr)) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, kOfflineWait, [this] { return waiting_ <= 0 || !connected_; });
        }
        mosquitto_disconnect(mosq_);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    context_.reset(); // texts still queued for the owner are dropped with it
}

// ---- network thread ------------------------------------------------------------------------

void BrokerClient::NetworkThread() {
    // The first connection is made here too, so that a name look-up or a slow connect
    // never holds the GUI thread.
    int delay = settings_.retryMinSeconds;
    int rc = mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port,
                                     settings_.keepaliveSeconds);
    int savedErrno = errno;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
            savedErrno = errno;
            if (rc == MOSQ_ERR_SUCCESS) {
                if (connected_) delay = settings_.retryMinSeconds;
                continue;
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        if (refused_) break; // asking again with the same password would be refused again
        const QString text =
            QStringLiteral("MQTT: broker %1 not reachable (%2); frames are dropped "
                           "and counted until it is")
                .arg(Where(), ErrorText(rc, savedErrno));
        const int wait = delay;
        Post([this, text, wait] {
            Outage(text); // once until connected again
            trace_(QStringLiteral("MQTT: next try in %1 s").arg(wait));
        });
        WaitBeforeRetry(delay);
        delay = std::min(delay * 2, settings_.retryMaxSeconds);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        rc = mosquitto_reconnect_async(mosq_);
        savedErrno = errno;
    }
}

void BrokerClient::WaitBeforeRetry(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_; });
}

void BrokerClient::OnConnect(mosquitto *, void *self, int rc) {
    auto *c = static_cast<BrokerClient *>(self);
    if (rc != 0) {
        const QString reason = QString::fromLatin1(mosquitto_connack_string(rc));
        if (IsAuthRefusal(rc)) {
            c->refused_ = true;
            const QString user =
                c->settings_.user.empty()
                    ? QStringLiteral("no user name")
                    : QStringLiteral("user \"%1\"").arg(QString::fromStdString(c->settings_.user));
            const QString text = QStringLiteral("MQTT: not authorised by broker %1 (%2, %3); "
                                                "not trying again")
                                     .arg(c->Where(), user, reason);
            c->Post([c, text] {
                c->trace_(text);
                c->outageTold_ = true;
                c->tell_(text);
            });
        }
        return; // other refusals: the loop tries again after its wait
    }
    c->connected_ = true;
    c->connections_++;
    c->Send(c->Topic("online"), "true", 1, true, nullptr);
    QByteArray identity, status;
    {
        std::lock_guard<std::mutex> lock(c->mutex_);
        identity = c->identity_;
        status = c->status_;
    }
    if (!identity.isEmpty()) c->Send(c->Topic("identity"), identity, 1, true, nullptr);
    // The status line as it stands, so that a dashboard need not wait for the next text.
    if (!status.isEmpty()) c->Send(c->Topic("status"), status, 0, false, nullptr);
    c->Post([c] {
        c->trace_(QStringLiteral("MQTT: connected to broker %1").arg(c->Where()));
        if (!c->outageTold_) return;
        c->outageTold_ = false;
        c->tell_(QStringLiteral("MQTT: publishing to broker %1 again (%2 frames dropped)")
                     .arg(c->Where())
                     .arg(c->dropped_.load()));
    });
}

void BrokerClient::OnDisconnect(mosquitto *, void *self, int) {
    auto *c = static_cast<BrokerClient *>(self);
    c->connected_ = false;
    // Messages still queued are discarded when the client connects again.
    c->waiting_ = 0;
    std::lock_guard<std::mutex> lock(c->mutex_);
    c->wake_.notify_all();
}

void BrokerClient::OnPublish(mosquitto *, void *self, int) {
    auto *c = static_cast<BrokerClient *>(self);
    int now = c->waiting_.load();
    while (now > 0 && !c->waiting_.compare_exchange_weak(now, now - 1)) {
    }
    if (now <= 1) { // the queue ran empty: Stop may be waiting for it
        std::lock_guard<std::mutex> lock(c->mutex_);
        c->wake_.notify_all();
    }
}

// ---- any thread ----------------------------------------------------------------------------

bool BrokerClient::Send(const std::string &topic, const QByteArray &payload, int qos, bool retain,
                        int *mid) {
    waiting_++;
    const int rc = mosquitto_publish(mosq_, mid, topic.c_str(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc == MOSQ_ERR_SUCCESS) return true;
    waiting_--;
    return false;
}

void BrokerClient::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(context_.get(), std::move(fn), Qt::QueuedConnection);
}

// ---- owner's thread ------------------------------------------------------------------------

void BrokerClient::PublishFrame(const QByteArray &json) {
    if (!connected_) return Drop("not connected");
    if (waiting_ >= settings_.backlog) return Drop("backlog");
    if (!Send(Topic("frame"), json, 0, false, nullptr)) return Drop("not connected");
    published_++;
}

void BrokerClient::PublishStatus(const QByteArray &text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = text;
    }
    if (connected_ && waiting_ < settings_.backlog) Send(Topic("status"), text, 0, false, nullptr);
}

void BrokerClient::PublishIdentity(const QByteArray &json) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        identity_ = json;
    }
    // Not connected: OnConnect sends it. Both may send it once a connect races this.
    if (connected_) Send(Topic("identity"), json, 1, true, nullptr);
}

void BrokerClient::Drop(const char *why) {
    dropped_++;
    if (outageTold_) return;
    if (!std::strcmp(why, "backlog"))
        Outage(QStringLiteral("MQTT: broker %1 does not keep up; frames are dropped and counted")
                   .arg(Where()));
    else
        Outage(QStringLiteral("MQTT: broker %1 not connected; frames are dropped and counted "
                              "until it is")
                   .arg(Where()));
}

void BrokerClient::Outage(const QString &text) {
    if (outageTold_) return;
    outageTold_ = true;
    trace_(text);
    tell_(text);
}
