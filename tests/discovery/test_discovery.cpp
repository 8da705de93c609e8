// Discovery against two TV emulators, each in its own namespace of the network lab (needs root).
#include "netlab.h"
#include "ssdpdiscovery.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QTest>

#include <memory>

using SSDPDiscovery::Found;

class TestDiscovery : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;
    std::unique_ptr<TVSimProcess> m_living;
    std::unique_ptr<TVSimProcess> m_bedroom;

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = std::make_unique<NetLab>(2);
        QVERIFY2(m_lab->isUp() && m_lab->enter(), qPrintable(m_lab->error()));
        m_living = m_lab->startTV("tv1", { "--name", "Living Room", "--model", "OLED65C3" });
        QVERIFY2(m_living, qPrintable(m_lab->error()));
        m_bedroom = m_lab->startTV("tv2", { "--name", "卧室", "--model", "QNED80" });
        QVERIFY2(m_bedroom, qPrintable(m_lab->error()));
    }

    void cleanupTestCase()
    {
        m_living.reset();
        m_bedroom.reset();
        m_lab.reset();
    }

    void findsBothTVs()
    {
        m_living->clearReceived();
        m_bedroom->clearReceived();
        const QList<Found> found = QCoro::waitFor(SSDPDiscovery::discover(3.0));

        QCOMPARE(found.size(), 2); // one record per host although each TV answered twice
        QCOMPARE(found[0].host, QStringLiteral("192.168.77.11"));
        QCOMPARE(found[0].name, std::optional<QString>("Living Room"));
        QCOMPARE(found[0].model, std::optional<QString>("OLED65C3"));
        QCOMPARE(found[0].uuid, std::optional<QString>(m_living->deviceUUID()));
        QVERIFY(found[0].location.value_or(QString()).startsWith(QStringLiteral("http://192.168.77.11:")));
        QCOMPARE(found[1].host, QStringLiteral("192.168.77.12"));
        QCOMPARE(found[1].name, std::optional<QString>("卧室"));
        QCOMPARE(found[1].model, std::optional<QString>("QNED80"));
        QCOMPARE(found[1].uuid, std::optional<QString>(m_bedroom->deviceUUID()));
        QVERIFY(
            readLogMessages().contains(QStringLiteral("SSDP 发现 2 台电视: [\"192.168.77.11\", \"192.168.77.12\"]")));

        // Each TV saw the search twice, byte for byte.
        for (TVSimProcess *sim : { m_living.get(), m_bedroom.get() }) {
            const QJsonArray searches = sim->received(QStringLiteral("ssdp"));
            QCOMPARE(searches.size(), 2);
            for (const QJsonValue &search : searches)
                QCOMPARE(search.toObject().value("text").toString().toLatin1(), SSDPDiscovery::searchDatagram());
        }
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "test_discovery.moc"
