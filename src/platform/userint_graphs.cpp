// Graphs and the strip chart over QCustomPlot: curves, rectangles, cursors, axis scaling and
// strip-chart traces, and their read-back. Changes queue one repaint per event-loop pass.
#include "userint.h"
#include "userint_readback.h"

#include "userint_widgets.h"

#include <qcustomplot.h>


using namespace kvor_ui;

namespace {

template <typename T> void CopyPoints(const void *src, int n, QVector<double> &out) {
    const T *a = static_cast<const T *>(src);
    for (int i = 0; i < n; i++) out[i] = double(a[i]);
}

} // namespace

namespace kvor_ui {

void QueueReplot(GraphState *g) {
    if (!g || !g->plot) return;
    if (!g->plot->isVisible()) {
        g->dirty = true;
        return;
    }
    g->plot->replot(QCustomPlot::rpQueuedReplot);
}

void SetupGraph(Control &c) {
    auto *plot = qobject_cast<QCustomPlot *>(c.widget.data());
    auto *g = new GraphState;
    g->plot = plot;
    plot->setPlottingHint(QCP::phFastPolylines, true);
    plot->setNoAntialiasingOnDrag(true);
    plot->setAntialiasedElements(QCP::aeNone);
    QObject::connect(plot, &QCustomPlot::afterReplot, plot, [g] { g->repaints++; });
    QObject::connect(plot, &QObject::destroyed, [g] { delete g; });
    auto range = [plot](const char *name, double def) {
        QVariant v = plot->property(name);
        return v.isValid() ? v.toDouble() : def;
    };
    plot->xAxis->setRange(range("xMin", 0), range("xMax", 1024));
    plot->yAxis->setRange(range("yMin", 0), range("yMax", 1));
    if (plot->property("xLabel").isValid()) plot->xAxis->setLabel(plot->property("xLabel").toString());
    if (plot->property("yLabel").isValid()) plot->yAxis->setLabel(plot->property("yLabel").toString());
    if (!plot->layer(QStringLiteral("cursors"))) plot->addLayer(QStringLiteral("cursors"));
    int cursors = plot->property("cursors").toInt();
    static const int kCursorColors[] = {0xD00000, 0x0050C0, 0x0050C0, 0x404040};
    for (int i = 0; i < cursors; i++) {
        CursorState cs;
        cs.line = new QCPItemStraightLine(plot);
        cs.line->setLayer(QStringLiteral("cursors"));
        QPen pen(Rgb(kCursorColors[i < 3 ? i : 3]));
        pen.setWidthF(1.5);
        if (i > 0) pen.setStyle(Qt::DashLine);
        cs.line->setPen(pen);
        cs.line->point1->setCoords(0, 0);
        cs.line->point2->setCoords(0, 1);
        cs.marker = new QCPItemTracer(plot);
        cs.marker->setLayer(QStringLiteral("cursors"));
        cs.marker->setStyle(QCPItemTracer::tsCircle);
        cs.marker->setSize(7);
        cs.marker->setPen(pen);
        cs.marker->setBrush(Rgb(kCursorColors[i < 3 ? i : 3]));
        cs.marker->position->setCoords(0, 0);
        g->cursors.push_back(cs);
    }
    if (c.kind == Kind::StripChart) {
        g->numTraces = std::max(1, plot->property("traces").toInt());
        g->pointsPerScreen = 100;
        g->traceData.assign(g->numTraces, {});
        g->traceColors.assign(g->numTraces, 0);
        for (int t = 0; t < g->numTraces; t++) plot->addGraph();
    }
    c.graph = g;
}

void EnsureTraces(GraphState *g, int n) {
    n = std::max(1, n);
    while (g->plot->graphCount() < n) g->plot->addGraph();
    while (g->plot->graphCount() > n) g->plot->removeGraph(g->plot->graphCount() - 1);
    g->numTraces = n;
    g->traceData.resize(n);
    g->traceColors.resize(n, 0);
    for (int t = 0; t < n; t++) g->plot->graph(t)->setPen(QPen(Rgb(g->traceColors[t]), 1.5));
}

void ApplyStripChartData(GraphState *g) {
    const int pps = g->pointsPerScreen;
    for (int t = 0; t < g->numTraces && t < g->plot->graphCount(); t++) {
        const auto &d = g->traceData[t];
        QVector<double> xs(int(d.size())), ys(int(d.size()));
        // Newest point at the right edge of the screen.
        int offset = pps - int(d.size());
        for (int i = 0; i < int(d.size()); i++) {
            xs[i] = offset + i;
            ys[i] = d[i];
        }
        g->plot->graph(t)->setData(xs, ys, true);
    }
    g->plot->xAxis->setRange(0, std::max(1, pps - 1));
}

bool ToDoubles(const void *src, int type, int n, QVector<double> &out) {
    out.resize(n);
    switch (type) {
    case VAL_DOUBLE: CopyPoints<double>(src, n, out); return true;
    case VAL_FLOAT: CopyPoints<float>(src, n, out); return true;
    case VAL_INTEGER: CopyPoints<int>(src, n, out); return true;
    case VAL_UNSIGNED_INTEGER: CopyPoints<unsigned>(src, n, out); return true;
    case VAL_SHORT_INTEGER: CopyPoints<short>(src, n, out); return true;
    case VAL_UNSIGNED_SHORT_INTEGER: CopyPoints<unsigned short>(src, n, out); return true;
    case VAL_CHAR: CopyPoints<signed char>(src, n, out); return true;
    case VAL_UNSIGNED_CHAR: CopyPoints<unsigned char>(src, n, out); return true;
    default: return false;
    }
}

GraphState *GraphOf(int panel, int control) {
    Control *c = FindCtrl(panel, control);
    return c ? c->graph : nullptr;
}

} // namespace kvor_ui


// ==== graphs ===================================================================================

int DeleteGraphPlot(int panel, int graph, int plotHandle, int refresh) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    if (plotHandle == -1) {
        for (PlotEntry &e : g->plots) {
            if (e.curve) g->plot->removeGraph(e.curve);
            if (e.rect) g->plot->removeItem(e.rect);
        }
        g->plots.clear();
    } else {
        int idx = plotHandle - 1;
        if (idx < 0 || idx >= int(g->plots.size())) return -1;
        PlotEntry &e = g->plots[idx];
        if (e.curve) g->plot->removeGraph(e.curve);
        if (e.rect) g->plot->removeItem(e.rect);
        e = PlotEntry{};
    }
    if (refresh) QueueReplot(g);
    return 0;
}

int PlotXY(int panel, int graph, const void *x, const void *y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color) {
    (void)pointStyle;
    (void)lineStyle;
    (void)pointFrequency;
    GraphState *g = GraphOf(panel, graph);
    if (!g || !x || !y || count < 0) return -1;
    QVector<double> xs, ys;
    if (!ToDoubles(x, xType, count, xs) || !ToDoubles(y, yType, count, ys)) return -1;
    QCPGraph *curve = g->plot->addGraph();
    QPen pen(Rgb(color));
    pen.setWidthF(plotStyle == VAL_FAT_LINE ? 2.5 : 1.0);
    curve->setPen(pen);
    curve->setData(xs, ys, true);
    g->plots.push_back(PlotEntry{PLOT_KIND_CURVE, curve, nullptr});
    QueueReplot(g);
    return int(g->plots.size());
}

int PlotRectangle(int panel, int graph, double x1, double y1, double x2, double y2, int color,
                  int fillColor) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    auto *rect = new QCPItemRect(g->plot);
    rect->setPen(QPen(Rgb(color)));
    rect->setBrush(QBrush(Rgb(fillColor)));
    rect->topLeft->setCoords(x1, y2);
    rect->bottomRight->setCoords(x2, y1);
    g->plots.push_back(PlotEntry{PLOT_KIND_RECTANGLE, nullptr, rect});
    QueueReplot(g);
    return int(g->plots.size());
}

int SetGraphCursor(int panel, int graph, int cursor, double x, double y) {
    GraphState *g = GraphOf(panel, graph);
    if (!g || cursor < 1 || cursor > int(g->cursors.size())) return -1;
    CursorState &cs = g->cursors[cursor - 1];
    cs.x = x;
    cs.y = y;
    cs.line->point1->setCoords(x, 0);
    cs.line->point2->setCoords(x, 1);
    cs.marker->position->setCoords(x, y);
    QueueReplot(g);
    return 0;
}

int GetGraphCursor(int panel, int graph, int cursor, double *x, double *y) {
    GraphState *g = GraphOf(panel, graph);
    if (!g || cursor < 1 || cursor > int(g->cursors.size())) return -1;
    if (x) *x = g->cursors[cursor - 1].x;
    if (y) *y = g->cursors[cursor - 1].y;
    return 0;
}

int SetAxisScalingMode(int panel, int graph, int axis, int mode, double min, double max) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    QCPAxis *a = axis == VAL_XAXIS ? g->plot->xAxis : g->plot->yAxis;
    if (mode == VAL_MANUAL) {
        a->setRange(min, max);
    } else {
        a->rescale();
    }
    QueueReplot(g);
    return 0;
}

int GetAxisScalingMode(int panel, int graph, int axis, int *mode, double *min, double *max) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    QCPAxis *a = axis == VAL_XAXIS ? g->plot->xAxis : g->plot->yAxis;
    if (mode) *mode = VAL_MANUAL;
    if (min) *min = a->range().lower;
    if (max) *max = a->range().upper;
    return 0;
}

int PlotStripChart(int panel, int chart, const void *array, int count, int start, int skip,
                   int dataType) {
    Control *c = FindCtrl(panel, chart);
    if (!c || c->kind != Kind::StripChart || !array || count < 0 || start < 0) return -1;
    GraphState *g = c->graph;
    QVector<double> values;
    if (!ToDoubles(array, dataType, start + count * (skip + 1), values)) return -1;
    const int pps = g->pointsPerScreen;
    for (int i = 0; i < count; i++) {
        auto &d = g->traceData[g->nextTrace];
        d.push_back(values[start + i * (skip + 1)]);
        if (int(d.size()) > pps) d.erase(d.begin());
        g->nextTrace = (g->nextTrace + 1) % g->numTraces;
    }
    ApplyStripChartData(g);
    QueueReplot(g);
    return 0;
}

int SetTraceAttribute(int panel, int chart, int trace, int attribute, int value) {
    Control *c = FindCtrl(panel, chart);
    if (!c || c->kind != Kind::StripChart || attribute != ATTR_TRACE_COLOR) return -1;
    GraphState *g = c->graph;
    if (trace < 1 || trace > g->numTraces) return -1;
    g->traceColors[trace - 1] = value;
    if (trace - 1 < g->plot->graphCount()) g->plot->graph(trace - 1)->setPen(QPen(Rgb(value), 1.5));
    return 0;
}

int GetGraphPlotCount(int panel, int graph) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    int n = 0;
    for (const PlotEntry &e : g->plots)
        if (e.kind != PLOT_KIND_NONE) n++;
    return n;
}

static const PlotEntry *NthPlot(GraphState *g, int index) {
    int n = 0;
    for (const PlotEntry &e : g->plots) {
        if (e.kind == PLOT_KIND_NONE) continue;
        if (n++ == index) return &e;
    }
    return nullptr;
}

int GetGraphCurve(int panel, int graph, int index, double *x, double *y, int maxPoints,
                  int *color, int *lineWidth) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    const PlotEntry *e = NthPlot(g, index);
    if (!e || !e->curve) return -1;
    auto data = e->curve->data();
    int n = 0;
    for (auto it = data->constBegin(); it != data->constEnd() && n < maxPoints; ++it, ++n) {
        if (x) x[n] = it->key;
        if (y) y[n] = it->value;
    }
    if (color) *color = ToRgb(e->curve->pen().color());
    if (lineWidth) *lineWidth = int(e->curve->pen().widthF() + 0.5);
    return data->size();
}

int GetGraphRectangle(int panel, int graph, int index, double *x1, double *y1, double *x2,
                      double *y2, int *color, int *fillColor) {
    GraphState *g = GraphOf(panel, graph);
    if (!g) return -1;
    const PlotEntry *e = NthPlot(g, index);
    if (!e || !e->rect) return -1;
    if (x1) *x1 = e->rect->topLeft->coords().x();
    if (y2) *y2 = e->rect->topLeft->coords().y();
    if (x2) *x2 = e->rect->bottomRight->coords().x();
    if (y1) *y1 = e->rect->bottomRight->coords().y();
    if (color) *color = ToRgb(e->rect->pen().color());
    if (fillColor) *fillColor = ToRgb(e->rect->brush().color());
    return 0;
}

int GetStripChartTrace(int panel, int chart, int trace, double *y, int maxPoints) {
    Control *c = FindCtrl(panel, chart);
    if (!c || c->kind != Kind::StripChart) return -1;
    GraphState *g = c->graph;
    if (trace < 1 || trace > g->numTraces) return -1;
    const auto &d = g->traceData[trace - 1];
    int n = std::min<int>(maxPoints, int(d.size()));
    // The last n values, oldest first.
    for (int i = 0; i < n; i++) y[i] = d[d.size() - n + i];
    return n;
}

int GetGraphRepaintCount(int panel, int graph) {
    GraphState *g = GraphOf(panel, graph);
    return g ? g->repaints : -1;
}
