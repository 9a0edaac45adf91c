// Helpers shared by the tests.
#pragma once

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
