// User-interface operations over Qt Widgets and QCustomPlot.
//
// Panels are Designer files inside the panel resource beside the program. Each addressed
// control carries its identifier in the dynamic property "ctrlId", its data type in
// "dataType" ("u16", "i32", "str"), and its caption is a QLabel whose "labelOf" names it.
// Control events reach the registered callbacks with the event codes of userint.h.
#include "userint.h"

#include "rs232.h"
#include "trace.h"
#include "install_paths.h"
#include "qt_access.h"
#include "userint_widgets.h"
#include "utility.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResource>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUiLoader>
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

using namespace kvor_ui;

namespace {

std::map<int, Panel> g_panels;
int g_nextHandle = 1;
QEventLoop *g_mainLoop = nullptr;
bool g_quitRequested = false;
int g_quitCode = 0;

struct FileAnswer {
    int result;
    std::string path;
};
std::deque<FileAnswer> g_fileAnswers;
std::deque<int> g_confirmAnswers;

// Text sizes are given in points of a 96-dpi panel: 3 points are 4 pixels.
int PointsToPixels(int points) { return (points * 4 + 1) / 3; }
int PixelsToPoints(int pixels) { return (pixels * 3 + 2) / 4; }

Panel *FindPanel(int handle) {
    auto it = g_panels.find(handle);
    if (it == g_panels.end() || !it->second.widget) return nullptr;
    return &it->second;
}

Control *FindCtrl(int panel, int control) {
    Panel *p = FindPanel(panel);
    if (!p) return nullptr;
    auto it = p->controls.find(control);
    if (it == p->controls.end() || !it->second.widget) return nullptr;
    return &it->second;
}

QColor Rgb(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
int ToRgb(const QColor &c) { return (c.red() << 16) | (c.green() << 8) | c.blue(); }

int Fire(int panel, int control, int event, int e1 = 0, int e2 = 0) {
    Control *c = FindCtrl(panel, control);
    if (!c || !c->callback) return -1;
    return c->callback(panel, control, event, c->callbackData, e1, e2);
}

// ---- combo box that refreshes the port list when it opens -------------------------------
class RingBox : public QComboBox {
  public:
    using QComboBox::QComboBox;
    void showPopup() override {
        if (property("portList").toBool()) FillPortList(this);
        QComboBox::showPopup();
    }
    static void FillPortList(QComboBox *box) {
        RefreshPortTable();
        int current = box->currentData().isValid() ? box->currentData().toInt() : 1;
        QSignalBlocker block(box);
        box->clear();
        bool havePort1 = false;
        char label[256];
        for (int i = 0; i < GetPortCount(); i++) {
            int port = 0;
            if (!GetPortEntry(i, &port, label, sizeof label)) continue;
            if (port == 1) havePort1 = true;
            box->addItem(QString::fromLocal8Bit(label), port);
        }
        if (!havePort1) box->insertItem(0, QStringLiteral("COM1  (no device)"), 1);
        int idx = box->findData(current);
        box->setCurrentIndex(idx >= 0 ? idx : 0);
        // The list shows the whole label (device and description) even where the box is narrow.
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
    }
};

// ---- loader: graphs become QCustomPlot widgets, rings RingBoxes ---------------------------
class PanelLoader : public QUiLoader {
  public:
    QWidget *createWidget(const QString &className, QWidget *parent,
                          const QString &name) override {
        QWidget *w = nullptr;
        if (className == QLatin1String("QCustomPlot"))
            w = new QCustomPlot(parent);
        else if (className == QLatin1String("QComboBox"))
            w = new RingBox(parent);
        else
            return QUiLoader::createWidget(className, parent, name);
        w->setObjectName(name);
        return w;
    }
};

// ---- events from the widgets to the callbacks ---------------------------------------------
class EventRouter : public QObject {
  public:
    EventRouter(int panel, int control, QObject *parent)
        : QObject(parent), panel_(panel), control_(control) {}

  protected:
    bool eventFilter(QObject *, QEvent *ev) override {
        switch (ev->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // The second press of a double click is an event of its own, so that a
            // callback acting on the left click (SEND) acts once per double click.
            auto *me = static_cast<QMouseEvent *>(ev);
            const bool second = ev->type() == QEvent::MouseButtonDblClick;
            QPoint p = me->position().toPoint();
            if (me->button() == Qt::LeftButton) {
                if (QWidget *w = PlatformControlWidget(panel_, control_))
                    w->setProperty("kvorMousePress", true);
                Fire(panel_, control_, second ? EVENT_LEFT_DOUBLE_CLICK : EVENT_LEFT_CLICK, p.y(),
                     p.x());
            } else if (me->button() == Qt::RightButton) {
                Fire(panel_, control_, second ? EVENT_RIGHT_DOUBLE_CLICK : EVENT_RIGHT_CLICK, p.y(),
                     p.x());
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            // A press that ends outside the button clicks nothing: forget it afterwards.
            if (QWidget *w = PlatformControlWidget(panel_, control_))
                QTimer::singleShot(0, w, [w] { w->setProperty("kvorMousePress", false); });
            break;
        case QEvent::ContextMenu:
            // The right click has been delivered on the press; no toolkit menu.
            return true;
        case QEvent::KeyPress: {
            auto *ke = static_cast<QKeyEvent *>(ev);
            Fire(panel_, control_, EVENT_KEYPRESS, ke->key(), 0);
            break;
        }
        default:
            break;
        }
        return false;
    }

  private:
    int panel_, control_;
};

class PanelCloseFilter : public QObject {
  public:
    PanelCloseFilter(int panel, QObject *parent) : QObject(parent), panel_(panel) {}

  protected:
    bool eventFilter(QObject *, QEvent *ev) override {
        if (ev->type() == QEvent::Close) {
            // The window stays until the program discards the panel.
            ev->ignore();
            Panel *p = FindPanel(panel_);
            if (p && p->callback) p->callback(panel_, EVENT_CLOSE, p->callbackData, 0, 0);
            return true;
        }
        return false;
    }

  private:
    int panel_;
};

void RouteEvents(int panel, int control, QWidget *w) {
    auto *router = new EventRouter(panel, control, w);
    w->installEventFilter(router);
    for (QWidget *child : w->findChildren<QWidget *>()) child->installEventFilter(router);
}

Kind KindOf(QWidget *w) {
    if (w->property("picture").toBool()) return Kind::Picture;
    if (qobject_cast<QCustomPlot *>(w))
        return w->property("kind").toString() == QLatin1String("stripchart") ? Kind::StripChart
                                                                            : Kind::Graph;
    if (auto *b = qobject_cast<QPushButton *>(w)) return b->isCheckable() ? Kind::Toggle : Kind::Button;
    if (qobject_cast<QRadioButton *>(w)) return Kind::Radio;
    if (qobject_cast<QCheckBox *>(w)) return Kind::Switch;
    if (qobject_cast<QComboBox *>(w)) return Kind::Ring;
    if (qobject_cast<QSpinBox *>(w)) return Kind::Numeric;
    if (qobject_cast<QSlider *>(w)) return Kind::Slider;
    if (qobject_cast<QLabel *>(w)) return Kind::TextMsg;
    if (qobject_cast<QPlainTextEdit *>(w)) return Kind::TextBox;
    if (qobject_cast<QFrame *>(w)) return Kind::Decoration;
    return Kind::Other;
}

DataType TypeOf(QWidget *w, Kind kind) {
    QString t = w->property("dataType").toString();
    if (t == QLatin1String("u16")) return DataType::U16;
    if (t == QLatin1String("str")) return DataType::Str;
    if (t == QLatin1String("i32")) return DataType::I32;
    return (kind == Kind::TextMsg || kind == Kind::TextBox) ? DataType::Str : DataType::I32;
}

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

void SetupControl(Panel &p, QWidget *w, int id) {
    Control c;
    c.id = id;
    c.widget = w;
    c.kind = KindOf(w);
    c.type = TypeOf(w, c.kind);
    c.isStatusLine = w->objectName() == QLatin1String("TEXTStatus");
    const int panel = p.handle;
    switch (c.kind) {
    case Kind::Button:
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch: {
        auto *button = qobject_cast<QAbstractButton *>(w);
        const bool isCommand = c.kind == Kind::Button;
        // A press with the mouse has delivered its left click already. Activation from the
        // keyboard or a screen reader brings none, so it gets one here: buttons that act
        // on the left click (SEND, STOP, the toggles) then work without a mouse too.
        QObject::connect(button, &QAbstractButton::clicked, w, [panel, id, button, isCommand] {
            button->setProperty("kvorClicks", button->property("kvorClicks").toInt() + 1);
            if (!button->property("kvorMousePress").toBool()) Fire(panel, id, EVENT_LEFT_CLICK);
            button->setProperty("kvorMousePress", false);
            if (!isCommand) Fire(panel, id, EVENT_VAL_CHANGED);
            Fire(panel, id, EVENT_COMMIT);
        });
        if (!isCommand) {
            // A screen reader's toggle action flips the state without a click: deliver it
            // as one once the current event is done (a real click arrives before that).
            QObject::connect(button, &QAbstractButton::toggled, w, [panel, id, button] {
                const int clicks = button->property("kvorClicks").toInt();
                QTimer::singleShot(0, button, [panel, id, button, clicks] {
                    if (button->property("kvorClicks").toInt() != clicks) return;
                    Fire(panel, id, EVENT_LEFT_CLICK);
                    Fire(panel, id, EVENT_VAL_CHANGED);
                    Fire(panel, id, EVENT_COMMIT);
                });
            });
        }
        break;
    }
    case Kind::Ring: {
        auto *box = qobject_cast<QComboBox *>(w);
        QStringList values = w->property("itemValues").toString().split(',', Qt::SkipEmptyParts);
        for (int i = 0; i < box->count(); i++)
            box->setItemData(i, i < values.size() ? values[i].trimmed().toInt() : i);
        if (w->property("portList").toBool()) RingBox::FillPortList(box);
        QObject::connect(box, &QComboBox::activated, w, [panel, id] {
            Fire(panel, id, EVENT_VAL_CHANGED);
            Fire(panel, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Numeric: {
        auto *spin = qobject_cast<QSpinBox *>(w);
        spin->setKeyboardTracking(false);
        if (c.type == DataType::U16 && spin->maximum() > 65535) spin->setMaximum(65535);
        QObject::connect(spin, &QSpinBox::valueChanged, w, [panel, id] {
            Fire(panel, id, EVENT_VAL_CHANGED);
            Fire(panel, id, EVENT_COMMIT);
        });
        break;
    }
    case Kind::Slider: {
        auto *slider = qobject_cast<QSlider *>(w);
        QObject::connect(slider, &QSlider::valueChanged, w, [panel, id, slider] {
            Fire(panel, id, EVENT_VAL_CHANGED);
            if (!slider->isSliderDown()) Fire(panel, id, EVENT_COMMIT);
        });
        QObject::connect(slider, &QSlider::sliderReleased, w,
                         [panel, id] { Fire(panel, id, EVENT_COMMIT); });
        break;
    }
    default:
        break;
    }
    if (c.kind == Kind::Graph || c.kind == Kind::StripChart) SetupGraph(c);
    RouteEvents(panel, id, w);
    p.controls[id] = c;
}

void AttachLabels(Panel &p) {
    std::map<QString, Control *> byName;
    for (auto &[id, c] : p.controls) byName[c.widget->objectName()] = &c;
    for (QLabel *label : p.widget->findChildren<QLabel *>()) {
        QString of = label->property("labelOf").toString();
        if (!of.isEmpty() && byName.count(of)) byName[of]->caption = label;
        QString valueOf = label->property("valueOf").toString();
        if (!valueOf.isEmpty() && byName.count(valueOf)) {
            Control *c = byName[valueOf];
            c->valueLabels.push_back(label);
            if (auto *slider = qobject_cast<QSlider *>(c->widget.data())) {
                label->setText(QString::number(slider->value()));
                QObject::connect(slider, &QSlider::valueChanged, label,
                                 [label](int v) { label->setText(QString::number(v)); });
            }
        }
    }
}

QString ResolveBesideProgram(const QString &name) {
    QFileInfo fi(name);
    if (fi.isAbsolute()) return name;
    const QString appDir = QCoreApplication::applicationDirPath();
    QStringList candidates = {appDir + "/" + name, appDir + "/../bin/" + name};
    if (const QString share = InstalledShareDir(); !share.isEmpty()) candidates << share + "/" + name;
#ifdef KVOR_BIN_DIR
    candidates << QStringLiteral(KVOR_BIN_DIR) + "/" + name;
#endif
    for (const QString &c : candidates)
        if (QFileInfo::exists(c)) return QFileInfo(c).absoluteFilePath();
    return candidates.front();
}

std::map<QString, QString> g_resourceRoots; // panel resource path -> mapping root

QString RegisterPanelResource(const QString &path) {
    auto it = g_resourceRoots.find(path);
    if (it != g_resourceRoots.end()) return it->second;
    QString root = QStringLiteral("/kvor%1").arg(g_resourceRoots.size());
    if (!QResource::registerResource(path, root)) return {};
    g_resourceRoots[path] = root;
    return root;
}

int ToInt(Control *c) {
    QWidget *w = c->widget;
    switch (c->kind) {
    case Kind::Numeric:
        return qobject_cast<QSpinBox *>(w)->value();
    case Kind::Slider:
        return qobject_cast<QSlider *>(w)->value();
    case Kind::Ring: {
        auto *box = qobject_cast<QComboBox *>(w);
        return box->currentData().isValid() ? box->currentData().toInt() : box->currentIndex();
    }
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        return qobject_cast<QAbstractButton *>(w)->isChecked() ? 1 : 0;
    default:
        return 0;
    }
}

void SetFromInt(Control *c, long long v) {
    QWidget *w = c->widget;
    QSignalBlocker block(w);
    switch (c->kind) {
    case Kind::Numeric:
        qobject_cast<QSpinBox *>(w)->setValue(int(v));
        break;
    case Kind::Slider: {
        auto *s = qobject_cast<QSlider *>(w);
        s->setValue(int(v));
        for (auto &l : c->valueLabels)
            if (l) l->setText(QString::number(s->value()));
        break;
    }
    case Kind::Ring: {
        auto *box = qobject_cast<QComboBox *>(w);
        int idx = box->findData(int(v));
        // A port assigned since the list was last filled: the list is filled again, as
        // opening it would.
        if (idx < 0 && w->property("portList").toBool()) {
            RingBox::FillPortList(box);
            idx = box->findData(int(v));
        }
        if (idx >= 0) box->setCurrentIndex(idx);
        break;
    }
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        qobject_cast<QAbstractButton *>(w)->setChecked(v != 0);
        break;
    default:
        break;
    }
}

int SetNumber(int panel, int control, long long v) {
    Control *c = FindCtrl(panel, control);
    if (!c) return -1;
    if (c->kind == Kind::TextMsg || c->kind == Kind::TextBox) {
        return SetCtrlVal(panel, control, QString::number(v).toLocal8Bit().constData());
    }
    SetFromInt(c, v);
    return 0;
}

template <typename T> void CopyPoints(const void *src, int n, QVector<double> &out) {
    const T *a = static_cast<const T *>(src);
    for (int i = 0; i < n; i++) out[i] = double(a[i]);
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

bool HeadlessPlatform() {
    const QString p = QGuiApplication::platformName();
    return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}

} // namespace

// ==== panels ================================================================================

int LoadPanel(int parent, const char *fileName, int resourceId) {
    if (!fileName) return -1;
    QWidget *parentWidget = nullptr;
    if (parent != 0) {
        Panel *pp = FindPanel(parent);
        if (!pp) return -1;
        parentWidget = pp->widget;
    }
    const QString path = ResolveBesideProgram(QString::fromLocal8Bit(fileName));
    const QString root = RegisterPanelResource(path);
    if (root.isEmpty()) return -1;
    QFile ui(QStringLiteral(":%1/panels/panel%2.ui").arg(root).arg(resourceId));
    if (!ui.open(QIODevice::ReadOnly)) return -1;
    PanelLoader loader;
    QWidget *w = loader.load(&ui, parentWidget);
    if (!w) return -1;
    if (parentWidget) {
        w->setParent(parentWidget);
        w->setWindowFlags(Qt::Widget);
    }
    w->hide();

    const int handle = g_nextHandle++;
    Panel &p = g_panels[handle];
    p.handle = handle;
    p.parent = parent;
    p.resourceId = resourceId;
    p.widget = w;
    for (QWidget *child : w->findChildren<QWidget *>()) {
        bool ok = false;
        int id = child->property("ctrlId").toInt(&ok);
        if (ok && id > 0) SetupControl(p, child, id);
    }
    AttachLabels(p);
    w->installEventFilter(new PanelCloseFilter(handle, w));
    return handle;
}

int DisplayPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return -1;
    p->widget->show();
    if (!p->widget->isWindow()) p->widget->raise(); // a child panel comes to the front
    for (auto &[id, c] : p->controls)
        if (c.graph && c.graph->dirty && c.widget->isVisible()) {
            c.graph->dirty = false;
            QueueReplot(c.graph);
        }
    return 0;
}

int HidePanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return -1;
    p->widget->hide();
    return 0;
}

int DiscardPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return -1;
    QWidget *w = p->widget;
    // Child panels die with their parent's widget.
    for (auto it = g_panels.begin(); it != g_panels.end();) {
        if (it->first != panel && it->second.widget && w->isAncestorOf(it->second.widget))
            it = g_panels.erase(it);
        else
            ++it;
    }
    g_panels.erase(panel);
    delete w;
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int *value) {
    Panel *p = FindPanel(panel);
    if (!p || !value) return -1;
    QWidget *w = p->widget;
    switch (attribute) {
    case ATTR_LEFT: *value = w->isWindow() ? w->x() : w->pos().x(); return 0;
    case ATTR_TOP: *value = w->isWindow() ? w->y() : w->pos().y(); return 0;
    case ATTR_WIDTH: *value = w->width(); return 0;
    case ATTR_HEIGHT: *value = w->height(); return 0;
    case ATTR_VISIBLE: *value = w->isVisible() ? 1 : 0; return 0;
    default: return -1;
    }
}

int SetPanelAttribute(int panel, int attribute, int value) {
    Panel *p = FindPanel(panel);
    if (!p) return -1;
    QWidget *w = p->widget;
    switch (attribute) {
    case ATTR_LEFT: w->move(value, w->y()); return 0;
    case ATTR_TOP: w->move(w->x(), value); return 0;
    case ATTR_VISIBLE: w->setVisible(value != 0); return 0;
    default: return -1;
    }
}

int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData) {
    Panel *p = FindPanel(panel);
    if (!p) return -1;
    p->callback = callback;
    p->callbackData = callbackData;
    return 0;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void *callbackData) {
    Control *c = FindCtrl(panel, control);
    if (!c) return -1;
    c->callback = callback;
    c->callbackData = callbackData;
    return 0;
}

// ==== values and attributes ==================================================================

int GetCtrlVal(int panel, int control, void *value) {
    Control *c = FindCtrl(panel, control);
    if (!c || !value) return -1;
    if (c->type == DataType::Str || c->kind == Kind::TextMsg || c->kind == Kind::TextBox) {
        QString text;
        if (auto *l = qobject_cast<QLabel *>(c->widget.data())) text = l->text();
        else if (auto *t = qobject_cast<QPlainTextEdit *>(c->widget.data())) text = t->toPlainText();
        QByteArray bytes = text.toLocal8Bit();
        int n = std::min<int>(bytes.size(), MAX_PATHNAME_LEN - 1);
        std::memcpy(value, bytes.constData(), n);
        static_cast<char *>(value)[n] = '\0';
        return 0;
    }
    const int v = ToInt(c);
    if (c->type == DataType::U16) *static_cast<unsigned short *>(value) = static_cast<unsigned short>(v);
    else *static_cast<int *>(value) = v;
    return 0;
}

int SetCtrlVal(int panel, int control, int value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, unsigned value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, unsigned short value) {
    return SetNumber(panel, control, value);
}
int SetCtrlVal(int panel, int control, short value) { return SetNumber(panel, control, value); }
int SetCtrlVal(int panel, int control, double value) {
    return SetNumber(panel, control, static_cast<long long>(value));
}

int SetCtrlVal(int panel, int control, const char *text) {
    Control *c = FindCtrl(panel, control);
    if (!c || !text) return -1;
    const QString s = QString::fromLocal8Bit(text);
    if (auto *l = qobject_cast<QLabel *>(c->widget.data())) {
        l->setText(s);
        if (c->id >= 1000) l->adjustSize(); // info texts size to their text
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(c->widget.data())) {
        t->setPlainText(s);
    } else {
        return -1;
    }
    if (c->isStatusLine) TraceLine("status", text);
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, void *value) {
    Control *c = FindCtrl(panel, control);
    if (!c || !value) return -1;
    QWidget *w = c->widget;
    int *iv = static_cast<int *>(value);
    switch (attribute) {
    case ATTR_DIMMED: *iv = w->isEnabled() ? 0 : 1; return 0;
    case ATTR_VISIBLE: *iv = w->isVisibleTo(w->parentWidget()) ? 1 : 0; return 0;
    case ATTR_LEFT: *iv = w->x(); return 0;
    case ATTR_TOP: *iv = w->y(); return 0;
    case ATTR_WIDTH: *iv = w->width(); return 0;
    case ATTR_HEIGHT: *iv = w->height(); return 0;
    case ATTR_MAX_VALUE:
    case ATTR_MIN_VALUE: {
        bool max = attribute == ATTR_MAX_VALUE;
        if (auto *s = qobject_cast<QSpinBox *>(w)) *iv = max ? s->maximum() : s->minimum();
        else if (auto *s2 = qobject_cast<QSlider *>(w)) *iv = max ? s2->maximum() : s2->minimum();
        else return -1;
        return 0;
    }
    case ATTR_LABEL_TEXT: {
        QByteArray b = c->caption ? c->caption->text().toLocal8Bit() : QByteArray();
        int n = std::min<int>(b.size(), MAX_PATHNAME_LEN - 1);
        std::memcpy(value, b.constData(), n);
        static_cast<char *>(value)[n] = '\0';
        return 0;
    }
    case ATTR_TEXT_COLOR: *iv = ToRgb(w->palette().color(QPalette::WindowText)); return 0;
    case ATTR_TEXT_BGCOLOR:
    case ATTR_FRAME_COLOR: *iv = ToRgb(w->palette().color(QPalette::Window)); return 0;
    case ATTR_TEXT_POINT_SIZE: *iv = PixelsToPoints(w->font().pixelSize()); return 0;
    case ATTR_NUM_TRACES: if (!c->graph) return -1; *iv = c->graph->numTraces; return 0;
    case ATTR_POINTS_PER_SCREEN: if (!c->graph) return -1; *iv = c->graph->pointsPerScreen; return 0;
    case ATTR_SCROLL_MODE: if (!c->graph) return -1; *iv = c->graph->scrollMode; return 0;
    default: return -1;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Control *c = FindCtrl(panel, control);
    if (!c) return -1;
    QWidget *w = c->widget;
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(value == 0);
        if (c->caption) c->caption->setEnabled(value == 0);
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        if (c->caption) c->caption->setVisible(value != 0);
        for (auto &l : c->valueLabels)
            if (l) l->setVisible(value != 0);
        if (value && c->graph && c->graph->dirty) {
            c->graph->dirty = false;
            QueueReplot(c->graph);
        }
        // A shown help box or text comes to the front (over a child panel). Graphs keep
        // the panel's stacking order: the strip chart over the jet graph over the video
        // graph, so the display of the running mode is the one in front.
        if (value && !c->graph) w->raise();
        return 0;
    case ATTR_LEFT:
    case ATTR_TOP: {
        QPoint to = attribute == ATTR_LEFT ? QPoint(value, w->y()) : QPoint(w->x(), value);
        QPoint delta = to - w->pos();
        w->move(to);
        if (c->caption) c->caption->move(c->caption->pos() + delta);
        return 0;
    }
    case ATTR_WIDTH: w->resize(value, w->height()); return 0;
    case ATTR_HEIGHT: w->resize(w->width(), value); return 0;
    case ATTR_MAX_VALUE:
    case ATTR_MIN_VALUE: {
        bool max = attribute == ATTR_MAX_VALUE;
        QSignalBlocker block(w);
        if (auto *s = qobject_cast<QSpinBox *>(w)) max ? s->setMaximum(value) : s->setMinimum(value);
        else if (auto *s2 = qobject_cast<QSlider *>(w)) max ? s2->setMaximum(value) : s2->setMinimum(value);
        else return -1;
        return 0;
    }
    case ATTR_FRAME_COLOR:
    case ATTR_TEXT_BGCOLOR: {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, Rgb(value));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
        return 0;
    }
    case ATTR_TEXT_COLOR: {
        QPalette pal = w->palette();
        pal.setColor(QPalette::WindowText, Rgb(value));
        pal.setColor(QPalette::Text, Rgb(value));
        w->setPalette(pal);
        return 0;
    }
    case ATTR_TEXT_POINT_SIZE: {
        // Sizes are points of a 96-dpi panel, set as pixels so that text keeps its place
        // among the controls whatever the screen's resolution.
        QFont f = w->font();
        f.setPixelSize(PointsToPixels(std::max(1, value)));
        w->setFont(f);
        if (auto *l = qobject_cast<QLabel *>(w)) l->adjustSize();
        return 0;
    }
    case ATTR_NUM_TRACES:
        if (!c->graph || c->kind != Kind::StripChart) return -1;
        EnsureTraces(c->graph, value);
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        if (!c->graph) return -1;
        c->graph->pointsPerScreen = std::max(2, value);
        for (auto &d : c->graph->traceData)
            if (int(d.size()) > c->graph->pointsPerScreen)
                d.erase(d.begin(), d.end() - c->graph->pointsPerScreen);
        return 0;
    case ATTR_SCROLL_MODE:
        if (!c->graph) return -1;
        c->graph->scrollMode = value;
        return 0;
    default:
        return -1;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *text) {
    Control *c = FindCtrl(panel, control);
    if (!c || !text) return -1;
    switch (attribute) {
    case ATTR_LABEL_TEXT:
        if (!c->caption) return -1;
        c->caption->setText(QString::fromLocal8Bit(text));
        return 0;
    case ATTR_TEXT_FONT: {
        QFont f = QApplication::font();
        if (std::strcmp(text, VAL_APP_FONT) != 0) f.setFamily(QString::fromLocal8Bit(text));
        f.setPixelSize(c->widget->font().pixelSize() > 0 ? c->widget->font().pixelSize()
                                                        : PointsToPixels(11));
        c->widget->setFont(f);
        return 0;
    }
    default:
        return -1;
    }
}

int GetCtrlBoundingRect(int panel, int control, int *top, int *left, int *height, int *width) {
    Control *c = FindCtrl(panel, control);
    Panel *p = FindPanel(panel);
    if (!c || !p) return -1;
    QRect r(c->widget->mapTo(p->widget, QPoint(0, 0)), c->widget->size());
    if (c->caption && c->caption->isVisibleTo(p->widget))
        r = r.united(QRect(c->caption->mapTo(p->widget, QPoint(0, 0)), c->caption->size()));
    if (top) *top = r.top();
    if (left) *left = r.left();
    if (height) *height = r.height();
    if (width) *width = r.width();
    return 0;
}

int NewCtrl(int panel, int style, const char *label, int top, int left) {
    Panel *p = FindPanel(panel);
    if (!p || style != CTRL_TEXT_MSG) return -1;
    auto *l = new QLabel(p->widget);
    l->setText(label ? QString::fromLocal8Bit(label) : QString());
    l->move(left, top);
    l->adjustSize();
    l->setAccessibleDescription(QStringLiteral("info text"));
    l->show();
    const int id = p->nextRuntimeId++;
    Control c;
    c.id = id;
    c.widget = l;
    c.kind = Kind::TextMsg;
    c.type = DataType::Str;
    p->controls[id] = c;
    return id;
}

int ReplaceListItem(int panel, int control, int index, const char *label, int value) {
    Control *c = FindCtrl(panel, control);
    if (!c || c->kind != Kind::Ring || !label) return -1;
    auto *box = qobject_cast<QComboBox *>(c->widget.data());
    if (index < 0 || index >= box->count()) return -1;
    QSignalBlocker block(box);
    box->setItemText(index, QString::fromLocal8Bit(label));
    box->setItemData(index, value);
    return 0;
}

int ResetTextBox(int panel, int control, const char *text) {
    return SetCtrlVal(panel, control, text ? text : "");
}

int DisplayImageFile(int panel, int control, const char *fileName) {
    Control *c = FindCtrl(panel, control);
    if (!c || !fileName) return -1;
    auto *l = qobject_cast<QLabel *>(c->widget.data());
    if (!l) return -1;
    QPixmap pm(ResolveBesideProgram(QString::fromLocal8Bit(fileName)));
    if (pm.isNull()) return -1;
    l->setPixmap(pm);
    l->resize(pm.size());
    return 0;
}

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

// ==== event loop ================================================================================

namespace {
// Sleeps in the event loop until an event arrives or `seconds` have passed.
void WaitForEvents(QAbstractEventDispatcher *d, double seconds) {
    static QTimer *wake = [] {
        auto *t = new QTimer(QCoreApplication::instance());
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        return t;
    }();
    // Whole milliseconds, rounded up, so that a wait for a deadline ends past it.
    wake->start(std::max(1, int(std::ceil(seconds * 1000.0))));
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake->stop();
}
} // namespace

int ProcessSystemEvents(void) {
    QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance();
    if (!d) return 0;
    QCoreApplication::sendPostedEvents();
    if (d->processEvents(QEventLoop::AllEvents)) return 0;
    // Nothing was pending: a short sleep, so that a caller polling in a loop does not
    // burn a core.
    WaitForEvents(d, 0.001);
    return 0;
}

int ProcessSystemEventsUntil(double deadline) {
    QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance();
    if (!d) {
        const double left = deadline - Timer();
        if (left > 0) Delay(left);
        return 0;
    }
    QCoreApplication::sendPostedEvents();
    if (d->processEvents(QEventLoop::AllEvents)) return 0;
    const double left = deadline - Timer();
    if (left > 0) WaitForEvents(d, left);
    return 0;
}

int RunUserInterface(void) {
    if (g_quitRequested) {
        g_quitRequested = false;
        return g_quitCode;
    }
    QEventLoop loop;
    QEventLoop *outer = g_mainLoop;
    g_mainLoop = &loop;
    int code = loop.exec();
    g_mainLoop = outer;
    g_quitRequested = false;
    return code;
}

int QuitUserInterface(int exitCode) {
    g_quitCode = exitCode;
    if (g_mainLoop) g_mainLoop->exit(exitCode);
    else g_quitRequested = true;
    return 0;
}

// ==== popups ========================================================================================

void QueueFileSelectAnswer(int result, const char *pathName) {
    g_fileAnswers.push_back(FileAnswer{result, pathName ? pathName : ""});
}

void QueueConfirmAnswer(int answer) { g_confirmAnswers.push_back(answer); }

int PendingPopupAnswers(void) { return int(g_fileAnswers.size() + g_confirmAnswers.size()); }

namespace {
FileSelectRequest g_lastFileRequest = {};
std::string g_lastConfirmTitle, g_lastConfirmMessage;

void CopyField(char *dst, const char *src) {
    std::snprintf(dst, MAX_PATHNAME_LEN, "%s", src ? src : "");
}
} // namespace

void GetLastFileSelectRequest(FileSelectRequest *request) {
    if (request) *request = g_lastFileRequest;
}

void GetLastConfirmRequest(char *title, char *message, int size) {
    if (title && size > 0) std::snprintf(title, size_t(size), "%s", g_lastConfirmTitle.c_str());
    if (message && size > 0) std::snprintf(message, size_t(size), "%s", g_lastConfirmMessage.c_str());
}

static int StorePath(const std::string &chosen, int result, char *pathName) {
    if (chosen.size() >= size_t(MAX_PATHNAME_LEN)) {
        // The caller's buffer cannot hold this path: refuse rather than cut it.
        if (pathName) pathName[0] = '\0';
        return VAL_PATH_TOO_LONG;
    }
    if (pathName) std::memcpy(pathName, chosen.c_str(), chosen.size() + 1);
    return result;
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathName) {
    (void)restrictDirectory;
    (void)allowCancel;
    CopyField(g_lastFileRequest.defaultDirectory, defaultDirectory);
    CopyField(g_lastFileRequest.defaultFileName, defaultFileName);
    CopyField(g_lastFileRequest.fileTypeList, fileTypeList);
    CopyField(g_lastFileRequest.title, title);
    g_lastFileRequest.buttonLabel = buttonLabel;
    g_lastFileRequest.restrictExtension = restrictExtension;
    if (!g_fileAnswers.empty()) {
        FileAnswer a = g_fileAnswers.front();
        g_fileAnswers.pop_front();
        if (a.result <= 0) {
            return a.result;
        }
        return StorePath(a.path, a.result, pathName);
    }
    if (HeadlessPlatform()) {
        std::fprintf(stderr, "kvor: file dialog \"%s\" cancelled: no display and no queued answer\n",
                     title ? title : "");
        return VAL_NO_FILE_SELECTED;
    }
    QFileDialog dlg(QApplication::activeWindow(), QString::fromLocal8Bit(title ? title : ""),
                    QString::fromLocal8Bit(defaultDirectory ? defaultDirectory : ""));
    const bool open = buttonLabel == VAL_LOAD_BUTTON || buttonLabel == VAL_SELECT_BUTTON;
    dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
    if (fileTypeList && *fileTypeList) {
        QString filter = QString::fromLocal8Bit(fileTypeList);
        dlg.setNameFilter(restrictExtension ? filter : filter + QStringLiteral(";;All files (*)"));
        if (restrictExtension && filter.startsWith(QLatin1String("*.")))
            dlg.setDefaultSuffix(filter.mid(2).section(';', 0, 0));
    }
    static const char *kLabels[] = {"OK", "Save", "Select", "Load"};
    if (buttonLabel >= 0 && buttonLabel <= 3)
        dlg.setLabelText(QFileDialog::Accept, QString::fromLatin1(kLabels[buttonLabel]));
    if (defaultFileName && *defaultFileName) dlg.selectFile(QString::fromLocal8Bit(defaultFileName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return VAL_NO_FILE_SELECTED;
    const QString chosen = QDir::toNativeSeparators(dlg.selectedFiles().front());
    const int result = QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    return StorePath(chosen.toLocal8Bit().toStdString(), result, pathName);
}

int ConfirmPopup(const char *title, const char *message) {
    g_lastConfirmTitle = title ? title : "";
    g_lastConfirmMessage = message ? message : "";
    if (!g_confirmAnswers.empty()) {
        int a = g_confirmAnswers.front();
        g_confirmAnswers.pop_front();
        return a;
    }
    if (HeadlessPlatform()) {
        std::fprintf(stderr, "kvor: question \"%s\" answered no: no display and no queued answer\n",
                     title ? title : "");
        return 0;
    }
    auto answer = QMessageBox::question(QApplication::activeWindow(),
                                        QString::fromLocal8Bit(title ? title : ""),
                                        QString::fromLocal8Bit(message ? message : ""),
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}

int SimulateCtrlEvent(int panel, int control, int event, int eventData1, int eventData2) {
    if (event == EVENT_CLOSE) {
        Panel *p = FindPanel(panel);
        if (!p || !p->callback) return -1;
        return p->callback(panel, EVENT_CLOSE, p->callbackData, eventData1, eventData2);
    }
    return Fire(panel, control, event, eventData1, eventData2);
}

// Widgets of controls and panels, for tests that drive real input events.
QWidget *PlatformControlWidget(int panel, int control) {
    Control *c = FindCtrl(panel, control);
    return c ? c->widget.data() : nullptr;
}

QWidget *PlatformPanelWidget(int panel) {
    Panel *p = FindPanel(panel);
    return p ? p->widget.data() : nullptr;
}
