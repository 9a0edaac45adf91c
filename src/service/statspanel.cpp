#include "statspanel.h"

#include "runstats.h"

#include "kvor_panels.h"
#include "qt_access.h"
#include "userint.h"

#include <qcustomplot.h>

#include <algorithm>

namespace {

QCustomPlot *PanelPlot() {
    return pStats ? qobject_cast<QCustomPlot *>(
                        PlatformControlWidget(pStats, STATSPANEL_GRAPHHistogram))
                  : nullptr;
}

void Show(int control, const std::string &text) { SetCtrlVal(pStats, control, text.c_str()); }

void ShowMoments(int first, const Moments &m) {
    const bool any = m.Count() > 0;
    Show(first, any ? FormatStat(m.Mean(), 2) : "-");
    Show(first + 1, m.Count() >= 2 ? FormatStat(m.Sigma(), 3) : "-");
    Show(first + 2, any ? FormatStat(m.Min(), 0) : "-");
    Show(first + 3, any ? FormatStat(m.Max(), 0) : "-");
}

} // namespace

void DrawHistogram(QCustomPlot *plot, const RunStats &stats) {
    plot->clearPlottables();
    plot->clearItems();
    auto *bars = new QCPBars(plot->xAxis, plot->yAxis);
    bars->setPen(QPen(QColor(0x1c, 0x3f, 0x66)));
    bars->setBrush(QColor(0x6a, 0x9b, 0xd0));
    const double low = stats.BinLow(), width = stats.BinWidth();
    bars->setWidth(width > 0 ? width : 1);
    long top = 1;
    QVector<double> x, y;
    for (int i = 0; i < RunStats::kBins; i++) {
        x << low + (i + 0.5) * width;
        y << double(stats.Bins()[size_t(i)]);
        top = std::max(top, stats.Bins()[size_t(i)]);
    }
    bars->setData(x, y, true);
    const double s = stats.Setpoint(), t = stats.Tolerance();
    for (double at : {s - t, s + t, s}) { // band limits dashed red, the setpoint dotted
        auto *line = new QCPItemStraightLine(plot);
        line->point1->setCoords(at, 0);
        line->point2->setCoords(at, 1);
        line->setPen(QPen(at == s ? QColor(0x40, 0x40, 0x40) : QColor(0xd0, 0, 0), 1.5,
                          at == s ? Qt::DotLine : Qt::DashLine));
    }
    const double span = width > 0 ? width * RunStats::kBins : 2;
    plot->xAxis->setRange(width > 0 ? low : s - 1, width > 0 ? low + span : s + 1);
    plot->yAxis->setRange(0, double(top) * 1.1);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void SetupStatsPanel(void) {
    if (QCustomPlot *plot = PanelPlot()) plot->setBackground(QColor(0xfa, 0xfb, 0xfc));
}

void RefreshStatsPanel(const RunStats &stats) {
    if (pStats == 0) return;
    Show(STATSPANEL_NUMFrames, std::to_string(stats.Frames()));
    ShowMoments(STATSPANEL_NUMMvalueMean, stats.mvalue);
    ShowMoments(STATSPANEL_NUMMvalueMean + 4, stats.ledge);
    ShowMoments(STATSPANEL_NUMMvalueMean + 8, stats.redge);
    Show(STATSPANEL_NUMOutOfBand, std::to_string(stats.OutOfBand()));
    Show(STATSPANEL_NUMOutOfBandPct,
         stats.Frames() ? FormatStat(stats.OutOfBandPercent(), 2) : "-");
    Show(STATSPANEL_NUMCp, FormatStat(stats.Cp(), 3));
    Show(STATSPANEL_NUMCpk, FormatStat(stats.Cpk(), 3));
    Show(STATSPANEL_TEXTBand, stats.Frames() ? std::to_string(stats.Setpoint()) + " \u00b1 " +
                                                   std::to_string(stats.Tolerance())
                                             : "-");
    if (QCustomPlot *plot = PanelPlot()) DrawHistogram(plot, stats);
}
