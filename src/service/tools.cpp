// The service tools on the main panel: Record, Compare, Report, the statistics panel and
// its Reset statistics button, and the tapping points that feed them.
#include "service.h"

#include "compare.h"
#include "comparewin.h"
#include "identity.h"
#include "recorder.h"
#include "runstats.h"
#include "statspanel.h"

#include "com232.h"
#include "kvor_panels.h"
#include "runmode.h"
#include "service_hooks.h"
#include "shell.h"
#include "userint.h"
#include "utility.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

constexpr int kTickMs = 250; // statistics shown four times a second, the file checked as often

struct Tools {
    RunStats stats;
    bool statsShown = true; // the panel shows the statistics as they stand
    RecordingFile recorder;
    QString lastRecording;
    std::optional<CompareResult> compare;
    std::unique_ptr<QTimer> tick;
};
std::unique_ptr<Tools> g_tools;

void Status(const QString &text) {
    SetStatus(text.toLocal8Bit().constData());
    ShowStatus();
}

QString DataFolder(const char *name) { return QDir(QString::fromLocal8Bit(proj_dir)).filePath(name); }
QString FileOf(const QString &path) { return QFileInfo(path).fileName(); }

bool RecordOn() {
    int on = 0;
    GetCtrlVal(pHandle, MAINPANEL_TOGGBTNRecord, &on);
    return on != 0;
}

void EndRecording(const QString &failure) {
    Tools &t = *g_tools;
    t.recorder.Close(Timer());
    if (failure.isEmpty()) return;
    SetCtrlVal(pHandle, MAINPANEL_TOGGBTNRecord, 0); // RUN goes on without recording
    Status(failure.arg(FileOf(t.recorder.Path())));
}

void StartRecording() {
    Tools &t = *g_tools;
    const QDateTime now = QDateTime::currentDateTime();
    const QString folder = DataFolder("recordings");
    const QString path = RecordingPath(folder, now);
    t.lastRecording = path;
    if (!QDir().mkpath(folder) || !t.recorder.Open(path, CsvHeader(now.toUTC()))) {
        SetCtrlVal(pHandle, MAINPANEL_TOGGBTNRecord, 0);
        Status(QStringLiteral("Recording not started: cannot create %1!").arg(FileOf(path)));
        return;
    }
    Status(QStringLiteral("Recording to %1").arg(FileOf(path)));
}

void ShowStats() {
    Tools &t = *g_tools;
    if (t.statsShown || pStats == 0) return;
    int visible = 0;
    GetPanelAttribute(pStats, ATTR_VISIBLE, &visible);
    if (!visible) return; // shown when the panel comes up
    RefreshStatsPanel(t.stats);
    t.statsShown = true;
}

void OnTick() {
    Tools &t = *g_tools;
    ShowStats();
    if (t.recorder.IsOpen() && !t.recorder.FlushIfDue(Timer()))
        EndRecording(QStringLiteral("Recording stopped: cannot write %1!"));
    if (loop_mode == LOOP_RUN) return;
    // RUN has ended: the file is complete; the statistics stay, shown, for the report.
    if (t.recorder.IsOpen()) EndRecording({});
    if (pStats != 0) RefreshStatsPanel(t.stats);
    t.statsShown = true;
    t.tick->stop();
}

void OnRunStart() {
    Tools &t = *g_tools;
    t.stats.Reset();
    t.statsShown = false;
    if (t.recorder.IsOpen()) EndRecording({}); // a file belongs to one RUN
    t.tick->start();
}

void OnRunFrame() {
    Tools &t = *g_tools;
    const RunFrame f = CurrentRunFrame();
    t.stats.Add(f);
    t.statsShown = false;
    if (!RecordOn()) return;
    if (!t.recorder.IsOpen()) StartRecording();
    if (!t.recorder.IsOpen()) return;
    t.recorder.Add(QDateTime::currentDateTimeUtc(), f);
    if (!t.recorder.FlushIfDue(Timer()))
        EndRecording(QStringLiteral("Recording stopped: cannot write %1!"));
}

int CC_Record(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT && !RecordOn() && g_tools->recorder.IsOpen()) {
        EndRecording({});
        Status(QStringLiteral("Recording ended: %1 (%2 frames)")
                   .arg(FileOf(g_tools->recorder.Path()))
                   .arg(g_tools->recorder.Frames()));
    }
    return 0;
}

int CC_Compare(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (loop_mode != LOOP_IDLE || exchange_busy) {
        Status(QStringLiteral("Compare: not while RUN, VIDEO or an exchange runs"));
        return 0;
    }
    const CompareResult r = ReadCompare(true);
    g_tools->compare = r;
    ShowCompareWindow(r);
    Status(QStringLiteral("Compare: ") + r.Summary());
    return 0;
}

int CC_Report(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    QString error;
    const QString pdf = WriteReport(DataFolder("reports"), &error);
    Status(pdf.isEmpty() ? QStringLiteral("Report not written: %1").arg(error)
                         : QStringLiteral("Report written: %1").arg(FileOf(pdf)));
    return 0;
}

int CC_ResetStats(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_tools->stats.Reset();
    RefreshStatsPanel(g_tools->stats);
    g_tools->statsShown = true;
    return 0;
}

} // namespace

void InstallServiceTools(void) {
    ShutdownServiceTools();
    g_tools = std::make_unique<Tools>();
    g_tools->tick = std::make_unique<QTimer>();
    g_tools->tick->setInterval(kTickMs);
    QObject::connect(g_tools->tick.get(), &QTimer::timeout, OnTick);
    g_identity = SensorIdentity();

    pStats = LoadPanel(pHandle, PANEL_RESOURCE_FILE, STATSPANEL);
    if (pStats > 0) {
        SetPanelAttribute(pStats, ATTR_LEFT, 8);
        SetPanelAttribute(pStats, ATTR_TOP, 105);
        SetupStatsPanel();
        RefreshStatsPanel(g_tools->stats);
        InstallCtrlCallback(pStats, STATSPANEL_BTNResetStats, CC_ResetStats, nullptr);
    } else {
        pStats = 0;
    }
    InstallCtrlCallback(pHandle, MAINPANEL_TOGGBTNRecord, CC_Record, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_BTNCompare, CC_Compare, nullptr);
    InstallCtrlCallback(pHandle, MAINPANEL_BTNReport, CC_Report, nullptr);

    // Attached before the publisher's sinks: the identity is taken before it is published.
    AttachHook(g_serviceHooks.runStart, OnRunStart);
    AttachHook(g_serviceHooks.runFrame, OnRunFrame);
    AttachHook(g_serviceHooks.probed, CaptureIdentity);
}

void ShutdownServiceTools(void) {
    DetachHook(g_serviceHooks.runStart, OnRunStart);
    DetachHook(g_serviceHooks.runFrame, OnRunFrame);
    DetachHook(g_serviceHooks.probed, CaptureIdentity);
    if (!g_tools) return;
    if (g_tools->recorder.IsOpen()) EndRecording({});
    CloseCompareWindow();
    g_tools.reset();
    pStats = 0;
}

const RunStats &CurrentRunStats(void) { return g_tools->stats; }
QString RecordingFilePath(void) { return g_tools ? g_tools->lastRecording : QString(); }
const CompareResult *LastCompare(void) {
    return g_tools && g_tools->compare ? &*g_tools->compare : nullptr;
}
