#include "ssapclient.h"

#include "ssapclientprivate.h"

#include <QJsonArray>

SSAPClient::SSAPClient(std::optional<QString> expectedFingerprint, QObject *parent)
    : SSAPClient(std::move(expectedFingerprint), Timings {}, parent)
{
}

SSAPClient::SSAPClient(std::optional<QString> expectedFingerprint, Timings timings, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, timings))
    , m_tls(std::move(expectedFingerprint))
{
}

SSAPClient::~SSAPClient()
{
    // Before any member goes: every waiter fails with notConnected and resumes later from the
    // event loop, when nothing of this client is left to touch.
    d->shutdown();
    d.reset();
}

QCoro::Task<QJsonObject> SSAPClient::connect(const QString &host)
{
    return Private::Reply::wait(d->startConnect(host));
}

QCoro::Task<QJsonObject> SSAPClient::send(const QJsonObject &message, const QString &id, double timeout)
{
    return Private::Reply::wait(d->startSend(message, id, timeout));
}

QCoro::Task<QJsonObject> SSAPClient::request(const QString &uri, const QJsonObject &payload, double timeout)
{
    // The id is used up even when the request then fails for want of a socket.
    const QString id = QString::number(m_nextID++);
    return send(QJsonObject { { QStringLiteral("id"), id }, { QStringLiteral("type"), QStringLiteral("request") },
                    { QStringLiteral("uri"), serviceURI(uri) }, { QStringLiteral("payload"), payload } },
        id, timeout);
}

void SSAPClient::subscribe(const QString &uri, const QJsonObject &payload, Handler handler)
{
    d->subscribe(uri, payload, std::move(handler));
}

QCoro::Task<QString> SSAPClient::registerClient(
    const std::optional<QString> &clientKey, const QString &pairingType, std::function<void()> onPrompt)
{
    return Private::Registration::wait(d->startRegistration(clientKey, pairingType, std::move(onPrompt)));
}

void SSAPClient::disconnect()
{
    d->disconnect();
}

QWebSocket *SSAPClient::createSocket()
{
    return d->createSocket();
}

QCoro::Task<std::optional<QByteArray>> SSAPClient::fetch(const QUrl &url)
{
    return Private::Download::wait(d->startFetch(url));
}

bool SSAPClient::hasSocket() const
{
    return !d->task.isNull();
}

void SSAPClient::ping()
{
    if (d->task && d->task->state() == QAbstractSocket::ConnectedState)
        d->task->ping();
}

qint64 SSAPClient::msSinceHeard() const
{
    return d->task && d->heard.isValid() ? d->heard.elapsed() : -1;
}

QJsonObject SSAPClient::registrationPayload(const std::optional<QString> &clientKey, const QString &pairingType)
{
    // The constant part, built once.
    static const QJsonObject base { { QStringLiteral("forcePairing"), false },
        { QStringLiteral("manifest"),
            QJsonObject { { QStringLiteral("manifestVersion"), 1 },
                { QStringLiteral("appVersion"), QStringLiteral("1.0") },
                { QStringLiteral("permissions"),
                    QJsonArray { QStringLiteral("LAUNCH"), QStringLiteral("CONTROL_AUDIO"),
                        QStringLiteral("CONTROL_POWER"), QStringLiteral("CONTROL_DISPLAY"),
                        QStringLiteral("CONTROL_INPUT_JOYSTICK"), QStringLiteral("CONTROL_INPUT_MEDIA_PLAYBACK"),
                        QStringLiteral("CONTROL_INPUT_TEXT"), QStringLiteral("CONTROL_INPUT_TV"),
                        QStringLiteral("CONTROL_MOUSE_AND_KEYBOARD"), QStringLiteral("READ_APP_STATUS"),
                        QStringLiteral("READ_CURRENT_CHANNEL"), QStringLiteral("READ_INPUT_DEVICE_LIST"),
                        QStringLiteral("READ_INSTALLED_APPS"), QStringLiteral("READ_NETWORK_STATE"),
                        QStringLiteral("READ_POWER_STATE"), QStringLiteral("READ_RUNNING_APPS"),
                        QStringLiteral("READ_TV_CHANNEL_LIST"), QStringLiteral("WRITE_NOTIFICATION_TOAST") } } } } };
    QJsonObject payload = base;
    payload.insert(QStringLiteral("pairingType"), pairingType);
    if (clientKey)
        payload.insert(QStringLiteral("client-key"), *clientKey);
    return payload;
}

QString SSAPClient::serviceURI(const QString &uri)
{
    return uri.contains(QLatin1String("://")) ? uri : QStringLiteral("ssap://") + uri;
}
