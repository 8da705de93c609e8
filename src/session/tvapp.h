#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

// One launchable application of the TV.
struct TVApp {
    QString id;
    QString title;
    std::optional<QUrl> icon; // "largeIcon" if the member exists, else "icon"

    bool operator==(const TVApp &other) const = default;
    // From one "launchPoints" entry; none without a text "id" and "title".
    static std::optional<TVApp> fromJson(const QJsonObject &entry);
};

size_t qHash(const TVApp &app, size_t seed = 0);
