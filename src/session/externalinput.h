#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// One external input of the TV (HDMI and so on).
struct ExternalInput {
    QString id;
    QString label; // the id when the TV gives none
    QString appId;
    bool connected = false;

    bool operator==(const ExternalInput &other) const = default;
    // From one "devices" entry; none without a text "id".
    static std::optional<ExternalInput> fromJson(const QJsonObject &entry);
};

size_t qHash(const ExternalInput &input, size_t seed = 0);
