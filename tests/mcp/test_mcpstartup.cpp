// The real app's MCP listener at start-up, an agent driving the emulator through the running app
// over HTTP and the stdio bridge, and the bridge's framing and errors against a service in this
// process.
#include "appparts.h"
#include "appprocess.h"
#include "httpclient.h"
#include "mcpserver.h"
#include "platform.h"
#include "simmessages.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <signal.h>

#include <memory>

namespace {

const QString kHost = QStringLiteral("127.0.0.25");

} // namespace

class TestMCPStartup : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<AppProcess> m_app;
    std::unique_ptr<AppParts> m_rig
        = std::make_unique<AppParts>(AppParts::quick()); // serves the bridge in this process
    const QString m_marker = m_home.path() + QStringLiteral("/marker");

    // Starts the app and waits until its start-up routine connects to host (logged after the
    // listener has started or been skipped).
    void startApp(const QStringList &arguments, const QString &host = QStringLiteral("127.0.0.99"))
    {
        m_app = std::make_unique<AppProcess>();
        QFile::remove(m_home.logFile());
        QVERIFY(m_app->start(arguments + QStringList { "-autoHost", host }));
        QVERIFY(m_app->waitForLog(QStringLiteral("连接 ") + host));
    }

    // How often the bridge ran its start command (one that only records that it ran).
    int starts() const
    {
        QFile file(m_marker);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    // Waits (serving events meanwhile) for one line of standard output.
    static QByteArray readLine(QProcess &process, int timeoutMs = 15000)
    {
        if (!QTest::qWaitFor([&] { return process.canReadLine(); }, timeoutMs))
            return QByteArray("<no line>");
        return process.readLine();
    }

    static QByteArray pingReply(const QByteArray &id)
    {
        return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})" + "\n";
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!inPrivateNetwork())
            QSKIP("start-up sends SSDP multicast: run inside a private network namespace (scripts/test does)");
    }

    void cleanup()
    {
        m_app.reset();
        // An app a bridge started holds the instance lock.
        const QString lock = Platform::instanceLockPath();
        qint64 pid = 0;
        if (QLockFile(lock).getLockInfo(&pid, nullptr, nullptr)
            && QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))
                   .endsWith(QStringLiteral("/corvane-remote")))
            ::kill(pid_t(pid), SIGKILL);
        QFile::remove(lock);
        QFile::remove(m_home.settingsFile());
        qunsetenv("CORVANE_BRIDGE_START_COMMAND");
        qunsetenv("CORVANE_BRIDGE_RETRY_PAUSE_MS");
    }

    // The stored port is used, and its being busy does not stop the start-up: the TV connection
    // still follows.
    void busyPortAtStartup()
    {
        QSettings(m_home.settingsFile(), QSettings::NativeFormat).setValue(QStringLiteral("mcpPort"), 18752);
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress(QStringLiteral("127.0.0.1")), 18752));
        startApp({});
        QVERIFY(!readLogMessages().filter(QStringLiteral("MCP 服务失败: ")).isEmpty());
        QVERIFY(m_app->isRunning());
    }

    // The bridge's real start path: with no app running, it starts one on the bridge's port.
    void bridgeStartsTheApp()
    {
        qputenv("CORVANE_BRIDGE_RETRY_PAUSE_MS", "500");
        AppProcess bridge;
        QVERIFY(bridge.start({ "--mcp-stdio", "-mcpPort", "18755" }, QProcess::SeparateChannels));
        bridge.process().write(Http::rpc("ping", {}, 5) + "\n");
        bridge.process().closeWriteChannel();
        QVERIFY(bridge.process().waitForFinished(60000));
        QCOMPARE(bridge.process().readAllStandardOutput(), pingReply("5"));
    }

    void agentDrivesTheRunningApp()
    {
        const QString clientDir = qEnvironmentVariable("CORVANE_SOURCE_DIR") + QStringLiteral("/tests/mcp-client");
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY2(!node.isEmpty(), "node is not installed: run scripts/setup");
        QVERIFY2(QFile::exists(clientDir + QStringLiteral("/node_modules/@modelcontextprotocol/sdk/package.json")),
            "the MCP SDK is not installed: run scripts/setup (npm ci in tests/mcp-client)");

        TVSimProcess sim({ .address = kHost, .extraArgs = { "--pairing-delay", "50" } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        startApp({}, kHost); // on by default, on port 8765
        QVERIFY(readLogMessages().contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:8765/mcp")));
        // Paired and ready once tv_status says so.
        QTRY_VERIFY_WITH_TIMEOUT(
            Http::toolResult(Http::post(8765, Http::toolCall("tv_status"))).text.contains("\"connection\": \"ready\""),
            20000);
        sim.clearReceived();

        qputenv("CORVANE_BRIDGE_START_COMMAND", "/bin/true"); // never a second app
        QProcess client;
        client.setWorkingDirectory(clientDir);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(node,
            { clientDir + "/interop.mjs", "http://127.0.0.1:8765/mcp", binDir() + "/corvane-remote", "--mcp-stdio" });
        QVERIFY(client.waitForFinished(90000));
        const QByteArray output = client.readAll();
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, output.constData());
        QVERIFY2(output.contains(R"({"transport":"http","ok":true)"), output.constData());
        QVERIFY2(output.contains(R"({"transport":"stdio","ok":true)"), output.constData());
        // Both clients' commands reached the TV.
        QCOMPARE(ssapPayload(sim.received(), "audio/setVolume", 0).value("volume").toInt(), 21);
        QCOMPARE(ssapPayload(sim.received(), "audio/setVolume", 1).value("volume").toInt(), 22);
        QCOMPARE(ssapPayload(sim.received(), "system.notifications/createToast", 1).value("message").toString(),
            QStringLiteral("hello over stdio"));
        QCOMPARE(ssapRequests(sim.received(), "tv/openChannel").size(), 2);
        QCOMPARE(sim.state().value("webPage").toString(), QStringLiteral("https://example.com/stdio"));
    }

    // The stdio bridge against a service in this process: forwarded line for line while it runs;
    // while it is gone, every line is given up with an error; back again, it is used at once by
    // the next line.
    void bridgeFramingAndUnreachableService()
    {
        m_rig->preferences().setInteger(QStringLiteral("mcpPort"), 18710);
        MCPServer &server = m_rig->server();
        server.start();
        QVERIFY(server.isRunning());
        qputenv("CORVANE_BRIDGE_START_COMMAND",
            QStringLiteral("/bin/sh -c \"echo started >> '%1'\"").arg(m_marker).toUtf8());
        qputenv("CORVANE_BRIDGE_RETRY_PAUSE_MS", "20");
        AppProcess app;
        QVERIFY(app.start({ "--mcp-stdio", "-mcpPort", "18710" }, QProcess::SeparateChannels));
        QProcess *bridge = &app.process();
        const auto send = [bridge](const QByteArray &line) { bridge->write(line + "\n"); };

        send(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
        QCOMPARE(readLine(*bridge), pingReply("1"));
        // A notification, blank lines and a line of blanks give nothing; the next request's
        // answer is the next line.
        send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
        bridge->write("\n   \n\t \n\r\n");
        send(R"({"jsonrpc":"2.0","id":"two","method":"ping"})"
             "\r");
        QCOMPARE(readLine(*bridge), pingReply(R"("two")"));
        // A 400 with a body is passed through like any answer.
        send("{not json");
        QCOMPARE(readLine(*bridge),
            QByteArray(R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})"
                       "\n"));
        QCOMPARE(starts(), 0); // reachable: nothing was started

        // A running app with its service switched off is reported as such, not started again.
        server.stop();
        startApp({ "-mcpEnabled", "false", "-mcpPort", "18710" });
        QVERIFY(readLogMessages().filter(QStringLiteral("MCP 服务")).isEmpty());
        send(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})");
        QCOMPARE(readLine(*bridge, 30000),
            R"({"jsonrpc":"2.0","id":7,"error":{"code":-32000,"message":"Corvane Remote app is running but its MCP )"
            R"(service is off or not reachable"}})"
            "\n");
        m_app.reset();
        // No app: no start either, as the bridge tried once already; text ids keep their quotes,
        // null stays null, a notification gets the stderr line only.
        const QByteArray errorTail
            = R"(,"error":{"code":-32000,"message":"Corvane Remote app is not running or MCP is disabled"}})"
              "\n";
        send(R"({"jsonrpc":"2.0","id":"abc","method":"ping"})");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":"abc")" + errorTail);
        send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
        send(R"({"jsonrpc":"2.0","id":null,"method":"ping"})");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":null)" + errorTail);
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] { return (errors += bridge->readAllStandardError()).count('\n') >= 4; }, 5000));
        QCOMPARE(errors, QByteArray("corvane-remote: app not reachable at http://127.0.0.1:18710/mcp\n").repeated(4));

        // The last line may lack its newline.
        server.start();
        QVERIFY(server.isRunning());
        bridge->write(R"({"id":3,"method":"ping"})");
        bridge->closeWriteChannel();
        QCOMPARE(readLine(*bridge), pingReply("3"));
        QVERIFY(QTest::qWaitFor([&] { return bridge->state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(bridge->exitStatus(), QProcess::NormalExit);
        QCOMPARE(bridge->exitCode(), 0);
        QCOMPARE(bridge->readAllStandardError(), QByteArray());
        QCOMPARE(starts(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMCPStartup)
#include "test_mcpstartup.moc"
