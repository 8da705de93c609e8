#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// One saved TV.
struct TVDevice {
    QString id; // upper-case UUID given by the store; never changes
    QString name; // may be empty
    QString model; // "LG webOS TV" when discovery gave none
    QString host; // IPv4 address (or host name)
    std::optional<QString> tvUUID;
    std::optional<QString> mac; // canonical aa:bb:cc:dd:ee:ff
    std::optional<QString> clientKey; // present means paired
    std::optional<QString> certFingerprint;

    // The name, or "LG 电视" when the name is empty.
    QString displayName() const;
    bool isPaired() const { return clientKey.has_value(); }

    bool operator==(const TVDevice &other) const = default;

    // The stored JSON object: the first four keys always, the optional ones only when present.
    QJsonObject toJson() const;
    // Requires "id", "name", "model", "host" as strings; optional keys may be missing or null.
    static std::optional<TVDevice> fromJson(const QJsonObject &object);
};

size_t qHash(const TVDevice &device, size_t seed = 0);
