// The launch options, read into LaunchOptions; nothing is applied here.
#include "launch_options.h"

#include "rs232.h"

#include <cstring>

namespace {

constexpr const char *kPrefix = "kvor-rur-glint: ";

std::string Local(const QString &s) {
    return s.toLocal8Bit().toStdString();
}

// The --mqtt options fit together: a user or password file or topic only with --mqtt, a
// password only with a user. "" or what is wrong.
const char *PublishOptionsWrong(const PublishRequest &r, bool userGiven, bool topicGiven) {
    if (!r.on && (userGiven || r.hasPassword || topicGiven))
        return "--mqtt-user, --mqtt-password-file and --mqtt-topic need --mqtt URL";
    if (r.hasPassword && r.user.empty()) return "--mqtt-password-file needs --mqtt-user";
    return "";
}

} // namespace

LaunchOptions ParseLaunchOptions(const QStringList &args, PasswordFileReader readPassword) {
    LaunchOptions o;
    auto refuse = [&o](const std::string &text, bool usage) {
        o.error = kPrefix + text + "\n";
        o.usage = usage;
        return o;
    };
    bool mqttUserGiven = false, mqttTopicGiven = false;
    for (int i = 1; i < args.size(); i++) {
        const QString a = args[i];
        auto next = [&](QString &out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        QString value;
        if (a == QLatin1String("--simulate")) {
            o.simulate = true;
        } else if (a == QLatin1String("--port") && next(value)) {
            const int eq = value.indexOf('=');
            bool ok = false;
            const int port = eq > 0 ? value.left(eq).toInt(&ok) : 0;
            const std::string device = Local(value.mid(eq + 1));
            if (!ok || port < 1 || port > kMaxPortNumber ||
                CheckPortDevice(port, device.c_str()) < 0)
                return refuse("bad --port " + Local(value) + " (expected N=DEVICE, N 1.." +
                                  std::to_string(kMaxPortNumber) + ")",
                              false);
            o.ports.emplace_back(port, device);
        } else if (a == QLatin1String("--trace") && next(value)) {
            o.traces.push_back(Local(value));
        } else if (a == QLatin1String("--data-dir") && next(value)) {
            o.dataDir = Local(value);
        } else if (a == QLatin1String("--serial-dir") && next(value)) {
            o.serialDir = Local(value);
        } else if (a == QLatin1String("--info")) {
            o.job.kind = SERVICE_JOB_INFO;
        } else if ((a == QLatin1String("--backup") || a == QLatin1String("--restore")) &&
                   next(value) && value.toLocal8Bit().size() < int(sizeof o.job.file)) {
            // A file name too long for the job is refused below as an unknown option.
            o.job.kind = a == QLatin1String("--backup") ? SERVICE_JOB_BACKUP : SERVICE_JOB_RESTORE;
            std::strcpy(o.job.file, value.toLocal8Bit().constData());
        } else if (a == QLatin1String("--eeprom")) {
            o.job.eeprom = 1;
        } else if (a == QLatin1String("--mqtt") && next(value)) {
            const std::string wrong = ParseBrokerUrl(value.toStdString(), &o.publish);
            if (!wrong.empty()) {
                // A password written into the URL is not repeated on the terminal.
                const int at = value.lastIndexOf('@'), scheme = value.indexOf("://");
                const QString shown = at > scheme && scheme > 0
                                          ? value.left(scheme + 3) + "***" + value.mid(at)
                                          : value;
                return refuse("bad --mqtt " + Local(shown) + ": " + wrong, false);
            }
            o.publish.on = true;
        } else if (a == QLatin1String("--mqtt-user") && next(value)) {
            if (value.isEmpty()) return refuse("empty --mqtt-user", false);
            o.publish.user = value.toStdString();
            mqttUserGiven = true;
        } else if (a == QLatin1String("--mqtt-password-file") && next(value)) {
            if (!readPassword(value, &o.publish.password))
                return refuse("cannot read the --mqtt-password-file " + Local(value), false);
            o.publish.hasPassword = true;
        } else if (a == QLatin1String("--mqtt-password") || a.startsWith("--mqtt-password=")) {
            return refuse("a password is never given on the command line (others see it); use "
                          "--mqtt-password-file FILE",
                          false);
        } else if (a == QLatin1String("--mqtt-topic") && next(value)) {
            std::string prefix = value.toStdString();
            while (prefix.size() > 1 && prefix.back() == '/')
                prefix.pop_back();
            const std::string wrong = CheckTopicPrefix(prefix);
            if (!wrong.empty())
                return refuse("bad --mqtt-topic " + Local(value) + ": " + wrong, false);
            o.publish.topicPrefix = prefix;
            mqttTopicGiven = true;
        } else {
            return refuse("unknown option " + Local(a), true);
        }
    }
    if (const char *wrong = PublishOptionsWrong(o.publish, mqttUserGiven, mqttTopicGiven); *wrong)
        return refuse(wrong, true);
    return o;
}
