// Adapters that come and go. The folder of stable names (/dev/serial/by-id, or the one given
// with --serial-dir) holds one symlink per plugged adapter, named after its maker, product
// and serial number. When the open port hangs up, the logic is told once (through
// g_portEventHooks.lost) and the folder is watched with QFileSystemWatcher (inotify: the
// program sleeps until the folder changes). When the same name is back, the port table keeps
// its number and the logic re-opens and probes it (g_portEventHooks.returned). Opening any
// port, by the operator or by that re-open, ends the watch: a different adapter is never
// opened by itself.
#include "port_events.h"
#include "port_watch.h"
#include "rs232.h"
#include "trace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>
#include <vector>

PortEventHooks g_portEventHooks;
int g_callbackDepth = 0;

namespace {

std::string g_serialDir = "/dev/serial/by-id";
bool g_serialDirOverridden = false;

struct Lost {
    int port;
    std::string link; // the stable name's path
};
std::vector<Lost> g_lost;
QPointer<QFileSystemWatcher> g_watcher;
unsigned long g_openCount = 0; // a lost-notice still pending is dropped once a port opens

std::string Parent(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Clean(const std::string &path) {
    return QFileInfo(QString::fromLocal8Bit(path.c_str())).absoluteFilePath().toLocal8Bit().toStdString();
}

void CheckReturns();

// Watches the folder and the nearest existing folder above it: the system removes the
// stable-name folder with the last adapter and makes it again with the next.
void Rewatch() {
    if (!g_watcher) return;
    QStringList want;
    const std::string own = Clean(g_serialDir);
    if (QFileInfo(QString::fromLocal8Bit(own.c_str())).isDir()) want << QString::fromLocal8Bit(own.c_str());
    for (std::string up = Parent(own);; up = Parent(up)) {
        if (QFileInfo(QString::fromLocal8Bit(up.c_str())).isDir()) {
            want << QString::fromLocal8Bit(up.c_str());
            break;
        }
        if (up == "/") break;
    }
    const QStringList have = g_watcher->directories();
    for (const QString &d : have)
        if (!want.contains(d)) g_watcher->removePath(d);
    for (const QString &d : want)
        if (!have.contains(d)) g_watcher->addPath(d);
}

void StartWatch() {
    if (!QCoreApplication::instance()) return;
    if (!g_watcher) {
        g_watcher = new QFileSystemWatcher(QCoreApplication::instance());
        QObject::connect(g_watcher, &QFileSystemWatcher::directoryChanged, g_watcher, [](const QString &) {
            Rewatch();
            CheckReturns();
        });
    }
    Rewatch();
}

void StopWatch() {
    if (g_watcher) g_watcher->deleteLater();
    g_watcher = nullptr;
}

// The name is back when its link leads to an existing device.
bool Present(const std::string &link) {
    return access(link.c_str(), F_OK) == 0;
}

void CheckReturns() {
    for (size_t i = 0; i < g_lost.size(); ++i) {
        const Lost lost = g_lost[i];
        if (!Present(lost.link)) continue;
        g_lost.erase(g_lost.begin() + long(i));
        RefreshPortTable(); // the stable name keeps its number
        TraceLine("port-returned", ("COM" + std::to_string(lost.port) + " " + lost.link).c_str());
        const int port = lost.port;
        QTimer::singleShot(0, QCoreApplication::instance(), [port] {
            const CallbackScope running; // the re-open and probe run as the drop-down's do
            if (g_portEventHooks.returned) g_portEventHooks.returned(port);
        });
        break; // one port at a time; the open that follows ends the watch
    }
    if (g_lost.empty()) StopWatch();
}

// Tells the logic of the loss once no control callback runs (a loop or an exchange ends
// with its own text first); asks again while the logic says a loop is still ending.
void TellLost(int port, std::string name, unsigned long openCount) {
    if (!g_portEventHooks.lost || openCount != g_openCount) return;
    if (g_callbackDepth == 0 && g_portEventHooks.lost(port, name.c_str())) return;
    QTimer::singleShot(100, QCoreApplication::instance(),
                       [port, name, openCount] { TellLost(port, name, openCount); });
}

} // namespace

const std::string &SerialDir(void) {
    return g_serialDir;
}

void SetSerialDir(const char *dir) {
    g_serialDir = dir && *dir ? Clean(dir) : std::string("/dev/serial/by-id");
    g_serialDirOverridden = dir && *dir;
}

bool SerialDirOverridden(void) {
    return g_serialDirOverridden;
}

std::string StableNameOf(const std::string &device) {
    if (device.empty()) return {};
    const std::string path = Clean(device);
    if (Parent(path) != Clean(g_serialDir)) return {};
    return path.substr(path.find_last_of('/') + 1);
}

void PortHungUp(int portNumber, const std::string &device) {
    if (!QCoreApplication::instance()) return;
    const std::string stable = StableNameOf(device);
    const std::string name = stable.empty() ? device : stable;
    if (!stable.empty()) {
        bool known = false;
        for (const Lost &l : g_lost) known = known || l.port == portNumber;
        if (!known) g_lost.push_back({portNumber, Clean(device)});
        StartWatch();
        // Pulled and plugged back before the watch began: seen now.
        QTimer::singleShot(0, g_watcher.data(), [] { CheckReturns(); });
    }
    const unsigned long openCount = g_openCount;
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [portNumber, name, openCount] { TellLost(portNumber, name, openCount); });
}

void PortOpened(int portNumber, int fd, const std::string &device) {
    (void)portNumber;
    ++g_openCount;
    g_lost.clear();
    StopWatch();
    SetPortHint(RequestLowLatency(fd, device));
}

void PortOpenFailed(int portNumber, const std::string &device, int err) {
    ++g_openCount;
    g_lost.clear();
    StopWatch();
    // Named by its port number: the drop-down beside the hint shows which adapter that is,
    // and a stable name is too long a word for the hint line.
    PortHolder holder;
    if (err == EBUSY || err == kOpenHeld) holder = FindPortHolder(device);
    SetPortHint(HintForOpenFailure("COM" + std::to_string(portNumber), err, GroupOfDevice(device),
                                   holder));
}

// ---- the last good adapter -------------------------------------------------------------------

namespace {
constexpr const char *kKeyName = "ports/lastAdapter";
constexpr const char *kKeySerial = "ports/lastSerialNumber";
} // namespace

void NotePortAnswered(int portNumber) {
    const std::string device = GetPortDevice(portNumber);
    std::string name = StableNameOf(device), serial;
    if (name.empty()) {
        char real[PATH_MAX];
        if (!realpath(device.c_str(), real)) return;
        const QSerialPortInfo info(QString::fromLocal8Bit(real));
        serial = info.serialNumber().toStdString();
        if (serial.empty()) return; // nothing stable to know it by (a pseudo-terminal)
    }
    QSettings settings;
    const QString n = QString::fromStdString(name), s = QString::fromStdString(serial);
    if (settings.value(kKeyName).toString() == n && settings.value(kKeySerial).toString() == s)
        return;
    settings.setValue(kKeyName, n);
    settings.setValue(kKeySerial, s);
    settings.sync();
    TraceLine("port-remembered", (name.empty() ? "serial " + serial : name).c_str());
}

// For the port table's first listing: the stable name and serial number remembered.
void RememberedAdapter(std::string *name, std::string *serial) {
    if (!QCoreApplication::instance()) return;
    QSettings settings;
    *name = settings.value(kKeyName).toString().toStdString();
    *serial = settings.value(kKeySerial).toString().toStdString();
}
