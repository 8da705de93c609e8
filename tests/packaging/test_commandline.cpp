#include "appprocess.h"
#include "preferences.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QFile>
#include <QTest>

// The program's command line and modes, run as real subprocesses with a private home.
class TestCommandLine : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

    // No display at all, and a platform plugin that would abort without one: printing the
    // help must not build a GUI application (it has to work over ssh and in scripts).
    static AppProcess::Run run(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return AppProcess::run(arguments, env);
    }

private Q_SLOTS:
    void init() { QFile::remove(m_home.settingsFile()); }

    void helpNamesModesArgumentsFilesAndEndpoint_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("storedPort"); // 0: no preferences file
        QTest::addColumn<int>("endpointPort");
        QTest::newRow("--help") << QStringList { "--help" } << 0 << 8765;
        QTest::newRow("after a launch argument") << QStringList { "-autotest", "full", "-h" } << 0 << 8765;
        QTest::newRow("stored port") << QStringList { "--help" } << 9123 << 9123;
        QTest::newRow("launch argument wins") << QStringList { "-mcpPort", "9300", "--help" } << 9123 << 9300;
    }

    void helpNamesModesArgumentsFilesAndEndpoint()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, storedPort);
        QFETCH(int, endpointPort);
        if (storedPort)
            Preferences(m_home.settingsFile()).setInteger(QStringLiteral("mcpPort"), storedPort);
        const AppProcess::Run r = run(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        for (const char *word : { "--mcp-stdio", "--version", "-autoHost", "-autotest", "-snapshotDir", "-mcpPort",
                 "-mcpEnabled", "-appearance", "-trace" }) {
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
        }
        QVERIFY2(r.out.contains(m_home.logFile()), qPrintable(r.out));
        QVERIFY2(r.out.contains(m_home.settingsFile()), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("\nMCP endpoint:   http://127.0.0.1:%1/mcp\n").arg(endpointPort)));
        // Reading the port creates neither the preferences file nor the log.
        QCOMPARE(QFile::exists(m_home.settingsFile()), storedPort != 0);
        QVERIFY(!QFile::exists(m_home.logFile()));
    }

    // MCP clients may add arguments of their own: with --mcp-stdio present the bridge runs, so
    // its standard output carries JSON-RPC replies only (none here: input ends at once), and it
    // builds no window, preferences or log.
    void versionAndBridgeExitAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("--version") << QStringList { "--version" }
                                   << QStringLiteral("Corvane Remote " CORVANE_VERSION "\n");
        QTest::newRow("bridge before --version") << QStringList { "--help", "--mcp-stdio", "--version" } << QString();
        QTest::newRow("bridge among others") << QStringList { "--verbose", "--mcp-stdio", "x" } << QString();
    }

    void versionAndBridgeExitAtOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const AppProcess::Run r = run(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, out);
        QCOMPARE(r.err, QString());
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile()));
    }

    // One window app per user: a second launch shows the first one's window and exits; a lock
    // left by a killed app is taken over.
    void secondLaunchHandsOver()
    {
        const QString started = QStringLiteral("启动 Corvane Remote");
        AppProcess first;
        QVERIFY(first.start({}));
        QVERIFY(first.waitForLog(started));

        const AppProcess::Run second = AppProcess::run({}, AppProcess::environment(), 40000);
        QCOMPARE(second.exitCode, 0); // a second window app would run on
        QCOMPARE(readLogMessages().count(QStringLiteral("已有 Corvane Remote 在运行，已唤起其窗口")), 1);
        QCOMPARE(readLogMessages().count(started), 1);
        QVERIFY(first.isRunning());

        first.kill(); // no clean-up: the lock file stays behind
        AppProcess third;
        QVERIFY(third.start({}));
        QVERIFY(third.waitForLog(started, 2));
        QVERIFY(third.isRunning());
    }

    // "-trace FILE": the conversation with the TV from its first message on.
    void traceArgumentRecordsFromTheStart()
    {
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.52"), .extraArgs = { "--pairing-delay", "50" } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        const QString trace = m_home.path() + QStringLiteral("/trace.jsonl");
        AppProcess app;
        QVERIFY(app.start({ "-trace", trace, "-autoHost", sim.address(), "-mcpEnabled", "false" }));
        const auto traced = [&trace] {
            QFile file(trace);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(traced().contains("\"event\":\"state\",\"state\":\"ready\""), 20000);
        QVERIFY(traced().contains("\"direction\":\"out\",\"message\":{\"id\":\"hello\""));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
