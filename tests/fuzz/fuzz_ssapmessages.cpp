// What a TV sends over the SSAP socket, delivered as real WebSocket frames to the client of a
// ready session: replies to waiting requests, subscription pushes, registration messages,
// binary frames, nonsense, and the socket closing in between.
//
// Input: frames separated by the byte 0xFF. A frame starting with 0xFE goes as a binary frame
// (the rest of it); a frame that is just 0xFD closes the socket. In text, "$v", "$f", "$p" and
// "$k" stand for the ids of the volume, foreground app, power and keyboard subscriptions, "$s"
// for a request that waits for a reply, "$i" and "$a" for the input and app list requests.

#include "fuzzsupport.h"

#include "devicestore.h"
#include "preferences.h"
#include "testawait.h"
#include "testcertificates.h"
#include "testtvserver.h"
#include "tvsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonDocument>

#include <QCoro/QCoroTask>

#include <functional>

namespace {

const QString tvAddress = QStringLiteral("127.0.0.49");
const QString sentinelURI = QStringLiteral("ssap://fuzz/sentinel");
const QString inputsURI = QStringLiteral("ssap://tv/getExternalInputList");
const QString appsURI = QStringLiteral("ssap://com.webos.applicationManager/listLaunchPoints");

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool pumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A TV that pairs at once and answers every request with success, except the requests of the
// current input, which wait until the input's frames have been delivered.
struct Rig {
    TestTVServer server { TestCertificates::selfSigned() };
    Preferences preferences { Fuzz::temporaryPath(QStringLiteral("ssapmessages")) };
    DeviceStore store { preferences };
    TVScanner scanner { store };
    TVSession session { store, scanner, { .moveFlushMs = 1 } };
    QString deviceID;

    QPointer<QWebSocket> ssap; // the session's SSAP connection
    QHash<QString, QString> subscribed; // uri -> id
    QHash<QString, QString> held; // uri -> id of a request not answered yet
    bool holding = false;
    bool sequenceDone = false;

    Rig()
    {
        if (!server.listen(QHostAddress(tvAddress), 3001)) {
            std::fprintf(stderr, "cannot listen on %s:3001\n", qPrintable(tvAddress));
            std::abort();
        }
        server.onMessage = [this](QWebSocket *socket, const QJsonObject &message) { answer(socket, message); };
        deviceID = store
                       .upsertDiscovered(tvAddress, QStringLiteral("fuzz-tv"), QStringLiteral("Fuzz TV"),
                           QStringLiteral("LG webOS TV"))
                       .id;
    }

    void answer(QWebSocket *socket, const QJsonObject &message)
    {
        const QString type = message.value(QLatin1String("type")).toString();
        const QString id = message.value(QLatin1String("id")).toString();
        const QString uri = message.value(QLatin1String("uri")).toString();
        if (type == QLatin1String("hello")) {
            ssap = socket;
            return;
        }
        if (type == QLatin1String("register")) {
            socket->sendTextMessage(
                compact({ { QStringLiteral("type"), QStringLiteral("registered") }, { QStringLiteral("id"), id },
                    { QStringLiteral("payload"),
                        QJsonObject { { QStringLiteral("client-key"), QStringLiteral("fuzz-key") } } } }));
            return;
        }
        if (type == QLatin1String("subscribe")) {
            subscribed.insert(uri, id);
            reply(socket, id, { { QStringLiteral("returnValue"), true }, { QStringLiteral("subscribed"), true } });
            return;
        }
        if (uri == sentinelURI || (holding && (uri == inputsURI || uri == appsURI))) {
            held.insert(uri, id);
            return;
        }
        QJsonObject payload { { QStringLiteral("returnValue"), true } };
        if (uri.endsWith(QLatin1String("getPointerInputSocket")))
            payload.insert(QStringLiteral("socketPath"), server.wssURL(QStringLiteral("/pointer")));
        if (uri.endsWith(QLatin1String("connectionmanager/getinfo")))
            sequenceDone = true;
        reply(socket, id, payload);
    }

    static void reply(QWebSocket *socket, const QString &id, const QJsonObject &payload)
    {
        socket->sendTextMessage(compact({ { QStringLiteral("type"), QStringLiteral("response") },
            { QStringLiteral("id"), id }, { QStringLiteral("payload"), payload } }));
    }

    // The session ready, subscribed and through its connection steps.
    void ensureReady()
    {
        if (session.isReady() && ssap && ssap->state() == QAbstractSocket::ConnectedState && sequenceDone)
            return;
        holding = false;
        sequenceDone = false;
        subscribed.clear();
        held.clear();
        ssap = nullptr;
        session.connect(deviceID);
        if (!pumpUntil([this] { return session.isReady() && sequenceDone && subscribed.size() == 4; }, 20000)) {
            std::fprintf(stderr, "the session did not get ready (state %s)\n", qPrintable(session.statusText()));
            std::abort();
        }
    }

    QString expand(QString text) const
    {
        const std::pair<const char *, QString> tokens[] = {
            { "$v", subscribed.value(QStringLiteral("ssap://audio/getVolume")) },
            { "$f", subscribed.value(QStringLiteral("ssap://com.webos.applicationManager/getForegroundAppInfo")) },
            { "$p", subscribed.value(QStringLiteral("ssap://com.webos.service.tvpower/power/getPowerState")) },
            { "$k", subscribed.value(QStringLiteral("ssap://com.webos.service.ime/registerRemoteKeyboard")) },
            { "$s", held.value(sentinelURI) },
            { "$i", held.value(inputsURI) },
            { "$a", held.value(appsURI) },
        };
        for (const auto &[token, id] : tokens)
            text.replace(QLatin1String(token), id);
        return text;
    }
};

Rig &rig()
{
    static Rig *instance = new Rig; // lives as long as the process
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &r = rig();
    r.ensureReady();

    // Requests that wait while the frames arrive.
    r.holding = true;
    QCoro::Task<void> inputs = r.session.refreshInputs();
    QCoro::Task<void> apps = r.session.refreshApps();
    const auto sentinel = start(r.session.request(QStringLiteral("fuzz/sentinel")));
    FUZZ_CHECK(pumpUntil([&r] { return r.held.size() == 3; }, 10000));

    const QList<QByteArray> frames = Fuzz::bytes(data, size).split(char(0xFF));
    for (const QByteArray &frame : frames) {
        if (!r.ssap)
            break;
        if (frame == QByteArray(1, char(0xFD)))
            r.ssap->close(QWebSocketProtocol::CloseCodeGoingAway);
        else if (frame.startsWith(char(0xFE)))
            r.ssap->sendBinaryMessage(frame.mid(1));
        else
            r.ssap->sendTextMessage(r.expand(QString::fromUtf8(frame)));
    }
    // Then whatever is still held, the sentinel last: once it is answered, every frame is read.
    if (r.ssap) {
        for (const QString &uri : { inputsURI, appsURI, sentinelURI }) {
            if (r.held.contains(uri))
                Rig::reply(r.ssap, r.held.value(uri), { { QStringLiteral("returnValue"), true } });
        }
    }
    r.holding = false;

    // Everything that waited completes, one way or the other.
    QCoro::waitFor(inputs);
    QCoro::waitFor(apps);
    FUZZ_CHECK(pumpUntil([&sentinel] { return sentinel->done(); }, 10000));
    r.held.clear();

    // A ready session has its client; one whose socket ended has let it go.
    FUZZ_CHECK(r.session.isReady() == r.session.hasClient());
    return 0;
}
