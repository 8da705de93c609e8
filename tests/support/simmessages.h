#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

// What reached the TV emulator (TVSimProcess::received()): the SSAP requests for one URI
// (without "ssap://"), and the texts of the pointer socket.
QList<QJsonObject> ssapRequests(const QJsonArray &received, const QString &uri);
QStringList pointerTexts(const QJsonArray &received);
// The "payload" of the index-th request for the URI (empty when there is none).
QJsonObject ssapPayload(const QJsonArray &received, const QString &uri, qsizetype index = 0);
// The SSAP messages of one "type" ("register", "request", ...).
QList<QJsonObject> ssapOfType(const QJsonArray &received, const QString &type);
