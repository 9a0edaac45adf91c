// The launch options: --simulate, --port N=DEVICE, --trace FILE, --data-dir DIR.
#include "launchopts.h"

#include "rs232.h"

#include <QString>

int ReadLaunchOptions(const std::vector<std::string> &args, LaunchOptions *options,
                      std::string *errorLine, bool *showUsage) {
    *showUsage = false;
    const size_t count = args.size();
    for (size_t i = 0; i < count; i++) {
        const std::string &a = args[i];
        // Options that take a value take the next argument, when there is one.
        const bool hasValue = i + 1 < count;
        if (a == "--simulate") {
            options->simulate = true;
        } else if (a == "--port" && hasValue) {
            const QString value = QString::fromLocal8Bit(args[++i]);
            const qsizetype eq = value.indexOf('=');
            bool ok = false;
            const int port = eq > 0 ? value.left(eq).toInt(&ok) : 0;
            if (!ok || port < 1 || port > kMaxPortNumber ||
                AssignPortDevice(port, value.mid(eq + 1).toLocal8Bit().constData()) < 0) {
                *errorLine = "kvor-rur-glint: bad --port " + value.toLocal8Bit().toStdString() +
                             " (expected N=DEVICE, N 1.." + std::to_string(kMaxPortNumber) + ")";
                return 2;
            }
        } else if (a == "--trace" && hasValue) {
            options->traceFiles.push_back(args[++i]);
        } else if (a == "--data-dir" && hasValue) {
            options->dataDirs.push_back(args[++i]);
        } else {
            *errorLine = "kvor-rur-glint: unknown option " + a;
            *showUsage = true;
            return 2;
        }
    }
    return 0;
}
