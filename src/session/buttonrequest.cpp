#include "buttonrequest.h"

std::optional<TVRequest> ButtonRequest::forButton(const QString &name, bool muted)
{
    if (name == QLatin1String("MUTE"))
        return TVCommands::setMute(!muted);
    if (name == QLatin1String("VOLUMEUP"))
        return TVCommands::volumeUp();
    if (name == QLatin1String("VOLUMEDOWN"))
        return TVCommands::volumeDown();
    if (name == QLatin1String("CHANNELUP"))
        return TVCommands::channelUp();
    if (name == QLatin1String("CHANNELDOWN"))
        return TVCommands::channelDown();
    if (name == QLatin1String("PLAY"))
        return TVCommands::media(QStringLiteral("play"));
    if (name == QLatin1String("PAUSE"))
        return TVCommands::media(QStringLiteral("pause"));
    if (name == QLatin1String("STOP"))
        return TVCommands::media(QStringLiteral("stop"));
    if (name == QLatin1String("REWIND"))
        return TVCommands::media(QStringLiteral("rewind"));
    if (name == QLatin1String("FASTFORWARD"))
        return TVCommands::media(QStringLiteral("fastForward"));
    if (name == QLatin1String("ENTER"))
        return TVCommands::sendEnterKey();
    return std::nullopt;
}

const QStringList &ButtonRequest::buttons()
{
    static const QStringList names { QStringLiteral("VOLUMEUP"), QStringLiteral("VOLUMEDOWN"), QStringLiteral("MUTE"),
        QStringLiteral("CHANNELUP"), QStringLiteral("CHANNELDOWN"), QStringLiteral("PLAY"), QStringLiteral("PAUSE"),
        QStringLiteral("STOP"), QStringLiteral("REWIND"), QStringLiteral("FASTFORWARD"), QStringLiteral("ENTER") };
    return names;
}
