#include "preferences.h"
#include "testenv.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// --help and --version of the built program, run as a subprocess with a private home.
class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // No display at all, and a platform plugin that would abort without one: printing the
    // help must not build a GUI application (it has to work over ssh and in scripts).
    Run run(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(binDir() + QStringLiteral("/corvane-remote"), arguments);
        if (!process.waitForStarted())
            return {};
        process.closeWriteChannel();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        Run r;
        r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(process.readAllStandardError());
        return r;
    }

    static QString endpointLine(const QString &help)
    {
        for (const QString &line : help.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("MCP endpoint:")))
                return line.mid(13).trimmed();
        }
        return {};
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_home.settingsFile());
    }

    void helpNamesModesArgumentsFilesAndEndpoint_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")};
        QTest::newRow("after a launch argument") << QStringList{QStringLiteral("-autotest"), QStringLiteral("full"), QStringLiteral("-h")};
    }

    void helpNamesModesArgumentsFilesAndEndpoint()
    {
        QFETCH(QStringList, arguments);
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        for (const char *word : {"--mcp-stdio", "--version", "-autoHost", "-autotest", "-snapshotDir",
                                 "-mcpPort", "-mcpEnabled", "-appearance"}) {
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
        }
        QVERIFY2(r.out.contains(m_home.logFile()), qPrintable(r.out));
        QVERIFY2(r.out.contains(m_home.settingsFile()), qPrintable(r.out));
        QCOMPARE(endpointLine(r.out), QStringLiteral("http://127.0.0.1:8765/mcp"));
        // Reading the port must not create the preferences file (nor the log).
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile()));
    }

    void endpointFollowsThePortRule()
    {
        {
            Preferences stored(m_home.settingsFile());
            stored.setInteger(QStringLiteral("mcpPort"), 9123);
        }
        QCOMPARE(endpointLine(run({QStringLiteral("--help")}).out), QStringLiteral("http://127.0.0.1:9123/mcp"));
        // A launch argument wins over the stored value for this run.
        QCOMPARE(endpointLine(run({QStringLiteral("-mcpPort"), QStringLiteral("9300"), QStringLiteral("--help")}).out),
                 QStringLiteral("http://127.0.0.1:9300/mcp"));
    }

    void versionPrintsOneLine()
    {
        const Run r = run({QStringLiteral("--version")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Corvane Remote " CORVANE_VERSION "\n"));
        QCOMPARE(r.err, QString());
    }

    // MCP clients may add arguments of their own: with --mcp-stdio present the bridge runs, so
    // its standard output carries JSON-RPC replies only (none here: input ends at once).
    void bridgeArgumentWins()
    {
        const Run r = run({QStringLiteral("--help"), QStringLiteral("--mcp-stdio"), QStringLiteral("--version")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
