#include "tvactions.h"

#include "applog.h"
#include "pointerinput.h"
#include "tvconnection.h"
#include "tvstatemirror.h"

#include <QJsonArray>
#include <QPointer>
#include <QUrl>

namespace {

// A one-way command: the reply is not used, a failure is one log line.
QCoro::Task<void> requestOneWay(QPointer<SSAPClient> client, QString uri, QJsonObject payload)
{
    try {
        if (!client)
            throw SSAPError::notConnected();
        co_await client->request(uri, payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(TVCommands::servicePath(uri) + QStringLiteral(" 失败: ") + error.description());
    }
}

// The window's form of an awaitable action: a failure is one log line, as for one-way commands.
template <typename T> QCoro::Task<void> logFailure(QCoro::Task<T> action, QString uri)
{
    try {
        co_await std::move(action);
    } catch (const SSAPError &error) {
        appLog(TVCommands::servicePath(uri) + QStringLiteral(" 失败: ") + error.description());
    }
}

} // namespace

TVActions::TVActions(TVConnection &connection, TVStateMirror &mirror, PointerInput &pointer, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_mirror(mirror)
    , m_pointer(pointer)
{
}

QCoro::Task<QJsonObject> TVActions::request(QString uri, QJsonObject payload)
{
    const QPointer<SSAPClient> client = m_connection.client();
    if (!client)
        throw SSAPError::notConnected();
    m_connection.notePowerOff(uri);
    co_return co_await client->request(uri, payload, SSAPClient::requestTimeout);
}

QCoro::Task<QJsonObject> TVActions::request(TVRequest command)
{
    return request(command.uri, command.payload);
}

void TVActions::sendOneWay(const TVRequest &command)
{
    SSAPClient *client = m_connection.client();
    if (!client)
        return;
    m_connection.notePowerOff(command.uri);
    requestOneWay(client, command.uri, command.payload);
}

void TVActions::volumeUp()
{
    sendOneWay(TVCommands::volumeUp());
}

void TVActions::volumeDown()
{
    sendOneWay(TVCommands::volumeDown());
}

void TVActions::setVolume()
{
    sendOneWay(TVCommands::setVolume(m_mirror.volume()));
}

QCoro::Task<void> TVActions::setMuteAsync(bool mute)
{
    QPointer<TVActions> self(this);
    const QPointer<SSAPClient> client = m_connection.client();
    if (!client)
        co_return;
    bool failed = false;
    try {
        const TVRequest command = TVCommands::setMute(mute);
        co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        failed = true;
    }
    // The remote's mute key toggles whatever the TV's state is.
    if (failed && self)
        co_await self->m_pointer.pressAsync(QStringLiteral("MUTE"));
}

void TVActions::insertText(const QString &text)
{
    sendOneWay(TVCommands::insertText(text));
}

void TVActions::launch(const TVApp &app)
{
    sendOneWay(TVCommands::launch(app.id));
}

void TVActions::switchInput(const ExternalInput &input)
{
    sendOneWay(TVCommands::switchInput(input.id));
}

void TVActions::launchApp(const QString &appID)
{
    for (const TVApp &app : m_mirror.apps()) {
        if (app.id == appID) {
            launch(app);
            return;
        }
    }
}

void TVActions::switchToInput(const QString &inputID)
{
    for (const ExternalInput &input : m_mirror.inputs()) {
        if (input.id == inputID) {
            switchInput(input);
            return;
        }
    }
}

void TVActions::powerOff()
{
    sendOneWay(TVCommands::turnOff());
}

bool TVActions::isWebAddress(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !parsed.host().isEmpty();
}

QCoro::Task<QString> TVActions::readSoundOutput()
{
    QPointer<TVActions> self(this);
    const QJsonObject reply = co_await request(TVCommands::soundOutput());
    const QJsonValue output = reply.value(QLatin1String("soundOutput"));
    if (!output.isString() || output.toString().isEmpty())
        throw SSAPError::server(QStringLiteral("The TV did not report its sound output"));
    if (self)
        self->m_mirror.setSoundOutput(output.toString());
    co_return output.toString();
}

QCoro::Task<void> TVActions::changeSoundOutput(QString output)
{
    QPointer<TVActions> self(this);
    co_await request(TVCommands::changeSoundOutput(output));
    if (self)
        self->m_mirror.setSoundOutput(output);
}

QCoro::Task<void> TVActions::turnScreen(bool on)
{
    // The power state subscription reports the result ("Screen Off", then "Active").
    co_await request(TVCommands::turnScreen(on));
}

QCoro::Task<QList<TVChannel>> TVActions::readChannels()
{
    QPointer<TVActions> self(this);
    const QJsonObject reply = co_await request(TVCommands::channelList());
    const QJsonValue entries = reply.value(QLatin1String("channelList"));
    if (!entries.isArray())
        throw SSAPError::server(QStringLiteral("The TV sent no channel list"));
    QList<TVChannel> channels;
    for (const QJsonValue &entry : entries.toArray()) {
        if (const std::optional<TVChannel> channel = TVChannel::fromJson(entry.toObject()))
            channels << *channel;
    }
    if (self)
        self->m_mirror.setChannels(channels);
    co_return channels;
}

QCoro::Task<TVChannel> TVActions::readCurrentChannel()
{
    QPointer<TVActions> self(this);
    const QJsonObject reply = co_await request(TVCommands::currentChannel());
    const std::optional<TVChannel> channel = TVChannel::fromJson(reply);
    if (!channel)
        throw SSAPError::server(QStringLiteral("The TV reported no current channel"));
    if (self)
        self->m_mirror.setCurrentChannel(channel);
    co_return *channel;
}

QCoro::Task<void> TVActions::openChannel(TVChannel channel)
{
    QPointer<TVActions> self(this);
    co_await request(TVCommands::openChannel(channel.id));
    if (self)
        self->m_mirror.setCurrentChannel(channel);
}

QCoro::Task<void> TVActions::openURL(QString url)
{
    co_await request(TVCommands::openURL(url));
}

QCoro::Task<void> TVActions::launchInto(TVApp app, QString contentID, QJsonObject params)
{
    co_await request(TVCommands::launch(app.id, contentID, params));
}

void TVActions::refreshSoundOutput()
{
    if (m_connection.client())
        logFailure(readSoundOutput(), TVCommands::soundOutput().uri);
}

void TVActions::selectSoundOutput(const QString &output)
{
    if (m_connection.client() && !output.isEmpty())
        logFailure(changeSoundOutput(output), TVCommands::changeSoundOutput(output).uri);
}

void TVActions::screenOff()
{
    if (m_connection.client())
        logFailure(turnScreen(false), TVCommands::turnScreen(false).uri);
}

void TVActions::screenOn()
{
    if (m_connection.client())
        logFailure(turnScreen(true), TVCommands::turnScreen(true).uri);
}

void TVActions::refreshChannels()
{
    if (!m_connection.client())
        return;
    logFailure(readChannels(), TVCommands::channelList().uri);
    logFailure(readCurrentChannel(), TVCommands::currentChannel().uri);
}

void TVActions::tuneChannel(const QString &channelID)
{
    if (!m_connection.client())
        return;
    for (const TVChannel &channel : m_mirror.channels()) {
        if (channel.id == channelID) {
            logFailure(openChannel(channel), TVCommands::openChannel(channel.id).uri);
            return;
        }
    }
}

void TVActions::openWebPage(const QString &url)
{
    if (m_connection.client() && isWebAddress(url))
        logFailure(openURL(url), TVCommands::openURL(url).uri);
}

void TVActions::launchContent(const QString &appID, const QString &contentID, const QVariantMap &params)
{
    if (!m_connection.client())
        return;
    for (const TVApp &app : m_mirror.apps()) {
        if (app.id == appID) {
            logFailure(launchInto(app, contentID, QJsonObject::fromVariantMap(params)), TVCommands::launch(appID).uri);
            return;
        }
    }
}
