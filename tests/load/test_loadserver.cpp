// The MCP listener in this process under a stream of requests: what a served connection leaves
// behind once it is closed (sockets, timers) must not pile up.

#include "devicestore.h"
#include "loadrig.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "preferences.h"
#include "testenv.h"
#include "tvsession.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace Load;

namespace {

const quint16 kPort = 18975;

// Objects the event dispatcher owns: QTimer::singleShot keeps one for each pending shot.
int dispatcherObjects()
{
    return int(QAbstractEventDispatcher::instance()->children().size());
}

} // namespace

class TestLoadServer : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

private Q_SLOTS:
    void servedConnectionsLeaveNothingBehind()
    {
        Preferences preferences(m_home.path() + QStringLiteral("/server.conf"),
                                {QStringLiteral("corvane-remote"), QStringLiteral("-mcpPort"), QString::number(kPort)});
        DeviceStore store(preferences);
        TVScanner scanner(store);
        TVSession session(store, scanner);
        MCPTools tools(session);
        MCPServer server(tools, preferences);
        server.start();
        QVERIFY(server.isRunning());

        const int sockets = int(server.children().size());
        const int shots = dispatcherObjects();
        std::atomic<int> answered{0};
        std::atomic<bool> done{false};
        std::thread client([&] {
            for (int i = 0; i < 2000; ++i) {
                const QByteArray body = i % 4 == 0 ? QByteArray("[]") : rpc(QStringLiteral("ping"), {}, i);
                const Response r = post(kPort, body, 10000);
                if (r.status == 200 || r.status == 202)
                    ++answered;
            }
            done = true;
        });
        // Serve from a plain event loop (QTest::qWait sleeps between its rounds).
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done)
                loop.quit();
        });
        poll.start(5);
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(60000);
        loop.exec();
        client.join();
        QCOMPARE(answered.load(), 2000);

        // Every closed connection is gone, and with it every timer it started.
        QTRY_COMPARE_WITH_TIMEOUT(int(server.children().size()), sockets, 5000);
        QCOMPARE_LE(dispatcherObjects(), shots);
    }
};

QTEST_GUILESS_MAIN(TestLoadServer)
#include "test_loadserver.moc"
