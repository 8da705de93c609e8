#include "tvsimprocess.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

#include <functional>

namespace {

// Addresses of their own, so these emulators never meet those of other test executables.
const QString kFirst = QStringLiteral("127.0.31.2");
const QString kSecond = QStringLiteral("127.0.31.3");

// A plain WebSocket client that accepts any certificate and remembers the leaf it was shown.
class Client
{
public:
    Client()
    {
        QObject::connect(&m_socket, &QWebSocket::sslErrors, &m_socket, [this](const QList<QSslError> &errors) {
            for (const QSslError &error : errors)
                if (!error.certificate().isNull() && m_fingerprint.isEmpty())
                    m_fingerprint = QString::fromLatin1(error.certificate().digest(QCryptographicHash::Sha256).toHex());
            m_socket.ignoreSslErrors();
        });
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket, [this](const QString &text) {
            m_incoming.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
    }

    bool open(const QString &url)
    {
        QSignalSpy connected(&m_socket, &QWebSocket::connected);
        QSignalSpy disconnected(&m_socket, &QWebSocket::disconnected);
        m_socket.open(QUrl(url));
        return QTest::qWaitFor([&] { return !connected.isEmpty() || !disconnected.isEmpty(); }, 5000)
            && !connected.isEmpty();
    }
    bool open(const TVSimProcess &sim) { return open(QStringLiteral("wss://%1:3001").arg(sim.address())); }

    void send(const QJsonObject &message)
    {
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    }
    void hello() { send({{"type", "hello"}, {"id", "hello"}, {"payload", QJsonObject()}}); }
    void registerWith(const QJsonObject &payload) { send({{"type", "register"}, {"id", "register_0"}, {"payload", payload}}); }

    // The first message that satisfies match, taken out of the queue; others stay. Empty on time-out.
    QJsonObject next(const std::function<bool(const QJsonObject &)> &match = {}, int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            for (qsizetype i = 0; i < m_incoming.size(); ++i)
                if (!match || match(m_incoming.at(i)))
                    return m_incoming.takeAt(i);
            if (clock.elapsed() > timeoutMs)
                return {};
            QTest::qWait(10);
        }
    }
    QJsonObject withId(const QString &id, int timeoutMs = 5000)
    {
        return next([id](const QJsonObject &m) { return m.value(QStringLiteral("id")).toString() == id; }, timeoutMs);
    }
    QJsonObject request(const QString &id, const QString &uri)
    {
        send({{"type", "request"}, {"id", id}, {"uri", QStringLiteral("ssap://") + uri}, {"payload", QJsonObject()}});
        return withId(id);
    }

    // Greeting and registration; returns the client key ("" on failure).
    QString pair(const QString &key = {}, const QString &pairingType = QStringLiteral("PROMPT"))
    {
        hello();
        if (next().value(QStringLiteral("type")) != QStringLiteral("hello"))
            return {};
        QJsonObject payload{{"forcePairing", false}, {"pairingType", pairingType}, {"manifest", QJsonObject{{"manifestVersion", 1}}}};
        if (!key.isEmpty())
            payload.insert(QStringLiteral("client-key"), key);
        registerWith(payload);
        const QJsonObject reply = next([](const QJsonObject &m) { return m.value(QStringLiteral("type")) != QStringLiteral("response"); });
        return reply.value(QStringLiteral("payload")).toObject().value(QStringLiteral("client-key")).toString();
    }

    QString fingerprint() const { return m_fingerprint; }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_incoming;
    QString m_fingerprint;
};

} // namespace

class TestTVSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two TVs side by side; prompt pairing, a key that is reused, and the identity that survives
    // a restart.
    void promptPairingAndKeyReuse()
    {
        TVSimProcess first({.address = kFirst, .extraArgs = {"--pairing-delay", "100"}});
        TVSimProcess second({.address = kSecond, .extraArgs = {"--pairing-delay", "100"}});
        QVERIFY(first.start());
        QVERIFY(second.start());
        QVERIFY(first.fingerprint() != second.fingerprint());

        Client client;
        QVERIFY(client.open(first));
        QCOMPARE(client.fingerprint(), first.fingerprint());
        // Before registration every service is refused.
        const QJsonObject refused = client.request(QStringLiteral("1"), QStringLiteral("audio/getVolume"));
        QCOMPARE(refused.value("type").toString(), QStringLiteral("error"));
        QCOMPARE(refused.value("error").toString(), QStringLiteral("401 insufficient permissions (not registered)"));

        client.hello();
        QCOMPARE(client.next().value("payload")["deviceUUID"].toString(), first.deviceUUID());
        client.registerWith(QJsonObject{{"pairingType", "PROMPT"}});
        const QJsonObject prompt = client.next();
        QCOMPARE(prompt.value("id").toString(), QStringLiteral("register_0"));
        QCOMPARE(prompt.value("payload")["pairingType"].toString(), QStringLiteral("PROMPT"));
        QVERIFY(first.state().value("pairingPending").toBool());
        const QJsonObject registered = client.withId("register_0");
        QCOMPARE(registered.value("type").toString(), QStringLiteral("registered"));
        const QString key = registered.value("payload")["client-key"].toString();
        QVERIFY(!key.isEmpty());
        QCOMPARE(first.state().value("clientKeys").toArray(), QJsonArray{key});
        QCOMPARE(client.request("2", "system/getSystemInfo").value("payload")["modelName"].toString(),
                 QStringLiteral("OLED55C3PCA"));

        // The other TV pairs on its own and knows nothing of the first key.
        Client other;
        QVERIFY(other.open(second));
        const QString otherKey = other.pair(key);
        QVERIFY(!otherKey.isEmpty() && otherKey != key);

        // A restart keeps certificate, UUID and keys: the known key registers at once.
        const QString fingerprint = first.fingerprint();
        const QString uuid = first.deviceUUID();
        first.stop();
        QVERIFY(first.start());
        QCOMPARE(first.fingerprint(), fingerprint);
        QCOMPARE(first.deviceUUID(), uuid);
        Client again;
        QVERIFY(again.open(first));
        QCOMPARE(again.pair(key), key);
    }
};

QTEST_GUILESS_MAIN(TestTVSim)
#include "test_tvsim.moc"
