// tv_power "on" with real Wake-on-LAN: the TV emulator sits in the network lab's TV namespace,
// this process in its "pc" namespace, so magic packets cross the lab's link and nothing else.
#include "netlab.h"
#include "pairedtv.h"
#include "testenv.h"

#include <QTest>

#include <memory>

class TestMCPPower : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;
    std::unique_ptr<PairedTV> m_tv;

    TVSession &session() { return m_tv->session(); }
    QString simPower() { return m_tv->sim->state().value(QStringLiteral("power")).toString(); }
    AppParts::ToolAnswer power(const QString &action, std::chrono::milliseconds deadline = std::chrono::seconds(30))
    {
        MCPTools::Timings timings = m_tv->parts.tools().timings();
        timings.powerOnDeadline = deadline;
        m_tv->parts.rebuildTools(timings);
        return m_tv->parts.callTool("tv_power", { { "action", action } });
    }

    // Saves a MAC for the TV; by default the one the TV reports over SSAP, which its Wake-on-LAN
    // listener matches.
    void useMAC(QString mac = {})
    {
        if (mac.isEmpty())
            mac = m_tv->sim->state().value(QStringLiteral("macs")).toArray().first().toString();
        TVDevice device = *m_tv->parts.store().device(m_tv->id);
        device.mac = mac;
        m_tv->parts.store().update(device);
    }

    // Sends the TV to standby through the tool and waits until it no longer listens.
    void turnOff()
    {
        m_tv->sim->clearReceived();
        QCOMPARE(power("off"), success(QStringLiteral("TV turned off (standby)")));
        QCOMPARE(m_tv->sent(QStringLiteral("system/turnOff")).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!m_tv->sim->state().value(QStringLiteral("listening")).toBool(), 5000);
        QCOMPARE(simPower(), QStringLiteral("Active Standby"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = std::make_unique<NetLab>(1);
        QVERIFY2(m_lab->isUp() && m_lab->enter(), qPrintable(m_lab->error()));
        auto sim = m_lab->startTV(QStringLiteral("tv1"), { "--pairing-delay", "50", "--wake-delay", "400" });
        QVERIFY2(sim, qPrintable(m_lab->error()));
        m_tv = std::make_unique<PairedTV>(std::move(sim));
        QVERIFY(m_tv->start(QStringLiteral("Lab TV")) && m_tv->pair());
        // The session learns a MAC after connecting; waking needs one the TV answers to.
        QTRY_VERIFY_WITH_TIMEOUT(m_tv->parts.store().device(m_tv->id)->mac.has_value(), 10000);
        useMAC();
    }

    // Already on, woken from standby, and given up on: each with its own answer.
    void wakesTheTV()
    {
        m_tv->sim->clearReceived();
        QCOMPARE(power("on"), success(QStringLiteral("TV is already on")));
        QCOMPARE(m_tv->sim->received().size(), 0); // nothing sent
        turnOff();
        useMAC();
        const QString mac = *m_tv->parts.store().device(m_tv->id)->mac;
        m_tv->sim->clearReceived();

        QCOMPARE(power("on"), success(QStringLiteral("TV is on")));
        QVERIFY(session().isReady());
        QVERIFY(!session().isStandby());
        QCOMPARE(session().powerState(), QStringLiteral("Active"));
        QCOMPARE(simPower(), QStringLiteral("Active"));
        const QJsonArray packets = m_tv->sim->received(QStringLiteral("wol"));
        QCOMPARE(packets.first()[QStringLiteral("mac")].toString(), mac);

        // A MAC the TV does not answer to: the magic packets go out, the TV stays asleep.
        turnOff();
        useMAC(QStringLiteral("02:00:00:00:00:99"));
        QCOMPARE(power("on", std::chrono::milliseconds(1000)),
            failure(QStringLiteral("Wake-on-LAN sent but TV did not come online in 1s")));

        // With time to spare, the session's own wake loop ends first and its message is the answer.
        TVSession::Timings timings = session().timings();
        timings.wakeAttempts = 3;
        timings.wakePause = 0.1;
        m_tv->parts.renewSession(timings);
        const AppParts::ToolAnswer result = power("on", std::chrono::seconds(60));
        QCOMPARE(session().stateKind(), ConnectionState::Kind::Error);
        QCOMPARE(result, failure(session().stateMessage()));
        QVERIFY(!result.text.isEmpty());
        QCOMPARE(simPower(), QStringLiteral("Active Standby"));
    }
};

QTEST_GUILESS_MAIN(TestMCPPower)
#include "test_mcppower.moc"
