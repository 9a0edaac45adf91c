// The program's launch options, read from its command line before anything is started.
#pragma once

#include <string>
#include <vector>

struct LaunchOptions {
    bool simulate = false; // --simulate: the bundled simulated sensor on COM1
    // --trace FILE and --data-dir DIR, in the order given; the last one of each counts.
    std::vector<std::string> traceFiles;
    std::vector<std::string> dataDirs;
};

// Reads the options after the program's name. --port N=DEVICE is assigned in the port
// table as it is read (a device the table refuses makes the option bad). Returns 0, or 2
// with the line for stderr (and whether the usage text should follow) when an option is
// bad or unknown.
int ReadLaunchOptions(const std::vector<std::string> &args, LaunchOptions *options,
                      std::string *errorLine, bool *showUsage);
