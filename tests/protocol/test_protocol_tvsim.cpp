// The protocol client against the TV emulator: greeting, pairing by prompt and by PIN, key
// reuse, requests, subscription pushes and the pointer socket, over real TLS sockets.

#include "pointerclient.h"
#include "ssapclient.h"
#include "testawait.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <memory>

namespace {

const QString tvAddress = QStringLiteral("127.4.4.1");
const QString chainAddress = QStringLiteral("127.4.4.2");
const QString pin = QStringLiteral("12345678");

// The emulator's own event lines ({"event":"registered",...}) printed so far.
QList<QJsonObject> events(const TVSimProcess &sim, const QString &name)
{
    QList<QJsonObject> found;
    for (const QString &line : sim.output().split(QLatin1Char('\n'))) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object.value(QLatin1String("event")).toString() == name)
            found << object;
    }
    return found;
}

} // namespace

class TestProtocolTVSim : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TVSimProcess> m_sim;
    QString m_promptKey;

    // A client greeted by the emulator, pinned to its certificate.
    std::unique_ptr<SSAPClient> greeted(std::optional<QString> fingerprint)
    {
        auto client = std::make_unique<SSAPClient>(std::move(fingerprint));
        auto greeting = start(client->connect(tvAddress));
        if (!QTest::qWaitFor([&] { return greeting->done(); }, 10000) || !greeting->value)
            return {};
        return client;
    }

    // Registered with the key of the prompt pairing.
    std::unique_ptr<SSAPClient> registered()
    {
        auto client = greeted(m_sim->fingerprint());
        if (!client || m_promptKey.isEmpty())
            return {};
        auto registration = start(client->registerClient(m_promptKey, QStringLiteral("PROMPT")));
        if (!QTest::qWaitFor([&] { return registration->done(); }, 10000) || !registration->value)
            return {};
        return client;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<TVSimProcess>(TVSimProcess::Options{
            .address = tvAddress,
            .extraArgs = {QStringLiteral("--pin"), pin, QStringLiteral("--pairing-delay"), QStringLiteral("200")}});
        QVERIFY2(m_sim->start(), "tvsim did not start (is it built?)");
        QVERIFY(!m_sim->fingerprint().isEmpty());
    }

    void cleanupTestCase()
    {
        m_sim.reset();
    }

    void greeting()
    {
        SSAPClient client(std::nullopt);
        auto greeting = start(client.connect(tvAddress));
        QTRY_VERIFY_WITH_TIMEOUT(greeting->done(), 10000);
        QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
        QCOMPARE(greeting->value->value(QLatin1String("deviceUUID")).toString(),
                 m_sim->state().value(QLatin1String("deviceUUID")).toString());
        QCOMPARE(client.tls().observedFingerprint(), std::optional<QString>(m_sim->fingerprint()));
    }

    void promptPairingThenKeyReuse()
    {
        auto client = greeted(std::nullopt);
        QVERIFY(client);
        int prompts = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++prompts; }));
        QTRY_VERIFY_WITH_TIMEOUT(registration->done(), 10000);
        QVERIFY2(registration->value, qPrintable(registration->errorText()));
        QCOMPARE(prompts, 1);
        m_promptKey = *registration->value;
        QVERIFY(!m_promptKey.isEmpty());
        QVERIFY(m_sim->state().value(QLatin1String("clientKeys")).toArray().contains(m_promptKey));
        QCOMPARE(events(*m_sim, QStringLiteral("prompt")).size(), 1);
        const QList<QJsonObject> paired = events(*m_sim, QStringLiteral("registered"));
        QCOMPARE(paired.size(), 1);
        QCOMPARE(paired[0].value(QLatin1String("client-key")).toString(), m_promptKey);
        QCOMPARE(paired[0].value(QLatin1String("paired")).toBool(), true);
        client->disconnect();

        // Next time, pinned and with the key: no prompt, the same key.
        m_sim->clearReceived();
        auto again = greeted(m_sim->fingerprint());
        QVERIFY(again);
        prompts = 0;
        auto reuse = start(again->registerClient(m_promptKey, QStringLiteral("PROMPT"), [&] { ++prompts; }));
        QTRY_VERIFY_WITH_TIMEOUT(reuse->done(), 10000);
        QVERIFY2(reuse->value, qPrintable(reuse->errorText()));
        QCOMPARE(*reuse->value, m_promptKey);
        QCOMPARE(prompts, 0);
        QCOMPARE(events(*m_sim, QStringLiteral("prompt")).size(), 1);
        QCOMPARE(events(*m_sim, QStringLiteral("registered")).constLast().value(QLatin1String("paired")).toBool(), false);
        // What reached the TV: the greeting and one register message carrying the key.
        const QJsonArray ssap = m_sim->received(QStringLiteral("ssap"));
        QCOMPARE(ssap.size(), 2);
        const QJsonObject registerMessage = ssap[1].toObject().value(QLatin1String("json")).toObject();
        QCOMPARE(registerMessage.value(QLatin1String("id")).toString(), QStringLiteral("register_0"));
        QCOMPARE(registerMessage.value(QLatin1String("payload")).toObject().value(QLatin1String("client-key")).toString(),
                 m_promptKey);
    }

    void pinPairing()
    {
        auto client = greeted(m_sim->fingerprint());
        QVERIFY(client);
        bool prompted = false;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PIN"), [&] { prompted = true; }));
        QTRY_VERIFY_WITH_TIMEOUT(prompted, 10000);
        QCOMPARE(m_sim->state().value(QLatin1String("pin")).toString(), pin);
        QCOMPARE(events(*m_sim, QStringLiteral("pin")).constLast().value(QLatin1String("pin")).toString(), pin);

        // A wrong PIN fails only the submission; the pairing stays open.
        auto wrong = start(client->request(QStringLiteral("pairing/setPin"), {{QStringLiteral("pin"), QStringLiteral("00000000")}}));
        QTRY_VERIFY_WITH_TIMEOUT(wrong->done(), 10000);
        QVERIFY(wrong->error);
        QCOMPARE(wrong->error->kind(), SSAPError::Kind::Server);
        QVERIFY(!registration->done());

        auto right = start(client->request(QStringLiteral("pairing/setPin"), {{QStringLiteral("pin"), pin}}));
        QTRY_VERIFY_WITH_TIMEOUT(registration->done() && right->done(), 10000);
        QVERIFY2(right->value, qPrintable(right->errorText()));
        QVERIFY2(registration->value, qPrintable(registration->errorText()));
        QVERIFY(*registration->value != m_promptKey);
        QVERIFY(m_sim->state().value(QLatin1String("clientKeys")).toArray().contains(*registration->value));
        QCOMPARE(events(*m_sim, QStringLiteral("registered")).constLast().value(QLatin1String("client-key")).toString(),
                 *registration->value);
    }

    void requestAndSubscriptionPush()
    {
        auto client = registered();
        QVERIFY(client);
        auto info = start(client->request(QStringLiteral("system/getSystemInfo")));
        QTRY_VERIFY_WITH_TIMEOUT(info->done(), 10000);
        QVERIFY2(info->value, qPrintable(info->errorText()));
        QCOMPARE(info->value->value(QLatin1String("modelName")).toString(), QStringLiteral("OLED55C3PCA"));

        QList<QJsonObject> volumes;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &payload) { volumes << payload; });
        QTRY_VERIFY_WITH_TIMEOUT(!volumes.isEmpty(), 10000);
        m_sim->control(QStringLiteral("/set"), {{QStringLiteral("volume"), 17}});
        QTRY_VERIFY_WITH_TIMEOUT(
            volumes.size() >= 2
                && volumes.constLast().value(QLatin1String("volumeStatus")).toObject().value(QLatin1String("volume")).toInt() == 17,
            10000);

        // An "error" reply from the TV fails the request with its text.
        m_sim->control(QStringLiteral("/fault"), {{QStringLiteral("fail"),
                                                   QJsonObject{{QStringLiteral("uri"), QStringLiteral("audio/setMute")},
                                                               {QStringLiteral("error"), QStringLiteral("mute failed")},
                                                               {QStringLiteral("shape"), QStringLiteral("error")}}}});
        auto mute = start(client->request(QStringLiteral("audio/setMute"), {{QStringLiteral("mute"), true}}));
        QTRY_VERIFY_WITH_TIMEOUT(mute->done(), 10000);
        m_sim->control(QStringLiteral("/fault"), {{QStringLiteral("clear"), true}});
        QVERIFY(mute->error);
        QCOMPARE(mute->errorText(), QStringLiteral("mute failed"));
    }

    void pointerSocket()
    {
        auto client = registered();
        QVERIFY(client);
        auto socket = start(client->request(QStringLiteral("com.webos.service.networkinput/getPointerInputSocket")));
        QTRY_VERIFY_WITH_TIMEOUT(socket->done(), 10000);
        QVERIFY2(socket->value, qPrintable(socket->errorText()));
        const QUrl url(socket->value->value(QLatin1String("socketPath")).toString());
        QCOMPARE(url.scheme(), QStringLiteral("wss"));

        PointerClient pointer(client->createSocket(), url);
        pointer.button(QStringLiteral("HOME")); // before the socket is open
        pointer.move(-3, 12);
        const QString button = QStringLiteral("type:button\nname:HOME\n\n");
        const QString move = QStringLiteral("type:move\ndx:-3\ndy:12\ndown:0\n\n");
        QVERIFY(!m_sim->waitForReceived(QStringLiteral("pointer"), [&](const QJsonObject &m) {
                           return m.value(QLatin1String("text")).toString() == move;
                       }).isEmpty());
        QStringList texts;
        for (const QJsonValue &message : m_sim->received(QStringLiteral("pointer")))
            texts << message.toObject().value(QLatin1String("text")).toString();
        QCOMPARE(texts.mid(texts.size() - 2), (QStringList{button, move}));
        QVERIFY(pointer.isOpen());

        client->disconnect();
        QVERIFY(!pointer.isOpen());
    }

    void droppedByTheTV()
    {
        auto client = registered();
        QVERIFY(client);
        std::optional<SSAPError> closed;
        int closes = 0;
        client->onClose = [&](const std::optional<SSAPError> &error) {
            closed = error;
            ++closes;
        };
        m_sim->control(QStringLiteral("/fault"), {{QStringLiteral("hang"), true}});
        auto request = start(client->request(QStringLiteral("audio/volumeUp")));
        QTest::qWait(200);
        m_sim->control(QStringLiteral("/fault"), {{QStringLiteral("drop"), true}});
        QTRY_VERIFY_WITH_TIMEOUT(request->done() && closes == 1, 10000);
        m_sim->control(QStringLiteral("/fault"), {{QStringLiteral("clear"), true}});
        QVERIFY(closed.has_value());
        QCOMPARE(*request->error, *closed);
        QVERIFY(!client->hasSocket());
    }

    void chainAndReplacedCertificate()
    {
        QTemporaryDir state;
        QString leaf;
        {
            TVSimProcess chained({.address = chainAddress, .extraArgs = {QStringLiteral("--chain")}, .stateDir = state.path()});
            QVERIFY(chained.start());
            leaf = chained.fingerprint();
            SSAPClient open(std::nullopt);
            auto first = start(open.connect(chainAddress));
            QTRY_VERIFY_WITH_TIMEOUT(first->done(), 10000);
            QVERIFY2(first->value, qPrintable(first->errorText()));
            QCOMPARE(open.tls().observedFingerprint(), std::optional<QString>(leaf));

            SSAPClient pinned(leaf);
            auto second = start(pinned.connect(chainAddress));
            QTRY_VERIFY_WITH_TIMEOUT(second->done(), 10000);
            QVERIFY2(second->value, qPrintable(second->errorText()));
        }
        // The same TV with a new certificate: the old pin refuses it before anything is sent.
        TVSimProcess replaced({.address = chainAddress, .extraArgs = {QStringLiteral("--new-cert")}, .stateDir = state.path()});
        QVERIFY(replaced.start());
        QVERIFY(replaced.fingerprint() != leaf);
        const int before = int(readLogMessages().count(QStringLiteral("TLS 证书指纹不匹配，拒绝连接")));
        SSAPClient pinned(leaf);
        auto refused = start(pinned.connect(chainAddress));
        QTRY_VERIFY_WITH_TIMEOUT(refused->done(), 10000);
        QVERIFY(refused->error);
        QCOMPARE(refused->error->kind(), SSAPError::Kind::Platform);
        QCOMPARE(pinned.tls().observedFingerprint(), std::optional<QString>(replaced.fingerprint()));
        QCOMPARE(int(readLogMessages().count(QStringLiteral("TLS 证书指纹不匹配，拒绝连接"))), before + 1);
        QVERIFY(replaced.received(QStringLiteral("ssap")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProtocolTVSim)
#include "test_protocol_tvsim.moc"
