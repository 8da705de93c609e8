#include "httprequest.h"
#include "mcpserver.h"
#include "rawhttp.h"
#include "testenv.h"
#include "toolrig.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

#include <sys/socket.h>

// The loopback HTTP listener over real TCP sockets: framing, routing and the exact bytes sent.
class TestMCPListener : public QObject {
    Q_OBJECT

private:
    static constexpr quint16 port = 18700;
    static constexpr quint16 busyPort = 18701;

    TestHome m_home;
    std::unique_ptr<ToolRig> m_rig;
    std::unique_ptr<MCPServer> m_server;

    static QByteArray ping(int id = 1)
    {
        return QByteArray(R"({"jsonrpc":"2.0","id":)") + QByteArray::number(id) + R"(,"method":"ping"})";
    }

    static QByteArray pingResponse(int id = 1)
    {
        const QByteArray body = QByteArray(R"({"id":)") + QByteArray::number(id) + R"(,"jsonrpc":"2.0","result":{}})";
        return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\nContent-Type: application/json\r\n\r\n" + body;
    }

    // The server takes its timings only when built.
    void restartServer(const MCPServer::Timings &timings)
    {
        m_server.reset();
        m_server = std::make_unique<MCPServer>(m_rig->tools(), m_rig->preferences(), timings);
        m_server->start();
        QVERIFY(m_server->isRunning());
        QVERIFY(!m_server->lastError());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_rig = std::make_unique<ToolRig>();
        m_rig->preferences().setInteger("mcpPort", port);
        restartServer({});
    }

    void cleanupTestCase()
    {
        m_server.reset();
        m_rig.reset();
    }

    void parseRequestFraming_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("no blank line yet")
            << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n") << false << QByteArray();
        QTest::newRow("body still coming")
            << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 5\r\n\r\nab") << false << QByteArray();
        QTest::newRow("bytes beyond ignored")
            << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\nabcdef") << true << QByteArray("ab");
        QTest::newRow("length not a number")
            << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 1x\r\n\r\nabc") << true << QByteArray();
        QTest::newRow("negative length") << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: -3\r\n\r\nabc") << true
                                         << QByteArray();
        QTest::newRow("overflowing length")
            << QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\nabc") << true
            << QByteArray();
    }

    void parseRequestFraming()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(bool, parses);
        QFETCH(QByteArray, body);
        const std::optional<HTTPRequest> request = parseRequest(buffer);
        QCOMPARE(request.has_value(), parses);
        if (request)
            QCOMPARE(request->body, body);
    }

    void parseRequestFields()
    {
        const QByteArray buffer = "get   /mcp?x=1  HTTP/1.1 extra\r\n"
                                  "Content-LENGTH:\t 3 \t\r\n"
                                  "X-Dup: first\r\n"
                                  "x-dup: second\r\n"
                                  "no colon here\r\n"
                                  "Origin: http://localhost:3000\r\n"
                                  "\r\nxyz";
        const std::optional<HTTPRequest> request = parseRequest(buffer);
        QVERIFY(request);
        QCOMPARE(request->method, QStringLiteral("get"));
        QCOMPARE(request->path, QStringLiteral("/mcp?x=1"));
        QCOMPARE(request->headers.value(QStringLiteral("content-length")), QStringLiteral("3"));
        QCOMPARE(request->headers.value(QStringLiteral("x-dup")), QStringLiteral("second"));
        QCOMPARE(request->headers.value(QStringLiteral("origin")), QStringLiteral("http://localhost:3000"));
        QCOMPARE(request->headers.size(), 3);
        QCOMPARE(request->body, QByteArray("xyz"));

        // Invalid UTF-8 in the head is replaced, not a reason to drop the request.
        const std::optional<HTTPRequest> odd = parseRequest("POST /mcp\xff HTTP/1.1\r\n\r\n");
        QVERIFY(odd);
        QCOMPARE(odd->path, QStringLiteral("/mcp") + QChar(0xFFFD));
    }

    void assemblesSplitRequests()
    {
        // One byte per write, with pauses: assembled and answered once.
        const QByteArray request = postRequest(ping(7));
        QList<QByteArray> bytes;
        for (char c : request)
            bytes << QByteArray(1, c);
        const RawExchange split = rawExchange(port, bytes, 1);
        QVERIFY(split.closedByServer);
        QCOMPARE(split.response, pingResponse(7));
    }

    void responseBytes()
    {
        // No body: no Content-Type; 405 carries Allow.
        QCOMPARE(rawExchange(port, { "GET /mcp HTTP/1.1\r\nHost: x\r\n\r\n" }).response,
            QByteArray(
                "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\nAllow: POST\r\n\r\n"));
        // A notification: 202 with nothing else.
        QCOMPARE(
            rawExchange(port, { postRequest(R"({"jsonrpc":"2.0","method":"notifications/initialized"})") }).response,
            QByteArray("HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
        // No Content-Length: an empty body, answered with a parse error.
        const QByteArray parseError = R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";
        QCOMPARE(rawExchange(port, { "POST /mcp HTTP/1.1\r\n\r\n{\"id\":1}" }).response,
            "HTTP/1.1 400 Bad Request\r\nContent-Length: " + QByteArray::number(parseError.size())
                + "\r\nConnection: close\r\nContent-Type: application/json\r\n\r\n" + parseError);
        // Header names in any case; the last of two equal names wins.
        const QByteArray body = ping(3);
        const QByteArray twice = "POST /mcp HTTP/1.1\r\ncontent-length: 1\r\nCONTENT-LENGTH: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QCOMPARE(rawExchange(port, { twice }).response, pingResponse(3));
        // Bytes beyond Content-Length are ignored, and the connection still closes after one answer.
        const RawExchange extra = rawExchange(port, { postRequest(ping(4)) + "GARBAGE" + postRequest(ping(5)) });
        QVERIFY(extra.closedByServer);
        QCOMPARE(extra.response, pingResponse(4));
    }

    void routing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");

        QTest::newRow("query") << postRequest(ping(), "/mcp?x=1") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("trailing slash") << postRequest(ping(), "/mcp/") << QByteArray("HTTP/1.1 404 Not Found");
        QTest::newRow("path before method")
            << QByteArray("GET /other HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 404 Not Found");
        QTest::newRow("method case") << QByteArray("post /mcp HTTP/1.1\r\n\r\n")
                                     << QByteArray("HTTP/1.1 405 Method Not Allowed");
        QTest::newRow("origin before path") << QByteArray("GET /nowhere HTTP/1.1\r\nOrigin: http://example.com\r\n\r\n")
                                            << QByteArray("HTTP/1.1 403 Forbidden");

        const auto withOrigin
            = [](const QByteArray &origin) { return postRequest(ping(), "/mcp", "Origin: " + origin + "\r\n"); };
        QTest::newRow("localhost with port") << withOrigin("http://localhost:5173") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("loopback with port") << withOrigin("http://127.0.0.1:8080") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("origin header case")
            << postRequest(ping(), "/mcp", "ORIGIN: http://127.0.0.1\r\n") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("https") << withOrigin("https://localhost:5173") << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("null") << withOrigin("null") << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("other host") << withOrigin("http://example.com") << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("look-alike host") << withOrigin("http://localhost.example.com")
                                         << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("look-alike address")
            << withOrigin("http://127.0.0.1.example.com:80") << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("user info") << withOrigin("http://localhost@example.com")
                                   << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("empty port") << withOrigin("http://localhost:") << QByteArray("HTTP/1.1 403 Forbidden");

        // After initialization clients name their protocol version; one the service does not know is refused.
        const auto withVersion = [](const QByteArray &body, const QByteArray &version) {
            return postRequest(body, "/mcp", "MCP-Protocol-Version: " + version + "\r\n");
        };
        QTest::newRow("known version") << withVersion(ping(), "2025-11-25") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("unknown version") << withVersion(ping(), "2099-01-01") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("unknown version in a batch")
            << withVersion("[" + ping() + "]", "2024-10-07") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("unknown version, initializing")
            << withVersion(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})", "2099-01-01")
            << QByteArray("HTTP/1.1 200 OK");
    }

    void routing()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        const RawResponse response = splitResponse(rawExchange(port, { request }).response);
        QCOMPARE(response.statusLine, status);
        if (status.endsWith("400 Bad Request")) // a JSON-RPC error the client can show
            QVERIFY2(QJsonDocument::fromJson(response.body)["error"]["message"].toString().startsWith(
                         "Unsupported protocol version: "),
                response.body.constData());
        else if (!status.endsWith("200 OK"))
            QVERIFY(response.body.isEmpty());
    }

    void closesWithoutAnswer()
    {
        // A one-token request line never parses; the client's close ends the connection.
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(socket.waitForConnected(5000));
        socket.write("POST\r\nContent-Length: 0\r\n\r\n");
        QTest::qWait(200);
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(socket.bytesAvailable(), 0);
        socket.disconnectFromHost();

        // More than 4 MiB without a complete request: cut off without a response.
        const QByteArray head = "POST /mcp HTTP/1.1\r\nX-Filler: ";
        QList<QByteArray> pieces { head };
        for (int i = 0; i < 5; ++i)
            pieces << QByteArray(1024 * 1024, 'a');
        const RawExchange flood = rawExchange(port, pieces, 10);
        QVERIFY(flood.closedByServer);
        QVERIFY(flood.response.isEmpty());

        // A body of almost 4 MiB is still taken.
        const QByteArray big
            = "{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"ping\",\"pad\":\"" + QByteArray(4000000, 'p') + "\"}";
        QCOMPARE(rawExchange(port, { postRequest(big) }).response, pingResponse(9));
    }

    void idleConnectionIsClosed()
    {
        restartServer({ .requestTimeout = std::chrono::milliseconds(300) });
        const RawExchange idle = rawExchange(port, { "POST /mcp HTTP/1.1\r\nContent-Length: 10\r\n\r\n{" }, 0, 5000);
        restartServer({});
        QVERIFY(idle.closedByServer);
        QVERIFY(idle.response.isEmpty());
        // A request that arrives in time is answered as usual.
        QCOMPARE(rawExchange(port, { postRequest(ping(2)) }).response, pingResponse(2));
    }

    void startStopAndFailure()
    {
        Preferences preferences(m_home.path() + QStringLiteral("/busy.conf"));
        preferences.setInteger(QStringLiteral("mcpPort"), busyPort);
        MCPServer server(m_rig->tools(), preferences);
        QSignalSpy running(&server, &MCPServer::isRunningChanged);
        QSignalSpy errors(&server, &MCPServer::lastErrorChanged);
        QCOMPARE(server.endpointURL(), QStringLiteral("http://127.0.0.1:18701/mcp"));

        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress(QStringLiteral("127.0.0.1")), busyPort));
        server.start();
        QVERIFY(!server.isRunning());
        QVERIFY(server.lastError() && !server.lastError()->isEmpty());
        QCOMPARE(running.count(), 0);
        QCOMPARE(errors.count(), 1);
        QVERIFY(readLogMessages().contains(QStringLiteral("MCP 服务失败: ") + *server.lastError()));

        // Once the port is free a start succeeds and clears the error.
        blocker.close();
        server.start();
        QVERIFY(server.isRunning());
        QVERIFY(!server.lastError());
        QCOMPARE(running.count(), 1);
        QCOMPARE(errors.count(), 2);
        QVERIFY(readLogMessages().contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:18701/mcp")));
        QCOMPARE(rawExchange(busyPort, { postRequest(ping(5)) }).response, pingResponse(5));

        // A second start on the same running server restarts it on the same port.
        server.start();
        QVERIFY(server.isRunning());
        QCOMPARE(rawExchange(busyPort, { postRequest(ping(6)) }).response, pingResponse(6));

        QCOMPARE(running.count(), 3); // the restart went through "not running"
        server.stop();
        QVERIFY(!server.isRunning());
        QCOMPARE(running.count(), 4);
        QCOMPARE(errors.count(), 2);
        QTcpSocket refused;
        refused.connectToHost(QStringLiteral("127.0.0.1"), busyPort);
        QVERIFY(!refused.waitForConnected(2000));
    }

    void portRule_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero") << QVariant(0) << 8765;
        QTest::newRow("too large") << QVariant(70000) << 8765;
        QTest::newRow("highest") << QVariant(65535) << 65535;
        QTest::newRow("text") << QVariant(QStringLiteral("abc")) << 8765;
    }

    void portRule()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        Preferences preferences(m_home.path() + QStringLiteral("/port-%1.conf").arg(QTest::currentDataTag()));
        if (stored.isValid()) {
            if (stored.typeId() == QMetaType::QString)
                preferences.setString(QStringLiteral("mcpPort"), stored.toString());
            else
                preferences.setInteger(QStringLiteral("mcpPort"), stored.toInt());
        }
        MCPServer server(m_rig->tools(), preferences);
        QCOMPARE(server.port(), expected);
        QCOMPARE(server.endpointURL(), QStringLiteral("http://127.0.0.1:%1/mcp").arg(expected));
    }

    void halfClosedClientStillGetsItsAnswer()
    {
        // A client that shuts down its sending side after the request (nc -N, scripted clients)
        // still reads the answer of a call that waits on a slow TV.
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.15"), .extraArgs = { "--pairing-delay", "50" } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        QVERIFY(m_rig->pair(m_rig->addTV(sim.address(), QStringLiteral("TV"))));
        sim.control(QStringLiteral("/fault"),
            { { "delay", QJsonObject { { "uri", "ssap://audio/volumeUp" }, { "ms", 400 } } } });

        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(socket.waitForConnected(5000));
        socket.write(postRequest(
            R"({"jsonrpc":"2.0","id":5,"method":"tools/call","params":{"name":"tv_volume","arguments":{"action":"up"}}})"));
        QVERIFY(socket.waitForBytesWritten(5000));
        QCOMPARE(::shutdown(int(socket.socketDescriptor()), SHUT_WR), 0);
        QByteArray response;
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { response += socket.readAll(); });
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QAbstractSocket::UnconnectedState, 10000);
        const RawResponse split = splitResponse(response);
        QCOMPARE(split.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QVERIFY2(split.body.contains("Volume: "), split.body.constData());
    }
};

QTEST_GUILESS_MAIN(TestMCPListener)
#include "test_mcplistener.moc"
