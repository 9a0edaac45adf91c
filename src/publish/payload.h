// What the publisher sends: a RUN frame as JSON with the recording's fields, the sensor's
// identity as JSON, the default topic prefix. Pure functions over Qt Core.
#pragma once

#include "runstats.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// {"time":"2026-12-09T19:20:00.123Z","frame":1,"Ledge":..,...,"in0":..,"in_tolerance":1}:
// the columns of a recording's row, by the same names and with the same values.
QByteArray FrameJson(const QDateTime &utc, long frame, const RunFrame &f);
// {"program":..,"port":..,"hardware":{"ccdtype":..,...},"firmware":..} from the identity
// the last probe left (identity.h).
QByteArray IdentityJson(void);
// "kvor-rur/<host>/COM<port>", the host name's characters that would split or widen a topic
// ('/', '+', '#', white space, control characters) replaced by '_'.
QString DefaultTopicPrefix(const QString &hostName, int port);
