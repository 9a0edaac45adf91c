// Internal model of the user-interface layer: loaded panels, their controls and the state
// of graphs and strip charts. Private to the platform.
#pragma once

#include "userint.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

class QCustomPlot;
class QCPGraph;
class QCPItemRect;
class QCPItemStraightLine;
class QCPItemTracer;
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

} // namespace kvor_ui
