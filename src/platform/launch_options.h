// The launch options after the application has taken its own: what the command line asks
// for, read without doing any of it. PlatformMain applies the result.
#pragma once

#include "service_hooks.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LaunchOptions {
    bool simulate = false;                          // --simulate
    std::vector<std::pair<int, std::string>> ports; // --port N=DEVICE, in their order
    std::vector<std::string> traces;                // --trace FILE, each opened in turn
    std::optional<std::string> dataDir, serialDir;  // the last --data-dir, --serial-dir
    ServiceJobRequest job;                          // --info, --backup, --restore, --eeprom
    PublishRequest publish;                         // --mqtt and its companions
    // A refused command line: the text for stderr (whole lines), then the usage text when
    // `usage`; the program ends with status 2. The options before the refused one are kept
    // (their traces are opened, as they always were when the refusal came after them).
    std::string error;
    bool usage = false;
};

// Reads the password file of --mqtt-password-file: the first line without its line end;
// false when the file cannot be read.
using PasswordFileReader = bool (*)(const QString &path, std::string *password);

// Reads `args` (the program's name first, as QApplication::arguments gives them) up to the
// first refused option. Reads no file itself: the password file goes through `readPassword`.
LaunchOptions ParseLaunchOptions(const QStringList &args, PasswordFileReader readPassword);
