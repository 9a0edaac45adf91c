// Recording of RUN's frames into a CSV file: '#' header lines (program, date, port, sensor
// identity, parameter words), a column line, one row a frame. Rows are gathered in memory
// and written at most a second apart, so a crash or a pulled cable loses at most the last
// second and RUN never waits for the disk.
#pragma once

#include "runstats.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// The column line and one row (both ending in a newline).
QByteArray CsvColumnLine(void);
QByteArray CsvRow(const QDateTime &utc, long frame, const RunFrame &f);
// The '#' lines that describe the program, the port, the sensor and the parameter words.
QByteArray CsvHeader(const QDateTime &utc);

class RecordingFile {
  public:
    static constexpr double kFlushSeconds = 1.0;

    // Creates the file (never replacing one) and writes the header and the column line.
    bool Open(const QString &path, const QByteArray &header);
    bool IsOpen() const { return file_.isOpen(); }
    // Appends a row of the next frame (counted from 1).
    void Add(const QDateTime &utc, const RunFrame &f);
    long Frames() const { return frames_; }
    // Writes what has gathered when the last write is kFlushSeconds ago (now: Timer()).
    // False once a write failed; the file is then closed.
    bool FlushIfDue(double now);
    bool Flush(double now);
    void Close(double now);
    QString Path() const { return file_.fileName(); }
    QString Error() const { return error_; }

  private:
    QFile file_;
    QByteArray pending_;
    double lastFlush_ = 0;
    long frames_ = 0;
    QString error_;
};

// A free name "run-YYYYMMDD-HHMMSS.csv" (with "-2", "-3" ... when taken) in `folder`.
QString RecordingPath(const QString &folder, const QDateTime &local);
