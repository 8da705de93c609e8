#include "tvsession.h"

TVSession::TVSession(DeviceStore &store, TVScanner &scanner, const Timings &timings, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_scanner(scanner)
    , m_timings(timings)
    , m_mirror(new TVStateMirror(this))
{
    auto currentClient = [this] { return m_connection->client(); };
    m_pointerInput = new PointerInput(currentClient, *m_mirror, timings.moveFlushMs, this);
    m_connection = new TVConnection(
        store, *m_mirror, *m_pointerInput, timings, [&scanner] { return scanner.freshScan(); }, this);
    m_catalogue = new TVCatalogue(currentClient, *m_mirror, store, this);
    m_actions = new TVActions(*m_connection, *m_mirror, *m_pointerInput, this);

    // The parts' signals are the session's; the derived values follow what they derive from.
    QObject::connect(m_connection, &TVConnection::stateChanged, this, &TVSession::stateChanged);
    QObject::connect(m_connection, &TVConnection::clientChanged, this, &TVSession::clientChanged);
    QObject::connect(m_connection, &TVConnection::reconnectingChanged, this, &TVSession::reconnectingChanged);
    QObject::connect(m_connection, &TVConnection::registered, this, &TVSession::afterRegistration);
    QObject::connect(m_pointerInput, &PointerInput::pointerChanged, this, &TVSession::pointerChanged);
    QObject::connect(m_pointerInput, &PointerInput::inputRefusalChanged, this, &TVSession::inputRefusalChanged);
    QObject::connect(m_mirror, &TVStateMirror::volumeChanged, this, &TVSession::volumeChanged);
    QObject::connect(m_mirror, &TVStateMirror::mutedChanged, this, &TVSession::mutedChanged);
    QObject::connect(m_mirror, &TVStateMirror::foregroundAppIdChanged, this, &TVSession::foregroundAppIdChanged);
    QObject::connect(m_mirror, &TVStateMirror::powerStateChanged, this, &TVSession::powerStateChanged);
    QObject::connect(m_mirror, &TVStateMirror::keyboardFocusedChanged, this, &TVSession::keyboardFocusedChanged);
    QObject::connect(m_mirror, &TVStateMirror::soundOutputChanged, this, &TVSession::soundOutputChanged);
    QObject::connect(m_mirror, &TVStateMirror::inputsChanged, this, &TVSession::inputsChanged);
    QObject::connect(m_mirror, &TVStateMirror::appsChanged, this, &TVSession::appsChanged);
    QObject::connect(m_mirror, &TVStateMirror::channelsChanged, this, &TVSession::channelsChanged);
    QObject::connect(m_mirror, &TVStateMirror::currentChannelChanged, this, &TVSession::currentChannelChanged);
    QObject::connect(m_connection, &TVConnection::stateChanged, this, &TVSession::updateDerived);
    for (auto changed : { &TVStateMirror::powerStateChanged, &TVStateMirror::foregroundAppIdChanged,
             &TVStateMirror::inputsChanged, &TVStateMirror::appsChanged })
        QObject::connect(m_mirror, changed, this, &TVSession::updateDerived);

    m_lastStandby = isStandby();
    m_lastSourceName = currentSourceName();
    QObject::connect(this, &TVSession::clientChanged, m_pointerInput, &PointerInput::forgetStaleRefusal);
}

TVSession::~TVSession()
{
    // Fail whatever still waits on the sockets now, while the session is whole.
    m_pointerInput->shutDown();
    m_connection->shutDown();
}

// ---------------------------------------------------------------- observable fields

void TVSession::setVolumeValue(int volume)
{
    m_mirror->setVolume(volume);
}

void TVSession::updateDerived()
{
    const bool standby = isStandby();
    if (standby != m_lastStandby) {
        m_lastStandby = standby;
        Q_EMIT isStandbyChanged();
    }
    const QString source = currentSourceName();
    if (source != m_lastSourceName) {
        m_lastSourceName = source;
        Q_EMIT currentSourceNameChanged();
    }
}

bool TVSession::awaitingPin() const
{
    return stateKind() == ConnectionState::Kind::AwaitingApproval && state().pin();
}

bool TVSession::isStandby() const
{
    return isReady() && m_mirror->powerIsStandby();
}

QString TVSession::currentSourceName() const
{
    return m_mirror->sourceName();
}

// ---------------------------------------------------------------- connection

void TVSession::connect(const QString &deviceID, bool usePin)
{
    m_connection->connect(deviceID, usePin);
}

void TVSession::disconnect()
{
    m_connection->disconnect();
}

QCoro::Task<void> TVSession::ensureConnected(double timeout)
{
    return m_connection->ensureConnected(timeout);
}

void TVSession::wake()
{
    m_connection->wake();
}

void TVSession::submitPin(const QString &pin)
{
    m_connection->submitPin(pin);
}

bool TVSession::isReconnecting() const
{
    return m_connection->isReconnecting();
}

void TVSession::reconnectNow()
{
    m_connection->reconnectNow();
}

// The first steps of a registered connection: the pointer, the subscriptions, the lists, the
// MAC; they stop as soon as their client is replaced.
QCoro::Task<void> TVSession::afterRegistration(QPointer<SSAPClient> client)
{
    QPointer<TVSession> self(this);
    auto stale = [&] { return !self || !client || self->client() != client; };

    co_await connectPointer();
    if (stale())
        co_return;

    const QPointer<TVStateMirror> mirror = m_mirror;
    auto into = [mirror](void (TVStateMirror::*handle)(const QJsonObject &)) {
        return [mirror, handle](const QJsonObject &payload) {
            if (mirror)
                (mirror->*handle)(payload);
        };
    };
    for (const auto &[command, handle] : { std::pair { TVCommands::volume(), &TVStateMirror::handleVolume },
             std::pair { TVCommands::foregroundAppInfo(), &TVStateMirror::handleForeground },
             std::pair { TVCommands::powerState(), &TVStateMirror::handlePower },
             std::pair { TVCommands::remoteKeyboard(), &TVStateMirror::handleKeyboard } })
        client->subscribe(command.uri, command.payload, into(handle));

    co_await refreshInputs();
    if (stale())
        co_return;
    co_await refreshApps();
    if (stale())
        co_return;
    co_await learnMAC();
    if (stale())
        co_return;
    Q_EMIT connectionSettled();
}

// ---------------------------------------------------------------- catalogue and pointer

QCoro::Task<std::optional<SSAPError>> TVSession::connectPointer()
{
    return m_pointerInput->connectPointer();
}

QCoro::Task<void> TVSession::refreshInputs()
{
    return m_catalogue->refreshInputs();
}

QCoro::Task<void> TVSession::refreshApps()
{
    return m_catalogue->refreshApps();
}

QCoro::Task<void> TVSession::learnMAC()
{
    return m_catalogue->learnMAC();
}

QCoro::Task<std::optional<QByteArray>> TVSession::icon(const QUrl &url)
{
    return m_catalogue->icon(url);
}

std::optional<QByteArray> TVSession::cachedIcon(const QUrl &url) const
{
    return m_catalogue->cachedIcon(url);
}

void TVSession::press(const QString &button)
{
    m_pointerInput->press(button);
}

void TVSession::click()
{
    m_pointerInput->click();
}

void TVSession::move(double dx, double dy)
{
    m_pointerInput->move(dx, dy);
}

void TVSession::scroll(int steps)
{
    m_pointerInput->scroll(steps);
}

QCoro::Task<TVSession::InputOutcome> TVSession::pressAsync(const QString &button)
{
    return m_pointerInput->pressAsync(button);
}

QCoro::Task<TVSession::InputOutcome> TVSession::clickAsync()
{
    return m_pointerInput->clickAsync();
}

QCoro::Task<void> TVSession::refreshBoth()
{
    QPointer<TVSession> self(this);
    co_await refreshInputs();
    if (self)
        co_await self->refreshApps();
}

void TVSession::refreshLists()
{
    refreshBoth();
}

// ---------------------------------------------------------------- remote actions

QCoro::Task<QJsonObject> TVSession::request(const QString &uri, const QJsonObject &payload)
{
    return m_actions->request(uri, payload);
}

QCoro::Task<QJsonObject> TVSession::request(TVRequest command)
{
    return m_actions->request(std::move(command));
}

void TVSession::volumeUp()
{
    m_actions->volumeUp();
}

void TVSession::volumeDown()
{
    m_actions->volumeDown();
}

void TVSession::setVolume()
{
    m_actions->setVolume();
}

void TVSession::setMute(bool mute)
{
    m_actions->setMuteAsync(mute);
}

QCoro::Task<void> TVSession::setMuteAsync(bool mute)
{
    return m_actions->setMuteAsync(mute);
}

void TVSession::insertText(const QString &text)
{
    m_actions->insertText(text);
}

void TVSession::launch(const TVApp &app)
{
    m_actions->launch(app);
}

void TVSession::switchInput(const ExternalInput &input)
{
    m_actions->switchInput(input);
}

void TVSession::launchApp(const QString &appID)
{
    m_actions->launchApp(appID);
}

void TVSession::switchToInput(const QString &inputID)
{
    m_actions->switchToInput(inputID);
}

void TVSession::powerOff()
{
    m_actions->powerOff();
}

QCoro::Task<QString> TVSession::readSoundOutput()
{
    return m_actions->readSoundOutput();
}

QCoro::Task<void> TVSession::changeSoundOutput(QString output)
{
    return m_actions->changeSoundOutput(std::move(output));
}

QCoro::Task<void> TVSession::turnScreen(bool on)
{
    return m_actions->turnScreen(on);
}

QCoro::Task<QList<TVChannel>> TVSession::readChannels()
{
    return m_actions->readChannels();
}

QCoro::Task<TVChannel> TVSession::readCurrentChannel()
{
    return m_actions->readCurrentChannel();
}

QCoro::Task<void> TVSession::openChannel(TVChannel channel)
{
    return m_actions->openChannel(std::move(channel));
}

QCoro::Task<void> TVSession::openURL(QString url)
{
    return m_actions->openURL(std::move(url));
}

QCoro::Task<void> TVSession::launchInto(TVApp app, QString contentID, QJsonObject params)
{
    return m_actions->launchInto(std::move(app), std::move(contentID), std::move(params));
}

void TVSession::refreshSoundOutput()
{
    m_actions->refreshSoundOutput();
}

void TVSession::selectSoundOutput(const QString &output)
{
    m_actions->selectSoundOutput(output);
}

void TVSession::screenOff()
{
    m_actions->screenOff();
}

void TVSession::screenOn()
{
    m_actions->screenOn();
}

void TVSession::refreshChannels()
{
    m_actions->refreshChannels();
}

void TVSession::tuneChannel(const QString &channelID)
{
    m_actions->tuneChannel(channelID);
}

void TVSession::openWebPage(const QString &url)
{
    m_actions->openWebPage(url);
}

void TVSession::launchContent(const QString &appID, const QString &contentID, const QVariantMap &params)
{
    m_actions->launchContent(appID, contentID, params);
}
