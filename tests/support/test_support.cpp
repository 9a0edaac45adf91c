#include "test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/kvor-test-XXXXXX");
    dir.setAutoRemove(false);
    path_ = dir.path().toStdString();
}

TempDir::~TempDir() { QDir(QString::fromStdString(path_)).removeRecursively(); }

std::string ReadWholeFile(const std::string &path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

void WriteWholeFile(const std::string &path, const std::string &text) {
    QFile f(QString::fromStdString(path));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text.data(), text.size());
}

std::string BinDir() { return KVOR_BIN_DIR; }

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

int CountOf(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

long WaitForFileText(const std::string &path, const std::string &needle, int times, int ms) {
    QElapsedTimer t;
    t.start();
    do {
        if (CountOf(ReadWholeFile(path), needle) >= times) return long(t.elapsed());
        QThread::msleep(20);
    } while (t.elapsed() < ms);
    return -1;
}

QProcessEnvironment ProgramEnvironment(const TempDir &dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
    return env;
}

bool WithFileSizeLimit(long bytes, const std::function<bool()> &body) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool result = body();
    setrlimit(RLIMIT_FSIZE, &saved);
    return result;
}

DeviceHolder::DeviceHolder(const std::string &device, bool lock) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        // Only the device of its own: an inherited descriptor of the program's open port
        // would hold that port's lock too.
        for (int fd = 3; fd < 1024; fd++)
            if (fd != ready[1]) close(fd);
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && (!lock || flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    held_ = pid_ > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
}

DeviceHolder::~DeviceHolder() {
    if (pid_ <= 0) return;
    kill(pid_t(pid_), SIGKILL);
    waitpid(pid_t(pid_), nullptr, 0);
}
