// Helpers shared by the tests.
#pragma once

#include <QProcessEnvironment>

#include <functional>
#include <string>

// A fresh temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &text);

// The folder that holds the program, its panel resource and the simulator.
std::string BinDir();

// CPU time (user + system) this process has used, seconds.
double ProcessCpuSeconds();

// How often `needle` occurs in `text`.
int CountOf(const std::string &text, const std::string &needle);

// Waits (sleeping 20 ms a look) until the file holds `needle` `times` times: the ms it took,
// or -1 after `ms`.
long WaitForFileText(const std::string &path, const std::string &needle, int times = 1,
                     int ms = 10000);

// The environment for the real program started by a test: offscreen, its runtime folder `dir`.
QProcessEnvironment ProgramEnvironment(const TempDir &dir);

// Runs `body` with the file size limit at `bytes` (SIGXFSZ ignored: a write fails with EFBIG,
// as on a full disk); the limit is restored afterwards. Returns what `body` returned.
bool WithFileSizeLimit(long bytes, const std::function<bool()> &body);

// Another program holding a device: a child process that opens it (and, with `lock`, takes
// its lock) until the object goes.
class DeviceHolder {
  public:
    explicit DeviceHolder(const std::string &device, bool lock = true);
    ~DeviceHolder();
    bool held() const { return held_; }
    long pid() const { return pid_; }

  private:
    long pid_ = -1;
    bool held_ = false;
};
