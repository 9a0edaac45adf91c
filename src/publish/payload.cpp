#include "payload.h"

#include "identity.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray FrameJson(const QDateTime &utc, long frame, const RunFrame &f) {
    // Written by hand in the recording's column order: a frame costs a few microseconds.
    QByteArray j;
    j.reserve(256);
    j += "{\"time\":\"";
    j += utc.toUTC().toString(Qt::ISODateWithMs).toLatin1();
    j += "\",\"frame\":";
    j += QByteArray::number(qlonglong(frame));
    const std::pair<const char *, unsigned> fields[] = {
        {"Ledge", f.Ledge},     {"Redge", f.Redge},       {"Mvalue", f.Mvalue},
        {"umValue", f.umValue}, {"setpoint", f.setpoint}, {"tolerance", f.tolerance},
        {"edcnt", f.edcnt},     {"mvstart", f.mvstart},   {"mvend", f.mvend},
        {"dynpow", f.dynpow},   {"anaMax", f.anaMax},     {"anaMin", f.anaMin},
        {"in0", f.in0}};
    for (const auto &[name, value] : fields) {
        j += ",\"";
        j += name;
        j += "\":";
        j += QByteArray::number(value);
    }
    j += InTolerance(f) ? ",\"in_tolerance\":1}" : ",\"in_tolerance\":0}";
    return j;
}

QByteArray IdentityJson(void) {
    QJsonObject hardware;
    for (const auto &[name, value] : HardwareWords())
        hardware.insert(QString::fromStdString(name), qint64(value));
    QJsonObject o;
    o.insert("program", QString::fromLocal8Bit(ProgramText().c_str()));
    o.insert("port", QString::fromLocal8Bit(PortText().c_str()));
    o.insert("hardware", hardware);
    o.insert("firmware", QString::fromLocal8Bit(g_identity.firmware.c_str()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString DefaultTopicPrefix(const QString &hostName, int port) {
    QString host = hostName.isEmpty() ? QStringLiteral("localhost") : hostName;
    for (QChar &c : host)
        if (c == '/' || c == '+' || c == '#' || c.isSpace() || c.category() == QChar::Other_Control)
            c = '_';
    return QStringLiteral("kvor-rur/%1/COM%2").arg(host).arg(port);
}
