// Internal model of the user-interface layer: loaded panels, their controls and the state
// of graphs and strip charts. Private to the platform.
#pragma once

#include "userint_readback.h"

#include <QColor>
#include <QPointer>
#include <QVector>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

class QCustomPlot;
class QCPGraph;
class QCPItemRect;
class QCPItemStraightLine;
class QCPItemTracer;
class QComboBox;
class QLabel;

namespace kvor_ui {

enum class Kind {
    Button,
    Toggle,
    Radio,
    Ring,
    Numeric,
    Slider,
    Switch,
    TextMsg,
    TextBox,
    Decoration,
    Picture,
    Graph,
    StripChart,
    Other,
};

enum class DataType { U16, I32, Str };

struct PlotEntry {
    int kind = PLOT_KIND_NONE;
    QCPGraph *curve = nullptr;
    QCPItemRect *rect = nullptr;
};

struct CursorState {
    double x = 0, y = 0;
    QCPItemStraightLine *line = nullptr;
    QCPItemTracer *marker = nullptr;
};

struct GraphState {
    QCustomPlot *plot = nullptr;
    std::vector<PlotEntry> plots;
    std::vector<CursorState> cursors;
    int repaints = 0;
    bool dirty = false; // changed while hidden: replot when shown
    // strip chart
    int numTraces = 1;
    int pointsPerScreen = 100;
    int scrollMode = 0;
    std::vector<std::vector<double>> traceData; // newest last, at most pointsPerScreen each
    std::vector<int> traceColors;
    int nextTrace = 0;
};

struct Control {
    int id = 0;
    QPointer<QWidget> widget;
    QPointer<QLabel> caption;
    std::vector<QPointer<QLabel>> valueLabels;
    Kind kind = Kind::Other;
    DataType type = DataType::I32;
    CtrlCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    GraphState *graph = nullptr;
    bool isStatusLine = false;
};

struct Panel {
    int handle = 0;
    int parent = 0;
    int resourceId = 0;
    QPointer<QWidget> widget;
    std::map<int, Control> controls;
    PanelCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    int nextRuntimeId = 1000;
};

// ---- shared by the userint_*.cpp files ----------------------------------------------------

extern std::map<int, Panel> g_panels; // by handle
extern int g_nextHandle;

Panel *FindPanel(int handle);
Control *FindCtrl(int panel, int control);
QColor Rgb(int rgb);
int ToRgb(const QColor &c);
// Calls the control's callback with the event; -1 when it has none.
int Fire(int panel, int control, int event, int e1 = 0, int e2 = 0);
// Routes the mouse and key events of a control's widget and its children to Fire.
void RouteEvents(int panel, int control, QWidget *w);
Kind KindOf(QWidget *w);
DataType TypeOf(QWidget *w, Kind kind);
// The offscreen and minimal platforms: no person to answer a popup.
bool HeadlessPlatform();
// A file name beside the program (or in the installed share folder).
QString ResolveBesideProgram(const QString &name);

// Fills a port drop-down from the port table, keeping its current port where it still is.
void FillPortList(QComboBox *box);

void SetupGraph(Control &c);
// One repaint in the next event-loop pass, or at the next showing of a hidden graph.
void QueueReplot(GraphState *g);
void EnsureTraces(GraphState *g, int n);
void ApplyStripChartData(GraphState *g);
GraphState *GraphOf(int panel, int control);
bool ToDoubles(const void *src, int type, int n, QVector<double> &out);

} // namespace kvor_ui
