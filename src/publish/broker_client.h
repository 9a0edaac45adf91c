// A client of an MQTT broker that publishes under one topic prefix and never makes its
// caller wait on the network. libmosquitto runs on a network thread of its own: a publish
// only queues the message for that thread. A frame is dropped, and counted, when the broker
// is not connected or more than `backlog` messages still wait for the socket. The thread
// connects and reconnects by itself, each wait twice the last (retryMin .. retryMax
// seconds); a broker that refuses the user or password is not asked again.
//
// Topics: PREFIX/online "true" retained on every connect and "false" as the broker's last
// will (and at a clean end); PREFIX/identity retained, QoS 1, sent again on every connect;
// PREFIX/status QoS 0, the latest text sent again on every connect; PREFIX/frame QoS 0.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

struct BrokerSettings {
    std::string host;
    int port = 1883;
    bool tls = false; // the broker's certificate checked against the system's CAs
    std::string user; // empty: none sent
    bool hasPassword = false;
    std::string password;
    std::string prefix;   // topics PREFIX/frame, /identity, /status, /online
    std::string clientId; // empty: one made of the prefix and the process id
    int backlog = 32;     // messages waiting for the socket before frames are dropped
    int retryMinSeconds = 1, retryMaxSeconds = 16;
    int keepaliveSeconds = 30;
};

class BrokerClient {
  public:
    // `tell` puts a text on the status line, `trace` one in the service trace; both are
    // called on the thread that made the client, from its event loop.
    using TextSink = std::function<void(const QString &)>;
    BrokerClient(BrokerSettings settings, TextSink tell, TextSink trace);
    ~BrokerClient();
    BrokerClient(const BrokerClient &) = delete;
    BrokerClient &operator=(const BrokerClient &) = delete;

    // Starts the network thread; false with *error when libmosquitto cannot be set up.
    bool Start(QString *error);
    // Sends online "false", waits up to a second for the broker to take it, disconnects
    // and ends the thread.
    void Stop();

    // Never wait on the network.
    void PublishFrame(const QByteArray &json);
    void PublishStatus(const QByteArray &text);   // the latest kept and sent on every connect
    void PublishIdentity(const QByteArray &json); // kept and sent again on every connect

    bool Connected() const { return connected_; }
    bool Refused() const { return refused_; }
    long Published() const { return published_; } // frames handed to the network thread
    long Dropped() const { return dropped_; }
    int Connections() const { return connections_; } // connections the broker accepted
    QString Where() const;                           // "host:port"
    const std::string &Prefix() const { return settings_.prefix; }
    std::string Topic(const char *leaf) const { return settings_.prefix + "/" + leaf; }

  private:
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    void NetworkThread();
    void WaitBeforeRetry(int seconds);
    bool Send(const std::string &topic, const QByteArray &payload, int qos, bool retain, int *mid);
    void Drop(const char *why);
    void Post(std::function<void()> fn); // runs fn on the owner's thread
    void Outage(const QString &text);    // owner's thread: told once until connected again

    BrokerSettings settings_;
    TextSink tell_, trace_;
    std::unique_ptr<QObject> context_; // lives on the owner's thread; queued calls die with it
    mosquitto *mosq_ = nullptr;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // under mutex_
    QByteArray identity_;   // under mutex_
    QByteArray status_;     // under mutex_: the latest status text

    std::atomic<bool> connected_{false}, refused_{false};
    std::atomic<int> waiting_{0}; // messages queued and not yet written (QoS 0) or acknowledged
    std::atomic<long> published_{0}, dropped_{0};
    std::atomic<int> connections_{0};
    bool outageTold_ = false; // owner's thread only
};
