// The real app's MCP listener under load: connections that never finish their request must not
// keep others from being answered, and thousands of requests (valid, malformed, abandoned) must
// leave no descriptors behind in the server process.

#include "appprocess.h"
#include "devicestore.h"
#include "httpclient.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "preferences.h"
#include "testenv.h"
#include "tvscanner.h"
#include "tvsession.h"

#include <QEventLoop>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Http;

namespace {

const quint16 kPort = 18950;

// The descriptor count once it is down to atMost (closed connections are released from the
// event loop), or what is left after a few seconds.
int openFilesAfterRelease(const AppProcess &app, int atMost)
{
    (void)QTest::qWaitFor([&] { return app.openFiles() <= atMost; }, 5000);
    return app.openFiles();
}

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

} // namespace

class TestLoadListener : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    AppProcess m_app;
    int m_baseline = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_app.startWithMCP({}, kPort));
        // The discovery scan of the start-up holds a socket for a few seconds: counts start once
        // it is over.
        QVERIFY(m_app.waitForLog(QStringLiteral("SSDP 发现 0 台电视: []")));
        // Warm up: the first requests may open descriptors that stay for the process's life.
        clients(1, 100, [](int, int i) { post(kPort, rpc(QStringLiteral("ping"), {}, i)); });
        m_baseline = m_app.openFiles();
    }

    void idleConnectionsDoNotStarveOthers()
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

        // Meanwhile other clients, eight at a time, are all answered.
        std::atomic<int> answered { 0 };
        clients(8, 25, [&answered](int t, int i) {
            const Reply r
                = post(kPort, rpc(QString::fromLatin1(i % 2 ? "ping" : "tools/list"), {}, t * 100 + i), 20000);
            if (r.status == 200 && r.body.contains("\"result\""))
                ++answered;
        });
        QCOMPARE(answered.load(), 200);

        // Once the idle clients give up, the server lets their connections go.
        for (int fd : idle)
            ::close(fd);
        QCOMPARE_LE(openFilesAfterRelease(m_app, m_baseline), m_baseline);
    }

    void manyRequestsLeaveNoDescriptorsBehind()
    {
        // 4,000 requests from 8 clients: valid ones, malformed ones, batches answered with 202,
        // and clients that hang up without reading the answer.
        std::atomic<int> answered { 0 };
        std::atomic<int> failed { 0 };
        clients(8, 500, [&](int t, int i) {
            const int n = t * 500 + i;
            if (n % 50 == 7) {
                const int fd = openIdle(kPort, "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
                if (fd >= 0)
                    ::close(fd); // gone before the answer
                return;
            }
            const QByteArray body = n % 10 == 3 ? QByteArray("{not json")
                : n % 10 == 5                   ? QByteArray("[]")
                                                : rpc(QStringLiteral("ping"), {}, n);
            const Reply r = post(kPort, body, 20000);
            (r.status == 200 || r.status == 202 || r.status == 400 ? answered : failed)++;
        });
        QCOMPARE(failed.load(), 0);
        QCOMPARE(answered.load(), 4000 - 80);

        QCOMPARE_LE(openFilesAfterRelease(m_app, m_baseline), m_baseline);
        QCOMPARE(post(kPort, rpc(QStringLiteral("ping"))).status, 200);
        QVERIFY(m_app.isRunning());
    }

    // A closed connection's socket object goes too (it holds no descriptor once closed, so only
    // the server's children show it): the listener in this process.
    void servedSocketsAreReleased()
    {
        const quint16 port = kPort + 1;
        Preferences preferences(
            m_home.path() + QStringLiteral("/server.conf"), { "corvane-remote", "-mcpPort", QString::number(port) });
        DeviceStore store(preferences);
        TVScanner scanner(store);
        TVSession session(store, scanner);
        MCPTools tools(session);
        MCPServer server(tools, preferences);
        server.start();
        QVERIFY(server.isRunning());
        const qsizetype idle = server.children().size();
        std::atomic<int> answered { 0 };
        QEventLoop loop; // QTest::qWait would sleep between its rounds
        std::thread client([&] {
            for (int i = 0; i < 500; ++i)
                answered += post(port, rpc(QStringLiteral("ping"), {}, i), 10000).status == 200;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        client.join();
        QCOMPARE(answered.load(), 500);
        QTRY_COMPARE(server.children().size(), idle);
    }
};

QTEST_GUILESS_MAIN(TestLoadListener)
#include "test_loadlistener.moc"
