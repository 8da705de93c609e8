#include "tvsimprocess.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTest>
#include <QUdpSocket>
#include <QWebSocket>

#include <functional>
#include <unistd.h>

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
        QObject::connect(&m_socket, &QWebSocket::binaryMessageReceived, &m_socket, [this](const QByteArray &data) {
            m_incoming.append(QJsonDocument::fromJson(QString::fromUtf8(data).toUtf8()).object());
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
    void sendText(const QString &text) { m_socket.sendTextMessage(text); }
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
    QJsonObject request(const QString &id, const QString &uri, const QJsonObject &payload = {},
                        const QString &type = QStringLiteral("request"))
    {
        send({{"type", type}, {"id", id}, {"uri", QStringLiteral("ssap://") + uri}, {"payload", payload}});
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

    bool waitClosed()
    {
        return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
    }

    QString fingerprint() const { return m_fingerprint; }
    QWebSocket &socket() { return m_socket; }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_incoming;
    QString m_fingerprint;
};

QByteArray magicPacket(const QByteArray &mac)
{
    QByteArray packet(6, char(0xff));
    for (int i = 0; i < 16; ++i)
        packet += mac;
    return packet;
}

} // namespace

class TestTVSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two TVs side by side; prompt pairing, a key that is reused, and the identity that survives
    // a restart while --new-cert replaces it.
    void promptPairingAndKeyReuse()
    {
        TVSimProcess first({.address = kFirst, .extraArgs = {"--pairing-delay", "100"}});
        TVSimProcess second({.address = kSecond, .extraArgs = {"--pairing-delay", "100", "--chain"}});
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

        // The other TV pairs on its own, presents leaf plus intermediate, and knows nothing of the first key.
        Client other;
        QVERIFY(other.open(second));
        const QString otherKey = other.pair(key);
        QVERIFY(!otherKey.isEmpty() && otherKey != key);
        QSslSocket tls;
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls.connectToHostEncrypted(second.address(), 3001);
        QVERIFY(tls.waitForEncrypted(5000));
        QCOMPARE(tls.peerCertificateChain().size(), 2);
        QCOMPARE(QString::fromLatin1(tls.peerCertificateChain().first().digest(QCryptographicHash::Sha256).toHex()),
                 second.fingerprint());

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

        TVSimProcess replaced({.address = kFirst, .extraArgs = {"--new-cert", "--new-uuid"}, .stateDir = first.stateDir()});
        first.stop();
        QVERIFY(replaced.start());
        QVERIFY(replaced.fingerprint() != fingerprint);
        QVERIFY(replaced.deviceUUID() != uuid);
    }

    // Subscriptions are answered and then pushed with their own id, in either volume shape;
    // the pointer socket records what it is sent and its HOME button changes the foreground app.
    void subscriptionsAndPointer()
    {
        TVSimProcess sim({.address = kFirst, .extraArgs = {"--pairing-delay", "0"}});
        QVERIFY(sim.start());
        Client client;
        QVERIFY(client.open(sim));
        QVERIFY(!client.pair().isEmpty());

        const QJsonObject initial = client.request("7", "audio/getVolume", {}, "subscribe");
        const int volume = initial.value("payload")["volumeStatus"]["volume"].toInt();
        QVERIFY(initial.value("payload")["subscribed"].toBool());
        const QJsonObject up = client.request("8", "audio/volumeUp");
        QCOMPARE(up.value("payload")["volume"].toInt(), volume + 1);
        const QJsonObject pushed = client.withId("7");
        QCOMPARE(pushed.value("payload")["volumeStatus"]["volume"].toInt(), volume + 1);

        sim.control("/set", {{"volumeShape", "flat"}, {"volume", 250}});
        const QJsonObject flat = client.withId("7");
        QCOMPARE(flat.value("payload")["volume"].toInt(), 100); // clamped
        QVERIFY(!flat.value("payload").toObject().contains("volumeStatus"));
        QCOMPARE(client.request("9", "audio/setVolume", {{"volume", "loud"}}).value("payload")["returnValue"].toBool(true), false);
        QCOMPARE(client.request("10", "no/suchService").value("type").toString(), QStringLiteral("error"));

        client.request("11", "com.webos.applicationManager/getForegroundAppInfo", {}, "subscribe");
        const QString socketPath =
            client.request("12", "com.webos.service.networkinput/getPointerInputSocket").value("payload")["socketPath"].toString();
        QVERIFY(socketPath.startsWith(QStringLiteral("wss://%1:3001/").arg(kFirst)));
        Client pointer;
        QVERIFY(pointer.open(socketPath));
        pointer.sendText(QStringLiteral("type:move\ndx:-3\ndy:12\ndown:0\n\n"));
        pointer.sendText(QStringLiteral("type:button\nname:HOME\n\n"));
        QCOMPARE(client.withId("11").value("payload")["appId"].toString(), QStringLiteral("com.webos.app.home"));
        const QJsonArray received = sim.received("pointer");
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(0)["text"].toString(), QStringLiteral("type:move\ndx:-3\ndy:12\ndown:0\n\n"));
        QCOMPARE(received.at(1)["fields"]["name"].toString(), QStringLiteral("HOME"));

        // Odd but valid traffic: the next reply carries its id as a JSON integer.
        sim.control("/fault", {{"push", "intid"}});
        client.send({{"type", "request"}, {"id", "13"}, {"uri", "ssap://audio/getVolume"}, {"payload", QJsonObject()}});
        QCOMPARE(client.next([](const QJsonObject &m) { return m["id"].isDouble(); }).value("id").toInt(), 13);
        // A binary frame (with an invalid UTF-8 byte) repeats each subscription's state.
        sim.control("/fault", {{"push", "binary"}});
        QCOMPARE(client.withId("7").value("payload")["volume"].toInt(), 100);
        QCOMPARE(client.withId("11").value("payload")["appId"].toString(), QStringLiteral("com.webos.app.home"));
        QCOMPARE(sim.state().value("volume").toInt(), 100);
    }

    // Clients that vanish at every step leave the emulator answering and pairing; SIGTERM ends it cleanly.
    void clientsLeavingAtEveryStep()
    {
        TVSimProcess sim({.address = kFirst, .extraArgs = {"--pairing-delay", "150"}});
        QVERIFY(sim.start());
        sim.control("/fault", {{"delay", QJsonObject{{"uri", "audio/volumeUp"}, {"ms", 150}}}});
        const QString key = [&] {
            Client first;
            return first.open(sim) ? first.pair() : QString();
        }();
        QVERIFY(!key.isEmpty());
        const QList<std::function<void(Client &)>> steps{
            [](Client &) {},
            [](Client &c) { c.hello(); },
            [](Client &c) { c.registerWith(QJsonObject()); },
            [](Client &c) { c.registerWith(QJsonObject{{"pairingType", "PIN"}}); },
            [&](Client &c) {
                c.pair(key);
                c.request("1", "audio/getVolume", {}, "subscribe");
                c.send({{"type", "request"}, {"id", "2"}, {"uri", "ssap://audio/volumeUp"}, {"payload", QJsonObject()}});
            },
            [&](Client &c) {
                c.pair(key);
                Client pointer;
                pointer.open(c.request("1", "com.webos.service.networkinput/getPointerInputSocket")
                                 .value("payload")["socketPath"].toString());
                pointer.socket().abort();
            },
        };
        for (const auto &step : steps) {
            Client client;
            QVERIFY(client.open(sim));
            step(client);
            client.socket().abort();
        }
        QTest::qWait(300); // let the prompt and the delayed reply fall due for the departed clients
        sim.control("/set", {{"volume", 30}});
        QTRY_COMPARE(sim.state().value("connections").toInt(), 0);
        QVERIFY(!sim.state().value("pairingPending").toBool());
        Client last;
        QVERIFY(last.open(sim));
        QVERIFY(!last.pair().isEmpty());
        sim.stop();
        QVERIFY(sim.output().contains(QStringLiteral("{\"event\":\"exit\"}")));
    }

    // Firmware of 2026 refuses signed manifests and the pointer socket; plain pairing still works.
    void firmware2026()
    {
        TVSimProcess sim({.address = kFirst, .extraArgs = {"--firmware", "2026", "--pairing-delay", "0"}});
        QVERIFY(sim.start());
        Client client;
        QVERIFY(client.open(sim));
        const QJsonObject manifest{{"manifestVersion", 1},
                                   {"signed", QJsonObject{{"appId", "com.example.remote"}}},
                                   {"signatures", QJsonArray{QJsonObject{{"signatureVersion", 1}, {"signature", "AAAA"}}}}};
        client.registerWith(QJsonObject{{"manifest", manifest}});
        const QJsonObject refused = client.next();
        QCOMPARE(refused.value("type").toString(), QStringLiteral("error"));
        QCOMPARE(refused.value("error").toString(), QStringLiteral("403 Pairing rejected: blacklisted certificate detected"));
        QVERIFY(!client.pair().isEmpty());
        const QJsonObject pointer = client.request("1", "com.webos.service.networkinput/getPointerInputSocket");
        QCOMPARE(pointer.value("error").toString(), QStringLiteral("401 insufficient permissions"));
    }

    // turnOff: the power state is pushed, the socket closes and port 3001 refuses; a magic packet
    // for another MAC does nothing, one for the TV's interface MAC wakes it.
    void standbyAndWake()
    {
        if (::geteuid() != 0)
            QSKIP("needs root for UDP port 9 (CI runs as root)");
        TVSimProcess sim({.address = kFirst, .extraArgs = {"--pairing-delay", "0", "--wake-delay", "200"}});
        QVERIFY(sim.start());
        Client client;
        QVERIFY(client.open(sim));
        QVERIFY(!client.pair().isEmpty());
        client.request("1", "com.webos.service.tvpower/power/getPowerState", {}, "subscribe");
        QCOMPARE(client.request("2", "system/turnOff").value("payload")["returnValue"].toBool(), true);
        QCOMPARE(client.withId("1").value("payload")["state"].toString(), QStringLiteral("Active Standby"));
        QVERIFY(client.waitClosed());
        Client refused;
        QVERIFY(!refused.open(sim));

        QUdpSocket udp;
        const QJsonArray macs = sim.state().value("macs").toArray();
        QVERIFY(macs.contains(QJsonValue("00:00:00:00:00:00"))); // the loopback interface's MAC
        udp.writeDatagram(magicPacket(QByteArray::fromHex("0200deadbeef")), QHostAddress(kFirst), 9);
        QVERIFY(!sim.waitForReceived("wol", [](const QJsonObject &m) { return m["mac"] == "02:00:de:ad:be:ef"; }).isEmpty());
        QTest::qWait(400);
        QCOMPARE(sim.state().value("power").toString(), QStringLiteral("Active Standby"));

        udp.writeDatagram(magicPacket(QByteArray(6, '\0')), QHostAddress(kFirst), 9);
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().value("power").toString(), QStringLiteral("Active"), 5000);
        Client back;
        QVERIFY(back.open(sim));
        QVERIFY(!back.pair().isEmpty());
    }

    // Faults: a prompt answered through the control API, a failing service, a dropped socket.
    void faults()
    {
        TVSimProcess sim({.address = kFirst, .extraArgs = {"--pairing", "prompt-ignore"}});
        QVERIFY(sim.start());
        Client client;
        QVERIFY(client.open(sim));
        client.registerWith(QJsonObject());
        client.next();
        QCOMPARE(sim.control("/pairing", {{"action", "accept"}}).value("answered").toInt(), 1);
        QCOMPARE(client.next().value("type").toString(), QStringLiteral("registered"));

        sim.control("/fault", {{"fail", QJsonObject{{"uri", "audio/setMute"}, {"error", "boom"}, {"shape", "returnValue"}}}});
        const QJsonObject failed = client.request("1", "audio/setMute", {{"mute", true}});
        QCOMPARE(failed.value("payload")["returnValue"].toBool(true), false);
        QCOMPARE(failed.value("payload")["errorText"].toString(), QStringLiteral("boom"));
        QCOMPARE(sim.state().value("muted").toBool(), false);

        sim.control("/fault", {{"clear", true}});
        QCOMPARE(client.request("3", "audio/setMute", {{"mute", true}}).value("payload")["returnValue"].toBool(), true);
        QCOMPARE(sim.state().value("muted").toBool(), true);

        sim.control("/fault", {{"drop", true}});
        QVERIFY(client.waitClosed());
        QVERIFY(client.open(sim));
    }
};

QTEST_GUILESS_MAIN(TestTVSim)
#include "test_tvsim.moc"
