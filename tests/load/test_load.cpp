// The real app and the TV emulator under load: the MCP listener answers every client while others
// hang, and leaves nothing behind; calls to a TV that is slow, drops its socket or stops
// answering all come back, with the right answer or a clear error, and the next call works.

#include "appparts.h"
#include "appprocess.h"
#include "httpclient.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Http;

namespace {

const quint16 kPort = 18950;

// Runs body(thread, i) for i < perThread on each of threads clients at once.
template <typename Body> void clients(int threads, int perThread, Body body)
{
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([=] {
            for (int i = 0; i < perThread; ++i)
                body(t, i);
        });
    for (std::thread &client : running)
        client.join();
}

QString connection(int timeoutMs = 30000)
{
    const ToolResult status = toolResult(post(kPort, toolCall("tv_status"), timeoutMs));
    return QJsonDocument::fromJson(status.text.toUtf8()).object().value("connection").toString();
}

} // namespace

class TestLoad : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    TVSimProcess m_sim { { .address = QStringLiteral("127.0.0.45"), .extraArgs = { "--pairing-delay", "0" } } };
    AppProcess m_app;
    int m_baseline = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.start());
        QVERIFY(m_app.startWithMCP({ "-autoHost", m_sim.address() }, kPort));
        QTRY_COMPARE_WITH_TIMEOUT(connection(), QStringLiteral("ready"), 20000);
        // The discovery scan of the start-up holds a socket for a few seconds: counts start once
        // it is over.
        QVERIFY(m_app.waitForLog(QStringLiteral("SSDP 发现 0 台电视: []")));
        // Warm up: the first requests may open descriptors that stay for the process's life.
        clients(1, 100, [](int, int i) { post(kPort, rpc(QStringLiteral("ping"), {}, i)); });
        m_baseline = m_app.openFiles();
    }

    void cleanup() { m_sim.control("/fault", { { "clear", true } }); }

    void idleConnectionsAndManyRequests()
    {
        // 500 connections: some silent, some in the middle of the head, some waiting for a body.
        const QByteArray partials[] = {
            QByteArray(),
            "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n",
            "POST /mcp HTTP/1.1\r\nContent-Length: 100\r\n\r\n{\"jsonrpc\":",
        };
        std::vector<int> idle;
        for (int i = 0; i < 500; ++i) {
            const int fd = openIdle(kPort, partials[i % 3]);
            QVERIFY2(fd >= 0, "connection refused while others are held open");
            idle.push_back(fd);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_app.openFiles() >= m_baseline + 500, 25000);

        // Meanwhile 8 clients send 4,000 requests: valid ones, malformed ones, batches answered
        // with 202, and clients that hang up without reading the answer. Each of the others gets
        // its own answer, once.
        std::atomic<int> wrong { 0 };
        clients(8, 500, [&wrong](int t, int i) {
            const int n = t * 500 + i;
            if (n % 50 == 7) {
                const int fd = openIdle(kPort, "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
                if (fd >= 0)
                    ::close(fd); // gone before the answer
                return;
            }
            const QByteArray body = n % 10 == 3 ? QByteArray("{not json")
                : n % 10 == 5                   ? QByteArray("[]")
                                                : rpc(QString::fromLatin1(n % 2 ? "ping" : "tools/list"), {}, n);
            const Reply r = post(kPort, body, 20000);
            const QJsonObject answer = QJsonDocument::fromJson(r.body).object();
            if (n % 10 == 3)
                wrong += r.status != 400 || answer.value("error")["code"].toInt() != -32700;
            else if (n % 10 == 5)
                wrong += r.status != 202 || !r.body.isEmpty();
            else
                wrong += r.status != 200 || answer.value("id").toInt() != n || !answer.contains("result");
        });
        QCOMPARE(wrong.load(), 0);

        // Once the idle clients give up, the server lets their connections go.
        for (int fd : idle)
            ::close(fd);
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_app.openFiles() <= m_baseline, qPrintable(QString::number(m_app.openFiles())), 5000);
        QCOMPARE(connection(), QStringLiteral("ready"));
    }

    void hundredCallsWaitForASlowTV()
    {
        // The connection breaks; the TV then takes its time over the connection sequence, and a
        // hundred status calls arrive while the session reconnects.
        m_sim.control("/fault", { { "delay", QJsonObject { { "uri", "system/getSystemInfo" }, { "ms", 1500 } } } });
        m_sim.control("/fault", { { "drop", true } });
        // The app has seen the connection end (asking its status now would reconnect).
        QTRY_VERIFY_WITH_TIMEOUT(!readLogMessages().filter(QStringLiteral("主通道断开")).isEmpty(), 10000);

        std::atomic<int> ready { 0 };
        clients(100, 1, [&ready](int, int) { ready += connection(60000) == QStringLiteral("ready"); });
        QCOMPARE(ready.load(), 100);
        // One connection served them all.
        QCOMPARE(m_sim.state().value("connections").toInt(), 1);
    }

    // A call in flight when the TV drops its sockets fails at once; a call to a TV that stops
    // answering times out. Either way the next call works.
    void callsEndWhenTheTVFails()
    {
        QTRY_COMPARE_WITH_TIMEOUT(connection(), QStringLiteral("ready"), 20000);
        m_sim.control("/fault", { { "delay", QJsonObject { { "uri", "audio/volumeDown" }, { "ms", 3000 } } } });
        std::future<ToolResult> call = std::async(std::launch::async, [] {
            return toolResult(post(kPort, toolCall("tv_volume", { { "action", "down" } }), 60000));
        });
        m_sim.waitForReceived("ssap", [](const QJsonObject &message) {
            return message.value("json")["uri"].toString().endsWith(QStringLiteral("audio/volumeDown"));
        });
        m_sim.control("/fault", { { "drop", true } });
        QVERIFY(call.wait_for(std::chrono::seconds(20)) == std::future_status::ready);
        const ToolResult failed = call.get();
        QVERIFY(failed.ok && failed.isError);
        // Not the time-out: the dropped socket ended the wait.
        QVERIFY2(
            !failed.text.trimmed().isEmpty() && failed.text != QStringLiteral("电视响应超时"), qPrintable(failed.text));
        m_sim.control("/fault", { { "clear", true } });
        const ToolResult next = toolResult(post(kPort, toolCall("tv_volume", { { "action", "up" } })));
        QVERIFY2(next.ok && !next.isError && next.text.startsWith(QStringLiteral("Volume: ")), qPrintable(next.text));

        m_sim.control("/fault", { { "hang", true } });
        const ToolResult hung = toolResult(post(kPort, toolCall("tv_mute", { { "muted", true } }), 60000));
        QVERIFY(hung.ok && hung.isError);
        QCOMPARE(hung.text, QStringLiteral("电视响应超时"));
        // The TV answers again: so does the app, on the connection it kept.
        m_sim.control("/fault", { { "hang", false } });
        const ToolResult unmuted = toolResult(post(kPort, toolCall("tv_mute", { { "muted", false } })));
        QVERIFY2(unmuted.ok && !unmuted.isError, qPrintable(unmuted.text));
    }

    // A closed connection's socket object goes too (it holds no descriptor once closed, so only
    // the server's children show it): the listener in this process.
    void servedSocketsAreReleased()
    {
        const quint16 port = kPort + 1;
        AppParts parts({ .launchArguments = { "-mcpPort", QString::number(port) } });
        MCPServer &server = parts.server();
        server.start();
        QVERIFY(server.isRunning());
        const qsizetype idle = server.children().size();
        const int answered = offThread([port] {
            int ok = 0;
            for (int i = 0; i < 500; ++i)
                ok += post(port, rpc(QStringLiteral("ping"), {}, i), 10000).status == 200;
            return ok;
        });
        QCOMPARE(answered, 500);
        QTRY_COMPARE(server.children().size(), idle);
    }
};

QTEST_GUILESS_MAIN(TestLoad)
#include "test_load.moc"
