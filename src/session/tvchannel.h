#pragma once

#include <QJsonObject>
#include <QString>
#include <QVariantMap>

#include <optional>

// One live TV channel as the TV lists it.
struct TVChannel {
    QString id; // what "tv/openChannel" takes
    QString number; // as shown on the TV: "7", "7-1"
    QString name; // empty when the TV gives none

    bool operator==(const TVChannel &other) const = default;
    // From one "channelList" entry or a current-channel reply; none without an id and a number.
    static std::optional<TVChannel> fromJson(const QJsonObject &entry);
    QJsonObject toJson() const; // {"id", "number", "name"}
    QVariantMap toMap() const; // the same, for QML
};
