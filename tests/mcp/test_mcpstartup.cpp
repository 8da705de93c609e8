// The real app's MCP listener at start-up, an agent driving the emulator through the running app
// over HTTP and the stdio bridge, and the bridge's framing and errors against a service in this
// process. The app scans by SSDP multicast at start-up: the test runs in a network namespace of
// its own (entered in initTestCase; needs root, which CI has).
#include "appparts.h"
#include "appprocess.h"
#include "httpclient.h"
#include "mcpserver.h"
#include "simmessages.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

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

    // Starts the app and waits until its start-up routine connects to host (logged after the
    // listener has started or been skipped).
    void startApp(const QStringList &arguments, const QString &host = QStringLiteral("127.0.0.99"))
    {
        m_app = std::make_unique<AppProcess>();
        QFile::remove(m_home.logFile());
        QVERIFY(m_app->start(arguments + QStringList { "-autoHost", host }));
        QVERIFY(m_app->waitForLog(QStringLiteral("连接 ") + host));
    }

    // Window apps (not bridges) of this test's home, whoever started them.
    QList<qint64> appsOfThisHome() const
    {
        QList<qint64> pids;
        const QString exe = QFileInfo(binDir() + QStringLiteral("/corvane-remote")).canonicalFilePath();
        const QByteArray home = "HOME=" + QFile::encodeName(m_home.path());
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString dir = QStringLiteral("/proc/") + entry;
            QFile environment(dir + QStringLiteral("/environ"));
            QFile commandLine(dir + QStringLiteral("/cmdline"));
            if (QFileInfo(dir + QStringLiteral("/exe")).canonicalFilePath() != exe
                || !environment.open(QIODevice::ReadOnly) || !commandLine.open(QIODevice::ReadOnly))
                continue;
            if (environment.readAll().split('\0').contains(home)
                && !commandLine.readAll().split('\0').contains("--mcp-stdio"))
                pids << entry.toLongLong();
        }
        return pids;
    }

    std::unique_ptr<MCPServer> serverOn(quint16 port)
    {
        auto preferences = new Preferences(m_home.path() + QStringLiteral("/server-%1.conf").arg(port));
        preferences->setInteger(QStringLiteral("mcpPort"), port);
        auto server = std::make_unique<MCPServer>(m_rig->tools(), *preferences);
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
    void initTestCase()
    {
        if (::unshare(CLONE_NEWNET) != 0) {
            if (::geteuid() != 0)
                QSKIP("needs root for a private network namespace (the app sends SSDP multicast at start-up)");
            QFAIL("unshare(CLONE_NEWNET) failed");
        }
        QCOMPARE(QProcess::execute("ip", { "link", "set", "lo", "up" }), 0);
    }

    void cleanup()
    {
        m_app.reset();
        for (const qint64 pid : appsOfThisHome()) // started by a bridge
            ::kill(pid_t(pid), SIGKILL);
        QFile::remove(m_home.settingsFile());
        qunsetenv("CORVANE_BRIDGE_START_COMMAND");
        qunsetenv("CORVANE_BRIDGE_RETRY_PAUSE_MS");
    }

    // On by default (port 8765, free in this namespace); off for one run with "-mcpEnabled false";
    // the stored port is used, and its being busy does not stop the start-up.
    void listenerAtStartup()
    {
        startApp({});
        QVERIFY(readLogMessages().contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:8765/mcp")));
        QCOMPARE(
            Http::post(8765, Http::rpc("ping", {}, 4)).body, QByteArray(R"({"id":4,"jsonrpc":"2.0","result":{}})"));

        startApp({ "-mcpEnabled", "false", "-mcpPort", "18750" });
        QVERIFY(readLogMessages().filter(QStringLiteral("MCP 服务")).isEmpty());
        QCOMPARE(Http::openIdle(18750), -1);

        // The stored port is the busy one.
        QSettings(m_home.settingsFile(), QSettings::NativeFormat).setValue(QStringLiteral("mcpPort"), 18752);
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress(QStringLiteral("127.0.0.1")), 18752));
        TVSimProcess sim({ .address = kHost, .extraArgs = { "--pairing-delay", "50" } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        startApp({}, kHost);
        QVERIFY(!readLogMessages().filter(QStringLiteral("MCP 服务失败: ")).isEmpty());
        // The TV connection still happens after the failed listener.
        QTRY_VERIFY_WITH_TIMEOUT(!sim.state().value(QStringLiteral("clientKeys")).toArray().isEmpty(), 15000);
        QVERIFY(m_app->isRunning());
    }

    // The bridge's real start path: the app is started only when none runs, and on the bridge's
    // port; a running app with its service switched off is reported as such, not started again.
    void bridgeStartsTheAppOnlyWhenNoneRuns()
    {
        const auto askThroughBridge = [](quint16 port, const QByteArray &retryPauseMs) {
            qputenv("CORVANE_BRIDGE_RETRY_PAUSE_MS", retryPauseMs);
            AppProcess bridge;
            if (!bridge.start({ "--mcp-stdio", "-mcpPort", QString::number(port) }, QProcess::SeparateChannels))
                return QByteArray();
            bridge.process().write(Http::rpc("ping", {}, 5) + "\n");
            bridge.process().closeWriteChannel();
            bridge.process().waitForFinished(60000);
            return bridge.process().readAllStandardOutput();
        };

        startApp({ "-mcpEnabled", "false", "-mcpPort", "18754" });
        QCOMPARE(askThroughBridge(18754, "20"),
            QByteArray(R"({"jsonrpc":"2.0","id":5,"error":{"code":-32000,"message":"Corvane Remote app is running but )"
                       R"(its MCP service is off or not reachable"}})"
                       "\n"));
        QCOMPARE(appsOfThisHome(), QList<qint64> { m_app->process().processId() });
        m_app.reset();

        QCOMPARE(askThroughBridge(18755, "500"),
            QByteArray(R"({"id":5,"jsonrpc":"2.0","result":{}})"
                       "\n"));
        QCOMPARE(appsOfThisHome().size(), 1);
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
        startApp({ "-mcpPort", "18753" }, kHost);
        // Paired and ready once tv_status says so.
        QTRY_VERIFY_WITH_TIMEOUT(
            Http::toolResult(Http::post(18753, Http::toolCall("tv_status"))).text.contains("\"connection\": \"ready\""),
            20000);
        sim.clearReceived();

        qputenv("CORVANE_BRIDGE_START_COMMAND", "/bin/true"); // never a second app
        QProcess client;
        client.setWorkingDirectory(clientDir);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(node,
            { clientDir + "/interop.mjs", "http://127.0.0.1:18753/mcp", binDir() + "/corvane-remote", "--mcp-stdio",
                "-mcpPort", "18753" });
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
        QCOMPARE(sim.state().value("volume").toInt(), 22);
        QCOMPARE(ssapRequests(sim.received(), "tv/openChannel").size(), 2);
        QCOMPARE(sim.state().value("webPage").toString(), QStringLiteral("https://example.com/stdio"));
        QVERIFY(!readLogMessages().filter(QStringLiteral("MCP 调用 tv_volume ")).isEmpty());
    }

    // The stdio bridge against a service in this process: forwarded line for line while it runs;
    // while it is gone, the app is started once (the start command only records that it ran) and
    // every line is given up with an error; back again, it is used at once by the next line.
    void bridgeFramingAndUnreachableService()
    {
        auto server = serverOn(18710);
        QVERIFY(server->isRunning());
        const QString marker = m_home.path() + QStringLiteral("/marker");
        const auto app = startBridge(18710, marker);
        QProcess *bridge = &app->process();

        bridge->write(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), pingReply("1"));
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
        QCOMPARE(markerCount(marker), 0); // reachable: nothing was started

        server.reset();
        const QByteArray errorTail
            = R"(,"error":{"code":-32000,"message":"Corvane Remote app is not running or MCP is disabled"}})"
              "\n";
        bridge->write(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})"
                      "\n");
        QCOMPARE(readLine(*bridge, 30000), R"({"jsonrpc":"2.0","id":7)" + errorTail);
        QCOMPARE(markerCount(marker), 1);
        // No new start; text ids keep their quotes, null stays null, a notification gets the
        // stderr line only.
        bridge->write(R"({"jsonrpc":"2.0","id":"abc","method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":"abc")" + errorTail);
        bridge->write(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
                      "\n");
        bridge->write(R"({"jsonrpc":"2.0","id":null,"method":"ping"})"
                      "\n");
        QCOMPARE(readLine(*bridge), R"({"jsonrpc":"2.0","id":null)" + errorTail);
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] { return (errors += bridge->readAllStandardError()).count('\n') >= 4; }, 5000));
        QCOMPARE(errors, QByteArray("corvane-remote: app not reachable at http://127.0.0.1:18710/mcp\n").repeated(4));

        // The last line may lack its newline.
        server = serverOn(18710);
        QVERIFY(server->isRunning());
        bridge->write(R"({"id":3,"method":"ping"})");
        bridge->closeWriteChannel();
        QCOMPARE(readLine(*bridge), pingReply("3"));
        QVERIFY(QTest::qWaitFor([&] { return bridge->state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(bridge->exitStatus(), QProcess::NormalExit);
        QCOMPARE(bridge->exitCode(), 0);
        QCOMPARE(bridge->readAllStandardError(), QByteArray());
        QCOMPARE(markerCount(marker), 1);
    }
};

QTEST_GUILESS_MAIN(TestMCPStartup)
#include "test_mcpstartup.moc"
