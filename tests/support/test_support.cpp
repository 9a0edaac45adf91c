#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ctime>

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
