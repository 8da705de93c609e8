#include "testenv.h"
#include "tvsimprocess.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// The program's modes, run as real subprocesses with a private home.
class TestModes : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

    static QString app() { return binDir() + QStringLiteral("/corvane-remote"); }

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
        process.start(app(), { QStringLiteral("--verbose"), QStringLiteral("--mcp-stdio"), QStringLiteral("x") });
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel(); // end of input: the bridge exits 0
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFile::exists(m_home.settingsFile()));
        QVERIFY(!QFile::exists(m_home.logFile()));
    }

    // One window app per user: a second launch shows the first one's window and exits; a lock
    // left by a killed app is taken over.
    void secondLaunchHandsOver()
    {
        const QString started = QStringLiteral("启动 Corvane Remote");
        const QString handedOver = QStringLiteral("已有 Corvane Remote 在运行，已唤起其窗口");
        QProcess first;
        first.setProcessEnvironment(environment());
        first.start(app(), {});
        QVERIFY(first.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(readLogMessages().count(started), 1, 20000);

        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(app(), {});
        QVERIFY(second.waitForFinished(40000)); // a second window app would run on
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(readLogMessages().count(handedOver), 1);
        QCOMPARE(readLogMessages().count(started), 1);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill(); // no clean-up: the lock file stays behind
        QVERIFY(first.waitForFinished());
        QProcess third;
        third.setProcessEnvironment(environment());
        third.start(app(), {});
        QVERIFY(third.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(readLogMessages().count(started), 2, 20000);
        QCOMPARE(third.state(), QProcess::Running);
        third.kill();
        QVERIFY(third.waitForFinished());
    }

    // "-trace FILE": the conversation with the TV from the first message on, in a private file.
    void traceArgumentRecordsFromTheStart()
    {
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.52"),
            .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50") } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        const QString trace = m_home.path() + QStringLiteral("/trace.jsonl");
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(app(),
            { QStringLiteral("-trace"), trace, QStringLiteral("-autoHost"), QStringLiteral("127.0.0.52"),
                QStringLiteral("-mcpEnabled"), QStringLiteral("false") });
        QVERIFY(process.waitForStarted());
        const auto traced = [&trace] {
            QFile file(trace);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(traced().contains("\"event\":\"state\",\"state\":\"ready\""), 20000);
        QCOMPARE(QFile::permissions(trace), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        const QByteArray text = traced();
        QVERIFY(text.startsWith("{\"time\":\""));
        QVERIFY(text.contains("\"direction\":\"out\",\"message\":{\"id\":\"hello\""));
        process.kill();
        QVERIFY(process.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(TestModes)
#include "test_modes.moc"
