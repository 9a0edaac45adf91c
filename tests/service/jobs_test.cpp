// The scripted service jobs on the real program binary against a simulated sensor in this
// process: --info, a backup then a restore round trip (RAM and EEPROM), a restore whose
// read-back differs, a silent sensor, files that cannot be used.
#include "sim.h"
#include "test_support.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

class Jobs : public ::testing::Test {
  protected:
    SimSensor &Sensor(std::initializer_list<const char *> faults = {}) {
        SimSettings s;
        s.paced = false;
        for (std::string error; const char *f : faults)
            EXPECT_TRUE(ParseSimFault(f, &s.faults.emplace_back(), &error)) << error;
        sim_ = std::make_unique<SimSensor>(s);
        EXPECT_TRUE(sim_->Start()) << sim_->LastError();
        return *sim_;
    }
    Result Run(QStringList args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM"); // the job chooses the offscreen platform itself
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.path()));
        p.setProcessEnvironment(env);
        args << "--port" << QString::fromStdString("1=" + sim_->DevicePath()) << "--data-dir"
             << QString::fromStdString(dir_.path());
        p.start(QString::fromStdString(BinDir() + "/kvor-rur-glint"), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }
    QString File(const std::string &name) const { return QString::fromStdString(dir_.file(name)); }
    static std::vector<uint16_t> Numbers(const std::string &text) {
        std::istringstream in(text);
        std::vector<uint16_t> out;
        for (unsigned v; in >> v;) out.push_back(uint16_t(v));
        return out;
    }
    static std::string Lines(const SimWords &w) {
        std::string t;
        for (uint16_t v : w) t += std::to_string(v) + "\n";
        return t;
    }
    TempDir dir_;
    std::unique_ptr<SimSensor> sim_;
};

TEST_F(Jobs, InfoPrintsTheHardwareWordsAndTheFirmwareText) {
    Sensor();
    const Result r = Run({"--info"});
    EXPECT_EQ(0, r.code) << r.err;
    for (const char *line : {"\nccdtype 104\n", "\nccdsubpixel 1536\n", "\nsoftversion 210\n",
                             "\nfirmware K-VOR-RUR SIM T104 1536PX V2.10\n"})
        EXPECT_NE(std::string::npos, r.out.find(line)) << line << r.out;
}

// Backup of the RAM or the EEPROM into a file; restore of another set to the other memory,
// read back equal; the sensor holds it.
TEST_F(Jobs, BackupThenRestoreRoundTrip) {
    SimSensor &sim = Sensor();
    SimWords eeprom = sim.Eeprom();
    SimWords other = {700, 1, 300, 2, 0, 2, 100, 900, 480, 60, 1, 3, 77, 4242, 16, 1234};
    for (bool toEeprom : {false, true}) {
        SCOPED_TRACE(toEeprom);
        QStringList memory = toEeprom ? QStringList{"--eeprom"} : QStringList{};
        const Result backup = Run(QStringList{"--backup", File("backup.cfg")} << memory);
        EXPECT_EQ(0, backup.code) << backup.err;
        EXPECT_EQ(toEeprom ? sim.Eeprom() : sim.Ram(), Numbers(ReadWholeFile(dir_.file("backup.cfg"))));
        WriteWholeFile(dir_.file("other.cfg"), Lines(other));
        const Result restore = Run(QStringList{"--restore", File("other.cfg")} << memory);
        EXPECT_EQ(0, restore.code) << restore.out << restore.err;
        EXPECT_NE(std::string::npos, restore.out.find("read back: all 16 words equal"));
        EXPECT_EQ(other, toEeprom ? sim.Eeprom() : sim.Ram());
        other[0] = 650; // the next round sends another set
    }
    EXPECT_NE(eeprom, sim.Eeprom());
}

// A restore whose read-back differs (the sensor keeps word 3), a silent sensor (a backup from
// it writes no file), a file that cannot be used (missing, incomplete): each with its exit
// code and what it says.
TEST_F(Jobs, FailuresHaveTheirOwnExitCodes) {
    WriteWholeFile(dir_.file("good.cfg"), Lines({700, 1, 300, 2, 0, 2, 100, 900, 480, 60, 1, 3, 77, 4242, 16, 1234}));
    WriteWholeFile(dir_.file("short.cfg"), "1 2 3\n");
    const std::tuple<const char *, const char *, const char *, int, const char *, const char *> cases[] = {
        {"keep-word=3@1", "--restore", "good.cfg", 3, "differs: word 3 anaMode: sent 2, read back 0", "differs in 1 words"},
        {"no-reply", "--restore", "good.cfg", 1, "", "Timeout-RS-232..."},
        {"no-reply@2", "--restore", "good.cfg", 1, "sent to RAM:", "Timeout-RS-232..."}, // the read-back
        {"no-reply", "--backup", "b.cfg", 1, "", "Timeout-RS-232..."},
        {nullptr, "--restore", "missing.cfg", 2, "", "cannot read the parameter file"},
        {nullptr, "--restore", "short.cfg", 2, "", "incomplete parameter file"}};
    for (const auto &[fault, job, file, code, out, err] : cases) {
        SCOPED_TRACE(std::string(job) + " " + file + " " + std::to_string(code));
        if (fault) Sensor({fault}); else Sensor();
        const Result r = Run({job, File(file)});
        EXPECT_EQ(code, r.code);
        EXPECT_NE(std::string::npos, r.out.find(out)) << r.out;
        EXPECT_NE(std::string::npos, r.err.find(err)) << r.err;
    }
    EXPECT_FALSE(QFile::exists(File("b.cfg"))) << "a failed backup writes no file";
}

} // namespace
