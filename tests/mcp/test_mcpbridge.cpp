#include "appprocess.h"
#include "mcpserver.h"
#include "testenv.h"
#include "toolrig.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

// The stdio bridge as the real executable in a subprocess, talking to a server in this process.
class TestMCPBridge : public QObject {
    Q_OBJECT

private:
    static constexpr quint16 runningPort = 18710;
    static constexpr quint16 absentPort = 18711;

    TestHome m_home;
    ToolRig m_rig;

    std::unique_ptr<MCPServer> serverOn(quint16 port)
    {
        auto preferences = new Preferences(m_home.path() + QStringLiteral("/server-%1.conf").arg(port));
        preferences->setInteger(QStringLiteral("mcpPort"), port);
        auto server = std::make_unique<MCPServer>(m_rig.tools(), *preferences);
        connect(server.get(), &QObject::destroyed, [preferences] { delete preferences; });
        server->start();
        return server;
    }

    // The bridge, with a start command that only records that it ran.
    std::unique_ptr<AppProcess> startBridge(quint16 port, const QString &marker)
    {
        qputenv(
            "CORVANE_BRIDGE_START_COMMAND", QStringLiteral("/bin/sh -c \"echo started >> '%1'\"").arg(marker).toUtf8());
        qputenv("CORVANE_BRIDGE_RETRY_PAUSE_MS", "20");
        auto bridge = std::make_unique<AppProcess>();
        [&] {
            QVERIFY(bridge->start({ "--mcp-stdio", "-mcpPort", QString::number(port) }, QProcess::SeparateChannels));
        }();
        return bridge;
    }

    // Waits (serving events meanwhile) for one line of standard output.
    static QByteArray readLine(QProcess &process, int timeoutMs = 15000)
    {
        if (!QTest::qWaitFor([&] { return process.canReadLine(); }, timeoutMs))
            return QByteArray("<no line>");
        return process.readLine();
    }

    static int markerCount(const QString &marker)
    {
        QFile file(marker);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    static QByteArray pingReply(const QByteArray &id)
    {
        return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})" + "\n";
    }

private Q_SLOTS:
    void forwardsToRunningService()
    {
        const auto server = serverOn(runningPort);
        QVERIFY(server->isRunning());
        const QString marker = m_home.path() + QStringLiteral("/running-marker");
        const auto app = startBridge(runningPort, marker);
        QProcess *bridge = &app->process();

        bridge->write(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05"}})"
                      "\n");
        const QByteArray reply = readLine(*bridge);
        QVERIFY2(reply.endsWith('\n') && reply.count('\n') == 1, reply.constData());
        const QJsonObject answer = QJsonDocument::fromJson(reply).object();
        QCOMPARE(answer.value(QStringLiteral("id")).toInt(), 1);
        QCOMPARE(answer[QStringLiteral("result")][QStringLiteral("protocolVersion")].toString(),
            QStringLiteral("2024-11-05"));

        // A notification, blank lines and a line of blanks give nothing; the next request's
        // answer is the next line.
        bridge->write(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                      "\n");
        bridge->write("\n   \n\t \n\r\n");
        bridge->write(R"({"jsonrpc":"2.0","id":"two","method":"ping"})"
                      "\r\n");
        QCOMPARE(readLine(*bridge), pingReply(R"("two")"));

        // A 400 with a body is passed through like any answer.
        bridge->write("{not json\n");
        QCOMPARE(readLine(*bridge),
            QByteArray(R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})"
                       "\n"));

        // The last line may lack its newline.
        bridge->write(R"({"id":3,"method":"ping"})");
        bridge->closeWriteChannel();
        QCOMPARE(readLine(*bridge), pingReply("3"));
        QVERIFY(QTest::qWaitFor([&] { return bridge->state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(bridge->exitStatus(), QProcess::NormalExit);
        QCOMPARE(bridge->exitCode(), 0);
        QCOMPARE(bridge->readAllStandardError(), QByteArray());
        QCOMPARE(markerCount(marker), 0); // reachable: nothing was started
    }

    void reportsUnreachableService()
    {
        const QString marker = m_home.path() + QStringLiteral("/absent-marker");
        const auto app = startBridge(absentPort, marker);
        QProcess *bridge = &app->process();
        const QByteArray errorTail
            = R"(,"error":{"code":-32000,"message":"Corvane Remote app is not running or MCP is disabled"}})"
              "\n";
        const QByteArray stderrLine = "corvane-remote: app not reachable at http://127.0.0.1:18711/mcp\n";

        // First request: the app is started once, retried, then given up.
        bridge->write(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})"
                      "\n");
        QCOMPARE(readLine(*bridge, 30000), R"({"jsonrpc":"2.0","id":7)" + errorTail);
        QCOMPARE(markerCount(marker), 1);
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] { return (errors += bridge->readAllStandardError()).contains('\n'); }, 5000));
        QCOMPARE(errors, stderrLine);

        // Later requests: no new start; text ids keep their quotes, null stays null, and a
        // notification gets the stderr line only.
        bridge->write(R"({"jsonrpc":"2.0","id":"abc","method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":"abc")" + errorTail);
        bridge->write(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                      "\n");
        bridge->write(R"({"jsonrpc":"2.0","id":null,"method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":null)" + errorTail);
        QVERIFY(QTest::qWaitFor([&] { return (errors += bridge->readAllStandardError()).count('\n') >= 4; }, 5000));
        QCOMPARE(errors, stderrLine.repeated(4)); // one per line given up, notifications included
        QCOMPARE(markerCount(marker), 1);

        // The service coming up later is used at once by the next line.
        const auto server = serverOn(absentPort);
        QVERIFY(server->isRunning());
        bridge->write(R"({"id":8,"method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), pingReply("8"));

        bridge->closeWriteChannel();
        QVERIFY(QTest::qWaitFor([&] { return bridge->state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(bridge->exitCode(), 0);
        QCOMPARE(markerCount(marker), 1);
    }
};

QTEST_GUILESS_MAIN(TestMCPBridge)
#include "test_mcpbridge.moc"
