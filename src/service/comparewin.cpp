#include "comparewin.h"

#include "compare.h"
#include "identity.h"
#include "service.h"

#include "kvor_panels.h"
#include "qt_access.h"

#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QPointer<QWidget> g_window;

enum { kIndex, kName, kRam, kEeprom, kFile, kColumns };

QTableWidgetItem *Cell(const QString &text, bool differs) {
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (differs) { // marked by colour, weight and for a screen reader
        item->setBackground(QColor(0xff, 0xd6, 0xd6));
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setData(Qt::AccessibleTextRole, text + QStringLiteral(" (differs)"));
    }
    item->setData(Qt::UserRole, differs);
    return item;
}

} // namespace

void ShowCompareWindow(const CompareResult &r) {
    if (!g_window) {
        g_window = new QWidget(PlatformPanelWidget(pHandle), Qt::Window);
        g_window->setObjectName(QStringLiteral("COMPAREWINDOW"));
        g_window->setWindowTitle(QStringLiteral("Parameter compare"));
        g_window->setAccessibleName(QStringLiteral("Parameter compare"));
        auto *layout = new QVBoxLayout(g_window);
        auto *summary = new QLabel(g_window);
        summary->setObjectName(QStringLiteral("CompareSummary"));
        summary->setAccessibleName(QStringLiteral("Compare summary"));
        summary->setStyleSheet(QStringLiteral("font-weight: bold;"));
        auto *table = new QTableWidget(PNUM, kColumns, g_window);
        table->setObjectName(QStringLiteral("CompareTable"));
        table->setAccessibleName(QStringLiteral("Compare table"));
        table->verticalHeader()->hide();
        table->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(summary);
        layout->addWidget(table);
        g_window->resize(520, 600);
    }
    auto *table = g_window->findChild<QTableWidget *>(QStringLiteral("CompareTable"));
    const QString fileHeader = r.haveFile ? r.fileName.section('/', -1) : QStringLiteral("file");
    table->setHorizontalHeaderLabels({"index", "name", "RAM", "EEPROM", fileHeader});
    const bool have[3] = {r.haveRam, r.haveEeprom, r.haveFile};
    const unsigned short *values[3] = {r.ram, r.eeprom, r.file};
    for (int i = 0; i < PNUM; i++) {
        table->setItem(i, kIndex, Cell(QString::number(i), false));
        table->setItem(i, kName, Cell(QString::fromLatin1(ParameterWordName(i)), false));
        for (int c = 0; c < 3; c++)
            table->setItem(i, kRam + c,
                           Cell(have[c] ? QString::number(values[c][i]) : QString(),
                                r.Differs(c, i)));
    }
    g_window->findChild<QLabel *>(QStringLiteral("CompareSummary"))->setText(r.Summary());
    g_window->show();
    g_window->raise();
}

void CloseCompareWindow(void) { delete g_window.data(); }

QWidget *CompareWindow(void) { return g_window.data(); }
