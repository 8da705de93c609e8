// The self-test's power cycle in the network lab (needs root): power off through the session,
// then Wake-on-LAN until the TV is back.
#include "netlab.h"
#include "sessionrig.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QTest>

class TestSelfTestPower : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;
    std::unique_ptr<TVSimProcess> m_sim;

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = std::make_unique<NetLab>(1);
        QVERIFY2(m_lab->isUp() && m_lab->enter(), qPrintable(m_lab->error()));
        m_sim = m_lab->startTV("tv1", {"--pairing-delay", "50", "--wake-delay", "300"});
        QVERIFY2(m_sim, qPrintable(m_lab->error()));
    }

    void cleanupTestCase()
    {
        m_sim.reset();
        m_lab.reset();
    }

    void powerCycle()
    {
        TVSession::Timings timings;
        timings.selfTestWaitScale = 0.1; // 8 s and 12 s become 0.8 s and 1.2 s
        timings.wakePause = 0.3;
        timings.wakePoll = 0.05;
        // The shortened pauses leave a loaded machine little time to bring the TV back: allow
        // more attempts so the test checks the power cycle, not the machine's speed.
        timings.wakeAttempts = 40;
        SessionRig rig(timings);
        rig.preferences().setString(QStringLiteral("autotest"), QStringLiteral("power"));
        const QString id = rig.addTV(m_lab->address("tv1"));
        const int mark = logMark();

        rig.session().connect(id);
        // (A failing QTRY goes on waiting twice its time-out to report; keep it well inside the
        // test's own time-out so a failure shows its lines.)
        QTRY_VERIFY_WITH_TIMEOUT(!logSince(mark, QStringLiteral("[autotest] 唤醒结果 ")).isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(logSince(mark, QStringLiteral("[autotest] 电源状态 ")).size() == 1, 5000);
        const QStringList lines = logSince(mark, QStringLiteral("[autotest] "));
        const QString mac = m_lab->mac("tv1");
        QCOMPARE(lines.size(), 5);
        QVERIFY2(lines.at(0).startsWith(QStringLiteral("[autotest] 关机前电源状态 {")), qPrintable(lines.at(0)));
        QVERIFY(lines.at(0).contains(QStringLiteral("\"state\":\"Active\"")));
        QCOMPARE(lines.at(1), QStringLiteral("[autotest] 关机，MAC ") + mac);
        // After 0.8 s the TV has closed its sockets: no power-state line, straight on to the wake.
        QCOMPARE(lines.at(2), QStringLiteral("[autotest] 关机后状态 未连接，发送 WOL"));
        QVERIFY2(lines.at(3).startsWith(QStringLiteral("[autotest] 唤醒结果 已连接，耗时 ")), qPrintable(lines.at(3)));
        QVERIFY(lines.at(3).endsWith(QLatin1Char('s')));
        QVERIFY(lines.at(4).contains(QStringLiteral("\"state\":\"Active\"")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("system/turnOff")).size(), 1);
        QVERIFY(rig.session().isReady());
        QVERIFY(!logSince(mark).contains(QStringLiteral("[autotest] 结束")));
    }
};

QTEST_GUILESS_MAIN(TestSelfTestPower)
#include "test_selftestpower.moc"
