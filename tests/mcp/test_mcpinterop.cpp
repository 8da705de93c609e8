// The official MCP TypeScript SDK client against the service, over Streamable HTTP and through
// the stdio bridge, with a session paired to the TV emulator behind it.
#include "mcpserver.h"
#include "testenv.h"
#include "toolrig.h"
#include "tvsimprocess.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString kHost = QStringLiteral("127.0.0.24");
constexpr quint16 kPort = 18730;

} // namespace

class TestMCPInterop : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

private Q_SLOTS:
    void sdkClientOverHttpAndStdio()
    {
        const QString clientDir = qEnvironmentVariable("CORVANE_SOURCE_DIR") + QStringLiteral("/tests/mcp-client");
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY2(!node.isEmpty(), "node is not installed: run scripts/setup");
        QVERIFY2(QFile::exists(clientDir + QStringLiteral("/node_modules/@modelcontextprotocol/sdk/package.json")),
            "the MCP SDK is not installed: run scripts/setup (npm ci in tests/mcp-client)");

        TVSimProcess sim(
            { .address = kHost, .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50") } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        ToolRig rig;
        QVERIFY(rig.pair(rig.addTV(kHost, QStringLiteral("Interop TV"))));

        Preferences preferences(m_home.path() + QStringLiteral("/interop.conf"));
        preferences.setInteger(QStringLiteral("mcpPort"), kPort);
        MCPServer server(rig.tools(), preferences);
        server.start();
        QVERIFY(server.isRunning());
        sim.clearReceived();

        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CORVANE_BRIDGE_START_COMMAND"), QStringLiteral("/bin/true")); // never a second app
        client.setProcessEnvironment(env);
        client.setWorkingDirectory(clientDir);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(node,
            { clientDir + QStringLiteral("/interop.mjs"), server.endpointURL(),
                binDir() + QStringLiteral("/corvane-remote"), QStringLiteral("--mcp-stdio"), QStringLiteral("-mcpPort"),
                QString::number(kPort) });
        QVERIFY(client.waitForStarted());
        // The event loop keeps serving the client while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 90000);
        const QByteArray output = client.readAll();
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, output.constData());
        QVERIFY2(output.contains(R"({"transport":"http","ok":true)"), output.constData());
        QVERIFY2(output.contains(R"({"transport":"stdio","ok":true)"), output.constData());

        // Both clients' commands reached the TV.
        const QList<QJsonObject> volumes = ssapRequests(sim.received(), QStringLiteral("audio/setVolume"));
        QCOMPARE(volumes.size(), 2);
        QCOMPARE(volumes.at(0).value(QStringLiteral("payload")).toObject().value(QStringLiteral("volume")).toInt(), 21);
        QCOMPARE(volumes.at(1).value(QStringLiteral("payload")).toObject().value(QStringLiteral("volume")).toInt(), 22);
        const QList<QJsonObject> toasts
            = ssapRequests(sim.received(), QStringLiteral("system.notifications/createToast"));
        QCOMPARE(toasts.size(), 2);
        QCOMPARE(toasts.at(1).value(QStringLiteral("payload")).toObject().value(QStringLiteral("message")).toString(),
            QStringLiteral("hello over stdio"));
        QCOMPARE(sim.state().value(QStringLiteral("volume")).toInt(), 22);
    }
};

QTEST_GUILESS_MAIN(TestMCPInterop)
#include "test_mcpinterop.moc"
