// The real app's MCP listener under load: many connections that never finish their request must
// not keep others from being answered, and thousands of requests must not leave descriptors
// behind in the server process.

#include "loadrig.h"
#include "testenv.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace Load;

namespace {

const quint16 kPort = 18950;

// A connection that sent part of a request head and then nothing.
int idleConnection(quint16 port, const QByteArray &partial)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (!partial.isEmpty())
        ::send(fd, partial.constData(), size_t(partial.size()), MSG_NOSIGNAL);
    return fd;
}

// The server's descriptors when it is idle: the fewest seen over a short while (a line being
// logged holds the log file open for a moment).
int idleOpenFiles(const AppProcess &app)
{
    int fewest = app.openFiles();
    for (int i = 0; i < 10; ++i) {
        QTest::qWait(50);
        fewest = std::min(fewest, app.openFiles());
    }
    return fewest;
}

// The descriptor count once it is down to atMost (closed connections are released from the
// event loop), or what is left after a few seconds.
int openFilesAfterRelease(const AppProcess &app, int atMost)
{
    int count = app.openFiles();
    for (int i = 0; i < 100 && count > atMost; ++i) {
        QTest::qWait(50);
        count = app.openFiles();
    }
    return count;
}

} // namespace

class TestLoadListener : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    AppProcess m_app;

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString reason = enterPrivateNetwork(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        QVERIFY(m_app.start({}, kPort));
        QCOMPARE(post(kPort, rpc(QStringLiteral("ping"))).status, 200);
        // The discovery scan of the start-up holds a socket for a few seconds: the counts
        // start once it is over.
        QTRY_VERIFY_WITH_TIMEOUT(!readLogMessages().filter(QStringLiteral("SSDP 发现")).isEmpty(), 20000);
    }

    void cleanupTestCase() { m_app.stop(); }

    void idleConnectionsDoNotStarveOthers()
    {
        const int baseline = idleOpenFiles(m_app);
        // 500 connections: some silent, some in the middle of the head, some waiting for a body.
        const QByteArray partials[] = {
            QByteArray(),
            "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n",
            "POST /mcp HTTP/1.1\r\nContent-Length: 100\r\n\r\n{\"jsonrpc\":",
        };
        std::vector<int> idle;
        for (int i = 0; i < 500; ++i) {
            const int fd = idleConnection(kPort, partials[i % 3]);
            QVERIFY2(fd >= 0, "connection refused while others are held open");
            idle.push_back(fd);
        }
        // Every idle connection has reached the server.
        QTRY_VERIFY_WITH_TIMEOUT(m_app.openFiles() >= baseline + 500, 25000);

        // Meanwhile other clients, eight at a time, are all answered.
        std::atomic<int> answered{0};
        std::vector<std::thread> clients;
        for (int t = 0; t < 8; ++t) {
            clients.emplace_back([&answered, t] {
                for (int i = 0; i < 25; ++i) {
                    const Response r = post(kPort, rpc(QString::fromLatin1(i % 2 ? "ping" : "tools/list"), {}, t * 100 + i), 20000);
                    if (r.status == 200 && r.body.contains("\"result\""))
                        ++answered;
                }
            });
        }
        for (std::thread &client : clients)
            client.join();
        QCOMPARE(answered.load(), 200);

        // Once the idle clients give up, the server lets their connections go.
        for (int fd : idle)
            ::close(fd);
        QCOMPARE_LE(openFilesAfterRelease(m_app, baseline), baseline);
        QVERIFY(m_app.isRunning());
    }

    void manyRequestsLeaveNoDescriptorsBehind()
    {
        // Warm up once: the first requests may open descriptors that stay for the process's life.
        for (int i = 0; i < 200; ++i)
            post(kPort, rpc(QStringLiteral("ping"), {}, i));
        const int baseline = idleOpenFiles(m_app);

        // 10,000 requests from 8 clients: valid ones, malformed ones, wrong paths and methods,
        // and clients that hang up without reading the answer.
        std::atomic<int> answered{0};
        std::atomic<int> failed{0};
        std::vector<std::thread> clients;
        for (int t = 0; t < 8; ++t) {
            clients.emplace_back([&, t] {
                for (int i = 0; i < 1250; ++i) {
                    const int n = t * 1250 + i;
                    if (n % 50 == 7) {
                        const int fd = idleConnection(kPort, "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
                        if (fd >= 0)
                            ::close(fd); // gone before the answer
                        continue;
                    }
                    const QByteArray body = n % 10 == 3 ? QByteArray("{not json") : rpc(QStringLiteral("ping"), {}, n);
                    const Response r = post(kPort, body, 20000);
                    if (r.status == 200 || r.status == 400)
                        ++answered;
                    else
                        ++failed;
                }
            });
        }
        for (std::thread &client : clients)
            client.join();
        QCOMPARE(failed.load(), 0);
        QCOMPARE(answered.load(), 10000 - 200);

        QCOMPARE_LE(openFilesAfterRelease(m_app, baseline), baseline);
        QCOMPARE(post(kPort, rpc(QStringLiteral("ping"))).status, 200);
    }
};

QTEST_GUILESS_MAIN(TestLoadListener)
#include "test_loadlistener.moc"
