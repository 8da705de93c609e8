// The real application: its MCP listener at start-up (on by default, off when "mcpEnabled" is
// false, a busy port does not stop the start-up), and an agent driving the TV emulator through
// the running app over HTTP and through the stdio bridge.
//
// The app scans for TVs by SSDP multicast at start-up, so this whole test runs in a network
// namespace of its own (entered in initTestCase; needs root, which CI has).
#include "applog.h"
#include "testenv.h"
#include "toolrig.h"
#include "tvsimprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <memory>

namespace {

const QString kHost = QStringLiteral("127.0.0.25");

QString logText()
{
    QFile log(logFileURL());
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

bool listening(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(1000);
}

// One JSON-RPC request over a fresh connection; the parsed answer body.
QJsonObject post(quint16 port, const QByteArray &body)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write("POST /mcp HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray response;
    while (socket.waitForReadyRead(20000))
        response += socket.readAll();
    response += socket.readAll();
    return QJsonDocument::fromJson(response.mid(response.indexOf("\r\n\r\n") + 4)).object();
}

} // namespace

class TestMCPStartup : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<QProcess> m_app;

    void startApp(const QStringList &arguments)
    {
        QFile::remove(logFileURL());
        m_app = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_app->setProcessEnvironment(env);
        m_app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app->start(binDir() + QStringLiteral("/corvane-remote"), arguments);
        QVERIFY(m_app->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("启动 Corvane Remote")), 20000);
    }

    void stopApp()
    {
        if (!m_app)
            return;
        m_app->terminate();
        if (!m_app->waitForFinished(10000))
            m_app->kill();
        m_app.reset();
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
        stopApp();
        for (const qint64 pid : appsOfThisHome()) // started by a bridge
            ::kill(pid_t(pid), SIGKILL);
        QFile::remove(m_home.settingsFile());
    }

    void listenerAtStartup()
    {
        // No preferences at all: port 8765 (free in this namespace).
        startApp({});
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:8765/mcp")), 10000);
        QCOMPARE(post(8765, R"({"jsonrpc":"2.0","id":1,"method":"ping"})").value(QStringLiteral("id")).toInt(), 1);
        stopApp();

        // Switched off for this run: nothing listens, the start-up goes on.
        startApp({ "-mcpEnabled", "false", "-mcpPort", "18750" });
        QTest::qWait(500);
        QVERIFY(!logText().contains(QStringLiteral("MCP 服务")));
        QVERIFY(!listening(18750));
        stopApp();

        // Stored as true (and a stored port): it starts.
        {
            QSettings settings(m_home.settingsFile(), QSettings::NativeFormat);
            settings.setValue(QStringLiteral("mcpEnabled"), true);
            settings.setValue(QStringLiteral("mcpPort"), 18751);
        }
        startApp({});
        QTRY_VERIFY_WITH_TIMEOUT(listening(18751), 10000);
        QVERIFY(logText().contains(QStringLiteral("MCP 服务已启动 http://127.0.0.1:18751/mcp")));
    }

    // The bridge's real start path: the app is started only when none runs, and on the bridge's
    // port; a running app with its service switched off is reported as such, not started again.
    void bridgeStartsTheAppOnlyWhenNoneRuns()
    {
        const auto askThroughBridge = [](quint16 port, const QString &retryPauseMs) {
            QProcess bridge;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("CORVANE_BRIDGE_RETRY_PAUSE_MS"), retryPauseMs);
            bridge.setProcessEnvironment(env);
            bridge.start(binDir() + QStringLiteral("/corvane-remote"),
                { QStringLiteral("--mcp-stdio"), QStringLiteral("-mcpPort"), QString::number(port) });
            bridge.write(R"({"jsonrpc":"2.0","id":5,"method":"ping"})"
                         "\n");
            bridge.closeWriteChannel();
            bridge.waitForFinished(60000);
            return bridge.readAllStandardOutput();
        };

        startApp({ "-mcpEnabled", "false", "-mcpPort", "18754" });
        QCOMPARE(askThroughBridge(18754, "20"),
            QByteArray(R"({"jsonrpc":"2.0","id":5,"error":{"code":-32000,"message":"Corvane Remote app is running but )"
                       R"(its MCP service is off or not reachable"}})"
                       "\n"));
        QCOMPARE(appsOfThisHome(), QList<qint64> { m_app->processId() });
        stopApp();

        QCOMPARE(askThroughBridge(18755, "500"),
            QByteArray(R"({"id":5,"jsonrpc":"2.0","result":{}})"
                       "\n"));
        QCOMPARE(appsOfThisHome().size(), 1);
    }

    void busyPortDoesNotStopStartup()
    {
        QTcpServer blocker;
        QVERIFY(blocker.listen(QHostAddress(QStringLiteral("127.0.0.1")), 18752));
        TVSimProcess sim({ .address = kHost, .extraArgs = { "--pairing-delay", "50" } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        startApp({ "-mcpPort", "18752", "-autoHost", kHost });
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("MCP 服务失败: ")), 10000);
        QVERIFY(!logText().contains(QStringLiteral("MCP 服务已启动")));
        // The TV connection still happens after the failed listener.
        QTRY_VERIFY_WITH_TIMEOUT(!sim.state().value(QStringLiteral("clientKeys")).toArray().isEmpty(), 15000);
        QCOMPARE(m_app->state(), QProcess::Running);
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
        startApp({ "-mcpPort", "18753", "-autoHost", kHost });
        QTRY_VERIFY_WITH_TIMEOUT(listening(18753), 10000);
        // Paired and ready once tv_status says so.
        const QByteArray status = R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"tv_status"}})";
        QTRY_VERIFY_WITH_TIMEOUT(
            post(18753, status).value("result")["content"][0]["text"].toString().contains("\"connection\": \"ready\""),
            20000);
        sim.clearReceived();

        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_BRIDGE_START_COMMAND", "/bin/true"); // never a second app
        client.setProcessEnvironment(env);
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
        QVERIFY(logText().contains(QStringLiteral("MCP 调用 tv_volume ")));
    }
};

QTEST_GUILESS_MAIN(TestMCPStartup)
#include "test_mcpstartup.moc"
