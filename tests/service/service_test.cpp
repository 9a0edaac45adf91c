// The service tools on the whole program against the simulated sensor: statistics against
// hand-computed values, recording (rows equal the frames on the wire), compare, report.
#include "../live/live_fixture.h"
#include "compare.h"
#include "identity.h"
#include "recorder.h"
#include "runstats.h"
#include "service.h"

#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest/QTest>

#include <regex>

namespace {

RunFrame Frame(unsigned m, unsigned s, unsigned t, unsigned l = 0, unsigned r = 0) {
    RunFrame f;
    f.Mvalue = m, f.setpoint = s, f.tolerance = t, f.Ledge = l, f.Redge = r;
    return f;
}

// Mvalue 98, 100, 102, 104, 106 in the band 100 +/- 5: mean 102, sigma sqrt(10) = 3.16228,
// Cp = 10 / (6 sigma) = 0.52705, Cpk = min(105 - 102, 102 - 95) / (3 sigma) = 0.31623;
// 106 is out of band (1 of 5 = 20 %).
TEST(RunStatsTest, HandComputedValues) {
    struct Case {
        std::vector<RunFrame> frames;
        long frames_, outOfBand;
        double mean, sigma, percent;
        std::string cp, cpk;
    };
    const Case cases[] = {
        {{Frame(98, 100, 5), Frame(100, 100, 5), Frame(102, 100, 5), Frame(104, 100, 5),
          Frame(106, 100, 5)},
         5, 1, 102.0, std::sqrt(10.0), 20.0, "0.527", "0.316"},
        {{Frame(95, 100, 5), Frame(105, 100, 5)}, 2, 0, 100.0, std::sqrt(50.0), 0.0, "0.236", "0.236"},
        {{Frame(100, 100, 5)}, 1, 0, 100.0, 0.0, 0.0, "-", "-"},                     // one frame
        {{Frame(90, 100, 5), Frame(90, 100, 5), Frame(90, 100, 5)}, 3, 3, 90.0, 0.0, 100.0, "-", "-"}, // sigma 0
        {{Frame(0, 3, 5), Frame(8, 3, 5)}, 2, 0, 4.0, std::sqrt(32.0), 0.0, "0.295", "0.236"}, // S - T < 0
    };
    for (const Case &c : cases) {
        RunStats s;
        for (const RunFrame &f : c.frames) s.Add(f);
        SCOPED_TRACE(c.frames_);
        EXPECT_EQ(std::make_pair(s.Frames(), s.OutOfBand()), std::make_pair(c.frames_, c.outOfBand));
        EXPECT_NEAR(s.mvalue.Mean(), c.mean, 1e-9);
        EXPECT_NEAR(s.mvalue.Sigma(), c.sigma, 1e-9);
        EXPECT_NEAR(s.OutOfBandPercent(), c.percent, 1e-9);
        EXPECT_EQ(std::make_pair(FormatStat(s.Cp(), 3), FormatStat(s.Cpk(), 3)), std::make_pair(c.cp, c.cpk));
    }
    // Histogram over S - 4T .. S + 4T in 50 bins (0.8 wide here); the ends belong to the range.
    RunStats h;
    for (unsigned m : {80u, 100u, 100u, 120u, 79u, 121u}) h.Add(Frame(m, 100, 5));
    EXPECT_EQ(std::make_tuple(h.Bins()[0], h.Bins()[25], h.Bins()[49], h.Outside()),
              std::make_tuple(1L, 2L, 1L, 2L));
    EXPECT_EQ(std::make_tuple(h.mvalue.Min(), h.mvalue.Max()), std::make_tuple(79.0, 121.0));
}

// Rows are held up to a second, then written; a write that fails (the file may grow no
// further, as on a full disk) is told and closes the file. An existing name is never replaced.
TEST(RecordingFileTest, RowsGoOutWithinASecondAndAFailedWriteIsReported) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("a.csv"));
    RecordingFile f;
    ASSERT_TRUE(f.Open(path, "# x\n"));
    f.Add(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC), Frame(1, 2, 3));
    EXPECT_TRUE(f.FlushIfDue(0.0)) << "the first check writes the header";
    f.Add(QDateTime::fromMSecsSinceEpoch(1500, Qt::UTC), Frame(6, 2, 3));
    EXPECT_TRUE(f.FlushIfDue(0.5));
    EXPECT_EQ(std::string::npos, ReadWholeFile(dir.file("a.csv")).find("T00:00:01.500")) << "held < 1 s";
    EXPECT_TRUE(f.FlushIfDue(1.0));
    EXPECT_EQ(ReadWholeFile(dir.file("a.csv")),
              "# x\n" + CsvColumnLine().toStdString() +
                  "1970-01-01T00:00:00.000Z,1,0,0,1,0,2,3,0,0,0,0,0,0,0,1\n"
                  "1970-01-01T00:00:01.500Z,2,0,0,6,0,2,3,0,0,0,0,0,0,0,0\n");
    RecordingFile again;
    EXPECT_FALSE(again.Open(path, "# y\n"));
    EXPECT_EQ(0, ReadWholeFile(dir.file("a.csv")).rfind("# x", 0));

    for (int i = 0; i < 20; i++) f.Add(QDateTime::currentDateTimeUtc(), Frame(7, 2, 3));
    EXPECT_FALSE(WithFileSizeLimit(300, [&] { return f.Flush(2.0); }));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Error().isEmpty());
}

class ServiceTest : public LiveTest {
  protected:
    static std::vector<std::string> Split(const std::string &line) {
        std::vector<std::string> out;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');) out.push_back(cell);
        return out;
    }
    static std::vector<std::string> Texts(const std::vector<long> &values) {
        std::vector<std::string> out;
        for (long v : values) out.push_back(std::to_string(v));
        return out;
    }
    static std::string Shown(int panel, int control) {
        char text[MAX_PATHNAME_LEN] = {};
        GetCtrlVal(panel, control, text);
        return text;
    }
    void RunFrames(SimSensor &sim, int frames) {
        AfterFrames(sim, frames, PressStop);
        Press(pHandle, MAINPANEL_BTNRun);
        QTest::qWait(300); // the end of RUN is seen on the next tick
    }
};

// Record on, a RUN of 40 frames with a band that some frames leave: the header describes
// program, port, sensor and words; the rows are the frames drawn, as they came over the line;
// the statistics panel counts the same frames.
TEST_F(ServiceTest, RecordingHoldsEveryDrawnFrameAndTheStatisticsCountThem) {
    SimSensor &sim = StartWith();
    SimWords ram = sim.Ram();
    ram[kSimSetpoint] = 940, ram[kSimTolerance] = 50; // the object sweeps out of the band
    sim.SetRam(ram);
    Choose(MAINPANEL_TOGGBTNRecord, 1);
    RunFrames(sim, 40);
    const std::string path = RecordingFilePath().toStdString();
    EXPECT_EQ(proj_dir + std::string("/recordings/"), path.substr(0, path.rfind('/') + 1));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).fileName().contains(QRegularExpression("^run-\\d{8}-\\d{6}\\.csv$")));
    std::istringstream in(ReadWholeFile(path));
    std::vector<std::string> header;
    std::string line;
    while (std::getline(in, line) && line[0] == '#') header.push_back(line);
    ASSERT_EQ(6u, header.size());
    EXPECT_EQ("# program K-VOR-RUR-Glint Version 1.00", header[0]);
    EXPECT_EQ("# port COM1 " + sim.DevicePath(), header[2]);
    EXPECT_EQ("# hardware ccdtype=104 ccdmaxpixel=1536 ccdresolution=350 pcbtype=0 ccdmaxpixelX8=1536 "
              "ccdsubpixel=1536 ccdpixB=1 ccdpixE=1536 softversion=210", header[3]);
    EXPECT_EQ("# firmware K-VOR-RUR SIM T104 1536PX V2.10", header[4]);
    EXPECT_EQ("# parameters power=500 rs232Mode=0 videoThreshold=50 anaMode=0 polarity=1 evalMode=1 "
              "edgeLeft=1 edgeRight=1024 setpoint=940 tolerance=50 opMode=0 hardwareMode=1 "
              "spare12=1 spare13=0 average=0 tolDelta=1500", header[5]);
    EXPECT_EQ(CsvColumnLine().trimmed().toStdString(), line);
    const std::vector<Words16> wire = WireFrames();
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) rows.push_back(Split(line));
    // Every reply but the first (it starts the cycle) and the one in flight at STOP.
    ASSERT_GE(rows.size() + 2, wire.size());
    ASSERT_LE(rows.size() + 1, wire.size());
    long outOfBand = 0;
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(16u, rows[i].size());
        EXPECT_EQ(std::to_string(i + 1), rows[i][1]);
        EXPECT_TRUE(QDateTime::fromString(QString::fromStdString(rows[i][0]), Qt::ISODateWithMs).isValid());
        EXPECT_EQ(Texts(RecordValues(wire[i + 1])), std::vector<std::string>(rows[i].begin() + 2, rows[i].end()));
        outOfBand += rows[i][15] == "0";
    }
    EXPECT_GT(outOfBand, 0);
    EXPECT_LT(outOfBand, long(rows.size()));
    EXPECT_EQ(std::make_pair(long(rows.size()), outOfBand),
              std::make_pair(CurrentRunStats().Frames(), CurrentRunStats().OutOfBand()));
    EXPECT_EQ(std::to_string(rows.size()), Shown(pStats, STATSPANEL_NUMFrames));
    EXPECT_EQ(std::to_string(outOfBand), Shown(pStats, STATSPANEL_NUMOutOfBand));
    EXPECT_EQ(FormatStat(CurrentRunStats().Cpk(), 3), Shown(pStats, STATSPANEL_NUMCpk));
    // The next RUN starts the statistics and a file of its own.
    RunFrames(sim, 5);
    EXPECT_NE(path, RecordingFilePath().toStdString());
    EXPECT_LE(CurrentRunStats().Frames(), 5);
    // Reset statistics empties the panel.
    Press(pStats, STATSPANEL_BTNResetStats);
    EXPECT_EQ(std::make_tuple(std::string("0"), std::string("-"), std::string("-")),
              std::make_tuple(Shown(pStats, STATSPANEL_NUMFrames), Shown(pStats, STATSPANEL_NUMMvalueMean),
                              Shown(pStats, STATSPANEL_NUMCp)));
}

// A recording that cannot be written stops with a status text naming the file; RUN goes on.
TEST_F(ServiceTest, AnUnwritableRecordingStopsButRunGoesOn) {
    SimSensor &sim = StartWith();
    WriteWholeFile(proj_dir + std::string("/recordings"), "a file where the folder should be");
    Choose(MAINPANEL_TOGGBTNRecord, 1);
    std::string status;
    int framesAtStatus = 0;
    AfterFrames(sim, 3, [&] { status = Status(), framesAtStatus = sim.RequestCount(kSimMeasure); });
    RunFrames(sim, 20);
    EXPECT_TRUE(QString::fromStdString(status).contains(
        QRegularExpression("^Recording not started: cannot create run-\\d{8}-\\d{6}\\.csv!$")))
        << status;
    EXPECT_EQ(0, Attr(pHandle, MAINPANEL_TOGGBTNRecord, ATTR_DIMMED));
    int on = 1;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTNRecord, &on);
    EXPECT_EQ(0, on);
    EXPECT_GE(sim.RequestCount(kSimMeasure), framesAtStatus + 10) << "RUN went on";
}

// Compare reads RAM and EEPROM and a chosen file without touching the words or the panels;
// a time-out leaves its column empty; not while RUN runs.
TEST_F(ServiceTest, CompareShowsRamEepromAndFileWithTheDifferencesMarked) {
    SimSensor &sim = Start(Sensor());
    Words16 ram = DistinctWords();
    ram[3] = 5, ram[12] = 1000; // RAM not saved in two words
    sim.SetRam(ram);
    Words16 file = DistinctWords();
    file[0] = 999;
    std::string cfg = dir_.file("ref.cfg");
    WriteWholeFile(cfg, [&] { std::string t; for (auto w : file) t += std::to_string(w) + "\n"; return t; }());
    SetWords(Words16(PNUM, 7), true);
    const Words16 panels = PanelWords(), words = Words();
    struct Case { const char *fault; bool withFile; std::string summary; };
    for (const Case &c : {Case{nullptr, true, "RAM differs from EEPROM in 2 words: not saved"},
                          Case{"no-reply@4", false, "EEPROM not read"}}) {
        SCOPED_TRACE(c.summary);
        sim.ClearFaults();
        if (c.fault) sim.AddFault(Sensor({c.fault}).faults[0]);
        QueueFileSelectAnswer(c.withFile ? VAL_EXISTING_FILE_SELECTED : VAL_NO_FILE_SELECTED,
                              c.withFile ? cfg.c_str() : "");
        Press(pHandle, MAINPANEL_BTNCompare);
        EXPECT_EQ(std::make_pair(words, panels), std::make_pair(Words(), PanelWords()));
        QWidget *w = CompareWindow();
        ASSERT_TRUE(w && w->isVisible());
        auto *table = w->findChild<QTableWidget *>();
        auto *summary = w->findChild<QLabel *>();
        EXPECT_EQ("Compare table", table->accessibleName().toStdString());
        EXPECT_EQ(std::make_pair(std::string("Compare summary"), c.summary),
                  std::make_pair(summary->accessibleName().toStdString(), summary->text().toStdString()));
        EXPECT_EQ("Compare: " + c.summary, Status());
        for (int i = 0; i < PNUM; i++) {
            SCOPED_TRACE(i);
            auto cell = [&](int col) { return table->item(i, col)->text().toStdString(); };
            auto marked = [&](int col) { return table->item(i, col)->data(Qt::UserRole).toBool(); };
            EXPECT_EQ(std::make_pair(std::to_string(i), std::string(ParameterWordName(i))),
                      std::make_pair(cell(0), cell(1)));
            EXPECT_EQ(std::to_string(ram[i]), cell(2));
            EXPECT_EQ(c.fault ? "" : std::to_string(DistinctWords()[i]), cell(3));
            EXPECT_EQ(c.withFile ? std::to_string(file[i]) : "", cell(4));
            const bool ramDiffers = (!c.fault && ram[i] != DistinctWords()[i]) || (c.withFile && ram[i] != file[i]);
            EXPECT_EQ(ramDiffers, marked(2));
            EXPECT_EQ(!c.fault && (ram[i] != DistinctWords()[i] || (c.withFile && file[i] != DistinctWords()[i])), marked(3));
        }
    }
    sim.ClearFaults();
    const int reads = sim.RequestCount(kSimReadRam);
    AfterFrames(sim, 3, [] { Press(pHandle, MAINPANEL_BTNCompare); });
    AfterFrames(sim, 6, PressStop);
    Press(pHandle, MAINPANEL_BTNRun);
    EXPECT_EQ(reads, sim.RequestCount(kSimReadRam)) << "no compare while RUN runs";
}

// The report's PDF is real text: identity, firmware text, the sixteen words, the compare
// table; the graphs are written as PNG images beside it.
TEST_F(ServiceTest, ReportHoldsIdentityFirmwareAndTheSixteenWords) {
    SimSensor &sim = Start(Sensor());
    RunFrames(sim, 10);
    QueueFileSelectAnswer(VAL_NO_FILE_SELECTED, "");
    Press(pHandle, MAINPANEL_BTNCompare);
    Press(pHandle, MAINPANEL_BTNReport);
    const QString status = QString::fromStdString(Status());
    ASSERT_TRUE(status.contains(QRegularExpression("^Report written: report-\\d{8}-\\d{6}\\.pdf$"))) << Status();
    const QString pdf = QString::fromLocal8Bit(proj_dir) + "/reports/" + status.section(' ', 2);
    for (const char *suffix : {"-video.png", "-strip.png", "-histogram.png"})
        EXPECT_GT(QFileInfo(QString(pdf).replace(".pdf", suffix)).size(), 1000) << suffix;
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(20000));
    const std::string t = text.readAllStandardOutput().toStdString();
    for (const std::string &expected :
         {std::string("K-VOR-RUR-Glint Version 1.00"), "Port: COM1 " + sim.DevicePath(),
          std::string("ccdtype 104"), std::string("softversion 210"),
          std::string("Firmware: K-VOR-RUR SIM T104 1536PX V2.10"), std::string("RAM = EEPROM"),
          std::string("Statistics of the RUN"), std::string("Cpk")})
        EXPECT_NE(std::string::npos, t.find(expected)) << expected << "\n" << t;
    for (int i = 0; i < PNUM; i++) { // "<i> <name> <value>" in the words' table
        const std::regex row("\\b" + std::to_string(i) + " +" + ParameterWordName(i) + " +" +
                             std::to_string(Words()[i]) + "\\b");
        EXPECT_TRUE(std::regex_search(t, row)) << ParameterWordName(i);
    }
}

} // namespace
