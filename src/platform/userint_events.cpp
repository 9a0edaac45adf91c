// User-interface operations over Qt Widgets and QCustomPlot: the panel table, the lookups of
// panels and controls, and the events from the widgets to the registered callbacks with the
// event codes of userint.h. The other userint_*.cpp files hold panels, control values,
// graphs, and the event loop with its popups.
#include "port_watch.h"
#include "userint.h"
#include "userint_readback.h"

#include "qt_access.h"
#include "userint_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <qcustomplot.h>


using namespace kvor_ui;

namespace kvor_ui {

std::map<int, Panel> g_panels;
int g_nextHandle = 1;

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

int Fire(int panel, int control, int event, int e1, int e2) {
    Control *c = FindCtrl(panel, control);
    if (!c || !c->callback) return -1;
    const CallbackScope running; // port_watch.h: a lost port is told once callbacks are done
    return c->callback(panel, control, event, c->callbackData, e1, e2);
}

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

bool HeadlessPlatform() {
    const QString p = QGuiApplication::platformName();
    return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}

} // namespace kvor_ui

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
