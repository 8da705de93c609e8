#include "tvapp.h"

#include <QHashFunctions>
#include <QJsonValue>

std::optional<TVApp> TVApp::fromJson(const QJsonObject &entry)
{
    const QJsonValue id = entry.value(QLatin1String("id"));
    const QJsonValue title = entry.value(QLatin1String("title"));
    if (!id.isString() || !title.isString())
        return std::nullopt;

    TVApp app { id.toString(), title.toString(), std::nullopt };
    // "largeIcon" wins whenever it exists, even when it is not usable.
    const QJsonValue icon = entry.contains(QLatin1String("largeIcon")) ? entry.value(QLatin1String("largeIcon"))
                                                                       : entry.value(QLatin1String("icon"));
    if (icon.isString()) {
        const QString text = icon.toString();
        const QUrl url(text, QUrl::StrictMode);
        if (!text.isEmpty() && url.isValid())
            app.icon = url;
    }
    return app;
}

size_t qHash(const TVApp &app, size_t seed)
{
    return qHashMulti(seed, app.id, app.title, app.icon.has_value(), app.icon.value_or(QUrl()));
}
