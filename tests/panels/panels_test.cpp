// The controls of controls.h as loaded, and panels on which nothing is clipped, overlaps or cut
// off.
#include "popup.h"
#include "port_watch.h"
#include "qt_access.h"
#include "userint.h"

#include <QComboBox>
#include <cerrno>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

#include "controls.h"

namespace {

int Handle(int res) {
    return res == MAINPANEL ? pHandle : res == PARA1 ? pPara1 : res == PARA2 ? pPara2 : pJet;
}

// Reads a value between two guards: a control of another width writes into them.
template <typename T> T Read(int panel, int id) {
    T v[3] = {T(0x5A5A5A5A), T(0x5A5A5A5A), T(0x5A5A5A5A)};
    EXPECT_EQ(GetCtrlVal(panel, id, &v[1]), 0);
    EXPECT_TRUE(v[0] == T(0x5A5A5A5A) && v[2] == v[0]) << "value does not fill exactly its type";
    return v[1];
}

// The panels as start-up loads them: the children at their common place, main and jet panel shown.
class Panels : public ::testing::Test {
  protected:
    void SetUp() override {
        pHandle = LoadPanel(0, PANEL_RESOURCE_FILE, MAINPANEL);
        for (auto [child, res] : {std::pair{&pPara1, PARA1}, {&pPara2, PARA2}, {&pJet, JETPANEL}}) {
            *child = LoadPanel(pHandle, PANEL_RESOURCE_FILE, res);
            SetPanelAttribute(*child, ATTR_LEFT, 8), SetPanelAttribute(*child, ATTR_TOP, 105);
        }
        ASSERT_TRUE(pHandle > 0 && pPara1 > 0 && pPara2 > 0 && pJet > 0) << PANEL_RESOURCE_FILE;
        DisplayPanel(pHandle), DisplayPanel(pJet);
    }
    void TearDown() override { DiscardPanel(pHandle); } // the children go with it
};

// Kind, start value, width, dimming; a 16-bit control holds every value its word may hold (else
// the next SEND would carry another word than the sensor sent), a ring offers no other values.
TEST_F(Panels, EveryControlHasItsKindStartValueAndWord) {
    for (const Control &c : kControls) {
        SCOPED_TRACE(c.name);
        const int panel = Handle(c.panel);
        QWidget *w = PlatformControlWidget(panel, c.id);
        ASSERT_TRUE(w && w->objectName() == c.name) << "missing, or another control has its id";
        EXPECT_TRUE(w->inherits(kClass[c.kind])) << w->metaObject()->className();
        int dimmed = -1; // shown at start: a11y_check.py
        GetCtrlAttribute(panel, c.id, ATTR_DIMMED, &dimmed);
        EXPECT_EQ(dimmed, c.dimmed);
        const int start = c.kind > Ring      ? c.start
                          : c.values.empty() ? Read<int>(panel, c.id)
                                             : Read<unsigned short>(panel, c.id);
        EXPECT_EQ(start, c.start);
        if (auto *spin = qobject_cast<QSpinBox *>(w)) { // displays cannot be edited
            EXPECT_EQ(spin->isReadOnly(), QString(c.accessible).endsWith("display"));
            EXPECT_EQ(spin->buttonSymbols() == QAbstractSpinBox::NoButtons, spin->isReadOnly());
        }
        for (int v : c.values) {
            SetCtrlVal(
                panel, c.id,
                static_cast<unsigned short>(v == c.values[0] ? c.values.back() : c.values[0]));
            SetCtrlVal(panel, c.id, static_cast<unsigned short>(v));
            EXPECT_EQ(Read<unsigned short>(panel, c.id), v);
        }
        auto *ring = qobject_cast<QComboBox *>(w);
        EXPECT_TRUE(!ring || c.values.empty() || ring->count() == int(c.values.size()));
    }
}

// The room the text a widget shows needs at its font; a spin box's hint holds its largest value.
QSize Needed(QWidget *w) {
    const QFontMetrics fm = w->fontMetrics();
    auto *label = qobject_cast<QLabel *>(w);
    if (auto *button = qobject_cast<QPushButton *>(w))
        return {fm.horizontalAdvance(button->text()) + 12, fm.height() + 6};
    if (auto *ring = qobject_cast<QComboBox *>(w)) { // a list of ports comes from the machine
        int widest = 0;
        for (int i = 0; i < ring->count() && !ring->property("portList").toBool(); i++)
            widest = std::max(widest, fm.horizontalAdvance(ring->itemText(i)));
        return {widest + 36, fm.height() + 6};
    }
    if (qobject_cast<QSpinBox *>(w)) return {w->sizeHint().width(), fm.height() + 6};
    if (label && label->wordWrap()) return {0, label->heightForWidth(w->width())};
    const bool text = (label && !label->text().isEmpty()) || w->inherits("QAbstractButton");
    return text ? w->sizeHint() : QSize();
}

// clang-format off
struct Help { int panel, id, box, gap, lift; const char *text; };
#define H(panel, name, box, gap, lift) Help{panel, panel##_##name, MAINPANEL_HelpText##box, gap, lift, HELP_##name}
const Help kHelp[] = {H(MAINPANEL, BTNRun, 1, 10, 10), H(MAINPANEL, BTNStop, 1, 10, 10), H(MAINPANEL, BTNVideo, 1, 10, 10),
    H(MAINPANEL, DropDCom, 2, 20, 80), H(MAINPANEL, BTNSend, 1, 20, 20), H(MAINPANEL, BTNGet, 1, 20, 20), H(PARA1, DROPEvalMode, 1, 20, 10),
    H(PARA1, DROPHardwareMode, 1, 20, 10), H(PARA1, DROPrs232Mode, 1, 20, 10), H(PARA1, DROPopMode, 1, 20, 10), H(PARA1, DROPpolarity, 1, 20, 10),
    H(PARA1, DROPaverage, 2, 20, 10), H(PARA1, RINGanaMode, 1, 20, 10), H(PARA1, NEDITTolerance, 1, 20, 10), H(PARA1, NUMtolDelta, 1, 20, 10),
    H(PARA2, SLIDEpower, 1, 135, 10), H(PARA2, SLIDEVideoThreshold, 1, 30, 10)};
// clang-format on

TEST_F(Panels, NothingIsClippedOverlappingOrCutOff) {
    QWidget *main = PlatformPanelWidget(pHandle);
    const QRect infoTexts(0, 0, 530, 60); // drawn at run time on the info frame, title in 18 px
    EXPECT_TRUE(PlatformControlWidget(pHandle, MAINPANEL_DECOInfo)->geometry().contains(infoTexts));
    // Sharing a place: help boxes, graphs and child panels taking turns, the info frame and
    // what it holds, the logo and the info texts.
    const QMap<QString, int> turns = {{"GRAPHVideo", 1}, {"GRAPHJet", 1}, {"STRIPChart", 1},
                                      {"PARA1", 2},      {"PARA2", 2},    {"JETPANEL", 2}};
    using Item = std::pair<QRect, QString>; // where, and the control it belongs to
    auto mayOverlap = [&](const Item &a, const Item &b) {
        return a.second.startsWith("HelpText") ||
               (a.second == "DECOInfo" && a.first.contains(b.first)) ||
               (turns.value(a.second) && turns.value(a.second) == turns.value(b.second)) ||
               (a.second == "PICTLogo" && b.second == "info texts");
    };
    for (int panel : {pHandle, pPara1, pPara2, pJet}) {
        std::vector<Item> items;
        if (panel == pHandle) items.emplace_back(infoTexts, "info texts");
        for (QWidget *w :
             PlatformPanelWidget(panel)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            EXPECT_EQ(w->size().expandedTo(Needed(w)), w->size())
                << w->objectName().toStdString() << " cuts off its text";
            const QString of =
                w->property("labelOf").toString() + w->property("valueOf").toString();
            items.emplace_back(w->geometry(), of.isEmpty() ? w->objectName() : of);
        }
        for (auto a = items.begin(); a != items.end(); ++a) {
            SCOPED_TRACE(a->second.toStdString());
            EXPECT_TRUE(PlatformPanelWidget(panel)->rect().contains(a->first)) << "clipped";
            for (auto b = a + 1; b != items.end(); ++b)
                EXPECT_TRUE(mayOverlap(*a, *b) || mayOverlap(*b, *a) ||
                            !a->first.intersects(b->first))
                    << "overlaps " << b->second.toStdString();
        }
    }
    // Each help box opens inside the main panel, above the child panel, with room for its text.
    for (const Help &h : kHelp) {
        const int panel = Handle(h.panel);
        SCOPED_TRACE(h.text);
        for (int p : {pPara1, pPara2, pJet})
            if (panel != pHandle) p == panel ? DisplayPanel(p) : HidePanel(p);
        ShowHelpBubble(panel, h.id, h.box, h.gap, h.lift, h.text);
        auto *box = qobject_cast<QLabel *>(PlatformControlWidget(pHandle, h.box));
        EXPECT_TRUE(box->isVisibleTo(main) && main->rect().contains(box->geometry()));
        EXPECT_LE(box->heightForWidth(box->width()), box->height()) << "text cut off";
        const QRect over = box->geometry() & PlatformPanelWidget(pJet)->geometry();
        EXPECT_TRUE(over.isEmpty() || panel == pHandle || main->childAt(over.center()) == box);
        ShowHelpBubble(panel, h.id, h.box, h.gap, h.lift, h.text); // hides it again
    }
    // Some sensors rename the operation modes.
    ReplaceListItem(pPara1, PARA1_DROPopMode, 0, "DIG-COMP", 0);
    ReplaceListItem(pPara1, PARA1_DROPopMode, 1, "ADC-CONV", 1);
    QWidget *modes = PlatformControlWidget(pPara1, PARA1_DROPopMode);
    EXPECT_EQ(modes->size().expandedTo(Needed(modes)), modes->size()) << "a mode's name cut off";
}

// The hint line beside the port drop-down holds its longest texts whole.
TEST_F(Panels, PortHintsFitTheHintLine) {
    auto *hint = qobject_cast<QLabel *>(PlatformControlWidget(pHandle, MAINPANEL_TEXTPortHint));
    ASSERT_TRUE(hint);
    EXPECT_EQ("Port hint", hint->accessibleName().toStdString());
    const std::string texts[] = {
        LatencyHint(255),
        HintForOpenFailure("COM64", EACCES, "plugdev-serial", {}),
        HintForOpenFailure("COM64", kOpenHeld, "", {"ModemManager", 4194304}),
        HintForOpenFailure("COM64", kOpenHeld, "", {"longprocessname", 4194304}),
        HintForOpenFailure("COM64", ENOENT, "", {}),
    };
    for (const std::string &t : texts) {
        SetCtrlVal(pHandle, MAINPANEL_TEXTPortHint, t.c_str());
        EXPECT_LE(hint->heightForWidth(hint->width()), hint->height()) << t;
    }
    SetCtrlVal(pHandle, MAINPANEL_TEXTPortHint, "");
}

} // namespace
