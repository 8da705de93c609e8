#include "buttonrequest.h"

#include <QHash>

namespace {

const QHash<QString, QString> &uris()
{
    static const QHash<QString, QString> table {
        { QStringLiteral("VOLUMEUP"), QStringLiteral("audio/volumeUp") },
        { QStringLiteral("VOLUMEDOWN"), QStringLiteral("audio/volumeDown") },
        { QStringLiteral("CHANNELUP"), QStringLiteral("tv/channelUp") },
        { QStringLiteral("CHANNELDOWN"), QStringLiteral("tv/channelDown") },
        { QStringLiteral("PLAY"), QStringLiteral("media.controls/play") },
        { QStringLiteral("PAUSE"), QStringLiteral("media.controls/pause") },
        { QStringLiteral("STOP"), QStringLiteral("media.controls/stop") },
        { QStringLiteral("REWIND"), QStringLiteral("media.controls/rewind") },
        { QStringLiteral("FASTFORWARD"), QStringLiteral("media.controls/fastForward") },
        { QStringLiteral("ENTER"), QStringLiteral("com.webos.service.ime/sendEnterKey") },
    };
    return table;
}

} // namespace

std::optional<ButtonRequest> ButtonRequest::forButton(const QString &name, bool muted)
{
    if (name == QLatin1String("MUTE"))
        return ButtonRequest { QStringLiteral("audio/setMute"), QJsonObject { { QStringLiteral("mute"), !muted } } };
    const auto it = uris().constFind(name);
    if (it == uris().constEnd())
        return std::nullopt;
    return ButtonRequest { *it, QJsonObject() };
}

const QStringList &ButtonRequest::buttons()
{
    static const QStringList names { QStringLiteral("VOLUMEUP"), QStringLiteral("VOLUMEDOWN"), QStringLiteral("MUTE"),
        QStringLiteral("CHANNELUP"), QStringLiteral("CHANNELDOWN"), QStringLiteral("PLAY"), QStringLiteral("PAUSE"),
        QStringLiteral("STOP"), QStringLiteral("REWIND"), QStringLiteral("FASTFORWARD"), QStringLiteral("ENTER") };
    return names;
}
