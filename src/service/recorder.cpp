#include "recorder.h"

#include "identity.h"
#include "params.h"

#include <QDir>
#include <QFileInfo>

namespace {
QByteArray Num(unsigned v) { return QByteArray::number(v); }
} // namespace

QByteArray CsvColumnLine(void) {
    return "time,frame,Ledge,Redge,Mvalue,umValue,setpoint,tolerance,edcnt,mvstart,mvend,"
           "dynpow,anaMax,anaMin,in0,in_tolerance\n";
}

QByteArray CsvRow(const QDateTime &utc, long frame, const RunFrame &f) {
    QByteArray row = utc.toUTC().toString(Qt::ISODateWithMs).toLatin1();
    row += ',' + QByteArray::number(qlonglong(frame));
    for (unsigned v : {f.Ledge, f.Redge, f.Mvalue, f.umValue, f.setpoint, f.tolerance, f.edcnt,
                       f.mvstart, f.mvend, f.dynpow, f.anaMax, f.anaMin, f.in0})
        row += ',' + Num(v);
    row += InTolerance(f) ? ",1\n" : ",0\n";
    return row;
}

QByteArray CsvHeader(const QDateTime &utc) {
    auto oneLine = [](std::string text) { // a firmware text never breaks the header
        for (char &c : text)
            if (c == '\n' || c == '\r') c = ' ';
        return QByteArray::fromStdString(text);
    };
    QByteArray h = "# program " + oneLine(ProgramText()) + "\n";
    h += "# date " + utc.toUTC().toString(Qt::ISODateWithMs).toLatin1() + "\n";
    h += "# port " + oneLine(PortText()) + "\n";
    h += "# hardware";
    for (const auto &[name, value] : HardwareWords())
        h += ' ' + QByteArray::fromStdString(name) + '=' + Num(value);
    h += "\n# firmware " + oneLine(g_identity.firmware) + "\n# parameters";
    for (int i = 0; i < PNUM; i++)
        h += ' ' + QByteArray(ParameterWordName(i)) + '=' + Num(parameter[PARAM_HEADER + i]);
    return h + "\n";
}

bool RecordingFile::Open(const QString &path, const QByteArray &header) {
    file_.setFileName(path);
    frames_ = 0;
    error_.clear();
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error_ = file_.errorString();
        return false;
    }
    pending_ = header + CsvColumnLine();
    lastFlush_ = -kFlushSeconds; // the header goes out with the first check
    return true;
}

void RecordingFile::Add(const QDateTime &utc, const RunFrame &f) {
    if (!file_.isOpen()) return;
    pending_ += CsvRow(utc, ++frames_, f);
}

bool RecordingFile::FlushIfDue(double now) {
    if (!file_.isOpen()) return error_.isEmpty();
    return now - lastFlush_ < kFlushSeconds || Flush(now);
}

bool RecordingFile::Flush(double now) {
    if (!file_.isOpen()) return error_.isEmpty();
    lastFlush_ = now;
    if (pending_.isEmpty()) return true;
    const bool ok = file_.write(pending_) == pending_.size() && file_.flush();
    pending_.clear();
    if (!ok) {
        error_ = file_.errorString();
        file_.close();
    }
    return ok;
}

void RecordingFile::Close(double now) {
    Flush(now);
    file_.close();
}

QString RecordingPath(const QString &folder, const QDateTime &local) {
    const QString stem = QDir(folder).filePath(local.toString("'run-'yyyyMMdd-HHmmss"));
    QString path = stem + ".csv";
    for (int n = 2; QFileInfo::exists(path); n++)
        path = stem + QStringLiteral("-%1.csv").arg(n);
    return path;
}
