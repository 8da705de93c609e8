#include "httpclient.h"
#include "mcpserver.h"
#include "pairedtv.h"
#include "testenv.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <tuple>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// The loopback HTTP listener and JSON-RPC dispatch over real TCP sockets: framing, routing,
// limits, the exact bytes, and tool results without a TV.
class TestMCPListener : public QObject {
    Q_OBJECT

private:
    static constexpr quint16 port = 18700;

    TestHome m_home;
    PairedTV m_tv { { .address = QStringLiteral("127.0.0.15"), .extraArgs = { "--pairing-delay", "50" } } };
    std::unique_ptr<MCPServer> m_server;

    static QByteArray ping(int id = 1) { return Http::rpc(QStringLiteral("ping"), {}, id); }
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
        m_server = std::make_unique<MCPServer>(m_tv.parts.tools(), m_tv.parts.preferences(), timings);
        m_server->start();
        QVERIFY(m_server->isRunning());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_tv.parts.preferences().setInteger("mcpPort", port);
        restartServer({});
    }

    // A status, and when given the whole response ("HTTP/...") or the JSON body; else a non-200
    // answer has no body.
    void wire_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("response");

        const auto row = [](const char *name, const QByteArray &request, int status, const QByteArray &response = {}) {
            QTest::newRow(name) << request << status << response;
        };
        const auto error = [](int code, const QByteArray &message, const QByteArray &id = "null") {
            return R"({"error":{"code":)" + QByteArray::number(code) + ",\"message\":\"" + message + "\"},\"id\":" + id
                + R"(,"jsonrpc":"2.0"})";
        };
        const QByteArray parseError = error(-32700, "Parse error");
        row("405 names Allow", "GET /mcp HTTP/1.1\r\nHost: x\r\n\r\n", 405,
            "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\nAllow: POST\r\n\r\n");
        row("notification", Http::postRequest(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), 202,
            "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        row("no length: empty body", "POST /mcp HTTP/1.1\r\n\r\n{\"id\":1}", 400,
            "HTTP/1.1 400 Bad Request\r\nContent-Length: " + QByteArray::number(parseError.size())
                + "\r\nConnection: close\r\nContent-Type: application/json\r\n\r\n" + parseError);
        for (const char *length : { "1x", "-3", "99999999999999999999999" })
            row(length, "POST /mcp HTTP/1.1\r\nContent-Length: " + QByteArray(length) + "\r\n\r\nabc", 400);
        // Header names in any case, values trimmed, the last of two equal names wins.
        row("last length wins",
            "POST /mcp HTTP/1.1\r\ncontent-length: 1\r\nCONTENT-LENGTH:\t " + QByteArray::number(ping(3).size())
                + " \t\r\nno colon\r\n\r\n" + ping(3),
            200, pingResponse(3));
        row("one answer, then close", Http::postRequest(ping(4)) + "GARBAGE" + Http::postRequest(ping(5)), 200,
            pingResponse(4));
        row("invalid UTF-8 path", "POST /mcp\xff HTTP/1.1\r\n\r\n", 404);

        // JSON-RPC: batches answered in order without notifications, errors the client can show.
        const auto body = [](const QByteArray &json) { return Http::postRequest(json); };
        row("trailing garbage", body("{} x"), 400, parseError);
        row("mixed", body(R"([{"id":1,"method":"ping"}, 3])"), 400, error(-32600, "Invalid Request"));
        row("empty batch", body("[]"), 202);
        row("notifications only",
            body(
                R"([{"method":"ping"},{"method":"tools/call","params":{"name":"tv_power","arguments":{"action":"off"}}}])"),
            202);
        row("no text method", body(R"({"id":4,"method":7})"), 202);
        row("batch in order", body(R"([{"id":"b","method":"ping"},{"method":"ping"},{"id":2,"method":"ping"}])"), 200,
            R"([{"id":"b","jsonrpc":"2.0","result":{}},{"id":2,"jsonrpc":"2.0","result":{}}])");
        row("null id is a request", body(R"({"id":null,"method":"ping"})"), 200,
            R"({"id":null,"jsonrpc":"2.0","result":{}})");
        row("unknown method", body(R"({"id":6,"method":"resources/list"})"), 200,
            error(-32601, "Method not found: resources/list", "6"));
        row("missing tool name", body(R"({"id":8,"method":"tools/call","params":{"name":3}})"), 200,
            error(-32602, "Missing tool name", "8"));
        row("unknown tool", body(R"({"id":9,"method":"tools/call","params":{"name":"tv_fly"}})"), 200,
            error(-32602, "Unknown tool: tv_fly", "9"));
        row("arguments not an object: none",
            body(R"({"id":1,"method":"tools/call","params":{"name":"tv_select_device","arguments":[1]}})"), 200,
            R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"type":"text","text":"Missing 'device'"}],"isError":true}})");

        // Origin, then path, then method.
        row("query", Http::postRequest(ping(), "/mcp?x=1"), 200);
        row("trailing slash", Http::postRequest(ping(), "/mcp/"), 404);
        row("path before method", "GET /other HTTP/1.1\r\n\r\n", 404);
        row("method case", "post /mcp HTTP/1.1\r\n\r\n", 405);
        row("origin before path", "GET /nowhere HTTP/1.1\r\nOrigin: http://example.com\r\n\r\n", 403);
        const QList<std::pair<QByteArray, int>> origins { { "http://localhost:5173", 200 },
            { "http://127.0.0.1:8080", 200 }, { "https://localhost:5173", 403 }, { "null", 403 },
            { "http://example.com", 403 }, { "http://localhost.example.com", 403 },
            { "http://127.0.0.1.example.com:80", 403 }, { "http://localhost@example.com", 403 },
            { "http://localhost:", 403 } };
        for (const auto &[origin, status] : origins)
            row(origin.constData(), Http::postRequest(ping(), "/mcp", "Origin: " + origin + "\r\n"), status);
        row("ORIGIN", Http::postRequest(ping(), "/mcp", "ORIGIN: http://127.0.0.1\r\n"), 200);

        // Once initialized, clients name their protocol version; one the service does not know is refused.
        const auto withVersion = [](const QByteArray &body, const QByteArray &version) {
            return Http::postRequest(body, "/mcp", "MCP-Protocol-Version: " + version + "\r\n");
        };
        row("known version", withVersion(ping(), "2025-11-25"), 200);
        const QByteArray supported = " (supported: 2025-11-25, 2025-06-18, 2025-03-26, 2024-11-05)";
        row("unknown version", withVersion(ping(), "2099-01-01"), 400,
            error(-32600, "Unsupported protocol version: 2099-01-01" + supported));
        row("unknown version, batch", withVersion("[" + ping() + "]", "2024-10-07"), 400,
            error(-32600, "Unsupported protocol version: 2024-10-07" + supported));
        row("unknown version, initializing", withVersion(Http::rpc("initialize"), "2099-01-01"), 200);
    }

    void wire()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, response);
        const Http::Reply reply = served(port, { request });
        QVERIFY(reply.closedByServer);
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.body.contains('\n')); // compact JSON
        if (response.startsWith("HTTP/"))
            QCOMPARE(reply.bytes, response);
        else if (!response.isEmpty())
            QCOMPARE(QJsonDocument::fromJson(reply.body), QJsonDocument::fromJson(response));
        else if (status != 200)
            QVERIFY(reply.body.isEmpty() || status == 400);
    }

    // Initializing: a version the service knows is answered as asked; any other, or none, with
    // the newest. Then tools without a TV.
    void initializeThenToolsWithoutTV()
    {
        for (const QString asked : { "2024-11-05", "2025-03-26", "2025-06-18", "2025-11-25", "2099-01-01", "" }) {
            const QJsonObject params = asked.isEmpty() ? QJsonObject {} : QJsonObject { { "protocolVersion", asked } };
            const Http::Reply reply = served(port, { Http::postRequest(Http::rpc("initialize", params)) });
            QJsonObject answer = QJsonDocument::fromJson(reply.body)["result"].toObject();
            QCOMPARE(answer.take("protocolVersion").toString(),
                asked.isEmpty() || asked == "2099-01-01" ? "2025-11-25" : asked);
            QVERIFY(answer.take("instructions").toString().contains("Call tv_status first"));
            QCOMPARE(answer,
                QJsonObject({ { "capabilities", QJsonObject { { "tools", QJsonObject { { "listChanged", false } } } } },
                    { "serverInfo",
                        QJsonObject { { "name", "corvane-remote" }, { "title", "Corvane Remote (LG webOS TV)" },
                            { "version", "1.0" } } } }));
        }

        // With no saved TV, tools answer at once; failures are results with isError, the
        // connection error before argument checks; typed text is logged by its length only.
        const auto call = [](const QString &name, const QJsonObject &arguments = {}) {
            const Http::Reply reply = served(port, { Http::postRequest(Http::toolCall(name, arguments)) });
            return std::make_pair(Http::toolResult(reply), QJsonDocument::fromJson(reply.body)["result"].toObject());
        };
        const auto [status, statusBody] = call("tv_status");
        QVERIFY(status.ok && !status.isError);
        // The text stays what agents have always read: indented, keys sorted.
        const QJsonObject offline { { "connection", "offline" }, { "device", QJsonValue::Null },
            { "foreground", QJsonObject { { "id", "" }, { "title", "—" } } }, { "inputs", QJsonArray() },
            { "muted", false }, { "power", "unknown" }, { "volume", 0 } };
        QCOMPARE(status.text, QString::fromUtf8(QJsonDocument(offline).toJson(QJsonDocument::Indented).chopped(1)));
        QCOMPARE(statusBody["structuredContent"].toObject(), offline);

        const QString noTV = QStringLiteral("No paired TV. Pair one in the Corvane Remote app first.");
        const QList<std::tuple<QString, QJsonObject, QString>> failures { { "tv_volume", {}, noTV },
            { "tv_open_url", {}, noTV },
            { "tv_input_text", { { "text", "hunter2 👍🏽" }, { "submit", true } }, noTV },
            { "tv_select_device", {}, "Missing 'device'" },
            { "tv_select_device", { { "device", "tv" } }, "No saved TV matches 'tv'" },
            { "tv_power", { { "action", "on" } }, "TV MAC address unknown; cannot Wake-on-LAN" } };
        for (const auto &[name, arguments, text] : failures) {
            const auto [result, body] = call(name, arguments);
            QCOMPARE(std::make_pair(result.isError, result.text), std::make_pair(true, text));
            QVERIFY(!body.contains("structuredContent"));
        }
        const QStringList log = readLogMessages();
        QVERIFY(log.contains(QStringLiteral("MCP 调用 tv_select_device {\"device\":\"tv\"}")));
        QVERIFY2(log.contains(QStringLiteral("MCP 调用 tv_input_text {\"submit\":true,\"text\":\"<9 个字符>\"}")),
            qPrintable(log.join('\n')));
    }

    void limits()
    {
        // One byte per write: assembled and answered once.
        QList<QByteArray> bytes;
        for (char c : Http::postRequest(ping(7)))
            bytes << QByteArray(1, c);
        QCOMPARE(served(port, bytes, 30000, 1).bytes, pingResponse(7));

        // Up to 4 MiB may wait for the rest of a request: a request of exactly 4 MiB is answered
        // though all but its last byte came first; a byte more of an unfinished request, and the
        // server cuts the connection at once (the client gives up long before the idle time-out).
        constexpr qsizetype limit = 4 * 1024 * 1024;
        const QByteArray head = "POST /mcp HTTP/1.1\r\nContent-Length: 4194257\r\n\r\n";
        const QByteArray pingStart = "{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"ping\",\"pad\":\"";
        const QByteArray full = head + pingStart + QByteArray(limit - head.size() - pingStart.size() - 2, 'p') + "\"}";
        QCOMPARE(full.size() - head.size(), 4194257);
        QCOMPARE(served(port, { full.chopped(1), full.right(1) }, 30000, 200).bytes, pingResponse(9));
        const QByteArray flood = "POST /mcp HTTP/1.1\r\nX-Filler: ";
        const Http::Reply cut = served(port, { flood, QByteArray(limit + 1 - flood.size(), 'a') }, 10000);
        QVERIFY(cut.closedByServer);
        QVERIFY(cut.bytes.isEmpty());

        // A request line of one token never parses, like a body that stops short: both stay
        // unanswered until the idle time-out closes them.
        restartServer({ .requestTimeout = std::chrono::milliseconds(300) });
        for (const QByteArray &partial : { QByteArray("POST\r\nContent-Length: 0\r\n\r\n"),
                 QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: 10\r\n\r\n{") }) {
            const Http::Reply idle = served(port, { partial }, 10000);
            QVERIFY(idle.closedByServer);
            QVERIFY(idle.bytes.isEmpty());
        }
        // A request that arrives in time is answered as usual.
        QCOMPARE(served(port, { Http::postRequest(ping(2)) }).bytes, pingResponse(2));
        restartServer({});
    }

    // A start on a busy port (the test's own listener's) fails with the reason; once the port is
    // free a start succeeds and clears the error; a second start restarts; a stop closes the port.
    void startStopAndFailure()
    {
        MCPServer server(m_tv.parts.tools(), m_tv.parts.preferences());
        QSignalSpy running(&server, &MCPServer::isRunningChanged);
        QSignalSpy errors(&server, &MCPServer::lastErrorChanged);
        const int mark = logMark();
        server.start();
        QVERIFY(!server.isRunning());
        QVERIFY(server.lastError() && !server.lastError()->isEmpty());
        QCOMPARE(running.count(), 0);
        QCOMPARE(errors.count(), 1);
        QVERIFY(logSince(mark).contains(QStringLiteral("MCP 服务失败: ") + *server.lastError()));

        m_server->stop();
        server.start();
        QVERIFY(server.isRunning() && !server.lastError());
        QCOMPARE(errors.count(), 2);
        QVERIFY(logSince(mark).contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:18700/mcp")));
        server.start();
        QCOMPARE(served(port, { Http::postRequest(ping(6)) }).bytes, pingResponse(6));
        QCOMPARE(running.count(), 3); // the restart went through "not running"
        server.stop();
        QVERIFY(!server.isRunning());
        QCOMPARE(running.count(), 4);
        QCOMPARE(Http::openIdle(port), -1);
        restartServer({});
    }

    // A call waiting on a slow TV blocks no other request; its client may have shut down its
    // sending side (nc -N, scripts) and still reads the answer, even when the listener stops.
    void slowCallOnHalfClosedConnection()
    {
        QVERIFY(m_tv.start(QStringLiteral("TV")) && m_tv.pair());
        m_tv.sim->control(
            QStringLiteral("/fault"), { { "delay", QJsonObject { { "uri", "audio/volumeUp" }, { "ms", 1000 } } } });

        const int fd = Http::openIdle(port, Http::postRequest(Http::toolCall("tv_volume", { { "action", "up" } }, 5)));
        QVERIFY(fd >= 0);
        QCOMPARE(::shutdown(fd, SHUT_WR), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_tv.sent("audio/volumeUp").size(), 1, 5000);
        QCOMPARE(served(port, { Http::postRequest(ping(2)) }).bytes, pingResponse(2));
        pollfd waiting { fd, POLLIN, 0 };
        QCOMPARE(::poll(&waiting, 1, 0), 0); // the slow answer is still to come
        m_server->stop();

        const QByteArray answer = offThread([fd] {
            QByteArray all;
            char buffer[4096];
            pollfd p { fd, POLLIN, 0 };
            for (ssize_t n = 1; n > 0 && ::poll(&p, 1, 20000) > 0;)
                all.append(buffer, std::max<ssize_t>(n = ::recv(fd, buffer, sizeof buffer, 0), 0));
            ::close(fd);
            return all;
        });
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK") && answer.contains("Volume: "), answer.constData());
    }
};

QTEST_GUILESS_MAIN(TestMCPListener)
#include "test_mcplistener.moc"
