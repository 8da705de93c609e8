// tv_power "on" with real Wake-on-LAN: the TV emulator sits in the network lab's TV namespace,
// this process in its "pc" namespace, so magic packets cross the lab's link and nothing else.
#include "appparts.h"
#include "httpclient.h"
#include "netlab.h"
#include "simmessages.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QTest>

#include <memory>

class TestMCPPower : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;
    std::unique_ptr<TVSimProcess> m_sim;
    std::unique_ptr<AppParts> m_rig;
    QString m_id;

    TVSession &session() { return m_rig->session(); }
    AppParts::ToolAnswer power(const QString &action) { return m_rig->callTool("tv_power", { { "action", action } }); }

    void setDeadline(std::chrono::milliseconds deadline)
    {
        MCPTools::Timings timings = m_rig->tools().timings();
        timings.powerOnDeadline = deadline;
        m_rig->rebuildTools(timings);
    }

    // The MAC the TV reports over SSAP, one its Wake-on-LAN listener matches.
    void useMACTheTVAnswers()
    {
        const QJsonArray macs = m_sim->state().value(QStringLiteral("macs")).toArray();
        QVERIFY(!macs.isEmpty());
        TVDevice device = *m_rig->store().device(m_id);
        device.mac = macs.first().toString();
        m_rig->store().update(device);
    }

    // Sends the TV to standby through the tool and waits until it no longer listens.
    void turnOff()
    {
        m_sim->clearReceived();
        QCOMPARE(power("off"), success(QStringLiteral("TV turned off (standby)")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("system/turnOff")).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!m_sim->state().value(QStringLiteral("listening")).toBool(), 5000);
        QCOMPARE(m_sim->state().value(QStringLiteral("power")).toString(), QStringLiteral("Active Standby"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = std::make_unique<NetLab>(1);
        QVERIFY2(m_lab->isUp() && m_lab->enter(), qPrintable(m_lab->error()));
        const QString address = m_lab->address(QStringLiteral("tv1"));
        m_sim = m_lab->startTV(QStringLiteral("tv1"), { "--pairing-delay", "50", "--wake-delay", "400" });
        QVERIFY2(m_sim, qPrintable(m_lab->error()));

        m_rig = std::make_unique<AppParts>(AppParts::quick());
        m_id = m_rig->addTV(address, QStringLiteral("Lab TV"));
        QVERIFY(m_rig->pair(m_id));
        // The session learns a MAC after connecting; waking needs one the TV answers to.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->store().device(m_id)->mac.has_value(), 10000);
        useMACTheTVAnswers();
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_sim.reset();
        m_lab.reset();
    }

    void wakesTheTV()
    {
        m_sim->clearReceived();
        QCOMPARE(power("on"), success(QStringLiteral("TV is already on")));
        QCOMPARE(m_sim->received().size(), 0); // nothing sent
        turnOff();
        useMACTheTVAnswers();
        const QString mac = *m_rig->store().device(m_id)->mac;
        m_sim->clearReceived();

        setDeadline(std::chrono::seconds(30));
        QCOMPARE(power("on"), success(QStringLiteral("TV is on")));
        QVERIFY(session().isReady());
        QVERIFY(!session().isStandby());
        QCOMPARE(session().powerState(), QStringLiteral("Active"));
        QCOMPARE(m_sim->state().value(QStringLiteral("power")).toString(), QStringLiteral("Active"));
        const QJsonArray packets = m_sim->received(QStringLiteral("wol"));
        QVERIFY(!packets.isEmpty());
        QCOMPARE(packets.first()[QStringLiteral("mac")].toString(), mac);
    }

    void gaveUpWaiting()
    {
        // A MAC the TV does not answer to: the magic packets go out, the TV stays asleep.
        turnOff();
        TVDevice device = *m_rig->store().device(m_id);
        const std::optional<QString> mac = device.mac;
        device.mac = QStringLiteral("02:00:00:00:00:99");
        m_rig->store().update(device);

        setDeadline(std::chrono::milliseconds(1000));
        QCOMPARE(power("on"), failure(QStringLiteral("Wake-on-LAN sent but TV did not come online in 1s")));

        // With time to spare, the session's own wake loop ends first and its message is the answer.
        setDeadline(std::chrono::seconds(60));
        TVSession::Timings timings = session().timings();
        timings.wakeAttempts = 3;
        timings.wakePause = 0.1;
        m_rig->renewSession(timings);
        const AppParts::ToolAnswer result = power("on");
        QCOMPARE(session().stateKind(), ConnectionState::Kind::Error);
        QCOMPARE(result, failure(session().stateMessage()));
        QVERIFY(!result.text.isEmpty());
        QCOMPARE(m_sim->state().value(QStringLiteral("power")).toString(), QStringLiteral("Active Standby"));

        device.mac = mac;
        m_rig->store().update(device);
        m_sim->control(QStringLiteral("/wake"));
    }
};

QTEST_GUILESS_MAIN(TestMCPPower)
#include "test_mcppower.moc"
