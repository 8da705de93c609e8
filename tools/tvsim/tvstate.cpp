#include "tvstate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>

namespace {

struct KnownApp {
    const char *id;
    const char *title;
    bool textField;
};

// Launch points a typical set contains; more are made up when a larger count is asked for.
constexpr KnownApp knownApps[] = {
    { "com.webos.app.livetv", "Live TV", false },
    { "youtube.leanback.v4", "YouTube", true },
    { "netflix", "Netflix", false },
    { "amazon", "Prime Video", false },
    { "com.webos.app.browser", "Web Browser", true },
    { "com.webos.app.photovideo", "Photo & Video", false },
    { "com.webos.app.music", "Music", false },
    { "com.palm.app.settings", "Settings", false },
    { "com.webos.app.discovery", "Apps", false },
    { "com.webos.app.tvguide", "TV Guide", false },
    { "spotify-beehive", "Spotify", true },
    { "com.disney.disneyplus-prod", "Disney+", false },
    { "com.apple.appletv", "Apple TV", false },
    { "com.webos.app.miracast", "Screen Share", false },
    { "com.webos.app.connectionwizard", "Device Connector", false },
    { "com.webos.app.tvuserguide", "User Guide", false },
    { "com.webos.app.notificationcenter", "Notifications", false },
    { "com.webos.app.sports", "Sports", false },
    { "com.webos.app.scheduler", "Scheduler", false },
    { "com.webos.app.gallery", "Gallery", false },
};

struct KnownChannel {
    const char *number;
    const char *name;
};

// A small line-up with gaps in the numbering, as an antenna scan leaves it; more channels are
// made up from 100 on.
constexpr KnownChannel knownChannels[] = {
    { "1", "City TV" },
    { "2", "News 24" },
    { "3", "Sports One" },
    { "4", "Kids" },
    { "5", "Movies" },
    { "7", "Music Hits" },
    { "8", "Weather" },
    { "10", "Documentary" },
    { "11", "Travel" },
    { "12", "Cooking" },
    { "15", "Science" },
    { "20", "History" },
};

QString macFromHash(const QByteArray &seed, const char *prefix)
{
    const QByteArray hash = QCryptographicHash::hash(seed, QCryptographicHash::Sha256);
    QString mac = QString::fromLatin1(prefix);
    for (int i = 0; i < 3; ++i)
        mac += QStringLiteral(":%1").arg(uint(uchar(hash.at(i))), 2, 16, QLatin1Char('0'));
    return mac;
}

} // namespace

TVState::TVState(const TVSimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_volumeShape(options.volumeShape)
{
    const int appCount = std::max(0, options.apps);
    for (int i = 0; i < appCount; ++i) {
        App app;
        if (i < int(std::size(knownApps))) {
            app.id = QString::fromLatin1(knownApps[i].id);
            app.title = QString::fromUtf8(knownApps[i].title);
            app.hasTextField = knownApps[i].textField;
        } else {
            app.id = QStringLiteral("com.tvsim.app%1").arg(i + 1);
            app.title = QStringLiteral("App %1").arg(i + 1);
        }
        // Some launch points carry only the small icon, as on real TVs.
        app.hasLargeIcon = i % 5 != 3;
        m_apps.append(app);
    }
    for (int i = 1; i <= std::max(0, options.inputs); ++i)
        m_inputs.append({ QStringLiteral("HDMI_%1").arg(i), QStringLiteral("HDMI %1").arg(i),
            QStringLiteral("com.webos.app.hdmi%1").arg(i), i <= 2 });
    for (int i = 0; i < std::max(0, options.channels); ++i) {
        Channel channel;
        if (i < int(std::size(knownChannels))) {
            channel.number = QString::fromLatin1(knownChannels[i].number);
            channel.name = QString::fromUtf8(knownChannels[i].name);
        } else {
            channel.number = QString::number(100 + i);
            channel.name = QStringLiteral("Channel %1").arg(100 + i);
        }
        channel.id = QStringLiteral("7_%1_%1_0_0_%2_0").arg(channel.number).arg(1000 + i);
        m_channels.append(channel);
    }
    m_channel = m_channels.isEmpty() ? QString() : m_channels.constFirst().number;
}

bool TVState::load(QString *error)
{
    const QDir dir(m_options.stateDir);
    QFile uuidFile(dir.filePath(QStringLiteral("device-uuid")));
    if (!m_options.newUUID && uuidFile.open(QIODevice::ReadOnly))
        m_deviceUUID = QString::fromUtf8(uuidFile.readAll()).trimmed();
    uuidFile.close();
    if (m_deviceUUID.isEmpty()) {
        m_deviceUUID = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!uuidFile.open(QIODevice::WriteOnly | QIODevice::Truncate) || uuidFile.write(m_deviceUUID.toUtf8()) < 0) {
            *error = QStringLiteral("cannot write %1").arg(uuidFile.fileName());
            return false;
        }
    }
    QFile keysFile(dir.filePath(QStringLiteral("client-keys.json")));
    if (keysFile.open(QIODevice::ReadOnly)) {
        for (const QJsonValue &key : QJsonDocument::fromJson(keysFile.readAll()).array())
            if (key.isString())
                m_clientKeys.append(key.toString());
    }
    m_wiredMAC = macFromHash(m_deviceUUID.toUtf8() + "wired", "a8:23:fe");
    m_wifiMAC = macFromHash(m_deviceUUID.toUtf8() + "wifi", "64:cb:e9");
    return true;
}

QString TVState::friendlyName() const
{
    return m_options.name.isEmpty() ? QStringLiteral("[LG] webOS TV %1").arg(m_options.model) : m_options.name;
}

bool TVState::hasClientKey(const QString &key) const
{
    return !key.isEmpty() && m_clientKeys.contains(key);
}

QString TVState::issueClientKey()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 4);
    const QString key = QString::fromLatin1(bytes.toHex());
    m_clientKeys.append(key);
    saveClientKeys();
    return key;
}

bool TVState::saveClientKeys() const
{
    QFile file(QDir(m_options.stateDir).filePath(QStringLiteral("client-keys.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(QJsonDocument(QJsonArray::fromStringList(m_clientKeys)).toJson(QJsonDocument::Compact)) > 0;
}

QStringList TVState::macs() const
{
    QStringList result { m_wiredMAC, m_wifiMAC };
    if (!m_interfaceMAC.isEmpty() && !result.contains(m_interfaceMAC))
        result.append(m_interfaceMAC);
    return result;
}

void TVState::setPowerState(const QString &state)
{
    if (state == m_power)
        return;
    m_power = state;
    emit powerStateChanged();
}

void TVState::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (volume == m_volume)
        return;
    m_volume = volume;
    emit volumeChanged();
}

void TVState::setMuted(bool muted)
{
    if (muted == m_muted)
        return;
    m_muted = muted;
    emit volumeChanged();
}

void TVState::setForegroundAppId(const QString &appId)
{
    if (appId != m_foregroundAppId) {
        m_foregroundAppId = appId;
        emit foregroundAppChanged();
    }
    const App *app = findApp(appId);
    setKeyboardFocus(app && app->hasTextField);
}

void TVState::setKeyboardFocus(bool focus)
{
    if (focus == m_keyboardFocus)
        return;
    m_keyboardFocus = focus;
    emit keyboardFocusChanged();
}

const QStringList &TVState::soundOutputs()
{
    static const QStringList outputs { QStringLiteral("tv_speaker"), QStringLiteral("external_arc"),
        QStringLiteral("external_optical"), QStringLiteral("bt_soundbar"), QStringLiteral("headphone"),
        QStringLiteral("tv_external_speaker"), QStringLiteral("tv_speaker_headphone"), QStringLiteral("lineout") };
    return outputs;
}

void TVState::setSoundOutput(const QString &output)
{
    if (output == m_soundOutput)
        return;
    m_soundOutput = output;
    emit volumeChanged();
}

const TVState::Channel *TVState::currentChannel() const
{
    for (const Channel &channel : m_channels)
        if (channel.number == m_channel)
            return &channel;
    return nullptr;
}

void TVState::stepChannel(int step)
{
    const qsizetype count = m_channels.size();
    if (count == 0)
        return;
    const Channel *current = currentChannel();
    const qsizetype index = current ? current - m_channels.constData() : 0;
    m_channel = m_channels.at(((index + step) % count + count) % count).number;
}

const TVState::Channel *TVState::findChannel(const QString &id) const
{
    for (const Channel &channel : m_channels)
        if (channel.id == id)
            return &channel;
    return nullptr;
}

void TVState::setCurrentChannel(const QString &id)
{
    if (const Channel *channel = findChannel(id))
        m_channel = channel->number;
}

const TVState::App *TVState::findApp(const QString &id) const
{
    for (const App &app : m_apps)
        if (app.id == id)
            return &app;
    return nullptr;
}

const TVState::Input *TVState::findInput(const QString &id) const
{
    for (const Input &input : m_inputs)
        if (input.id == id)
            return &input;
    return nullptr;
}

QJsonObject TVState::toJson() const
{
    QJsonArray inputs;
    for (const Input &input : m_inputs)
        inputs.append(QJsonObject { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
            { QStringLiteral("appId"), input.appId }, { QStringLiteral("connected"), input.connected } });
    return QJsonObject {
        { QStringLiteral("power"), m_power },
        { QStringLiteral("volume"), m_volume },
        { QStringLiteral("muted"), m_muted },
        { QStringLiteral("volumeShape"), m_volumeShape },
        { QStringLiteral("foregroundAppId"), m_foregroundAppId },
        { QStringLiteral("keyboardFocus"), m_keyboardFocus },
        { QStringLiteral("deviceUUID"), m_deviceUUID },
        { QStringLiteral("clientKeys"), QJsonArray::fromStringList(m_clientKeys) },
        { QStringLiteral("macs"), QJsonArray::fromStringList(macs()) },
        { QStringLiteral("inputs"), inputs },
        { QStringLiteral("apps"), int(m_apps.size()) },
        { QStringLiteral("channel"), m_channel },
        { QStringLiteral("text"), m_text },
        { QStringLiteral("mediaState"), m_mediaState },
        { QStringLiteral("toasts"), QJsonArray::fromStringList(m_toasts) },
        { QStringLiteral("firmware"), m_options.firmware },
        { QStringLiteral("name"), friendlyName() },
        { QStringLiteral("model"), m_options.model },
    };
}
