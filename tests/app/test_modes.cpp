#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

// The program's two modes, run as a real subprocess with a private home.
class TestModes : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

private Q_SLOTS:
    void bridgeModeBuildsNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("alone") << QStringList{QStringLiteral("--mcp-stdio")};
        QTest::newRow("among others") << QStringList{QStringLiteral("--verbose"), QStringLiteral("--mcp-stdio"), QStringLiteral("x")};
    }

    void bridgeModeBuildsNothing()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(binDir() + QStringLiteral("/corvane-remote"), arguments);
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel(); // end of input: the bridge exits 0
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile())); // no window, so no start-up line
    }

    void windowModeLogsStartOnFirstShow()
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        // A TV-free run: no MCP listener (so a developer's running app is not disturbed).
        process.start(binDir() + QStringLiteral("/corvane-remote"),
                      {QStringLiteral("-mcpEnabled"), QStringLiteral("false")});
        QVERIFY(process.waitForStarted());
        const auto logText = [&] {
            QFile log(m_home.logFile());
            return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("启动 Corvane Remote")), 20000);
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestModes)
#include "test_modes.moc"
