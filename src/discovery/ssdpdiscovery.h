#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// SSDP discovery of LG webOS TVs: M-SEARCH for the second-screen service, then each answering
// device's description document. Stateless; every scan has its own socket.
namespace SSDPDiscovery {

struct Found {
    QString host;
    std::optional<QString> uuid;
    std::optional<QString> name;
    std::optional<QString> model;
    std::optional<QString> location;
    bool operator==(const Found &other) const = default;
};

// The whole scan, never failing: answers within timeout seconds, then the descriptions.
// Sorted by host text. Logs "SSDP 发现 N 台电视: [...]".
QCoro::Task<QList<Found>> discover(double timeout);

// The blocking network part (run off the main thread by discover()).
QList<Found> collectResponses(double timeout);

// The exact 127-byte search datagram.
QByteArray searchDatagram();

QHash<QString, QString> parseHeaders(const QString &text);
std::optional<QString> extractTag(const QString &tag, const QString &xml);
// Found(host, uuid from USN, -, -, location) for one answer's text.
Found parseAnswer(const QString &host, const QString &text);

} // namespace SSDPDiscovery
