// Wake-on-LAN, discovery and the self-test's power cycle through the session, in the network lab
// (needs root): the test joins the lab's "pc" namespace, the emulator runs in "tv1".
#include "netlab.h"
#include "pairedtv.h"
#include "simmessages.h"
#include "testawait.h"
#include "testenv.h"

#include <QRegularExpression>
#include <QTest>

using Kind = ConnectionState::Kind;

class TestSessionLab : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;
    std::unique_ptr<PairedTV> m_tv;
    std::unique_ptr<TVSimProcess> m_movedFrom; // the TV before its move: it holds the state directory

    TVSession &session() { return m_tv->session(); }
    AppParts &rig() { return m_tv->parts; }
    TVSimProcess &sim() { return *m_tv->sim; }

    // Short polls while waking; with reconnect, also a fast keepalive and reconnect.
    static TVSession::Timings timings(bool reconnect = false)
    {
        TVSession::Timings timings = AppParts::quick().session;
        timings.wakePoll = 0.05;
        if (reconnect) {
            timings.keepaliveInterval = 0.2;
            timings.keepaliveTimeout = 0.6;
            timings.reconnect = { .firstDelay = 0.2, .maxDelay = 0.5, .window = 60 };
        }
        return timings;
    }

    void setMAC(const std::optional<QString> &mac)
    {
        TVDevice record = rig().record(m_tv->id);
        record.mac = mac;
        rig().store().update(record);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = std::make_unique<NetLab>(1);
        QVERIFY2(m_lab->isUp() && m_lab->enter(), qPrintable(m_lab->error()));
        std::unique_ptr<TVSimProcess> sim = m_lab->startTV("tv1", { "--pairing-delay", "50", "--wake-delay", "500" });
        QVERIFY2(sim, qPrintable(m_lab->error()));

        TVSession::Timings wake = timings();
        wake.selfTestWaitScale = 0.1; // 8 s and 12 s become 0.8 s and 1.2 s
        // Short pauses: the first attempts reach the TV before its 0.5 s start-up is over. Many
        // of them: the power cycle is checked, not the machine's speed.
        wake.wakePause = 0.05;
        wake.wakeAttempts = 100;
        m_tv = std::make_unique<PairedTV>(std::move(sim), AppParts::Setup { .session = wake, .scanSeconds = 0.5 });
        QVERIFY(m_tv->start());
    }

    void cleanupTestCase()
    {
        m_tv.reset();
        m_lab.reset();
    }

    // The first connection learns the MAC from ARP; the self-test in "power" mode turns the TV off
    // through the session and wakes it with that MAC.
    void pairingLearnsTheMACThenPowerCycles()
    {
        rig().preferences().setString(QStringLiteral("autotest"), QStringLiteral("power"));
        const int mark = logMark();
        session().connect(m_tv->id);
        QTRY_VERIFY_WITH_TIMEOUT(session().isReady(), 10000);
        const QString mac = m_lab->mac("tv1");
        QTRY_COMPARE(rig().record(m_tv->id).mac, std::optional<QString>(mac));
        QVERIFY(logSince(mark).contains(QStringLiteral("记录 MAC ") + mac));

        // (A failing QTRY waits twice its time-out to report: keep it inside the test's own.)
        QTRY_VERIFY_WITH_TIMEOUT(!logSince(mark, QStringLiteral("[autotest] 唤醒结果 ")).isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(logSince(mark, QStringLiteral("[autotest] 电源状态 ")).size() == 1, 5000);
        // After 0.8 s the TV has closed its sockets: no power-state line, straight on to the wake.
        const QStringList lines = logSince(mark, QStringLiteral("[autotest] "));
        const QStringList patterns { R"(关机前电源状态 \{.*"state":"Active".*)", "关机，MAC " + mac,
            "关机后状态 未连接，发送 WOL", R"(唤醒结果 已连接，耗时 [0-9.]+s)", R"(电源状态 \{.*"state":"Active".*)" };
        QCOMPARE(lines.size(), patterns.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression("^\\[autotest\\] " + patterns[i] + "$").match(lines[i]).hasMatch(),
                qPrintable(lines[i]));
        QCOMPARE(m_tv->sent(QStringLiteral("system/turnOff")).size(), 1);
        QVERIFY(session().isReady());
        QVERIFY(!logSince(mark).contains(QStringLiteral("[autotest] 结束")));
        // Refused attempts while the TV starts are part of waking, not its outcome: whoever watches
        // the state (the self-test, "tv_power on") must never see an error before the TV is back.
        QVERIFY(rig().passedThrough(Kind::Waking));
        QVERIFY2(!logSince(mark, QStringLiteral("连接失败: ")).isEmpty(), "no attempt came before the TV was up");
        QVERIFY(!rig().passedThrough(Kind::Error));
        QCOMPARE(logSince(mark, QStringLiteral("WOL ")).value(0),
            QStringLiteral("WOL %1 -> 192.168.77.255 sent=true").arg(mac));
        QCOMPARE(sim().received(QStringLiteral("wol")).at(0)[QStringLiteral("mac")].toString(), mac);
        // The ARP answer is enough: the TV is not asked.
        QCOMPARE(m_tv->sent(QStringLiteral("com.webos.service.connectionmanager/getinfo")).size(), 0);
    }

    void wakeGivesUpAfterTenAttempts()
    {
        if (!session().isReady())
            QVERIFY(m_tv->pair());
        sim().control(QStringLiteral("/standby"));
        QTRY_COMPARE_WITH_TIMEOUT(session().stateKind(), Kind::Offline, 5000);
        QTRY_VERIFY(!sim().state().value("listening").toBool());

        // Without a MAC nothing is sent.
        setMAC(std::nullopt);
        int mark = logMark();
        session().wake();
        QCOMPARE(session().state(), ConnectionState::error(QStringLiteral("未记录电视 MAC，无法网络唤醒")));
        QCOMPARE(logSince(mark, QStringLiteral("WOL ")), QStringList());

        setMAC(QStringLiteral("02:00:00:00:00:99")); // not this TV's: it never wakes
        TVSession::Timings fast = timings();
        fast.wakePause = 0.05;
        rig().renewSession(fast);
        mark = logMark();
        session().wake();
        QTRY_COMPARE_WITH_TIMEOUT(
            session().state(), ConnectionState::error(QStringLiteral("唤醒超时，请确认电视已开启网络唤醒")), 20000);
        QCOMPARE(logSince(mark, QStringLiteral("WOL ")).size(), 11);
        QCOMPARE(logSince(mark, QStringLiteral("连接 ")).size(), 10);

        // A newer wake replaces a running loop instead of doubling the packets.
        setMAC(QStringLiteral("02:00:00:00:00:98"));
        fast.wakeAttempts = 3;
        rig().renewSession(fast);
        mark = logMark();
        session().wake();
        session().wake();
        QTRY_COMPARE_WITH_TIMEOUT(session().stateKind(), Kind::Error, 10000);
        QCOMPARE(logSince(mark, QStringLiteral("WOL ")).size(), 1 + 1 + 3);

        rig().renewSession(timings());
        setMAC(m_lab->mac("tv1"));
        sim().control(QStringLiteral("/wake"));
    }

    void scanRecordsTheTV()
    {
        QTRY_VERIFY(sim().state().value("listening").toBool());
        session().disconnect();
        auto first = start(rig().scanner().scan());
        QVERIFY(rig().scanner().isScanning());
        auto second = start(rig().scanner().scan());
        QVERIFY(second->done()); // one scan at a time: the second returns at once
        QTRY_VERIFY_WITH_TIMEOUT(first->done(), 10000);
        QVERIFY(!rig().scanner().isScanning());

        QCOMPARE(rig().scanner().discovered().size(), 1);
        const SSDPDiscovery::Found found = rig().scanner().discovered().first();
        QCOMPARE(found.host, m_lab->address("tv1"));
        QCOMPARE(found.uuid, std::optional<QString>(sim().deviceUUID()));
        QCOMPARE(rig().scanner().discoveredList().first().toMap().value("host").toString(), found.host);
        // The saved record is refreshed, not duplicated.
        QCOMPARE(rig().store().devices().size(), 1);
        QCOMPARE(rig().record(m_tv->id).tvUUID, found.uuid);

        // The TV gone: the next scan's empty result replaces the list.
        sim().control(QStringLiteral("/standby"));
        QTRY_VERIFY(!sim().state().value("listening").toBool());
        auto empty = start(rig().scanner().scan());
        QTRY_VERIFY_WITH_TIMEOUT(empty->done(), 10000);
        QCOMPARE(rig().scanner().discovered().size(), 0);
        sim().control(QStringLiteral("/wake"));
    }

    void silentTVIsNoticedThenFoundAtANewAddress()
    {
        rig().renewSession(timings(true));
        QVERIFY(m_tv->pair());
        QTRY_VERIFY(session().hasPointer());
        int mark = logMark();

        // The TV's cable is pulled: no FIN or RST reaches the computer.
        QVERIFY(m_lab->ip("tv1", { "link", "set", "eth0", "down" }));
        QTRY_VERIFY_WITH_TIMEOUT(logSince(mark).contains(QStringLiteral("电视无响应，连接已断开")), 5000);
        QVERIFY(!session().isReady());
        QVERIFY(!session().hasPointer());
        QVERIFY(session().isReconnecting());

        QVERIFY(m_lab->ip("tv1", { "link", "set", "eth0", "up" }));
        QTRY_VERIFY_WITH_TIMEOUT(session().isReady(), 20000);

        // The router gives the TV (same certificate, same key) another address.
        const QString oldHost = m_lab->address("tv1");
        const QString newHost = oldHost.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".150");
        mark = logMark();
        rig().states.clear();
        sim().stop();
        QVERIFY2(m_lab->ip("tv1", { "addr", "add", newHost + "/24", "dev", "eth0" }), qPrintable(m_lab->error()));
        m_movedFrom = std::exchange(m_tv->sim,
            std::make_unique<TVSimProcess>(TVSimProcess::Options {
                newHost, { "--pairing-delay", "50" }, sim().stateDir(), m_lab->namespaceName("tv1") }));
        QVERIFY2(sim().start(), qPrintable(sim().output()));

        QTRY_VERIFY_WITH_TIMEOUT(session().isReady(), 20000);
        QCOMPARE(rig().record(m_tv->id).host, newHost);
        QVERIFY(logSince(mark).contains(QStringLiteral("电视地址已变更 ") + oldHost + QStringLiteral(" → ") + newHost));
        QVERIFY(!rig().passedThrough(Kind::AwaitingApproval));
    }
};

QTEST_GUILESS_MAIN(TestSessionLab)
#include "test_sessionlab.moc"
