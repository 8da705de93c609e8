#include "controlserver.h"

#include "faultsettings.h"
#include "messagelog.h"
#include "ssapservice.h"
#include "tvsimulator.h"
#include "tvstate.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

HttpServer::Response json(const QJsonObject &object, int status = 200)
{
    return { status, QByteArrayLiteral("application/json"),
        QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n' };
}

HttpServer::Response failure(int status, const QString &error)
{
    return json({ { QStringLiteral("ok"), false }, { QStringLiteral("error"), error } }, status);
}

const QStringList powerStates { QStringLiteral("Active"), QStringLiteral("Active Standby"), QStringLiteral("Suspend"),
    QStringLiteral("Off"), QStringLiteral("Screen Off") };

} // namespace

ControlServer::ControlServer(TVSimulator *simulator, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_http(new HttpServer([this](const HttpServer::Request &request) { return handle(request); }, this))
{
}

bool ControlServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    return m_http->listen(address, port, error);
}

HttpServer::Response ControlServer::handle(const HttpServer::Request &request)
{
    const QString &path = request.path;
    if (request.method == "GET") {
        if (path == QStringLiteral("/state"))
            return json(m_simulator->stateJson());
        if (path == QStringLiteral("/received"))
            return json({ { QStringLiteral("messages"), m_simulator->log()->messages() } });
        if (path == QStringLiteral("/faults"))
            return json(m_simulator->faults()->toJson());
        return failure(404, QStringLiteral("not found"));
    }
    if (request.method != "POST")
        return failure(405, QStringLiteral("method not allowed"));
    QJsonObject body;
    if (!request.body.trimmed().isEmpty()) {
        QJsonParseError error {};
        const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return failure(400, QStringLiteral("body must be a JSON object"));
        body = document.object();
    }
    if (path == QStringLiteral("/received/clear")) {
        m_simulator->log()->clear();
        return json({ { QStringLiteral("ok"), true } });
    }
    if (path == QStringLiteral("/set"))
        return set(body);
    if (path == QStringLiteral("/fault"))
        return fault(body);
    if (path == QStringLiteral("/pairing"))
        return pairing(body);
    if (path == QStringLiteral("/standby")) {
        m_simulator->standby();
        return json(
            { { QStringLiteral("ok"), true }, { QStringLiteral("power"), m_simulator->state()->powerState() } });
    }
    if (path == QStringLiteral("/wake")) {
        QString error;
        if (!m_simulator->wake(&error))
            return failure(500, error);
        return json(
            { { QStringLiteral("ok"), true }, { QStringLiteral("power"), m_simulator->state()->powerState() } });
    }
    return failure(404, QStringLiteral("not found"));
}

HttpServer::Response ControlServer::set(const QJsonObject &body)
{
    TVState *state = m_simulator->state();
    // Check everything first, so a bad request changes nothing.
    if (body.contains(QStringLiteral("volume")) && !body.value(QStringLiteral("volume")).isDouble())
        return failure(400, QStringLiteral("volume must be a number"));
    for (const char *flag : { "muted", "keyboardFocus" })
        if (body.contains(QLatin1String(flag)) && !body.value(QLatin1String(flag)).isBool())
            return failure(400, QStringLiteral("%1 must be a boolean").arg(QLatin1String(flag)));
    if (body.contains(QStringLiteral("foregroundAppId")) && !body.value(QStringLiteral("foregroundAppId")).isString())
        return failure(400, QStringLiteral("foregroundAppId must be a text"));
    if (body.contains(QStringLiteral("power")) && !powerStates.contains(body.value(QStringLiteral("power")).toString()))
        return failure(400, QStringLiteral("power must be one of: %1").arg(powerStates.join(QStringLiteral(", "))));
    if (body.contains(QStringLiteral("soundOutput"))
        && !TVState::soundOutputs().contains(body.value(QStringLiteral("soundOutput")).toString()))
        return failure(400,
            QStringLiteral("soundOutput must be one of: %1").arg(TVState::soundOutputs().join(QStringLiteral(", "))));
    const QString shape = body.value(QStringLiteral("volumeShape")).toString();
    if (body.contains(QStringLiteral("volumeShape")) && shape != QStringLiteral("nested")
        && shape != QStringLiteral("flat"))
        return failure(400, QStringLiteral("volumeShape must be nested or flat"));

    if (!shape.isEmpty())
        state->setVolumeShape(shape);
    if (body.contains(QStringLiteral("volume")))
        state->setVolume(int(body.value(QStringLiteral("volume")).toDouble()));
    if (body.contains(QStringLiteral("muted")))
        state->setMuted(body.value(QStringLiteral("muted")).toBool());
    if (body.contains(QStringLiteral("foregroundAppId")))
        state->setForegroundAppId(body.value(QStringLiteral("foregroundAppId")).toString());
    // An explicit focus wins over the one that came with the app.
    if (body.contains(QStringLiteral("keyboardFocus")))
        state->setKeyboardFocus(body.value(QStringLiteral("keyboardFocus")).toBool());
    if (body.contains(QStringLiteral("power")))
        state->setPowerState(body.value(QStringLiteral("power")).toString());
    if (body.contains(QStringLiteral("soundOutput")))
        state->setSoundOutput(body.value(QStringLiteral("soundOutput")).toString());
    return json(m_simulator->stateJson());
}

HttpServer::Response ControlServer::fault(const QJsonObject &body)
{
    FaultSettings *faults = m_simulator->faults();
    if (body.value(QStringLiteral("clear")).toBool())
        faults->clear();
    if (body.contains(QStringLiteral("delay"))) {
        const QJsonObject delay = body.value(QStringLiteral("delay")).toObject();
        const QString uri = delay.value(QStringLiteral("uri")).toString();
        if (uri.isEmpty() || !delay.value(QStringLiteral("ms")).isDouble())
            return failure(400, QStringLiteral("delay needs uri and ms"));
        faults->setDelay(FaultSettings::servicePath(uri), delay.value(QStringLiteral("ms")).toInt());
    }
    if (body.contains(QStringLiteral("fail"))) {
        const QJsonObject fail = body.value(QStringLiteral("fail")).toObject();
        const QString uri = fail.value(QStringLiteral("uri")).toString();
        const QString shape = fail.value(QStringLiteral("shape")).toString(QStringLiteral("error"));
        if (uri.isEmpty() || (shape != QStringLiteral("error") && shape != QStringLiteral("returnValue")))
            return failure(400, QStringLiteral("fail needs uri, error and shape error or returnValue"));
        faults->setFailure(FaultSettings::servicePath(uri),
            { fail.value(QStringLiteral("error")).toString(QStringLiteral("500 Application error")),
                shape == QStringLiteral("returnValue") });
    }
    if (body.contains(QStringLiteral("hang")))
        faults->setHang(body.value(QStringLiteral("hang")).toBool());
    if (body.contains(QStringLiteral("nextPairing"))) {
        const QString mode = body.value(QStringLiteral("nextPairing")).toString();
        if (mode != QStringLiteral("accept") && mode != QStringLiteral("reject") && mode != QStringLiteral("ignore"))
            return failure(400, QStringLiteral("nextPairing must be accept, reject or ignore"));
        faults->setNextPairing(mode);
    }
    if (body.contains(QStringLiteral("closeOn"))) {
        const QString event = body.value(QStringLiteral("closeOn")).toString();
        if (event.isEmpty())
            return failure(400, QStringLiteral("closeOn must be \"registered\" or a service URI"));
        faults->setCloseOn(event == QStringLiteral("registered") ? event : FaultSettings::servicePath(event),
            body.value(QStringLiteral("skip")).toInt());
    }
    if (body.contains(QStringLiteral("push"))) {
        const QString kind = body.value(QStringLiteral("push")).toString();
        static const QStringList kinds { QStringLiteral("notjson"), QStringLiteral("array"), QStringLiteral("binary"),
            QStringLiteral("intid"), QStringLiteral("huge") };
        if (!kinds.contains(kind))
            return failure(400, QStringLiteral("push must be one of: %1").arg(kinds.join(QStringLiteral(", "))));
        const int mebibytes = body.value(QStringLiteral("mib")).toInt(5);
        if (mebibytes < 1 || mebibytes > 512)
            return failure(400, QStringLiteral("mib must be 1 to 512"));
        m_simulator->ssap()->pushOdd(kind, mebibytes);
    }
    if (body.value(QStringLiteral("drop")).toBool())
        m_simulator->ssap()->closeAll(true);
    return json({ { QStringLiteral("ok"), true }, { QStringLiteral("faults"), faults->toJson() } });
}

HttpServer::Response ControlServer::pairing(const QJsonObject &body)
{
    const QString action = body.value(QStringLiteral("action")).toString();
    if (action != QStringLiteral("accept") && action != QStringLiteral("reject"))
        return failure(400, QStringLiteral("action must be accept or reject"));
    const int answered = m_simulator->ssap()->answerPairing(action == QStringLiteral("accept"));
    if (answered == 0)
        return failure(409, QStringLiteral("no pairing pending"));
    return json({ { QStringLiteral("ok"), true }, { QStringLiteral("answered"), answered } });
}
