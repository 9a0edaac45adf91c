// The report: one PDF (Qt's own PDF writer, real text) and PNG images of the graphs in the
// reports folder, named by date and time. Every file is written whole or not at all.
#include "service.h"

#include "compare.h"
#include "identity.h"
#include "runstats.h"
#include "statspanel.h"

#include "kvor_panels.h"
#include "params.h"
#include "qt_access.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSpinBox>
#include <qcustomplot.h>

namespace {

constexpr int kImageWidth = 1360, kImageHeight = 600; // graph images, pixels

// Writes the text lines and images top to bottom, page after page.
class PageWriter {
  public:
    explicit PageWriter(QPdfWriter &pdf) : pdf_(pdf), painter_(&pdf) {
        const QRect page = painter_.viewport();
        width_ = page.width();
        height_ = page.height();
        body_ = QFont(QStringLiteral("DejaVu Sans"), 9);
        mono_ = QFont(QStringLiteral("DejaVu Sans Mono"), 8);
        title_ = QFont(QStringLiteral("DejaVu Sans"), 15, QFont::Bold);
        heading_ = QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold);
    }
    bool Ok() const { return painter_.isActive(); }
    void Title(const QString &text) { Line(text, title_, 1.6); }
    void Heading(const QString &text) {
        y_ += LineHeight(heading_) / 2;
        Line(text, heading_, 1.3);
    }
    void Text(const QString &text) { Line(text, body_, 1.25); }
    void Mono(const QString &text) { Line(text, mono_, 1.2); }
    void Image(const QImage &image) {
        const int h = width_ * image.height() / std::max(1, image.width());
        Room(h);
        painter_.drawImage(QRect(0, y_, width_, h), image);
        y_ += h + LineHeight(body_) / 2;
    }
    void NewPage() {
        pdf_.newPage();
        y_ = 0;
    }

  private:
    int LineHeight(const QFont &f) { return QFontMetrics(f, &pdf_).height(); }
    void Room(int h) {
        if (y_ > 0 && y_ + h > height_) NewPage();
    }
    // A long text wraps at word boundaries onto as many lines as it needs.
    void Line(const QString &text, const QFont &f, double spacing) {
        painter_.setFont(f);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
        const int lines = std::max(1, painter_.boundingRect(QRect(0, 0, width_, 1), flags, text).height() /
                                          std::max(1, LineHeight(f)));
        const int h = int(LineHeight(f) * (spacing + lines - 1));
        Room(h);
        painter_.drawText(QRect(0, y_, width_, h), flags, text);
        y_ += h;
    }
    QPdfWriter &pdf_;
    QPainter painter_;
    int width_ = 0, height_ = 0, y_ = 0;
    QFont body_, mono_, title_, heading_;
};

QCustomPlot *MainPlot(int control) {
    return qobject_cast<QCustomPlot *>(PlatformControlWidget(pHandle, control));
}

int DisplayValue(int control) {
    auto *spin = qobject_cast<QSpinBox *>(PlatformControlWidget(pHandle, control));
    return spin ? spin->value() : 0;
}

QImage PlotImage(QCustomPlot *plot) {
    return plot ? plot->toPixmap(kImageWidth, kImageHeight).toImage() : QImage();
}

bool SaveImage(const QImage &image, const QString &path) {
    QSaveFile file(path);
    return !image.isNull() && file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") &&
           file.commit();
}

QString MomentsLine(const char *name, const Moments &m) {
    return QStringLiteral("%1  mean %2  sigma %3  min %4  max %5")
        .arg(QLatin1String(name), -7)
        .arg(QString::fromStdString(FormatStat(m.Count() ? std::optional(m.Mean()) : std::nullopt, 2)))
        .arg(QString::fromStdString(FormatStat(m.Count() > 1 ? std::optional(m.Sigma()) : std::nullopt, 3)))
        .arg(QString::fromStdString(FormatStat(m.Count() ? std::optional(m.Min()) : std::nullopt, 0)))
        .arg(QString::fromStdString(FormatStat(m.Count() ? std::optional(m.Max()) : std::nullopt, 0)));
}

void WriteCompare(PageWriter &page, const CompareResult &r) {
    page.Heading(QStringLiteral("Parameter compare: ") + r.Summary());
    page.Mono(QStringLiteral("%1 %2 %3 %4 %5").arg("idx", 3).arg("name", -14).arg("RAM", 8)
                  .arg("EEPROM", 8).arg(r.haveFile ? QFileInfo(r.fileName).fileName() : "file", 8));
    const bool have[3] = {r.haveRam, r.haveEeprom, r.haveFile};
    const unsigned short *values[3] = {r.ram, r.eeprom, r.file};
    for (int i = 0; i < PNUM; i++) {
        QString line = QStringLiteral("%1 %2").arg(i, 3).arg(QLatin1String(ParameterWordName(i)), -14);
        for (int c = 0; c < 3; c++) // a differing cell is marked with '*'
            line += QStringLiteral(" %1").arg(
                have[c] ? QString::number(values[c][i]) + (r.Differs(c, i) ? "*" : " ") : "-", 8);
        page.Mono(line);
    }
}

} // namespace

QString WriteReport(const QString &folder, QString *error) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return {};
    }
    const QString stem = QDir(folder).filePath(now.toString("'report-'yyyyMMdd-HHmmss"));
    const RunStats &stats = CurrentRunStats();

    QCustomPlot histogram;
    histogram.resize(kImageWidth, kImageHeight);
    histogram.xAxis->setLabel(QStringLiteral("Mvalue"));
    histogram.yAxis->setLabel(QStringLiteral("frames"));
    DrawHistogram(&histogram, stats);
    const QImage video = PlotImage(MainPlot(MAINPANEL_GRAPHVideo));
    const QImage strip = PlotImage(MainPlot(MAINPANEL_STRIPChart));
    const QImage bars = PlotImage(&histogram);
    for (const auto &[image, suffix] : {std::pair{&video, "-video.png"}, {&strip, "-strip.png"},
                                        {&bars, "-histogram.png"}}) {
        if (!SaveImage(*image, stem + suffix)) {
            *error = QStringLiteral("cannot write %1").arg(QFileInfo(stem + suffix).fileName());
            return {};
        }
    }

    const QString path = stem + ".pdf";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1").arg(QFileInfo(path).fileName());
        return {};
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("K-VOR-RUR service report"));
        pdf.setCreator(QString::fromStdString(ProgramText()));
        PageWriter page(pdf);
        page.Title(QStringLiteral("K-VOR-RUR service report"));
        page.Text(QStringLiteral("Program: ") + QString::fromStdString(ProgramText()));
        page.Text(QStringLiteral("Date: ") + now.toString(Qt::ISODate) +
                  QStringLiteral(" (UTC ") + now.toUTC().toString(Qt::ISODate) + ")");
        page.Text(QStringLiteral("Port: ") + QString::fromStdString(PortText()));
        page.Heading(QStringLiteral("Sensor"));
        if (!g_identity.known) page.Text(QStringLiteral("no probe has passed on this port"));
        QString words;
        for (const auto &[name, value] : HardwareWords())
            words += QStringLiteral("%1 %2   ").arg(QString::fromStdString(name)).arg(value);
        page.Text(words.trimmed());
        page.Text(QStringLiteral("Firmware: ") + QString::fromStdString(g_identity.firmware));
        page.Heading(QStringLiteral("Parameter words"));
        for (int i = 0; i < PNUM; i += 2)
            page.Mono(QStringLiteral("%1 %2 %3      %4 %5 %6")
                          .arg(i, 2).arg(QLatin1String(ParameterWordName(i)), -14)
                          .arg(parameter[PARAM_HEADER + i], 6).arg(i + 1, 2)
                          .arg(QLatin1String(ParameterWordName(i + 1)), -14)
                          .arg(parameter[PARAM_HEADER + i + 1], 6));
        if (const CompareResult *r = LastCompare()) WriteCompare(page, *r);

        page.NewPage();
        page.Heading(QStringLiteral("Video graph (live and frozen profile)"));
        page.Image(video);
        page.Text(QStringLiteral("Left edge %1   Right edge %2   Width %3   Centre %4")
                      .arg(DisplayValue(MAINPANEL_NUMLedge)).arg(DisplayValue(MAINPANEL_NUMRedge))
                      .arg(DisplayValue(MAINPANEL_NUMWidth)).arg(DisplayValue(MAINPANEL_NUMCenter)));
        page.Heading(QStringLiteral("Strip chart"));
        page.Image(strip);

        page.NewPage();
        page.Heading(QStringLiteral("Statistics of the RUN"));
        page.Text(QStringLiteral("Frames %1   Out of band %2 (%3 %)   Band %4 +/- %5")
                      .arg(stats.Frames()).arg(stats.OutOfBand())
                      .arg(QString::fromStdString(FormatStat(stats.OutOfBandPercent(), 2)))
                      .arg(stats.Setpoint()).arg(stats.Tolerance()));
        page.Text(QStringLiteral("Cp %1   Cpk %2")
                      .arg(QString::fromStdString(FormatStat(stats.Cp(), 3)))
                      .arg(QString::fromStdString(FormatStat(stats.Cpk(), 3))));
        page.Mono(MomentsLine("Mvalue", stats.mvalue));
        page.Mono(MomentsLine("Ledge", stats.ledge));
        page.Mono(MomentsLine("Redge", stats.redge));
        page.Heading(QStringLiteral("Mvalue histogram (band limits dashed)"));
        page.Image(bars);
        if (!page.Ok()) {
            *error = QStringLiteral("cannot draw %1").arg(QFileInfo(path).fileName());
            return {};
        }
    }
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1").arg(QFileInfo(path).fileName());
        return {};
    }
    return path;
}
