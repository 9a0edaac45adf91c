// The statistics panel: numeric displays and the Mvalue histogram (QCustomPlot bars with
// the band's limits marked).
#pragma once

class RunStats;
class QCustomPlot;

// Bars and band markers on the panel's histogram (once the panel is loaded).
void SetupStatsPanel(void);
// Shows `stats` on the panel's displays and histogram.
void RefreshStatsPanel(const RunStats &stats);
// Draws the histogram of `stats` on any plot (the panel's, or the report's image).
void DrawHistogram(QCustomPlot *plot, const RunStats &stats);
