// The program as a user gets it: --help and --version answer without a display, --help
// names every option the program accepts, and a program laid out as installed
// (<prefix>/bin and <prefix>/share/kvor-rur-glint) finds its panels and logo in the share
// folder and keeps its files in XDG_DATA_HOME/kvor-rur-glint, never in its own folder.
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <ostream>

namespace {

QString Program() { return QString::fromStdString(BinDir() + "/kvor-rur-glint"); }

// The environment of a desktop without a display: only --help and --version may work there.
QProcessEnvironment NoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    return env;
}

// --help and --version without a display: exit 0 and the text asked for. Every option literal
// the launch code compares against is in the --help text, so an option added to the parser
// without a help line fails here.
TEST(InfoOptions, AnswerWithoutADisplayAndHelpNamesEveryOption) {
    const std::pair<QStringList, const char *> cases[] = { // the whole output's expression
        {{"--help"}, "^usage: kvor-rur-glint .*--version.*"},
        {{"--version"}, "^kvor-rur-glint \\d+(\\.\\d+)+\\n$"},
        {{"-h"}, "^usage: kvor-rur-glint "},
        {{"--simulate", "--version"}, "^kvor-rur-glint \\d"},
        {{"--port", "1=/dev/null", "--help"}, "^usage: "},
    };
    QString help;
    for (const auto &[args, expected] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.setProcessEnvironment(NoDisplay());
        p.start(Program(), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        if (help.isEmpty()) help = out;
        EXPECT_EQ(std::make_pair(QProcess::NormalExit, 0), std::make_pair(p.exitStatus(), p.exitCode()));
        EXPECT_TRUE(QRegularExpression(expected, QRegularExpression::DotMatchesEverythingOption)
                        .match(out).hasMatch()) << out.toStdString();
    }
    const QString source = QString::fromStdString(ReadWholeFile(KVOR_APPMAIN_SOURCE) +
                                                  ReadWholeFile(KVOR_LAUNCH_OPTIONS_SOURCE));
    ASSERT_TRUE(source.contains("--mqtt-topic") && source.contains("--version"))
        << KVOR_APPMAIN_SOURCE << " " << KVOR_LAUNCH_OPTIONS_SOURCE;
    QStringList options;
    auto it = QRegularExpression(QStringLiteral("\"(--?[a-z][a-z-]*)\"")).globalMatch(source);
    while (it.hasNext()) options << it.next().captured(1);
    options.removeDuplicates();
    EXPECT_GE(options.size(), 6) << options.join(' ').toStdString();
    for (const QString &o : options)
        EXPECT_TRUE(QRegularExpression("(^|[\\s,\\[])" + QRegularExpression::escape(o) + "([\\s,=\\]]|$)")
                        .match(help).hasMatch())
            << o.toStdString() << " is accepted but not in --help:\n" << help.toStdString();
}

// A copy of the program and its files in one of two layouts, started against the simulator.
enum class Layout { Installed, Beside };

struct LayoutCase {
    Layout layout;
    const char *dataFolder; // where the profile file must be read from, below the temp dir
};

void PrintTo(const LayoutCase &c, std::ostream *os) { *os << c.dataFolder; }

class ProgramLayout : public ::testing::TestWithParam<LayoutCase> {
  protected:
    std::string Path(const std::string &rel) const { return dir_.file(rel); }
    void Copy(const std::string &name, const std::string &to) {
        QDir().mkpath(QString::fromStdString(Path(to)));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(BinDir() + "/" + name),
                                QString::fromStdString(Path(to + "/" + name))))
            << name;
    }
    TempDir dir_;
};

TEST_P(ProgramLayout, FindsItsFilesAndKeepsDataWhereTheLayoutSays) {
    const LayoutCase c = GetParam();
    const std::string share = c.layout == Layout::Installed ? "usr/share/kvor-rur-glint" : "usr/bin";
    for (const char *name : {"kvor-rur-glint", "kvor-sensor-sim"}) Copy(name, "usr/bin");
    for (const char *name : {"K-VOR-JETGlintV100.uir", "mk.bmp"}) Copy(name, share);
    // A short profile file: the status text that refuses it shows which folder was read.
    QDir().mkpath(QString::fromStdString(Path(c.dataFolder)));
    WriteWholeFile(Path(std::string(c.dataFolder) + "/FREEZE.DAT"), "1\n2\n3\n");
    const QStringList before = QDir(QString::fromStdString(Path("usr/bin"))).entryList(QDir::Files);

    QProcessEnvironment env = ProgramEnvironment(dir_);
    env.insert("HOME", QString::fromStdString(Path("home")));
    env.insert("XDG_DATA_HOME", QString::fromStdString(Path("data")));
    QProcess program;
    program.setProcessEnvironment(env);
    const std::string trace = Path("trace.log");
    program.start(QString::fromStdString(Path("usr/bin/kvor-rur-glint")),
                  {"--simulate", "--trace", QString::fromStdString(trace)});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_GE(WaitForFileText(trace, "status K-VOR-RUR SIM"), 0)
        << ReadWholeFile(trace) << program.readAllStandardError().toStdString();
    const std::string log = ReadWholeFile(trace);
    EXPECT_NE(std::string::npos, log.find("Profile file not loaded (3 of 257 values)")) << log;
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(0, program.exitCode());
    if (c.layout == Layout::Installed) {
        EXPECT_EQ(before, QDir(QString::fromStdString(Path("usr/bin"))).entryList(QDir::Files))
            << "an installed program writes nothing into its own folder";
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ProgramLayout,
                         ::testing::Values(LayoutCase{Layout::Installed, "data/kvor-rur-glint"},
                                           LayoutCase{Layout::Beside, "usr/bin"}),
                         [](const auto &info) {
                             return info.param.layout == Layout::Installed ? "Installed" : "Beside";
                         });

} // namespace
