// Control values and attributes: numbers and texts in the controls' own data types, the
// attributes the logic sets (dimmed, visible, position, colours, fonts, ranges) and
// controls made at run time.
#include "userint.h"
#include "userint_readback.h"

#include "trace.h"
#include "userint_widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <cstring>

using namespace kvor_ui;

namespace {

// Text sizes are given in points of a 96-dpi panel: 3 points are 4 pixels.
int PointsToPixels(int points) { return (points * 4 + 1) / 3; }
int PixelsToPoints(int pixels) { return (pixels * 3 + 2) / 4; }

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
            FillPortList(box);
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

} // namespace

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
