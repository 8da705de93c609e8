#include "testenv.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// The bridge mode, run as a real subprocess with a private home.
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
    // --mcp-stdio among other arguments: the bridge runs and builds no window, preferences or log.
    void bridgeModeBuildsNothing()
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(binDir() + QStringLiteral("/corvane-remote"),
                      {QStringLiteral("--verbose"), QStringLiteral("--mcp-stdio"), QStringLiteral("x")});
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel(); // end of input: the bridge exits 0
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile()));
    }
};

QTEST_GUILESS_MAIN(TestModes)
#include "test_modes.moc"
