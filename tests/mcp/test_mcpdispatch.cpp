#include "mcpdispatch.h"
#include "testenv.h"
#include "toolrig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

// JSON-RPC dispatch over a session with no saved TV: framing, methods, negotiation, tool errors.
class TestMCPDispatch : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    ToolRig m_rig;

    DispatchReply post(const QByteArray &body) { return QCoro::waitFor(handleBody(body, m_rig.tools())); }

    QJsonObject postObject(const QByteArray &body, const QString &status = QStringLiteral("200 OK"))
    {
        const DispatchReply reply = post(body);
        [&] { QCOMPARE(reply.status, status); }();
        return QJsonDocument::fromJson(reply.body).object();
    }

    QJsonObject result(const QByteArray &body) { return postObject(body).value(QStringLiteral("result")).toObject(); }

    QJsonObject callTool(const QString &name, const QJsonValue &arguments = QJsonObject {})
    {
        QJsonObject params { { QStringLiteral("name"), name } };
        if (!arguments.isUndefined())
            params.insert(QStringLiteral("arguments"), arguments);
        const QJsonObject message { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") }, { QStringLiteral("id"), 1 },
            { QStringLiteral("method"), QStringLiteral("tools/call") }, { QStringLiteral("params"), params } };
        return result(QJsonDocument(message).toJson(QJsonDocument::Compact));
    }

    static QJsonObject parse(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

private Q_SLOTS:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("expected"); // compact JSON, or empty

        const QByteArray parseError = R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";
        const QByteArray invalid = R"({"error":{"code":-32600,"message":"Invalid Request"},"id":null,"jsonrpc":"2.0"})";
        QTest::newRow("empty body") << QByteArray() << "400 Bad Request" << parseError;
        QTest::newRow("trailing garbage") << QByteArray("{} x") << "400 Bad Request" << parseError;
        QTest::newRow("numbers") << QByteArray("[1, 2]") << "400 Bad Request" << invalid;
        QTest::newRow("mixed") << QByteArray(R"([{"id":1,"method":"ping"}, 3])") << "400 Bad Request" << invalid;
        QTest::newRow("empty batch") << QByteArray("[]") << "202 Accepted" << QByteArray();
        QTest::newRow("notification") << QByteArray(R"({"jsonrpc":"2.0","method":"notifications/initialized"})")
                                      << "202 Accepted" << QByteArray();
        QTest::newRow("notifications only") << QByteArray(
            R"([{"method":"ping"},{"method":"tools/call","params":{"name":"tv_power","arguments":{"action":"off"}}}])")
                                            << "202 Accepted" << QByteArray();
        QTest::newRow("no text method") << QByteArray(R"({"id":4,"method":7})") << "202 Accepted" << QByteArray();
        QTest::newRow("batch in order")
            << QByteArray(R"([{"id":"b","method":"ping"},{"method":"ping"},{"id":2,"method":"ping"}])") << "200 OK"
            << QByteArray(R"([{"id":"b","jsonrpc":"2.0","result":{}},{"id":2,"jsonrpc":"2.0","result":{}}])");
        QTest::newRow("null id is a request") << QByteArray(R"({"id":null,"method":"ping"})") << "200 OK"
                                              << QByteArray(R"({"id":null,"jsonrpc":"2.0","result":{}})");
        QTest::newRow("unknown method")
            << QByteArray(R"({"id":6,"method":"resources/list"})") << "200 OK"
            << QByteArray(
                   R"({"error":{"code":-32601,"message":"Method not found: resources/list"},"id":6,"jsonrpc":"2.0"})");
        QTest::newRow("missing tool name")
            << QByteArray(R"({"id":8,"method":"tools/call","params":{"name":3}})") << "200 OK"
            << QByteArray(R"({"error":{"code":-32602,"message":"Missing tool name"},"id":8,"jsonrpc":"2.0"})");
        QTest::newRow("unknown tool")
            << QByteArray(R"({"id":9,"method":"tools/call","params":{"name":"tv_fly","arguments":{}}})") << "200 OK"
            << QByteArray(R"({"error":{"code":-32602,"message":"Unknown tool: tv_fly"},"id":9,"jsonrpc":"2.0"})");
    }

    void framing()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, status);
        QFETCH(QByteArray, expected);
        const DispatchReply reply = post(body);
        QCOMPARE(reply.status, status);
        if (expected.isEmpty())
            QCOMPARE(reply.body, QByteArray());
        else
            QCOMPARE(QJsonDocument::fromJson(reply.body), QJsonDocument::fromJson(expected));
        // Bodies are compact JSON.
        QVERIFY(!reply.body.contains('\n'));
    }

    void initializeNegotiates_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QString>("version");
        QTest::newRow("oldest") << QByteArray(R"({"protocolVersion":"2024-11-05"})") << "2024-11-05";
        QTest::newRow("2025-03") << QByteArray(R"({"protocolVersion":"2025-03-26"})") << "2025-03-26";
        QTest::newRow("2025-06") << QByteArray(R"({"protocolVersion":"2025-06-18"})") << "2025-06-18";
        QTest::newRow("newest") << QByteArray(R"({"protocolVersion":"2025-11-25"})") << "2025-11-25";
        QTest::newRow("unknown") << QByteArray(R"({"protocolVersion":"2099-01-01"})") << "2025-11-25";
        QTest::newRow("none") << QByteArray("{}") << "2025-11-25";
    }

    void initializeNegotiates()
    {
        QFETCH(QByteArray, params);
        QFETCH(QString, version);
        const QJsonObject answer = result(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":)" + params + "}");
        QCOMPARE(answer.value(QStringLiteral("protocolVersion")).toString(), version);
        QCOMPARE(answer.value(QStringLiteral("capabilities")).toObject(), parse(R"({"tools":{"listChanged":false}})"));
        QCOMPARE(answer.value(QStringLiteral("serverInfo")).toObject(),
            parse(R"j({"name":"corvane-remote","title":"Corvane Remote (LG webOS TV)","version":"1.0"})j"));
        QCOMPARE(answer.value(QStringLiteral("instructions")).toString(),
            QStringLiteral("Control the LG webOS TV paired in the Corvane Remote desktop app. Call tv_status first to "
                           "see the current state, inputs and apps. Use tv_sound_output to choose where sound goes, "
                           "tv_screen to turn the picture off while sound plays, tv_channel to list and set live "
                           "channels, and tv_open_url to open a web page."));
        QCOMPARE(answer.size(), 4);
    }

    void toolsList()
    {
        const QJsonArray tools = result(R"({"id":1,"method":"tools/list","params":{"cursor":"x"}})")
                                     .value(QStringLiteral("tools"))
                                     .toArray();
        QFile golden(QStringLiteral(CORVANE_TEST_DIR "/tooldefinitions.json"));
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const QJsonArray expected = QJsonDocument::fromJson(golden.readAll()).array();
        QCOMPARE(expected.size(), 18);
        QCOMPARE(tools, expected);
    }

    void toolResults()
    {
        // With no saved TV, tv_status answers at once.
        const QJsonObject status = callTool(QStringLiteral("tv_status"));
        QCOMPARE(status.value(QStringLiteral("isError")), QJsonValue(false));
        const QJsonArray content = status.value(QStringLiteral("content")).toArray();
        QCOMPARE(content.size(), 1);
        QCOMPARE(content.at(0).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("text"));
        const QString text = content.at(0).toObject().value(QStringLiteral("text")).toString();
        // The text stays byte for byte what agents have always read (indented, keys sorted); the
        // same data comes as structured content beside it.
        QCOMPARE(text, QStringLiteral(R"({
    "connection": "offline",
    "device": null,
    "foreground": {
        "id": "",
        "title": "—"
    },
    "inputs": [
    ],
    "muted": false,
    "power": "unknown",
    "volume": 0
})"));
        QCOMPARE(status.value(QStringLiteral("structuredContent")).toObject(), parse(text.toUtf8()));
        QCOMPARE(callTool(QStringLiteral("tv_list_devices")).value(QStringLiteral("structuredContent")).toObject(),
            parse(R"({"devices":[]})"));

        // Tool failures are results with isError; the connection error comes before argument checks.
        const QString noTV = QStringLiteral("No paired TV. Pair one in the Corvane Remote app first.");
        const auto failure = [&](const QString &name, const QJsonValue &arguments) {
            const QJsonObject answer = callTool(name, arguments);
            return std::make_pair(answer.value(QStringLiteral("isError")).toBool(),
                answer[QStringLiteral("content")][0][QStringLiteral("text")].toString());
        };
        QCOMPARE(failure(QStringLiteral("tv_volume"), QJsonObject {}), std::make_pair(true, noTV));
        QVERIFY(!callTool(QStringLiteral("tv_volume")).contains(QStringLiteral("structuredContent")));
        QCOMPARE(failure(QStringLiteral("tv_open_url"), QJsonObject {}), std::make_pair(true, noTV));
        // Arguments that are not an object: the tool runs with none.
        QCOMPARE(failure(QStringLiteral("tv_select_device"), QJsonArray { 1 }),
            std::make_pair(true, QStringLiteral("Missing 'device'")));
        QCOMPARE(failure(QStringLiteral("tv_select_device"),
                     QJsonObject { { QStringLiteral("device"), QStringLiteral("tv") } }),
            std::make_pair(true, QStringLiteral("No saved TV matches 'tv'")));
        QCOMPARE(failure("tv_power", QJsonObject { { "action", "on" } }),
            std::make_pair(true, QStringLiteral("TV MAC address unknown; cannot Wake-on-LAN")));

        // Typed text (a password, say) is logged by its length in characters only.
        QCOMPARE(failure("tv_input_text", QJsonObject { { "text", "hunter2 👍🏽" }, { "submit", true } }),
            std::make_pair(true, noTV));

        const QStringList log = readLogMessages();
        QVERIFY(log.contains(QStringLiteral("MCP 调用 tv_status {}")));
        QVERIFY(log.contains(QStringLiteral("MCP 调用 tv_select_device {\"device\":\"tv\"}")));
        QVERIFY2(log.contains(QStringLiteral("MCP 调用 tv_input_text {\"submit\":true,\"text\":\"<9 个字符>\"}")),
            qPrintable(log.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestMCPDispatch)
#include "test_mcpdispatch.moc"
