// The SSAP client at byte level, against an in-process secure WebSocket server on port 3001.

#include "ssapclient.h"
#include "testawait.h"
#include "testenv.h"
#include "testtvserver.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTest>

#include <memory>

namespace {

const QString tvHost = QStringLiteral("127.4.1.1");

QJsonObject reply(const QJsonValue &id, const QJsonObject &payload, const QString &type = QStringLiteral("response"))
{
    return {{QStringLiteral("type"), type}, {QStringLiteral("id"), id}, {QStringLiteral("payload"), payload}};
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

class TestSSAPClient : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TestTVServer> m_server;

    // A client that has exchanged the greeting with the server.
    std::unique_ptr<SSAPClient> greetedClient()
    {
        auto client = std::make_unique<SSAPClient>(std::nullopt);
        auto greeting = start(client->connect(tvHost));
        if (!QTest::qWaitFor([&] { return greeting->done(); }, 5000) || !greeting->value)
            return {};
        return client;
    }

    // Waits for the server to have received `count` text frames in all.
    bool waitForTexts(int count) { return QTest::qWaitFor([&] { return m_server->texts().size() >= count; }, 5000); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestCertificates::selfSigned().isValid());
    }

    void init()
    {
        SSAPClient::setTimeoutsForTesting(0, 0);
        m_server = std::make_unique<TestTVServer>(TestCertificates::selfSigned());
        QVERIFY2(m_server->listen(QHostAddress(tvHost), 3001), "port 3001 on 127.4.1.1 is taken");
    }

    void cleanup()
    {
        m_server.reset();
        SSAPClient::setTimeoutsForTesting(0, 0);
    }

    void envelopesAndIds()
    {
        auto client = std::make_unique<SSAPClient>(std::nullopt);
        auto greeting = start(client->connect(tvHost));
        QTRY_VERIFY(greeting->done());
        QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
        QCOMPARE(greeting->value->value(QLatin1String("deviceUUID")).toString(), QStringLiteral("uuid-test-tv"));
        QCOMPARE(m_server->requestPath(), QStringLiteral("/"));

        auto info = start(client->request(QStringLiteral("system/getSystemInfo")));
        auto volume = start(client->request(QStringLiteral("ssap://audio/getVolume"), {{QStringLiteral("a"), 1}}));
        auto luna = start(client->request(QStringLiteral("luna://com.webos.service/x"), {}, 8));
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [](const QJsonObject &) {});
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QVERIFY(waitForTexts(6));

        const QList<QJsonObject> expected{
            {{QStringLiteral("type"), QStringLiteral("hello")}, {QStringLiteral("id"), QStringLiteral("hello")},
             {QStringLiteral("payload"), QJsonObject()}},
            {{QStringLiteral("type"), QStringLiteral("request")}, {QStringLiteral("id"), QStringLiteral("1")},
             {QStringLiteral("uri"), QStringLiteral("ssap://system/getSystemInfo")},
             {QStringLiteral("payload"), QJsonObject()}},
            {{QStringLiteral("type"), QStringLiteral("request")}, {QStringLiteral("id"), QStringLiteral("2")},
             {QStringLiteral("uri"), QStringLiteral("ssap://audio/getVolume")},
             {QStringLiteral("payload"), QJsonObject{{QStringLiteral("a"), 1}}}},
            {{QStringLiteral("type"), QStringLiteral("request")}, {QStringLiteral("id"), QStringLiteral("3")},
             {QStringLiteral("uri"), QStringLiteral("luna://com.webos.service/x")},
             {QStringLiteral("payload"), QJsonObject()}},
            {{QStringLiteral("type"), QStringLiteral("subscribe")}, {QStringLiteral("id"), QStringLiteral("4")},
             {QStringLiteral("uri"), QStringLiteral("ssap://audio/getVolume")},
             {QStringLiteral("payload"), QJsonObject()}},
        };
        const QStringList texts = m_server->texts();
        const QList<QJsonObject> messages = m_server->messages();
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(messages[i], expected[i]);
            QCOMPARE(texts[i], compact(expected[i])); // compact: no whitespace added
        }
        QCOMPARE(messages[5].value(QLatin1String("type")).toString(), QStringLiteral("register"));
        QCOMPARE(messages[5].value(QLatin1String("id")).toString(), QStringLiteral("register_0"));
        QCOMPARE(messages[5].size(), 3);
        for (const TestTVServer::Frame &frame : m_server->frames())
            QVERIFY(!frame.binary);
        QCOMPARE(client->nextID(), 5);
    }

    void idsAreUsedUpWithoutSocket()
    {
        auto client = std::make_unique<SSAPClient>(std::nullopt);
        auto early = start(client->request(QStringLiteral("audio/volumeUp")));
        QVERIFY(early->done()); // at once, without waiting for anything
        QCOMPARE(early->errorText(), QStringLiteral("未连接电视"));
        QCOMPARE(early->error->kind(), SSAPError::Kind::NotConnected);
        QCOMPARE(client->nextID(), 2);

        int calls = 0;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &) { ++calls; });
        QCOMPARE(client->nextID(), 2);
        auto registration = start(client->registerClient(QStringLiteral("key"), QStringLiteral("PROMPT")));
        QVERIFY(registration->done());
        QCOMPARE(registration->errorText(), QStringLiteral("未连接电视"));

        auto greeting = start(client->connect(tvHost));
        QTRY_VERIFY(greeting->done());
        auto next = start(client->request(QStringLiteral("audio/volumeUp")));
        QVERIFY(waitForTexts(2));
        QCOMPARE(m_server->lastMessage().value(QLatin1String("id")).toString(), QStringLiteral("2"));
        // The handler given without a socket was not kept.
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("volume"), 3}}));
        m_server->sendJson(reply(QStringLiteral("2"), {}));
        QTRY_VERIFY(next->done());
        QCOMPARE(calls, 0);
    }

    void repliesAreMatchedById()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto first = start(client->request(QStringLiteral("a")));
        auto second = start(client->request(QStringLiteral("b")));
        auto third = start(client->request(QStringLiteral("c")));
        QVERIFY(waitForTexts(4));

        // Noise first: none of it completes anything, and the connection stays usable.
        m_server->sendJson(reply(QStringLiteral("99"), {{QStringLiteral("x"), 1}}));
        m_server->sendText(QStringLiteral("not json"));
        m_server->sendText(QStringLiteral("[1,2,3]"));
        m_server->sendText(QStringLiteral("\"text\""));
        m_server->sendJson(reply(1.5, {}));

        m_server->sendJson(reply(2, {{QStringLiteral("n"), 2}})); // a JSON integer id
        m_server->sendBinary(compact(reply(QStringLiteral("3"), {{QStringLiteral("n"), 3}})).toUtf8());
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("n"), 1}, {QStringLiteral("returnValue"), true}}));
        QTRY_VERIFY(first->done() && second->done() && third->done());
        QCOMPARE(first->value->value(QLatin1String("n")).toInt(), 1);
        QCOMPARE(second->value->value(QLatin1String("n")).toInt(), 2);
        QCOMPARE(third->value->value(QLatin1String("n")).toInt(), 3);
        // The payload reaches the caller untouched.
        QCOMPARE(*first->value, (QJsonObject{{QStringLiteral("n"), 1}, {QStringLiteral("returnValue"), true}}));

        // A second reply to a finished request is dropped.
        m_server->sendJson(reply(QStringLiteral("2"), {{QStringLiteral("n"), 20}}));
        auto fourth = start(client->request(QStringLiteral("d")));
        QVERIFY(waitForTexts(5));
        m_server->sendJson(reply(QStringLiteral("4"), {{QStringLiteral("n"), 4}}));
        QTRY_VERIFY(fourth->done());
        QCOMPARE(fourth->value->value(QLatin1String("n")).toInt(), 4);
        QCOMPARE(second->completions, 1);
        QCOMPARE(second->value->value(QLatin1String("n")).toInt(), 2);
    }

    void binaryFrameWithInvalidUTF8()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto request = start(client->request(QStringLiteral("a")));
        QVERIFY(waitForTexts(2));
        // A stray 0xff inside a string becomes U+FFFD; the message still parses.
        m_server->sendBinary(QByteArray("{\"type\":\"response\",\"id\":\"1\",\"payload\":{\"t\":\"a\xff") + "b\"}}");
        QTRY_VERIFY(request->done());
        QVERIFY2(request->value, qPrintable(request->errorText()));
        QCOMPARE(request->value->value(QLatin1String("t")).toString(), QStringLiteral("a\uFFFDb"));
    }

    void failedReplies_data()
    {
        QTest::addColumn<QString>("message"); // %1 is the request's id
        QTest::addColumn<QString>("expected");
        QTest::newRow("returnValue false") << R"({"type":"response","id":"%1","payload":{"returnValue":false}})"
                                           << "请求失败";
        QTest::newRow("returnValue false with errorText")
            << R"({"type":"response","id":"%1","payload":{"returnValue":false,"errorText":"音量超出范围"}})"
            << "音量超出范围";
        QTest::newRow("errorText not text")
            << R"({"type":"response","id":"%1","payload":{"returnValue":false,"errorText":5}})" << "请求失败";
        QTest::newRow("error with error text")
            << R"({"type":"error","id":"%1","error":"401 insufficient permissions","payload":{"errorText":"x"}})"
            << "401 insufficient permissions";
        QTest::newRow("error with payload errorText")
            << R"({"type":"error","id":"%1","payload":{"errorText":"no such service"}})" << "no such service";
        QTest::newRow("error with non-text error") << R"({"type":"error","id":"%1","error":7,"payload":{"errorText":"pe"}})"
                                                   << "pe";
        QTest::newRow("error with nothing") << R"({"type":"error","id":"%1"})" << "电视返回错误";
        QTest::newRow("error with payload not an object")
            << R"({"type":"error","id":"%1","payload":"errorText"})" << "电视返回错误";
    }

    void failedReplies()
    {
        QFETCH(QString, message);
        QFETCH(QString, expected);
        auto client = greetedClient();
        QVERIFY(client);
        auto request = start(client->request(QStringLiteral("audio/setVolume")));
        QVERIFY(waitForTexts(2));
        m_server->sendText(message.arg(QStringLiteral("1")));
        QTRY_VERIFY(request->done());
        QVERIFY(request->error);
        QCOMPARE(request->error->kind(), SSAPError::Kind::Server);
        QCOMPARE(request->errorText(), expected);
    }

    void onlyBooleanFalseFails()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto request = start(client->request(QStringLiteral("a")));
        QVERIFY(waitForTexts(2));
        m_server->sendText(R"({"type":"response","id":"1","payload":{"returnValue":"false","errorText":"e"}})");
        QTRY_VERIFY(request->done());
        QVERIFY(request->value);
    }

    void greetingReplyMatching_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("hello without id") << R"({"type":"hello","payload":{"deviceUUID":"u"}})";
        QTest::newRow("hello with another id") << R"({"type":"hello","id":"7","payload":{"deviceUUID":"u"}})";
        QTest::newRow("hello with an integer id") << R"({"type":"hello","id":7,"payload":{"deviceUUID":"u"}})";
        QTest::newRow("response with id hello") << R"({"type":"response","id":"hello","payload":{"deviceUUID":"u"}})";
    }

    void greetingReplyMatching()
    {
        QFETCH(QString, message);
        m_server->answerHello = false;
        SSAPClient client(std::nullopt);
        auto greeting = start(client.connect(tvHost));
        QVERIFY(waitForTexts(1));
        QVERIFY(!greeting->done());
        m_server->sendText(message);
        QTRY_VERIFY(greeting->done());
        QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
        QCOMPARE(greeting->value->value(QLatin1String("deviceUUID")).toString(), QStringLiteral("u"));
    }

    void subscriptionMessages()
    {
        auto client = greetedClient();
        QVERIFY(client);
        QList<QJsonObject> received;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &payload) { received << payload; });
        QVERIFY(waitForTexts(2));
        QCOMPARE(client->nextID(), 2);

        // The reply to the subscribe itself, even a failed one, goes to the handler.
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("returnValue"), false}}));
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("volume"), 7}}));
        // An "error" message with the subscription's id is dropped; the subscription stays.
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("volume"), 99}}, QStringLiteral("error")));
        m_server->sendJson(reply(1, {{QStringLiteral("volume"), 8}}));
        QTRY_COMPARE(received.size(), 3);
        QCOMPARE(received[0], (QJsonObject{{QStringLiteral("returnValue"), false}}));
        QCOMPARE(received[1].value(QLatin1String("volume")).toInt(), 7);
        QCOMPARE(received[2].value(QLatin1String("volume")).toInt(), 8);
        QTest::qWait(100);
        QCOMPARE(received.size(), 3);
    }

    void requestTimeoutThenLateReply()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto slow = start(client->request(QStringLiteral("audio/volumeUp"), {}, 0.2));
        QTRY_VERIFY(slow->done());
        QCOMPARE(slow->error->kind(), SSAPError::Kind::Timeout);
        QCOMPARE(slow->errorText(), QStringLiteral("电视响应超时"));

        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("volume"), 1}}));
        auto next = start(client->request(QStringLiteral("audio/volumeDown")));
        QVERIFY(waitForTexts(3));
        m_server->sendJson(reply(QStringLiteral("2"), {{QStringLiteral("volume"), 2}}));
        QTRY_VERIFY(next->done());
        QCOMPARE(next->value->value(QLatin1String("volume")).toInt(), 2);
        QCOMPARE(slow->completions, 1);
        QVERIFY(!slow->value);
        QVERIFY(client->hasSocket());
    }

    // The real greeting and request time-outs, once: a TV that accepts the socket and then
    // says nothing.
    void greetingAndRequestTimeOutAfterEightSeconds()
    {
        m_server->answerHello = false;
        SSAPClient client(std::nullopt);
        QElapsedTimer clock;
        clock.start();
        auto greeting = start(client.connect(tvHost));
        auto request = start(client.request(QStringLiteral("system/getSystemInfo"))); // sent once open
        QVERIFY(waitForTexts(2));
        QTest::qWait(7000);
        QVERIFY(!greeting->done());
        QVERIFY(!request->done());
        QTRY_VERIFY_WITH_TIMEOUT(greeting->done() && request->done(), 5000);
        QVERIFY(clock.elapsed() >= 8000);
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::Timeout);
        QCOMPARE(request->error->kind(), SSAPError::Kind::Timeout);
        // A timed-out greeting leaves the socket in place.
        QVERIFY(client.hasSocket());
    }

    void serverClosingFailsEverythingAndNotifiesOnce()
    {
        auto client = greetedClient();
        QVERIFY(client);
        QList<std::optional<SSAPError>> closes;
        client->onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        int pushes = 0;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &) { ++pushes; });
        auto first = start(client->request(QStringLiteral("a")));
        auto second = start(client->request(QStringLiteral("b")));
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QVERIFY(waitForTexts(5));

        m_server->closeLatest(QWebSocketProtocol::CloseCodeNormal);
        QTRY_VERIFY(first->done() && second->done() && registration->done());
        QTRY_COMPARE(closes.size(), 1);
        QVERIFY(closes[0].has_value());
        QCOMPARE(closes[0]->kind(), SSAPError::Kind::Platform);
        QVERIFY(!closes[0]->description().isEmpty());
        QCOMPARE(*first->error, *closes[0]);
        QCOMPARE(*second->error, *closes[0]);
        QCOMPARE(*registration->error, *closes[0]);
        QVERIFY(!client->hasSocket());

        // Closed: requests fail at once, subscriptions are ignored.
        auto after = start(client->request(QStringLiteral("c")));
        QVERIFY(after->done());
        QCOMPARE(after->error->kind(), SSAPError::Kind::NotConnected);
        const qint64 id = client->nextID();
        client->subscribe(QStringLiteral("x"), {}, [](const QJsonObject &) {});
        QCOMPARE(client->nextID(), id);
        QTest::qWait(100);
        QCOMPARE(closes.size(), 1);
        QCOMPARE(pushes, 0);
    }

    void disconnectFailsWithNotConnectedWithoutOnClose()
    {
        auto client = greetedClient();
        QVERIFY(client);
        int closes = 0;
        client->onClose = [&](const std::optional<SSAPError> &) { ++closes; };
        auto request = start(client->request(QStringLiteral("a")));
        auto registration = start(client->registerClient(QStringLiteral("key"), QStringLiteral("PIN")));
        QVERIFY(waitForTexts(3));

        client->disconnect();
        QVERIFY(!client->hasSocket());
        QTRY_VERIFY(request->done() && registration->done());
        QCOMPARE(request->error->kind(), SSAPError::Kind::NotConnected);
        QCOMPARE(registration->error->kind(), SSAPError::Kind::NotConnected);
        QTRY_COMPARE(m_server->closeCodes().size(), 1);
        QCOMPARE(m_server->closeCodes()[0], QWebSocketProtocol::CloseCodeGoingAway);
        QTest::qWait(100);
        QCOMPARE(closes, 0);
        client->disconnect(); // again: nothing left to do
    }

    void disconnectWhileOpening()
    {
        SSAPClient client(std::nullopt);
        int closes = 0;
        client.onClose = [&](const std::optional<SSAPError> &) { ++closes; };
        auto greeting = start(client.connect(tvHost));
        auto request = start(client.request(QStringLiteral("a")));
        client.disconnect();
        QTRY_VERIFY(greeting->done() && request->done());
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::NotConnected);
        QCOMPARE(request->error->kind(), SSAPError::Kind::NotConnected);
        QTest::qWait(200);
        QCOMPARE(closes, 0);
        QVERIFY(m_server->texts().isEmpty());
        // Finished: the client does not open anything again.
        auto again = start(client.connect(tvHost));
        QVERIFY(again->done());
        QCOMPARE(again->error->kind(), SSAPError::Kind::NotConnected);
    }

    void replacedSocketNoLongerCounts()
    {
        m_server->answerHello = false;
        SSAPClient client(std::nullopt);
        int closes = 0;
        client.onClose = [&](const std::optional<SSAPError> &) { ++closes; };

        auto firstGreeting = start(client.connect(tvHost));
        QVERIFY(waitForTexts(1));
        // A second connect while the first greeting waits: the first waiter is released.
        auto secondGreeting = start(client.connect(tvHost));
        QTRY_VERIFY(firstGreeting->done());
        QCOMPARE(firstGreeting->error->kind(), SSAPError::Kind::NotConnected);
        QTRY_COMPARE(m_server->connectionCount(), 2);
        QTRY_COMPARE(m_server->texts().size(), 2);
        QWebSocket *oldSocket = m_server->connection(0);
        QWebSocket *newSocket = m_server->connection(1);
        QCOMPARE(m_server->frames()[1].socket, newSocket);

        // A greeting reply on the dropped socket does not complete the new greeting.
        oldSocket->sendTextMessage(R"({"type":"hello","payload":{"deviceUUID":"old"}})");
        QTest::qWait(100);
        QVERIFY(!secondGreeting->done());
        newSocket->sendTextMessage(R"({"type":"hello","payload":{"deviceUUID":"new"}})");
        QTRY_VERIFY(secondGreeting->done());
        QCOMPARE(secondGreeting->value->value(QLatin1String("deviceUUID")).toString(), QStringLiteral("new"));

        auto request = start(client.request(QStringLiteral("a")));
        QVERIFY(waitForTexts(3));
        oldSocket->close();
        QTest::qWait(200);
        QCOMPARE(closes, 0);
        QVERIFY(client.hasSocket());
        QVERIFY(!request->done());
        newSocket->sendTextMessage(compact(reply(QStringLiteral("1"), {{QStringLiteral("ok"), true}})));
        QTRY_VERIFY(request->done());
        QVERIFY(request->value);
    }

    void incomingMessageLimit()
    {
        auto client = greetedClient();
        QVERIFY(client);
        std::optional<SSAPError> closed;
        client->onClose = [&](const std::optional<SSAPError> &error) { closed = error; };

        // Exactly 4 MiB still arrives.
        auto fits = start(client->request(QStringLiteral("big")));
        QVERIFY(waitForTexts(2));
        const QString head = QStringLiteral("{\"type\":\"response\",\"id\":\"1\",\"payload\":{\"pad\":\"");
        const QString tail = QStringLiteral("\"}}");
        const int padding = int(SSAPClient::maxIncomingMessageSize) - head.size() - tail.size();
        m_server->sendText(head + QString(padding, QLatin1Char('x')) + tail);
        QTRY_VERIFY_WITH_TIMEOUT(fits->done(), 10000);
        QVERIFY2(fits->value, qPrintable(fits->errorText()));
        QCOMPARE(fits->value->value(QLatin1String("pad")).toString().size(), padding);

        // One byte more fails the socket.
        auto tooBig = start(client->request(QStringLiteral("bigger")));
        QVERIFY(waitForTexts(3));
        const QString head2 = QStringLiteral("{\"type\":\"response\",\"id\":\"2\",\"payload\":{\"pad\":\"");
        m_server->sendText(head2 + QString(padding + 1, QLatin1Char('x')) + tail);
        QTRY_VERIFY_WITH_TIMEOUT(tooBig->done(), 10000);
        QVERIFY(tooBig->error);
        QCOMPARE(tooBig->error->kind(), SSAPError::Kind::Platform);
        QTRY_VERIFY(closed.has_value());
        QCOMPARE(*closed, *tooBig->error);
        QVERIFY(!client->hasSocket());
    }

    void invalidHostFails_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("empty") << "";
        QTest::newRow("space") << "bad host";
        QTest::newRow("path") << "127.4.1.1/x";
        QTest::newRow("port") << "127.4.1.1:3001";
        QTest::newRow("open bracket") << "[::1";
        QTest::newRow("user") << "me@127.4.1.1";
    }

    void invalidHostFails()
    {
        QFETCH(QString, host);
        SSAPClient client(std::nullopt);
        auto greeting = start(client.connect(host));
        QVERIFY(greeting->done());
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(!client.hasSocket());
        QTest::qWait(50);
        QCOMPARE(m_server->connectionCount(), 0);
    }

    // --- registration ---

    void registrationMessage()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto withoutKey = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QVERIFY(waitForTexts(2));
        const QJsonObject first = m_server->lastMessage();
        auto withKey = start(client->registerClient(QStringLiteral("abc123"), QStringLiteral("PIN")));
        QVERIFY(waitForTexts(3));
        const QJsonObject second = m_server->lastMessage();

        const QJsonArray permissions{
            "LAUNCH", "CONTROL_AUDIO", "CONTROL_POWER", "CONTROL_DISPLAY", "CONTROL_INPUT_JOYSTICK",
            "CONTROL_INPUT_MEDIA_PLAYBACK", "CONTROL_INPUT_TEXT", "CONTROL_INPUT_TV", "CONTROL_MOUSE_AND_KEYBOARD",
            "READ_APP_STATUS", "READ_CURRENT_CHANNEL", "READ_INPUT_DEVICE_LIST", "READ_INSTALLED_APPS",
            "READ_NETWORK_STATE", "READ_POWER_STATE", "READ_RUNNING_APPS", "READ_TV_CHANNEL_LIST",
            "WRITE_NOTIFICATION_TOAST"};
        const QJsonObject manifest{{QStringLiteral("manifestVersion"), 1},
                                   {QStringLiteral("appVersion"), QStringLiteral("1.0")},
                                   {QStringLiteral("permissions"), permissions}};
        const QJsonObject expectedFirst{
            {QStringLiteral("type"), QStringLiteral("register")},
            {QStringLiteral("id"), QStringLiteral("register_0")},
            {QStringLiteral("payload"),
             QJsonObject{{QStringLiteral("forcePairing"), false},
                         {QStringLiteral("pairingType"), QStringLiteral("PROMPT")},
                         {QStringLiteral("manifest"), manifest}}}};
        QCOMPARE(first, expectedFirst);
        QVERIFY(!first.value(QLatin1String("payload")).toObject().contains(QLatin1String("client-key")));
        QJsonObject expectedSecond = expectedFirst;
        expectedSecond[QStringLiteral("payload")] =
            QJsonObject{{QStringLiteral("forcePairing"), false},
                        {QStringLiteral("pairingType"), QStringLiteral("PIN")},
                        {QStringLiteral("client-key"), QStringLiteral("abc123")},
                        {QStringLiteral("manifest"), manifest}};
        QCOMPARE(second, expectedSecond);
        QCOMPARE(m_server->texts().constLast(), compact(expectedSecond));

        // The second registration released the first.
        QTRY_VERIFY(withoutKey->done());
        QCOMPARE(withoutKey->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(!withKey->done());
        // The PIN submission is an ordinary request.
        auto pin = start(client->request(QStringLiteral("pairing/setPin"), {{QStringLiteral("pin"), QStringLiteral("12345678")}}));
        QVERIFY(waitForTexts(4));
        QCOMPARE(m_server->lastMessage(),
                 (QJsonObject{{QStringLiteral("type"), QStringLiteral("request")},
                              {QStringLiteral("id"), QStringLiteral("1")},
                              {QStringLiteral("uri"), QStringLiteral("ssap://pairing/setPin")},
                              {QStringLiteral("payload"), QJsonObject{{QStringLiteral("pin"), QStringLiteral("12345678")}}}}));
    }

    void registrationOutcomes_data()
    {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QString>("key");   // expected client key, or
        QTest::addColumn<QString>("error"); // expected failure; both empty: still outstanding

        const QString prompt = R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT","returnValue":true}})";
        QTest::newRow("prompt then registered")
            << QStringList{prompt, R"({"type":"registered","id":"register_0","payload":{"client-key":"k1"}})", prompt}
            << 1 << "k1" << "";
        QTest::newRow("prompt twice keeps waiting") << QStringList{prompt, prompt} << 2 << "" << "";
        QTest::newRow("no pairingType does nothing")
            << QStringList{R"({"type":"response","id":"register_0","payload":{"returnValue":true}})"} << 0 << ""
            << "";
        QTest::newRow("pairingType of any value")
            << QStringList{R"({"type":"response","id":"register_0","payload":{"pairingType":null}})"} << 1 << "" << "";
        QTest::newRow("registered without key")
            << QStringList{R"({"type":"registered","id":"register_0","payload":{}})"} << 0 << ""
            << "配对返回缺少 client-key";
        QTest::newRow("registered with a number key")
            << QStringList{R"({"type":"registered","id":"register_0","payload":{"client-key":42}})"} << 0 << ""
            << "配对返回缺少 client-key";
        QTest::newRow("error text")
            << QStringList{prompt, R"({"type":"error","id":"register_0","error":"403 User denied access"})"} << 1 << ""
            << "403 User denied access";
        QTest::newRow("error payload text")
            << QStringList{R"({"type":"error","id":"register_0","payload":{"errorText":"rejected"}})"} << 0 << ""
            << "rejected";
        QTest::newRow("error without text") << QStringList{R"({"type":"error","id":"register_0"})"} << 0 << ""
                                            << "电视返回错误";
        QTest::newRow("messages for other ids")
            << QStringList{R"({"type":"registered","id":"register_1","payload":{"client-key":"x"}})",
                           R"({"type":"registered","payload":{"client-key":"x"}})"}
            << 0 << "" << "";
    }

    void registrationOutcomes()
    {
        QFETCH(QStringList, messages);
        QFETCH(int, prompts);
        QFETCH(QString, key);
        QFETCH(QString, error);
        auto client = greetedClient();
        QVERIFY(client);
        int promptCalls = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QVERIFY(waitForTexts(2));
        for (const QString &message : messages)
            m_server->sendText(message);
        // A request answered after them shows that they have all been handled.
        auto marker = start(client->request(QStringLiteral("marker")));
        QVERIFY(waitForTexts(3));
        m_server->sendJson(reply(QStringLiteral("1"), {}));
        QTRY_VERIFY(marker->done());
        QTest::qWait(20);

        QCOMPARE(promptCalls, prompts);
        if (key.isEmpty() && error.isEmpty()) {
            QVERIFY(!registration->done());
            return;
        }
        QVERIFY(registration->done());
        QCOMPARE(registration->completions, 1);
        if (!key.isEmpty()) {
            QVERIFY2(registration->value, qPrintable(registration->errorText()));
            QCOMPARE(*registration->value, key);
        } else {
            QCOMPARE(registration->error->kind(), SSAPError::Kind::Server);
            QCOMPARE(registration->errorText(), error);
        }
    }

    void helloWithRegistrationIdBelongsToRegistration()
    {
        m_server->answerHello = false;
        SSAPClient client(std::nullopt);
        auto greeting = start(client.connect(tvHost));
        int promptCalls = 0;
        auto registration = start(client.registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QVERIFY(waitForTexts(2));
        m_server->sendText(R"({"type":"hello","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        QTRY_COMPARE(promptCalls, 1);
        QTest::qWait(50);
        QVERIFY(!greeting->done());
        QVERIFY(!registration->done());
        m_server->sendText(R"({"type":"hello","payload":{"deviceUUID":"u"}})");
        QTRY_VERIFY(greeting->done());
        QVERIFY(greeting->value);
        QVERIFY(!registration->done());
    }

    void registrationTimesOut()
    {
        SSAPClient::setTimeoutsForTesting(0, 0.3);
        auto client = greetedClient();
        QVERIFY(client);
        int promptCalls = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QTRY_VERIFY(registration->done());
        QCOMPARE(registration->error->kind(), SSAPError::Kind::Timeout);
        QCOMPARE(registration->errorText(), QStringLiteral("电视响应超时"));
        // After the end the prompt callback is forgotten; a late "registered" changes nothing.
        m_server->sendText(R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        m_server->sendText(R"({"type":"registered","id":"register_0","payload":{"client-key":"late"}})");
        QTest::qWait(100);
        QCOMPARE(promptCalls, 0);
        QCOMPARE(registration->completions, 1);
        QVERIFY(client->hasSocket());
    }

    void earlierRegistrationTimerDoesNotEndALaterOne()
    {
        SSAPClient::setTimeoutsForTesting(0, 0.3);
        auto client = greetedClient();
        QVERIFY(client);
        auto first = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QTest::qWait(150);
        SSAPClient::setTimeoutsForTesting(0, 5);
        auto second = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QTRY_VERIFY(first->done());
        QTest::qWait(300); // the first timer has fired by now
        QVERIFY(!second->done());
        m_server->sendText(R"({"type":"registered","id":"register_0","payload":{"client-key":"k"}})");
        QTRY_VERIFY(second->done());
        QCOMPARE(*second->value, QStringLiteral("k"));
    }

    void socketFailureWhilePrompting()
    {
        auto client = greetedClient();
        QVERIFY(client);
        std::optional<SSAPError> closed;
        client->onClose = [&](const std::optional<SSAPError> &error) { closed = error; };
        int promptCalls = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QVERIFY(waitForTexts(2));
        m_server->sendText(R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        QTRY_COMPARE(promptCalls, 1);
        m_server->connection()->abort();
        QTRY_VERIFY(registration->done());
        QTRY_VERIFY(closed.has_value());
        QCOMPARE(registration->error->kind(), SSAPError::Kind::Platform);
        QCOMPARE(*registration->error, *closed);
    }

    // --- lifetime ---

    void deletedWhileEverythingIsOutstanding()
    {
        SSAPClient::setTimeoutsForTesting(0.4, 0.4);
        auto client = greetedClient();
        QVERIFY(client);
        int handlerCalls = 0;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &) { ++handlerCalls; });
        auto request = start(client->request(QStringLiteral("a"), {}, 0.3));
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [] {}));
        auto download = start(client->fetch(QUrl(QStringLiteral("http://127.4.1.1:9/icon.png"))));
        QWebSocket *pointerSocket = client->createSocket();
        pointerSocket->open(QUrl(m_server->wssURL(QStringLiteral("/pointer"))));

        // A caller in the style of the session: holds the client weakly and checks it after
        // every suspension.
        QPointer<SSAPClient> weak(client.get());
        bool resumedWithClientGone = false;
        bool caught = false;
        auto caller = [](QPointer<SSAPClient> c, bool *gone, bool *threw) -> QCoro::Task<> {
            try {
                co_await c->request(QStringLiteral("b"));
            } catch (const SSAPError &) {
                *threw = true;
            }
            *gone = c.isNull();
        };
        caller(weak, &resumedWithClientGone, &caught);
        // And a second greeting still waiting on its own socket.
        m_server->answerHello = false;
        auto greeting = start(client->connect(tvHost));
        QVERIFY(waitForTexts(6));

        client.reset();
        QVERIFY(weak.isNull());
        QTRY_VERIFY(request->done() && registration->done() && greeting->done() && download->done());
        QTRY_VERIFY(caught);
        QVERIFY(resumedWithClientGone);
        QCOMPARE(request->error->kind(), SSAPError::Kind::NotConnected);
        QCOMPARE(registration->error->kind(), SSAPError::Kind::NotConnected);
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(!download->value.value_or(std::nullopt));

        // Timers and late messages find nothing; the pointer socket was ended.
        m_server->sendJson(reply(QStringLiteral("1"), {{QStringLiteral("volume"), 1}}));
        QTest::qWait(600);
        QCOMPARE(request->completions, 1);
        QCOMPARE(registration->completions, 1);
        QCOMPARE(handlerCalls, 0);
        QTRY_COMPARE(pointerSocket->state(), QAbstractSocket::UnconnectedState);
        delete pointerSocket;
    }

    void deletedFromItsOwnCallbacks()
    {
        // From onClose, while the socket reports its end.
        {
            auto client = greetedClient();
            QVERIFY(client);
            SSAPClient *raw = client.release();
            QPointer<SSAPClient> weak(raw);
            auto request = start(raw->request(QStringLiteral("a")));
            raw->onClose = [raw](const std::optional<SSAPError> &) { delete raw; };
            QVERIFY(waitForTexts(2));
            m_server->closeLatest();
            QTRY_VERIFY(weak.isNull());
            QTRY_VERIFY(request->done());
            QCOMPARE(request->error->kind(), SSAPError::Kind::Platform);
        }
        // From a subscription handler and from the prompt callback.
        {
            auto client = greetedClient();
            QVERIFY(client);
            SSAPClient *raw = client.release();
            QPointer<SSAPClient> weak(raw);
            raw->subscribe(QStringLiteral("audio/getVolume"), {}, [raw](const QJsonObject &) { delete raw; });
            auto request = start(raw->request(QStringLiteral("a")));
            QVERIFY(waitForTexts(5));
            m_server->sendJson(reply(QStringLiteral("1"), {}));
            m_server->sendJson(reply(QStringLiteral("2"), {}));
            QTRY_VERIFY(weak.isNull());
            QTRY_VERIFY(request->done());
            QCOMPARE(request->error->kind(), SSAPError::Kind::NotConnected);
        }
        {
            auto client = greetedClient();
            QVERIFY(client);
            SSAPClient *raw = client.release();
            QPointer<SSAPClient> weak(raw);
            auto registration = start(raw->registerClient(std::nullopt, QStringLiteral("PROMPT"), [raw] { delete raw; }));
            QVERIFY(waitForTexts(7));
            m_server->sendText(R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})");
            QTRY_VERIFY(weak.isNull());
            QTRY_VERIFY(registration->done());
            QCOMPARE(registration->error->kind(), SSAPError::Kind::NotConnected);
        }
    }
};

QTEST_GUILESS_MAIN(TestSSAPClient)
#include "test_ssapclient.moc"
