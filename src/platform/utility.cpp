// Time, pauses, the program's folder, paths and file deletion.
#include "utility.h"

#include "install_paths.h"
#include "userint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <chrono>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
QString g_projectDirOverride;
}

double Timer(void) {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void KeepTimersPunctual(void) {
#ifdef PR_SET_TIMERSLACK
    // The kernel may let a timed sleep overrun by its slack, 50 us by default; the waits of
    // an exchange (a block's quiet tail of two byte times, a write handed over) are short
    // enough for that to show in the line's rate. Set once per thread.
    thread_local bool done = false;
    if (!done) prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    done = true;
#endif
}

int Delay(double seconds) {
    // sleep_until on the monotonic clock: an interrupted sleep resumes to the same end.
    if (!(seconds > 0)) return 0;
    KeepTimersPunctual();
    using namespace std::chrono;
    std::this_thread::sleep_until(steady_clock::now() + duration<double>(seconds));
    return 0;
}

void Sleep(unsigned milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    Delay(milliseconds / 1000.0);
}

void SetProjectDirOverride(const char *dir) {
    g_projectDirOverride = dir ? QString::fromLocal8Bit(dir) : QString();
}

static bool WritableDir(const QString &dir) {
    QTemporaryFile probe(dir + QStringLiteral("/.kvor-write-probe-XXXXXX"));
    return probe.open();
}

QString InstalledShareDir() {
    const QString share = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kvor-rur-glint");
    return QFileInfo(share).isDir() ? QDir::cleanPath(share) : QString();
}

int GetProjectDir(char *dir) {
    if (!dir) return -1;
    QString path = g_projectDirOverride;
    if (path.isEmpty()) {
        path = QCoreApplication::applicationDirPath();
        // An installed program keeps its files per user: its folder is read-only, or, run
        // by root, a system folder that must not collect profile and record files.
        if (!InstalledShareDir().isEmpty() || !WritableDir(path)) {
            const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
            path = data.isEmpty() ? QDir::homePath() + QStringLiteral("/.kvor-rur-glint")
                                  : data + QStringLiteral("/kvor-rur-glint");
        }
    }
    QDir().mkpath(path);
    QByteArray bytes = QDir::toNativeSeparators(QDir::cleanPath(path)).toLocal8Bit();
    if (bytes.size() >= MAX_PATHNAME_LEN) {
        dir[0] = '\0';
        return -1;
    }
    std::memcpy(dir, bytes.constData(), size_t(bytes.size()) + 1);
    return 0;
}

int MakePathname(const char *dir, const char *fileName, char *path) {
    if (!dir || !fileName || !path) return -1;
    std::string joined = dir;
#ifdef _WIN32
    // Either separator ends a Windows folder; the native one joins.
    if (!joined.empty() && joined.back() != '/' && joined.back() != '\\') joined += '\\';
#else
    if (!joined.empty() && joined.back() != '/') joined += '/';
#endif
    joined += fileName;
    if (joined.size() >= size_t(MAX_PATHNAME_LEN)) {
        path[0] = '\0';
        return -1;
    }
    std::memcpy(path, joined.c_str(), joined.size() + 1);
    return 0;
}

int CVI_DeleteFile(const char *fileName) {
    if (!fileName) return -1;
    return QFile::remove(QString::fromLocal8Bit(fileName)) ? 0 : -1;
}

int FileExists(const char *fileName) {
    return fileName && QFileInfo::exists(QString::fromLocal8Bit(fileName)) ? 1 : 0;
}

void ReportError(const char *line) {
    std::fprintf(stderr, "kvor-rur-glint: %s\n", line ? line : "");
    std::fflush(stderr);
}
