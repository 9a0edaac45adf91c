// A real mosquitto broker on a free loopback port, with its configuration (and password
// file) written into a temporary folder, and a subscriber (libmosquitto on its own thread)
// that keeps every message it receives.
#pragma once

#include "test_support.h"

#include <mosquitto.h>

#include <QProcess>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

class Broker {
  public:
    explicit Broker(const TempDir &dir) : dir_(dir) {
        // A free port: the kernel's choice for a socket bound to port 0.
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        close(s);
    }
    ~Broker() { Stop(); }
    // Users and passwords the broker asks for (mosquitto_passwd -b -c); none: anonymous.
    void RequirePassword(const std::string &user, const std::string &password) {
        QProcess p;
        p.start("mosquitto_passwd",
                {"-b", "-c", QString::fromStdString(dir_.file("passwd")),
                 QString::fromStdString(user), QString::fromStdString(password)});
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(0, p.exitCode()) << p.readAllStandardError().toStdString();
        passwords_ = true;
    }
    void Start() {
        const passwd *pw = getpwuid(getuid());
        std::string conf = "listener " + std::to_string(port_) + " 127.0.0.1\n" +
                           "persistence false\nlog_dest file " + dir_.file("broker.log") +
                           "\nlog_type all\n" + "user " + std::string(pw ? pw->pw_name : "root") +
                           "\n";
        conf += passwords_ ? "allow_anonymous false\npassword_file " + dir_.file("passwd") + "\n"
                           : "allow_anonymous true\n";
        WriteWholeFile(dir_.file("broker.conf"), conf);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("mosquitto", {"-c", QString::fromStdString(dir_.file("broker.conf"))});
        ASSERT_TRUE(process_.waitForStarted(5000));
        // Ready once it takes a connection.
        for (int i = 0; i < 100; i++) {
            const int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(uint16_t(port_));
            const bool up = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            close(s);
            if (up) return;
            QTest::qWait(50);
        }
        FAIL() << "the broker did not start: " << process_.readAll().toStdString();
    }
    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(5000);
    }
    // What the broker logged (its connections, refusals).
    std::string Log() {
        return ReadWholeFile(dir_.file("broker.log")) + process_.readAll().toStdString();
    }
    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

  private:
    const TempDir &dir_;
    int port_ = 0;
    bool passwords_ = false;
    QProcess process_;
};

struct Message {
    std::string topic, payload;
    bool retained = false;
};

class Subscriber {
  public:
    Subscriber(int port, std::string filter) : filter_(std::move(filter)) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto *m, void *self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<Subscriber *>(self)->filter_.c_str(),
                                    1);
        });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto *, void *self, const mosquitto_message *m) {
                auto *s = static_cast<Subscriber *>(self);
                std::lock_guard<std::mutex> lock(s->mutex_);
                s->messages_.push_back(
                    {m->topic,
                     std::string(static_cast<const char *>(m->payload), size_t(m->payloadlen)),
                     m->retain});
            });
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        mosquitto_connect_async(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    // The payloads on `topic`, in order.
    std::vector<std::string> On(const std::string &topic) {
        std::vector<std::string> out;
        for (const Message &m : Messages())
            if (m.topic == topic) out.push_back(m.payload);
        return out;
    }
    // Waits (with the events processed) until `topic` has had `count` messages.
    bool WaitFor(const std::string &topic, size_t count = 1, int ms = 10000) {
        return QTest::qWaitFor([&] { return On(topic).size() >= count; }, ms);
    }
    bool WaitForPayload(const std::string &topic, const std::string &payload, int ms = 10000) {
        return QTest::qWaitFor(
            [&] {
                const auto all = On(topic);
                return std::find(all.begin(), all.end(), payload) != all.end();
            },
            ms);
    }

  private:
    std::string filter_;
    mosquitto *mosq_ = nullptr;
    std::mutex mutex_;
    std::vector<Message> messages_;
};
