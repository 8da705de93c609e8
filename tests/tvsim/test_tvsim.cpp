#include "tvsimprocess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <algorithm>
#include <functional>

namespace {

// An address of its own, so this emulator never meets those of other test executables.
const QString kReplaying = QStringLiteral("127.0.31.4");

// A plain WebSocket client that accepts any certificate.
class Client {
public:
    Client()
    {
        QObject::connect(&m_socket, &QWebSocket::sslErrors, &m_socket, [this] { m_socket.ignoreSslErrors(); });
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket,
            [this](const QString &text) { m_incoming.append(QJsonDocument::fromJson(text.toUtf8()).object()); });
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
    void hello() { send({ { "type", "hello" }, { "id", "hello" }, { "payload", QJsonObject() } }); }
    void registerWith(const QJsonObject &payload)
    {
        send({ { "type", "register" }, { "id", "register_0" }, { "payload", payload } });
    }

    // The first message that satisfies match, taken out of the queue; others stay. Empty on time-out.
    QJsonObject next(const std::function<bool(const QJsonObject &)> &match = {}, int timeoutMs = 5000)
    {
        const auto found = [&] {
            return std::find_if(
                m_incoming.begin(), m_incoming.end(), [&](const QJsonObject &m) { return !match || match(m); });
        };
        if (!QTest::qWaitFor([&] { return found() != m_incoming.end(); }, timeoutMs))
            return {};
        const QJsonObject message = *found();
        m_incoming.erase(found());
        return message;
    }
    QJsonObject withId(const QString &id, int timeoutMs = 5000)
    {
        return next([id](const QJsonObject &m) { return m.value(QStringLiteral("id")).toString() == id; }, timeoutMs);
    }
    QJsonObject request(const QString &id, const QString &uri)
    {
        send({ { "type", "request" }, { "id", id }, { "uri", QStringLiteral("ssap://") + uri },
            { "payload", QJsonObject() } });
        return withId(id);
    }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_incoming;
};

} // namespace

class TestTVSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A trace of the app's, written as the app writes it: the emulator answers as that TV did,
    // in order with the last answer repeating, and as itself (saying so once) where the trace
    // has nothing.
    void replaysATrace()
    {
        QTemporaryDir dir;
        const QString tracePath = dir.filePath(QStringLiteral("tv.jsonl"));
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::WriteOnly));
        const QDateTime start = QDateTime::currentDateTimeUtc();
        const auto line = [&](qint64 ms, QJsonObject entry) {
            entry.insert("time", start.addMSecs(ms).toString(Qt::ISODateWithMs));
            trace.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
        };
        const auto out = [&](qint64 ms, const QJsonObject &message) {
            line(ms, { { "socket", "ssap" }, { "conn", 1 }, { "direction", "out" }, { "message", message } });
        };
        const auto in = [&](qint64 ms, const QJsonObject &message) {
            line(ms, { { "socket", "ssap" }, { "conn", 1 }, { "direction", "in" }, { "message", message } });
        };
        const auto request = [&](qint64 ms, const QString &id, const QString &uri) {
            out(ms, { { "type", "request" }, { "id", id }, { "uri", "ssap://" + uri }, { "payload", QJsonObject() } });
        };
        const auto response = [](const QString &id, const QJsonObject &payload) {
            return QJsonObject { { "type", "response" }, { "id", id }, { "payload", payload } };
        };
        const auto error = [](const QString &id, const QString &text) {
            return QJsonObject { { "type", "error" }, { "id", id }, { "error", text }, { "payload", QJsonObject() } };
        };
        line(0, { { "event", "start" } });
        line(1, { { "socket", "ssap" }, { "conn", 1 }, { "event", "open" }, { "url", "wss://192.168.1.7:3001" } });
        out(2, { { "type", "hello" }, { "id", "hello" }, { "payload", QJsonObject() } });
        in(3,
            { { "type", "hello" },
                { "payload", QJsonObject { { "deviceUUID", "traced-uuid" }, { "deviceOSVersion", "9.9.9" } } } });
        request(4, "1", "system/getSystemInfo");
        in(5, error("1", "401 insufficient permissions (not registered)"));
        out(6,
            { { "type", "register" }, { "id", "register_0" },
                { "payload", QJsonObject { { "pairingType", "PROMPT" } } } });
        in(7, response("register_0", { { "pairingType", "PROMPT" }, { "returnValue", true } }));
        in(900,
            { { "type", "registered" }, { "id", "register_0" },
                { "payload", QJsonObject { { "client-key", "<redacted: 32 characters>" } } } });
        request(901, "2", "system/getSystemInfo");
        in(902, response("2", { { "modelName", "OLED65G9" } }));
        out(907,
            { { "type", "subscribe" }, { "id", "4" }, { "uri", "ssap://audio/getVolume" },
                { "payload", QJsonObject() } });
        in(908, response("4", { { "volume", 7 }, { "subscribed", true } }));
        request(909, "5", "com.webos.applicationManager/listLaunchPoints");
        in(910,
            response("5",
                { { "launchPoints",
                    QJsonArray { QJsonObject { { "id", "a" }, { "icon", "http://192.168.1.7:3000/a.png" } } } } }));
        request(911, "6", "com.webos.service.tvpower/power/getPowerState");
        in(912, error("6", "404 no such service or method"));
        request(913, "7", "audio/volumeUp");
        in(914, response("4", { { "volume", 8 } }));
        in(915, response("7", { { "volume", 8 } }));
        request(916, "8", "audio/volumeUp");
        in(917, response("8", { { "volume", 9 } }));
        request(918, "9", "system.notifications/createToast");
        line(9000, { { "event", "state" }, { "state", "ready" } }); // the TV never answered the toast
        request(9001, "10", "tv/channelUp"); // the trace ends before an answer could come
        trace.close();

        TVSimProcess sim({ .address = kReplaying, .extraArgs = { "--replay", tracePath } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        Client client;
        QVERIFY(client.open(sim));
        client.hello();
        QCOMPARE(client.next().value("payload")["deviceUUID"].toString(), QStringLiteral("traced-uuid"));
        QCOMPARE(client.request("1", "system/getSystemInfo").value("error").toString(),
            QStringLiteral("401 insufficient permissions (not registered)"));
        client.registerWith(QJsonObject { { "pairingType", "PROMPT" } });
        QCOMPARE(client.next().value("payload")["pairingType"].toString(), QStringLiteral("PROMPT"));
        const QJsonObject registered = client.withId("register_0");
        QCOMPARE(registered.value("type").toString(), QStringLiteral("registered"));
        const QString key = registered.value("payload")["client-key"].toString();
        QCOMPARE(sim.state().value("clientKeys").toArray(), QJsonArray { key }); // a real key, not the marker

        QCOMPARE(client.request("2", "system/getSystemInfo").value("payload")["modelName"].toString(),
            QStringLiteral("OLED65G9"));
        // The traced TV's addresses lead to the emulator.
        QCOMPARE(client.request("5", "com.webos.applicationManager/listLaunchPoints")
                     .value("payload")["launchPoints"][0]["icon"]
                     .toString(),
            QStringLiteral("http://%1:3000/a.png").arg(kReplaying));
        QCOMPARE(client.request("6", "com.webos.service.tvpower/power/getPowerState").value("error").toString(),
            QStringLiteral("404 no such service or method"));

        // A subscription gets its reply, then the pushes that followed it.
        client.send({ { "type", "subscribe" }, { "id", "7" }, { "uri", "ssap://audio/getVolume" },
            { "payload", QJsonObject() } });
        QCOMPARE(client.withId("7").value("payload")["volume"].toInt(), 7);
        QCOMPARE(client.withId("7").value("payload")["volume"].toInt(), 8);
        int id = 20;
        for (const int expected : { 8, 9, 9 })
            QCOMPARE(
                client.request(QString::number(id++), "audio/volumeUp").value("payload")["volume"].toInt(), expected);

        // Unanswered in the trace, unanswered here: the next reply comes first.
        client.send({ { "type", "request" }, { "id", "30" }, { "uri", "ssap://system.notifications/createToast" },
            { "payload", QJsonObject { { "message", "hi" } } } });
        QCOMPARE(client.request("31", "tv/channelUp").value("payload")["returnValue"].toBool(),
            true); // the trace ends first
        QCOMPARE(client.request("32", "tv/getExternalInputList").value("payload")["devices"].toArray().size(), 4);
        QCOMPARE(client.request("33", "tv/getExternalInputList").value("payload")["devices"].toArray().size(), 4);
        QVERIFY(client.withId("30", 0).isEmpty());
        QCOMPARE(sim.output().count(QStringLiteral("\"uri\":\"tv/getExternalInputList\"")), 1);
        QCOMPARE(sim.output().count(QStringLiteral("replay-fallback")), 2); // channelUp, getExternalInputList
    }
};

QTEST_GUILESS_MAIN(TestTVSim)
#include "test_tvsim.moc"
