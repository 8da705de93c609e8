// The SSAP client, the pointer socket and certificate pinning at byte level, against in-process
// secure servers standing in for the TV.

#include "pointerclient.h"
#include "ssapclient.h"
#include "testawait.h"
#include "testenv.h"
#include "testtvserver.h"

#include <QPointer>
#include <QSignalSpy>
#include <QSslServer>
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

const QString promptReply = reply(QStringLiteral("register_0"), QStringLiteral(R"({"pairingType":"PROMPT"})"));

enum SocketEnd { TVCloses, TooBig, Disconnect };
enum ClientEnd { TimedOut, Deleted, FromOnClose, FromPrompt };

const QString pinHost = QStringLiteral("127.4.2.1"); // a TV with the identity a pinning case needs

int mismatchLines()
{
    return int(readLogMessages().count(QStringLiteral("TLS 证书指纹不匹配，拒绝连接")));
}

// An HTTPS server for icon downloads: it records every byte it is sent and answers "PNG".
class IconServer : public QSslServer {
public:
    explicit IconServer(const TestIdentity &identity)
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(identity.chain);
        config.setPrivateKey(identity.key);
        setSslConfiguration(config);
        connect(this, &QSslServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received += socket->readAll();
                    if (received.contains("\r\n\r\n"))
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nPNG");
                });
            }
        });
        listen(QHostAddress(pinHost));
    }
    QUrl url() const { return QUrl(QStringLiteral("https://%1:%2/icon.png").arg(pinHost).arg(serverPort())); }
    QByteArray received;
};

} // namespace

class TestSSAPClient : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TestTVServer> m_server;

    // Every client here is made through this: the one place that gives the test time-outs.
    static std::unique_ptr<SSAPClient> newClient(const std::optional<QString> &pin = std::nullopt, double seconds = 0)
    {
        SSAPClient::Timings timings;
        if (seconds > 0)
            timings.greeting = timings.registration = seconds;
        return std::make_unique<SSAPClient>(pin, timings);
    }

    std::unique_ptr<SSAPClient> greetedClient(double seconds = 0)
    {
        auto client = newClient(std::nullopt, seconds);
        auto greeting = start(client->connect(tvHost));
        if (!QTest::qWaitFor([&] { return greeting->done(); }, 5000) || !greeting->value)
            return {};
        return client;
    }

    bool waitForTexts(int count)
    {
        return QTest::qWaitFor([&] { return m_server->texts().size() >= count; }, 5000);
    }

    // Sends messages, then answers a marker request: once it completes, all were handled.
    bool sendAndSettle(SSAPClient &client, const QStringList &messages)
    {
        for (const QString &message : messages)
            m_server->sendText(message);
        const QString id = QString::number(client.nextID());
        auto marker = start(client.request(QStringLiteral("marker")));
        m_server->sendText(reply(id));
        return QTest::qWaitFor([&] { return marker->done(); }, 5000);
    }

    std::unique_ptr<PointerClient> openPointer(SSAPClient &client)
    {
        return std::make_unique<PointerClient>(
            client.createSocket(), QUrl(m_server->wssURL(QStringLiteral("/resources/abc/netinput.pointer.sock"))));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<TestTVServer>(TestCertificates::selfSigned());
        QVERIFY2(m_server->listen(QHostAddress(tvHost), 3001), "port 3001 on 127.4.1.1 is taken");
    }

    // Every message kind byte for byte: one id counter for requests and subscriptions, fixed ids
    // for the greeting and the registration.
    void messagesOnTheWire()
    {
        auto client = greetedClient();
        QVERIFY(client);
        for (const char *host : { "", "127.4.1.1/x", "me@127.4.1.1" }) { // refused before any socket
            auto refused = start(newClient()->connect(QString::fromLatin1(host)));
            QVERIFY2(refused->error && refused->error->kind() == SSAPError::Kind::NotConnected, host);
        }

        start(client->request(QStringLiteral("system/getSystemInfo")));
        start(client->request(QStringLiteral("ssap://audio/getVolume"), { { QStringLiteral("a"), 1 } }));
        start(client->request(QStringLiteral("luna://com.webos.service/x"), {}, 8));
        client->subscribe(QStringLiteral("audio/getVolume"), {}, [](const QJsonObject &) {});
        auto withoutKey = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        auto withKey = start(client->registerClient(QStringLiteral("abc123"), QStringLiteral("PIN")));
        start(client->request(
            QStringLiteral("pairing/setPin"), { { QStringLiteral("pin"), QStringLiteral("12345678") } }));

        const QString manifest = QStringLiteral(
            R"("manifest":{"appVersion":"1.0","manifestVersion":1,"permissions":["LAUNCH","CONTROL_AUDIO",)"
            R"("CONTROL_POWER","CONTROL_DISPLAY","CONTROL_INPUT_JOYSTICK","CONTROL_INPUT_MEDIA_PLAYBACK",)"
            R"("CONTROL_INPUT_TEXT","CONTROL_INPUT_TV","CONTROL_MOUSE_AND_KEYBOARD","READ_APP_STATUS",)"
            R"("READ_CURRENT_CHANNEL","READ_INPUT_DEVICE_LIST","READ_INSTALLED_APPS","READ_NETWORK_STATE",)"
            R"("READ_POWER_STATE","READ_RUNNING_APPS","READ_TV_CHANNEL_LIST","WRITE_NOTIFICATION_TOAST"]})");
        const QStringList expected {
            R"({"id":"hello","payload":{},"type":"hello"})",
            R"({"id":"1","payload":{},"type":"request","uri":"ssap://system/getSystemInfo"})",
            R"({"id":"2","payload":{"a":1},"type":"request","uri":"ssap://audio/getVolume"})",
            R"({"id":"3","payload":{},"type":"request","uri":"luna://com.webos.service/x"})",
            R"({"id":"4","payload":{},"type":"subscribe","uri":"ssap://audio/getVolume"})",
            QStringLiteral(R"({"id":"register_0","payload":{"forcePairing":false,%1,"pairingType":"PROMPT"},)"
                           R"("type":"register"})")
                .arg(manifest),
            QStringLiteral(R"({"id":"register_0","payload":{"client-key":"abc123","forcePairing":false,%1,)"
                           R"("pairingType":"PIN"},"type":"register"})")
                .arg(manifest),
            R"({"id":"5","payload":{"pin":"12345678"},"type":"request","uri":"ssap://pairing/setPin"})",
        };
        QTRY_COMPARE(m_server->texts(), expected);
        // The second registration released the first.
        QTRY_VERIFY(withoutKey->done());
        QCOMPARE(withoutKey->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(!withKey->done());
    }

    // Each reply completes the request with its id, once; noise completes nothing; failures carry
    // the TV's text; a subscription's messages, even failed ones, go to its handler. Then the
    // registration.
    void repliesReachTheirWaiters()
    {
        auto client = greetedClient();
        QVERIFY(client);
        QList<QJsonObject> received;
        client->subscribe(
            QStringLiteral("audio/getVolume"), {}, [&](const QJsonObject &payload) { received << payload; });
        QList<std::shared_ptr<Outcome<QJsonObject>>> requests { nullptr, nullptr }; // ids from 2
        for (int id = 2; id <= 9; ++id)
            requests << start(client->request(QStringLiteral("r")));
        QVERIFY(waitForTexts(10));

        // A stray 0xff inside a binary frame becomes U+FFFD and the message still parses.
        m_server->sendBinary(QByteArray(R"({"type":"response","id":"9","payload":{"t":"a)") + "\xff" + "b\"}}");
        QVERIFY(sendAndSettle(*client,
            { R"({"type":"response","id":"99","payload":{"n":1}})", "not json",
                R"({"type":"response","id":2.5,"payload":{}})", reply("2", R"({"n":2,"returnValue":true})"),
                R"({"type":"response","id":3,"payload":{"n":3}})", reply("4", R"({"returnValue":false})"),
                reply("5", R"({"returnValue":false,"errorText":"音量超出范围"})"),
                reply("6", R"({"returnValue":"false","n":6})"),
                R"({"type":"error","id":"7","error":"401 insufficient permissions","payload":{"errorText":"x"}})",
                R"({"type":"error","id":"8"})", reply("2", R"({"n":20})"), reply("1", R"({"returnValue":false})"),
                reply("1", R"({"volume":7})"), reply("1", R"({"volume":99})", QStringLiteral("error")),
                R"({"type":"response","id":1,"payload":{"volume":8}})" }));

        const auto payload = [&](int id) { return requests[id]->value.value_or(QJsonObject()); };
        QCOMPARE(payload(2), (QJsonObject { { QStringLiteral("n"), 2 }, { QStringLiteral("returnValue"), true } }));
        QCOMPARE(requests[2]->completions, 1);
        QCOMPARE(payload(3).value(QLatin1String("n")).toInt(), 3);
        QCOMPARE(payload(6).value(QLatin1String("n")).toInt(), 6);
        QCOMPARE(payload(9).value(QLatin1String("t")).toString(), QStringLiteral("a\uFFFDb"));
        const QStringList failures { "请求失败", "音量超出范围", "", "401 insufficient permissions", "电视返回错误" };
        for (int id = 4; id <= 8; ++id) {
            const bool failed = requests[id]->error && requests[id]->error->kind() == SSAPError::Kind::Server;
            QCOMPARE(failed ? requests[id]->errorText() : QString(), failures[id - 4]);
        }
        const auto volume = [](int v) { return QJsonObject { { QStringLiteral("volume"), v } }; };
        QCOMPARE(received, (QList { QJsonObject { { QStringLiteral("returnValue"), false } }, volume(7), volume(8) }));

        // A prompt calls back; "registered" for other ids does nothing, for its own gives the key
        // once, and without a key fails.
        int prompts = 0;
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&] { ++prompts; }));
        QVERIFY(sendAndSettle(*client,
            { promptReply, R"({"type":"registered","id":"register_1","payload":{"client-key":"x"}})",
                R"({"type":"registered","payload":{"client-key":"x"}})" }));
        QCOMPARE(prompts, 1);
        QVERIFY(!registration->done());
        QVERIFY(sendAndSettle(
            *client, { R"({"type":"registered","id":"register_0","payload":{"client-key":"k1"}})", promptReply }));
        QCOMPARE(registration->value, std::optional<QString>(QStringLiteral("k1")));
        QCOMPARE(prompts, 1);

        auto keyless = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QVERIFY(sendAndSettle(*client, { R"({"type":"registered","id":"register_0","payload":{}})" }));
        QVERIFY(keyless->error);
        QCOMPARE(keyless->error->kind(), SSAPError::Kind::Server);
        QCOMPARE(keyless->errorText(), QStringLiteral("配对返回缺少 client-key"));
    }

    // The TV closing or sending more than 4 MiB (onClose once) or disconnect() (code 1001, no
    // onClose) fails every waiter. Exactly 4 MiB still arrives.
    void endFailsEveryWaiter_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<SSAPError::Kind>("kind");
        QTest::newRow("TV closes") << int(TVCloses) << SSAPError::Kind::Platform;
        QTest::newRow("message too big") << int(TooBig) << SSAPError::Kind::Platform;
        QTest::newRow("disconnect") << int(Disconnect) << SSAPError::Kind::NotConnected;
    }

    void endFailsEveryWaiter()
    {
        QFETCH(int, end);
        QFETCH(SSAPError::Kind, kind);
        auto client = greetedClient();
        QVERIFY(client);
        QList<std::optional<SSAPError>> closes;
        client->onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        auto fits = start(client->request(QStringLiteral("big")));
        auto request = start(client->request(QStringLiteral("a")));
        auto registration = start(client->registerClient(std::nullopt, QStringLiteral("PROMPT")));
        QVERIFY(waitForTexts(4));
        const int padding = int(SSAPClient::maxIncomingMessageSize) - reply("1", R"({"pad":""})").size();
        const auto padded = [](int size) { return QStringLiteral(R"({"pad":"%1"})").arg(QString(size, 'x')); };
        if (end == TVCloses) {
            m_server->closeLatest();
        } else if (end == TooBig) {
            m_server->sendText(reply("1", padded(padding)));
            QTRY_VERIFY_WITH_TIMEOUT(fits->done(), 10000);
            QCOMPARE(fits->value.value_or(QJsonObject())["pad"].toString().size(), padding);
            m_server->sendText(reply("2", padded(padding + 1)));
        } else {
            client->disconnect();
        }
        QTRY_VERIFY_WITH_TIMEOUT(request->done() && registration->done(), 10000);
        QVERIFY(request->error);
        QCOMPARE(request->error->kind(), kind);
        QCOMPARE(registration->error, request->error);
        if (end == Disconnect)
            QTRY_COMPARE(m_server->closeCodes(), QList { QWebSocketProtocol::CloseCodeGoingAway });
        QVERIFY(!client->hasSocket());
        auto after = start(client->request(QStringLiteral("c")));
        QVERIFY(after->done());
        QCOMPARE(after->errorText(), QStringLiteral("未连接电视"));
        QTRY_COMPARE(closes, end == Disconnect ? decltype(closes)() : decltype(closes) { request->error });
    }

    // Every kind of waiter ends once: by its time-out (the socket stays), or when the client is
    // deleted, also from onClose or from the prompt callback (a caller holding it weakly resumes
    // after it is gone). Late answers and the old timers find nothing.
    void everyWaiterEndsOnce_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<SSAPError::Kind>("kind");
        QTest::newRow("time-out") << int(TimedOut) << SSAPError::Kind::Timeout;
        QTest::newRow("deleted") << int(Deleted) << SSAPError::Kind::NotConnected;
        QTest::newRow("deleted from onClose") << int(FromOnClose) << SSAPError::Kind::Platform;
        QTest::newRow("deleted from the prompt") << int(FromPrompt) << SSAPError::Kind::NotConnected;
    }

    void everyWaiterEndsOnce()
    {
        QFETCH(int, end);
        QFETCH(SSAPError::Kind, kind);
        SSAPClient *raw = greetedClient(0.4).release();
        QVERIFY(raw);
        const auto destroy = [raw] { delete raw; };
        int prompts = 0;
        auto request = start(raw->request(QStringLiteral("a"), {}, 0.4));
        auto registration = start(raw->registerClient(std::nullopt, QStringLiteral("PROMPT"), [&prompts, end, destroy] {
            ++prompts;
            if (end == FromPrompt)
                destroy();
        }));
        auto download = start(raw->fetch(QUrl(QStringLiteral("http://127.4.1.1:9/icon.png"))));
        // A caller in the style of the session: holds the client weakly, checks it after resuming.
        QPointer<SSAPClient> weak(raw);
        auto resumedWithClientGone = start([](QPointer<SSAPClient> c) -> QCoro::Task<bool> {
            try {
                co_await c->request(QStringLiteral("b"));
            } catch (const SSAPError &) {
                co_return c.isNull();
            }
            co_return false;
        }(weak));
        if (end == FromOnClose)
            raw->onClose = [destroy](const std::optional<SSAPError> &) { destroy(); };
        std::shared_ptr<Outcome<QJsonObject>> greeting;
        if (end == TimedOut || end == Deleted) {
            m_server->answerHello = false;
            greeting = start(raw->connect(tvHost)); // a second greeting, on its own socket
        }
        QVERIFY(waitForTexts(greeting ? 5 : 4));

        if (end == Deleted)
            delete raw;
        else if (end == FromOnClose)
            m_server->closeLatest();
        else if (end == FromPrompt)
            m_server->sendText(promptReply);
        QTRY_VERIFY(request->done() && registration->done() && download->done() && (!greeting || greeting->done()));
        QVERIFY(request->error && registration->error);
        QCOMPARE(request->error->kind(), kind);
        QCOMPARE(*registration->error, *request->error);
        if (greeting)
            QCOMPARE(*greeting->error, *request->error);
        QVERIFY(!download->value.value_or(std::nullopt));
        if (end == TimedOut) {
            QCOMPARE(request->errorText(), QStringLiteral("电视响应超时"));
            QVERIFY(raw->hasSocket());
        } else {
            QTRY_VERIFY(resumedWithClientGone->value.value_or(false));
        }

        // The probe's time-out, started later with the same length, fires after theirs.
        for (const QString &late : { reply("1", R"({"volume":1})"), promptReply,
                 QStringLiteral(R"({"type":"registered","id":"register_0","payload":{"client-key":"late"}})") })
            m_server->sendText(late);
        m_server->answerHello = true;
        auto probeClient = greetedClient(0.4);
        QVERIFY(probeClient);
        auto probe = start(probeClient->request(QStringLiteral("probe"), {}, 0.4));
        QTRY_VERIFY(probe->done());
        QCOMPARE(request->completions + registration->completions + (greeting ? greeting->completions : 1), 3);
        QCOMPARE(prompts, end == FromPrompt ? 1 : 0);
        delete weak.data();
        QTRY_VERIFY(resumedWithClientGone->done()); // nothing outlives the case
    }

    // --- certificate pinning: the SSAP socket, the pointer socket and downloads go through the
    // client's decision, which looks at the leaf certificate only ---

    // A refused TV sees no WebSocket connection, no message and no request line.
    void pinDecidesEverySocket_data()
    {
        QTest::addColumn<bool>("chained");
        QTest::addColumn<std::optional<QString>>("pin");
        QTest::addColumn<bool>("accepted");
        const TestIdentity &tv = TestCertificates::selfSigned();
        const TestIdentity &chain = TestCertificates::chained();
        QTest::newRow("no pin") << false << std::optional<QString>() << true;
        QTest::newRow("its pin") << false << std::optional(tv.leafFingerprint) << true;
        QTest::newRow("another certificate's") << false << std::optional(chain.leafFingerprint) << false;
        QTest::newRow("upper case") << false << std::optional(tv.leafFingerprint.toUpper()) << false;
        QTest::newRow("chain, no pin") << true << std::optional<QString>() << true;
        QTest::newRow("chain, the leaf's") << true << std::optional(chain.leafFingerprint) << true;
        QTest::newRow("chain, the intermediate's") << true << std::optional(chain.secondFingerprint) << false;
    }

    void pinDecidesEverySocket()
    {
        QFETCH(bool, chained);
        QFETCH(std::optional<QString>, pin);
        QFETCH(bool, accepted);
        const TestIdentity &tv = chained ? TestCertificates::chained() : TestCertificates::selfSigned();
        TestTVServer server(tv);
        QVERIFY(server.listen(QHostAddress(pinHost), 3001));
        IconServer icons(tv);
        const int before = mismatchLines();

        auto client = newClient(pin);
        QList<std::optional<SSAPError>> closes;
        client->onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        auto greeting = start(client->connect(pinHost));
        auto download = start(client->fetch(icons.url()));
        QTRY_VERIFY(greeting->done() && download->done());
        QCOMPARE(client->tls().observedFingerprint(), std::optional<QString>(tv.leafFingerprint));
        PointerClient pointer(client->createSocket(), QUrl(server.wssURL(QStringLiteral("/pointer"))));
        pointer.click();
        if (accepted) {
            QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
            QCOMPARE(download->value, std::optional<std::optional<QByteArray>>(QByteArray("PNG")));
            QTRY_COMPARE(server.texts().size(), 2); // the greeting and the click
            QCOMPARE(mismatchLines(), before);
            return;
        }
        QVERIFY(greeting->error);
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::Platform);
        QTRY_COMPARE(closes, QList { greeting->error });
        QVERIFY(!client->hasSocket());
        QVERIFY(download->value && !*download->value);
        QTRY_VERIFY(!pointer.isOpen());
        QCOMPARE(mismatchLines(), before + 3);
        // Marker: a client without a pin, connected after the refusals, is the TV's only one.
        auto trusting = newClient();
        auto later = start(trusting->connect(pinHost));
        QTRY_VERIFY(later->done());
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(server.texts().size(), 1);
        QVERIFY(icons.received.isEmpty());
    }

    // Messages sent while it opens are queued, then sent in order, senders told when. Closed,
    // deleted or failed: isOpen turns false once and for good, and whatever was queued or is sent
    // afterwards is reported dropped and never reaches the TV.
    void pointer()
    {
        auto client = newClient();
        QList<bool> sent;
        const auto tell = [&sent](bool out) { sent << out; };
        auto closedWhileOpening = openPointer(*client);
        closedWhileOpening->button(QStringLiteral("HOME"), tell);
        closedWhileOpening->close();
        QVERIFY(!closedWhileOpening->isOpen());
        closedWhileOpening->click(tell);
        auto deletedWhileOpening = openPointer(*client);
        deletedWhileOpening->button(QStringLiteral("HOME"), tell);
        deletedWhileOpening.reset();
        QCOMPARE(sent, (QList<bool> { false, false, false }));

        auto pointer = openPointer(*client);
        QVERIFY(pointer->isOpen());
        QSignalSpy changed(pointer.get(), &PointerClient::isOpenChanged);
        pointer->button(QStringLiteral("HOME"), tell);
        pointer->click(tell);
        pointer->move(-2147483647 - 1, 2147483647);
        QCOMPARE(sent.size(), 3);
        const QStringList expected {
            QStringLiteral("type:button\nname:HOME\n\n"),
            QStringLiteral("type:click\n\n"),
            QStringLiteral("type:move\ndx:-2147483648\ndy:2147483647\ndown:0\n\n"),
        };
        QTRY_COMPARE(m_server->texts(), expected);
        QCOMPARE(sent, (QList<bool> { false, false, false, true, true }));
        QCOMPARE(m_server->requestPath(), QStringLiteral("/resources/abc/netinput.pointer.sock"));
        pointer->close();
        QVERIFY(!pointer->isOpen());
        QTRY_COMPARE(m_server->closeCodes(), QList { QWebSocketProtocol::CloseCodeGoingAway });
        pointer->button(QStringLiteral("HOME"), tell);
        pointer->close();
        QCOMPARE(changed.size(), 1);

        // The socket has ended but its end is not yet reported: the next send fails, and that
        // alone ends isOpen.
        auto failing = openPointer(*client);
        failing->click();
        QTRY_COMPARE(m_server->texts().size(), 4);
        QWebSocket *socket = failing->findChild<QWebSocket *>();
        QObject::disconnect(socket, nullptr, failing.get(), nullptr);
        socket->abort();
        QVERIFY(failing->isOpen());
        failing->button(QStringLiteral("HOME"), tell);
        QVERIFY(!failing->isOpen());
        QCOMPARE(sent, (QList<bool> { false, false, false, true, true, false, false }));
    }
};

QTEST_GUILESS_MAIN(TestSSAPClient)
#include "test_ssapclient.moc"
