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

    static QString endpointLine(const QString &help)
    {
        for (const QString &line : help.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("MCP endpoint:")))
                return line.mid(13).trimmed();
        }
        return {};
    }

    void nothingWritten() const
    {
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile()));
    }

private Q_SLOTS:
    void init() { QFile::remove(m_home.settingsFile()); }

    void helpNamesModesArgumentsFilesAndEndpoint_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--help") << QStringList { QStringLiteral("--help") };
        QTest::newRow("after a launch argument")
            << QStringList { QStringLiteral("-autotest"), QStringLiteral("full"), QStringLiteral("-h") };
    }

    void helpNamesModesArgumentsFilesAndEndpoint()
    {
        QFETCH(QStringList, arguments);
        const AppProcess::Run r = run(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        for (const char *word : { "--mcp-stdio", "--version", "-autoHost", "-autotest", "-snapshotDir", "-mcpPort",
                 "-mcpEnabled", "-appearance" }) {
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
        }
        QVERIFY2(r.out.contains(m_home.logFile()), qPrintable(r.out));
        QVERIFY2(r.out.contains(m_home.settingsFile()), qPrintable(r.out));
        QCOMPARE(endpointLine(r.out), QStringLiteral("http://127.0.0.1:8765/mcp"));
        // Reading the port must not create the preferences file (nor the log).
        nothingWritten();
    }

    void endpointFollowsThePortRule()
    {
        Preferences(m_home.settingsFile()).setInteger(QStringLiteral("mcpPort"), 9123);
        QCOMPARE(endpointLine(run({ QStringLiteral("--help") }).out), QStringLiteral("http://127.0.0.1:9123/mcp"));
        // A launch argument wins over the stored value for this run.
        QCOMPARE(
            endpointLine(run({ QStringLiteral("-mcpPort"), QStringLiteral("9300"), QStringLiteral("--help") }).out),
            QStringLiteral("http://127.0.0.1:9300/mcp"));
    }

    void versionPrintsOneLine()
    {
        const AppProcess::Run r = run({ QStringLiteral("--version") });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Corvane Remote " CORVANE_VERSION "\n"));
        QCOMPARE(r.err, QString());
    }

    // MCP clients may add arguments of their own: with --mcp-stdio present the bridge runs, so
    // its standard output carries JSON-RPC replies only (none here: input ends at once), and it
    // builds no window, preferences or log.
    void bridgeArgumentWins()
    {
        for (const QStringList &arguments :
            { QStringList { "--help", "--mcp-stdio", "--version" }, QStringList { "--verbose", "--mcp-stdio", "x" } }) {
            const AppProcess::Run r = run(arguments);
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out, QString());
            nothingWritten();
        }
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

    // "-trace FILE": the conversation with the TV from the first message on, in a private file.
    void traceArgumentRecordsFromTheStart()
    {
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.52"),
            .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50") } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        const QString trace = m_home.path() + QStringLiteral("/trace.jsonl");
        AppProcess app;
        QVERIFY(app.start({ QStringLiteral("-trace"), trace, QStringLiteral("-autoHost"), QStringLiteral("127.0.0.52"),
            QStringLiteral("-mcpEnabled"), QStringLiteral("false") }));
        const auto traced = [&trace] {
            QFile file(trace);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(traced().contains("\"event\":\"state\",\"state\":\"ready\""), 20000);
        QCOMPARE(QFile::permissions(trace), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        const QByteArray text = traced();
        QVERIFY(text.startsWith("{\"time\":\""));
        QVERIFY(text.contains("\"direction\":\"out\",\"message\":{\"id\":\"hello\""));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
