// What a TV sends over the SSAP socket, delivered as real WebSocket frames to the client of a
// ready session: replies to waiting requests, subscription pushes, nonsense, the socket closing.
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
#include <QDeadlineTimer>
#include <QHash>

#include <functional>

namespace {

const QString tvAddress = QStringLiteral("127.0.0.49");
const QString sentinelURI = QStringLiteral("ssap://fuzz/sentinel");
const QString inputsURI = QStringLiteral("ssap://tv/getExternalInputList");
const QString appsURI = QStringLiteral("ssap://com.webos.applicationManager/listLaunchPoints");

bool pumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// A TV that pairs at once and answers every request with success, except the requests of the
// current input, which wait until the input's frames have been delivered.
struct Rig {
    TestTVServer server { TestCertificates::selfSigned() };
    Preferences preferences { Fuzz::temporaryPath(QStringLiteral("ssapmessages")) };
    DeviceStore store { preferences };
    TVScanner scanner { store };
    TVSession session { store, scanner, { .moveFlushMs = 1 } };
    QString deviceID = store.upsertDiscovered(tvAddress, QStringLiteral("fuzz-tv"), {}, {}).id;

    QPointer<QWebSocket> ssap; // the session's SSAP connection
    QHash<QString, QString> subscribed; // uri -> id
    QHash<QString, QString> held; // uri -> id of a request not answered yet
    bool holding = false;
    bool sequenceDone = false;

    Rig()
    {
        FUZZ_CHECK(server.listen(QHostAddress(tvAddress), 3001));
        server.onMessage = [this](QWebSocket *socket, const QJsonObject &message) { answer(socket, message); };
    }

    void answer(QWebSocket *socket, const QJsonObject &message)
    {
        const QString type = message[QLatin1String("type")].toString();
        const QString id = message[QLatin1String("id")].toString();
        const QString uri = message[QLatin1String("uri")].toString();
        if (type == QLatin1String("hello")) {
            ssap = socket;
        } else if (type == QLatin1String("register")) {
            socket->sendTextMessage(
                QStringLiteral(R"({"type":"registered","id":"%1","payload":{"client-key":"fuzz-key"}})").arg(id));
        } else if (type == QLatin1String("subscribe")) {
            subscribed.insert(uri, id);
            reply(socket, id, QStringLiteral(R"("subscribed":true)"));
        } else if (uri == sentinelURI || (holding && (uri == inputsURI || uri == appsURI))) {
            held.insert(uri, id);
        } else if (uri.endsWith(QLatin1String("getPointerInputSocket"))) {
            reply(socket, id, QStringLiteral(R"("socketPath":"%1")").arg(server.wssURL(QStringLiteral("/pointer"))));
        } else {
            sequenceDone = sequenceDone || uri.endsWith(QLatin1String("connectionmanager/getinfo"));
            reply(socket, id);
        }
    }

    // A successful response; fields go into its payload.
    static void reply(QWebSocket *socket, const QString &id, const QString &fields = QString())
    {
        socket->sendTextMessage(QStringLiteral(R"({"type":"response","id":"%1","payload":{"returnValue":true%2}})")
                                    .arg(id, fields.isEmpty() ? fields : QLatin1Char(',') + fields));
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
        FUZZ_CHECK(pumpUntil([this] { return session.isReady() && sequenceDone && subscribed.size() == 4; }, 20000));
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Rig &r = *new Rig; // lives as long as the process
    r.ensureReady();

    // Requests that wait while the frames arrive.
    r.holding = true;
    const auto inputs = start(r.session.refreshInputs());
    const auto apps = start(r.session.refreshApps());
    const auto sentinel = start(r.session.request(QStringLiteral("fuzz/sentinel")));
    FUZZ_CHECK(pumpUntil([] { return r.held.size() == 3; }, 10000));

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
    for (const QString &uri : { inputsURI, appsURI, sentinelURI })
        if (r.ssap && r.held.contains(uri))
            Rig::reply(r.ssap, r.held.value(uri));
    r.holding = false;

    // Everything that waited completes, one way or the other.
    FUZZ_CHECK(pumpUntil([&] { return inputs->done() && apps->done() && sentinel->done(); }, 10000));
    FUZZ_CHECK(!inputs->error && !apps->error); // the lists' refreshes keep their failures
    r.held.clear();

    // A ready session has its client; one whose socket ended has let it go.
    FUZZ_CHECK(r.session.isReady() == r.session.hasClient());
    return 0;
}
