#include "service_hooks.h"

#include <cctype>

ServiceHooks g_serviceHooks;
ServiceJobRequest g_serviceJob;
PublishRequest g_publishRequest;

std::string ParseBrokerUrl(const std::string &url, PublishRequest *req) {
    std::string rest;
    bool tls = false;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        tls = true;
    } else {
        return "expected mqtt://host[:port] or mqtts://host[:port]";
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find('@') != std::string::npos)
        return "no user or password in the URL: use --mqtt-user and --mqtt-password-file";
    if (rest.find('/') != std::string::npos || rest.find('?') != std::string::npos)
        return "a broker URL has no path: use --mqtt-topic for the topics";
    std::string host, port;
    if (!rest.empty() && rest[0] == '[') { // [IPv6]:port
        const size_t close = rest.find(']');
        if (close == std::string::npos) return "unclosed '[' in the host";
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after[0] != ':') return "expected ':' after ']'";
        if (!after.empty()) port = after.substr(1);
        if (!after.empty() && port.empty()) return "empty port";
    } else {
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return "empty port";
        }
    }
    if (host.empty()) return "no host";
    for (char c : host)
        if (std::isspace(static_cast<unsigned char>(c)) ||
            std::iscntrl(static_cast<unsigned char>(c)))
            return "white space in the host";
    int number = tls ? kMqttTlsPort : kMqttPort;
    if (!port.empty()) {
        if (port.size() > 5) return "port out of range 1..65535";
        number = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return "the port is not a number";
            number = number * 10 + (c - '0');
        }
        if (number < 1 || number > 65535) return "port out of range 1..65535";
    }
    req->host = host;
    req->port = number;
    req->tls = tls;
    return "";
}

std::string CheckTopicPrefix(const std::string &prefix) {
    if (prefix.empty()) return "empty topic prefix";
    if (prefix[0] == '/') return "a topic prefix does not begin with '/'";
    for (char c : prefix) {
        if (c == '+' || c == '#') return "no '+' or '#' in a topic prefix";
        if (c == '\0') return "no NUL in a topic prefix";
    }
    return "";
}
