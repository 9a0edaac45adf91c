// The service tools beside the described program: recording of RUN's frames, statistics of
// the current RUN, parameter compare, report, and the scripted service jobs.
#pragma once

#include <QString>

class QWidget;
struct CompareResult;

// Loads the statistics panel, binds Record, Compare, Report and Reset statistics and
// attaches the tapping points (service_hooks.h). Called by start-up once the panels are
// loaded and before the probe; a second call (a new start-up) begins afresh.
void InstallServiceTools(void);
// Ends a recording and detaches the taps (shutdown).
void ShutdownServiceTools(void);

// The entry passed to the platform: the scripted job asked for on the command line, or
// the window (winMain). appStart / appFinish are the program's start-up and shutdown.
int RunServiceOrWindow(int (*appStart)(void), int (*appFinish)(void), int (*winMain)(void));

// ---- for tests and the report -------------------------------------------------------
class RunStats;
const RunStats &CurrentRunStats(void);
// The recording now open or last written ("" when none).
QString RecordingFilePath(void);
// The compare window (nullptr before the first compare) and the last compare's result.
QWidget *CompareWindow(void);
const CompareResult *LastCompare(void);
// Writes the report into `folder`; the PDF's path, or "" with *error set.
QString WriteReport(const QString &folder, QString *error);
