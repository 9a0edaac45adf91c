// Read-back and remote answers of the user-interface layer, for tests and benchmarks: what
// the graphs hold and how often they were repainted, queued answers for the popups and what
// the last popups were asked to show, and events sent to a control as if by the operator.
// The logic never includes this header; userint.h lists the operations it calls.
#pragma once

#include "userint.h"

// What a graph holds now, so that a test can check what was plotted.
enum { PLOT_KIND_NONE = 0, PLOT_KIND_CURVE = 1, PLOT_KIND_RECTANGLE = 2 };
int GetGraphPlotCount(int panel, int graph);
// Plot `index` (0 = oldest): for a curve up to maxPoints points, colour and width.
int GetGraphCurve(int panel, int graph, int index, double *x, double *y, int maxPoints,
                  int *color, int *lineWidth);
int GetGraphRectangle(int panel, int graph, int index, double *x1, double *y1, double *x2,
                      double *y2, int *color, int *fillColor);
// Strip chart: the last maxPoints values of a trace (1-based), oldest first.
int GetStripChartTrace(int panel, int chart, int trace, double *y, int maxPoints);
// Number of repaints a graph has performed; queued replots coalesce.
int GetGraphRepaintCount(int panel, int graph);

// Queued answers for the next popups: a test (or a script driving the program) answers a
// dialog through these instead of a person. Each answer is used once, in order.
void QueueFileSelectAnswer(int result, const char *pathName);
void QueueConfirmAnswer(int answer);
int PendingPopupAnswers(void);

// What the last dialogs were asked to show, answered by a person or from the queue.
struct FileSelectRequest {
    char defaultDirectory[MAX_PATHNAME_LEN];
    char defaultFileName[MAX_PATHNAME_LEN];
    char fileTypeList[MAX_PATHNAME_LEN];
    char title[MAX_PATHNAME_LEN];
    int buttonLabel;
    int restrictExtension;
};
void GetLastFileSelectRequest(FileSelectRequest *request);
void GetLastConfirmRequest(char *title, char *message, int size);

// Sends the event to the control's callback as if the operator had done it (used by tests
// and by accessibility actions). Returns the callback's result, or -1 if none.
int SimulateCtrlEvent(int panel, int control, int event, int eventData1, int eventData2);
