// Panels: loading the Designer files from the panel resource beside the program (graphs
// become QCustomPlot widgets, rings RingBoxes), the controls' table filled at load time,
// showing, hiding and discarding panels, and their callbacks.
#include "userint.h"
#include "userint_readback.h"

#include "rs232.h"
#include "install_paths.h"
#include "userint_widgets.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QResource>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUiLoader>
#include <qcustomplot.h>


using namespace kvor_ui;

namespace {

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

} // namespace

namespace {

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

std::map<QString, QString> g_resourceRoots; // panel resource path -> mapping root

QString RegisterPanelResource(const QString &path) {
    auto it = g_resourceRoots.find(path);
    if (it != g_resourceRoots.end()) return it->second;
    QString root = QStringLiteral("/kvor%1").arg(g_resourceRoots.size());
    if (!QResource::registerResource(path, root)) return {};
    g_resourceRoots[path] = root;
    return root;
}

} // namespace

namespace kvor_ui {

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

} // namespace kvor_ui

void kvor_ui::FillPortList(QComboBox *box) { RingBox::FillPortList(box); }

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
