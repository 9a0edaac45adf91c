// The launch options as the program reads them once the application has taken its own
// (ParseLaunchOptions). The password file is not read: a path ending in "missing" cannot be
// read, any other one holds its own path as the password.
//   bytes 0..  the command line: argv, the arguments split at NUL bytes (argv[0], the
//              program's name, first; each as the system hands it over, local 8-bit)
#include "launch_options.h"
#include "rs232.h"

#include <cstdlib>
#include <cstring>

namespace {

bool ReadNoFile(const QString &path, std::string *password) {
    if (path.endsWith(QLatin1String("missing"))) return false;
    *password = path.toStdString();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QStringList args;
    const char *text = reinterpret_cast<const char *>(data);
    size_t at = 0;
    do {
        const void *nul = std::memchr(text + at, '\0', size - at);
        const size_t end = nul ? size_t(static_cast<const char *>(nul) - text) : size;
        args << QString::fromLocal8Bit(text + at, qsizetype(end - at));
        at = end + 1;
    } while (at <= size);
    const LaunchOptions o = ParseLaunchOptions(args, ReadNoFile);
    if (!o.error.empty()) {
        // One or more whole lines, each the program's.
        if (o.error.rfind("kvor-rur-glint: ", 0) != 0 || o.error.back() != '\n') std::abort();
        return 0;
    }
    if (o.usage) std::abort();
    for (const auto &[port, device] : o.ports)
        if (port < 1 || port > kMaxPortNumber || CheckPortDevice(port, device.c_str()) != 0)
            std::abort();
    if (o.job.kind < SERVICE_JOB_NONE || o.job.kind > SERVICE_JOB_RESTORE) std::abort();
    if (!std::memchr(o.job.file, '\0', sizeof o.job.file)) std::abort();
    // Publishing options only ever come with the broker, a password only with a user.
    const PublishRequest &p = o.publish;
    if (!p.on && (!p.user.empty() || p.hasPassword || !p.topicPrefix.empty())) std::abort();
    if (p.hasPassword && p.user.empty()) std::abort();
    if (p.on && (p.host.empty() || p.port < 1 || p.port > 65535)) std::abort();
    return 0;
}
