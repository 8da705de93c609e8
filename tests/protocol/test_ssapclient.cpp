// The SSAP client at byte level, against an in-process secure WebSocket server on port 3001.

#include "ssapclient.h"
#include "testawait.h"
#include "testenv.h"
#include "testtvserver.h"

#include <QPointer>
#include <QTest>

#include <memory>

namespace {

const QString tvHost = QStringLiteral("127.4.1.1");

// A reply in wire form: {"type":TYPE,"id":"ID","payload":PAYLOAD}.
QString reply(
    const QString &id, const QString &payload = QStringLiteral("{}"), const QString &type = QStringLiteral("response"))
{
    return QStringLiteral(R"({"type":"%1","id":"%2","payload":%3})").arg(type, id, payload);
}

} // namespace

class TestSSAPClient : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TestTVServer> m_server;

    // A client that has exchanged the greeting with the server.
    std::unique_ptr<SSAPClient> greetedClient(SSAPClient::Timings timings = {})
    {
        auto client = std::make_unique<SSAPClient>(std::nullopt, timings);
        auto greeting = start(client->connect(tvHost));
        if (!QTest::qWaitFor([&] { return greeting->done(); }, 5000) || !greeting->value)
            return {};
        return client;
    }

    // Waits for the server to have received `count` text frames in all.
    bool waitForTexts(int count)
    {
        return QTest::qWaitFor([&] { return m_server->texts().size() >= count; }, 5000);
    }

    // Sends messages, then answers a marker request: once it completes, all were handled.
    bool sendAndSettle(SSAPClient &client, const QStringList &messages)
    {
        for (const QString &message : messages)
            m_server->sendText(message);
        auto marker = start(client.request(QStringLiteral("marker")));
        if (!QTest::qWaitFor([&] { return m_server->texts().constLast().contains(QLatin1String("marker")); }, 5000))
            return false;
        m_server->sendText(reply(m_server->lastMessage().value(QLatin1String("id")).toString()));
        return QTest::qWaitFor([&] { return marker->done(); }, 5000);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(TestCertificates::selfSigned().isValid()); }

    void init()
    {
        m_server = std::make_unique<TestTVServer>(TestCertificates::selfSigned());
        QVERIFY2(m_server->listen(QHostAddress(tvHost), 3001), "port 3001 on 127.4.1.1 is taken");
    }

    void cleanup() { m_server.reset(); }

    // Every message kind on the wire, byte for byte, with one id counter.
    void envelopesAndIds()
    {
        auto client = std::make_unique<SSAPClient>(std::nullopt);
        auto greeting = start(client->connect(tvHost));
        QTRY_VERIFY(greeting->done());
        QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
        QCOMPARE(greeting->value->value(QLatin1String("deviceUUID")).toString(), QStringLiteral("uuid-test-tv"));
        QCOMPARE(m_server->requestPath(), QStringLiteral("/"));

        auto info = start(client->request(QStringLiteral("system/getSystemInfo")));
        auto volume = start(client->request(QStringLiteral("ssap://audio/getVolume"), { { QStringLiteral("a"), 1 } }));
        auto luna = start(client->request(QStringLiteral("luna://com.webos.service/x"), {}, 8));
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [](const QJsonObject &) {});
        QVERIFY(waitForTexts(5));
        const QStringList expected {
            R"({"id":"hello","payload":{},"type":"hello"})",
            R"({"id":"1","payload":{},"type":"request","uri":"ssap://system/getSystemInfo"})",
            R"({"id":"2","payload":{"a":1},"type":"request","uri":"ssap://audio/getVolume"})",
            R"({"id":"3","payload":{},"type":"request","uri":"luna://com.webos.service/x"})",
            R"({"id":"4","payload":{},"type":"subscribe","uri":"ssap://audio/getVolume"})",
        };
        QCOMPARE(m_server->texts(), expected);
        QCOMPARE(m_server->frames().size(), 5); // no binary frames
        QCOMPARE(client->nextID(), 5);
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
        for (const char *noise : { R"({"type":"response","id":"99","payload":{"x":1}})", "not json",
                 R"({"type":"response","id":1.5,"payload":{}})" })
            m_server->sendText(QString::fromUtf8(noise));

        m_server->sendText(R"({"type":"response","id":2,"payload":{"n":2}})"); // a JSON integer id
        // A binary frame; a stray 0xff inside a string becomes U+FFFD and the message still parses.
        m_server->sendBinary(QByteArray(R"({"type":"response","id":"3","payload":{"t":"a)") + "\xff" + "b\"}}");
        m_server->sendText(reply("1", R"({"n":1,"returnValue":true})"));
        QTRY_VERIFY(first->done() && second->done() && third->done());
        // The payload reaches the caller untouched.
        QCOMPARE(*first->value, (QJsonObject { { QStringLiteral("n"), 1 }, { QStringLiteral("returnValue"), true } }));
        QCOMPARE(second->value->value(QLatin1String("n")).toInt(), 2);
        QVERIFY2(third->value, qPrintable(third->errorText()));
        QCOMPARE(third->value->value(QLatin1String("t")).toString(), QStringLiteral("a\uFFFDb"));

        // A second reply to a finished request is dropped.
        m_server->sendText(reply("2", R"({"n":20})"));
        QVERIFY(sendAndSettle(*client, {}));
        QCOMPARE(second->completions, 1);
        QCOMPARE(second->value->value(QLatin1String("n")).toInt(), 2);
    }

    void failedReplies_data()
    {
        QTest::addColumn<QString>("message"); // to request "1"
        QTest::addColumn<QString>("expected"); // empty: succeeds
        QTest::newRow("returnValue false") << R"({"type":"response","id":"1","payload":{"returnValue":false}})"
                                           << "请求失败";
        QTest::newRow("returnValue false with errorText")
            << R"({"type":"response","id":"1","payload":{"returnValue":false,"errorText":"音量超出范围"}})"
            << "音量超出范围";
        QTest::newRow("returnValue the text false")
            << R"({"type":"response","id":"1","payload":{"returnValue":"false","errorText":"e"}})"
            << "";
        QTest::newRow("error with error text")
            << R"({"type":"error","id":"1","error":"401 insufficient permissions","payload":{"errorText":"x"}})"
            << "401 insufficient permissions";
        QTest::newRow("error with nothing") << R"({"type":"error","id":"1"})"
                                            << "电视返回错误";
    }

    void failedReplies()
    {
        QFETCH(QString, message);
        QFETCH(QString, expected);
        auto client = greetedClient();
        QVERIFY(client);
        auto request = start(client->request(QStringLiteral("audio/setVolume")));
        QVERIFY(waitForTexts(2));
        m_server->sendText(message);
        QTRY_VERIFY(request->done());
        if (expected.isEmpty()) {
            QVERIFY2(request->value, qPrintable(request->errorText()));
            return;
        }
        QVERIFY(request->error);
        QCOMPARE(request->error->kind(), SSAPError::Kind::Server);
        QCOMPARE(request->errorText(), expected);
    }

    void subscriptionMessages()
    {
        auto client = greetedClient();
        QVERIFY(client);
        QList<QJsonObject> received;
        client->subscribe(
            QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &payload) { received << payload; });
        QVERIFY(waitForTexts(2));

        // The reply to the subscribe itself, even a failed one, goes to the handler; an "error"
        // message with the subscription's id is dropped and the subscription stays.
        QVERIFY(sendAndSettle(*client,
            { reply("1", R"({"returnValue":false})"), reply("1", R"({"volume":7})"),
                reply("1", R"({"volume":99})", QStringLiteral("error")),
                R"({"type":"response","id":1,"payload":{"volume":8}})" }));
        QCOMPARE(received.size(), 3);
        QCOMPARE(received[0], (QJsonObject { { QStringLiteral("returnValue"), false } }));
        QCOMPARE(received[1].value(QLatin1String("volume")).toInt(), 7);
        QCOMPARE(received[2].value(QLatin1String("volume")).toInt(), 8);
    }

    void requestTimeoutThenLateReply()
    {
        auto client = greetedClient();
        QVERIFY(client);
        auto slow = start(client->request(QStringLiteral("audio/volumeUp"), {}, 0.2));
        QTRY_VERIFY(slow->done());
        QCOMPARE(slow->error->kind(), SSAPError::Kind::Timeout);
        QCOMPARE(slow->errorText(), QStringLiteral("电视响应超时"));

        m_server->sendText(reply("1", R"({"volume":1})"));
        QVERIFY(sendAndSettle(*client, {}));
        QCOMPARE(slow->completions, 1);
        QVERIFY(!slow->value);
        QVERIFY(client->hasSocket());
    }

    void serverClosingFailsEverythingAndNotifiesOnce()
    {
        auto client = greetedClient();
        QVERIFY(client);
        QList<std::optional<SSAPError>> closes;
        client->onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        auto first = start(client->request(QStringLiteral("a")));
        auto second = start(client->request(QStringLiteral("b")));
        int prompts = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++prompts; }));
        QVERIFY(waitForTexts(4));
        m_server->sendText(R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        QTRY_COMPARE(prompts, 1);

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

        // Closed: requests fail at once.
        auto after = start(client->request(QStringLiteral("c")));
        QVERIFY(after->done());
        QCOMPARE(after->errorText(), QStringLiteral("未连接电视"));
        QTest::qWait(100);
        QCOMPARE(closes.size(), 1);
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

    void incomingMessageLimit()
    {
        auto client = greetedClient();
        QVERIFY(client);
        std::optional<SSAPError> closed;
        client->onClose = [&](const std::optional<SSAPError> &error) { closed = error; };
        const int padding = int(SSAPClient::maxIncomingMessageSize) - reply("1", R"({"pad":""})").size();

        // Exactly 4 MiB still arrives.
        auto fits = start(client->request(QStringLiteral("big")));
        QVERIFY(waitForTexts(2));
        m_server->sendText(reply("1", QStringLiteral(R"({"pad":"%1"})").arg(QString(padding, QLatin1Char('x')))));
        QTRY_VERIFY_WITH_TIMEOUT(fits->done(), 10000);
        QVERIFY2(fits->value, qPrintable(fits->errorText()));
        QCOMPARE(fits->value->value(QLatin1String("pad")).toString().size(), padding);

        // One byte more fails the socket.
        auto tooBig = start(client->request(QStringLiteral("bigger")));
        QVERIFY(waitForTexts(3));
        m_server->sendText(reply("2", QStringLiteral(R"({"pad":"%1"})").arg(QString(padding + 1, QLatin1Char('x')))));
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
        for (const char *host : { "", "127.4.1.1/x", "me@127.4.1.1" })
            QTest::newRow(*host ? host : "empty") << QString::fromLatin1(host);
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
        auto withKey = start(client->registerClient(QStringLiteral("abc123"), QStringLiteral("PIN")));
        QVERIFY(waitForTexts(3));

        const QString manifest = QStringLiteral(
            R"({"appVersion":"1.0","manifestVersion":1,"permissions":["LAUNCH","CONTROL_AUDIO","CONTROL_POWER",)"
            R"("CONTROL_DISPLAY","CONTROL_INPUT_JOYSTICK","CONTROL_INPUT_MEDIA_PLAYBACK","CONTROL_INPUT_TEXT",)"
            R"("CONTROL_INPUT_TV","CONTROL_MOUSE_AND_KEYBOARD","READ_APP_STATUS","READ_CURRENT_CHANNEL",)"
            R"("READ_INPUT_DEVICE_LIST","READ_INSTALLED_APPS","READ_NETWORK_STATE","READ_POWER_STATE",)"
            R"("READ_RUNNING_APPS","READ_TV_CHANNEL_LIST","WRITE_NOTIFICATION_TOAST"]})");
        const QStringList texts = m_server->texts();
        QCOMPARE(texts[1],
            QStringLiteral(R"({"id":"register_0","payload":{"forcePairing":false,"manifest":%1,)"
                           R"("pairingType":"PROMPT"},"type":"register"})")
                .arg(manifest));
        QCOMPARE(texts[2],
            QStringLiteral(R"({"id":"register_0","payload":{"client-key":"abc123","forcePairing":false,)"
                           R"("manifest":%1,"pairingType":"PIN"},"type":"register"})")
                .arg(manifest));

        // The second registration released the first.
        QTRY_VERIFY(withoutKey->done());
        QCOMPARE(withoutKey->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(!withKey->done());
        // The PIN submission is an ordinary request, numbered apart from the registrations.
        auto pin = start(client->request(
            QStringLiteral("pairing/setPin"), { { QStringLiteral("pin"), QStringLiteral("12345678") } }));
        QVERIFY(waitForTexts(4));
        const char *setPin
            = R"({"id":"1","payload":{"pin":"12345678"},"type":"request","uri":"ssap://pairing/setPin"})";
        QCOMPARE(m_server->texts().constLast(), QString::fromUtf8(setPin));
    }

    void registrationOutcomes_data()
    {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QString>("key"); // expected client key, or
        QTest::addColumn<QString>("error"); // expected failure; both empty: still outstanding

        const QString prompt
            = R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT","returnValue":true}})";
        const QString missingKey = QStringLiteral("配对返回缺少 client-key");
        QTest::newRow("prompt then registered") << QStringList { prompt,
            R"({"type":"registered","id":"register_0","payload":{"client-key":"k1"}})", prompt }
                                                << 1 << "k1"
                                                << "";
        QTest::newRow("registered without key")
            << QStringList { R"({"type":"registered","id":"register_0","payload":{}})" } << 0 << "" << missingKey;
        QTest::newRow("messages for other ids")
            << QStringList { R"({"type":"registered","id":"register_1","payload":{"client-key":"x"}})",
                   R"({"type":"registered","payload":{"client-key":"x"}})" }
            << 0 << ""
            << "";
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
        auto registration
            = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QVERIFY(waitForTexts(2));
        QVERIFY(sendAndSettle(*client, messages));
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

    void registrationTimesOut()
    {
        auto client = greetedClient({ .registration = 0.3 });
        QVERIFY(client);
        int promptCalls = 0;
        auto registration
            = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++promptCalls; }));
        QTRY_VERIFY(registration->done());
        QCOMPARE(registration->error->kind(), SSAPError::Kind::Timeout);
        QCOMPARE(registration->errorText(), QStringLiteral("电视响应超时"));
        // After the end the prompt callback is forgotten; a late "registered" changes nothing.
        QVERIFY(sendAndSettle(*client,
            { R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})",
                R"({"type":"registered","id":"register_0","payload":{"client-key":"late"}})" }));
        QCOMPARE(promptCalls, 0);
        QCOMPARE(registration->completions, 1);
        QVERIFY(client->hasSocket());
    }

    // --- lifetime ---

    void deletedWhileEverythingIsOutstanding()
    {
        auto client = greetedClient({ .greeting = 0.4, .registration = 0.4 });
        QVERIFY(client);
        int handlerCalls = 0;
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &) { ++handlerCalls; });
        auto request = start(client->request(QStringLiteral("a"), {}, 0.3));
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [] {}));
        auto download = start(client->fetch(QUrl(QStringLiteral("http://127.4.1.1:9/icon.png"))));

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

        // Timers and late messages find nothing.
        m_server->sendText(reply("1", R"({"volume":1})"));
        QTest::qWait(600);
        QCOMPARE(request->completions, 1);
        QCOMPARE(registration->completions, 1);
        QCOMPARE(handlerCalls, 0);
    }

    // From onClose while the socket reports its end and from the prompt callback: whatever
    // waits fails, nothing touches freed memory.
    void deletedFromItsOwnCallbacks_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<SSAPError::Kind>("kind");
        QTest::newRow("onClose") << "onClose" << SSAPError::Kind::Platform;
        QTest::newRow("prompt") << "prompt" << SSAPError::Kind::NotConnected;
    }

    void deletedFromItsOwnCallbacks()
    {
        QFETCH(QString, from);
        QFETCH(SSAPError::Kind, kind);
        SSAPClient *raw = greetedClient().release();
        QVERIFY(raw);
        QPointer<SSAPClient> weak(raw);
        const auto destroy = [raw] { delete raw; };
        std::shared_ptr<Outcome<QString>> registration;
        if (from == QLatin1String("prompt"))
            registration = start(raw->registerClient(std::nullopt, QStringLiteral("PROMPT"), destroy));
        else
            raw->onClose = [destroy](const std::optional<SSAPError> &) { destroy(); };
        auto request = start(raw->request(QStringLiteral("a")));
        QVERIFY(waitForTexts(from == QLatin1String("onClose") ? 2 : 3));

        if (from == QLatin1String("onClose"))
            m_server->closeLatest();
        else
            m_server->sendText(R"({"type":"response","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        QTRY_VERIFY(weak.isNull());
        QTRY_VERIFY(request->done());
        QCOMPARE(request->error->kind(), kind);
        if (registration) {
            QTRY_VERIFY(registration->done());
            QCOMPARE(registration->error->kind(), SSAPError::Kind::NotConnected);
        }
    }
};

QTEST_GUILESS_MAIN(TestSSAPClient)
#include "test_ssapclient.moc"
