#include "localnetwork.h"
#include "ssdpdiscovery.h"

#include <QTest>

#include <arpa/inet.h>

using LocalNetwork::Interface;

namespace {

quint32 ip(const char *text)
{
    in_addr address {};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

Interface iface(const char *name, const char *address, const char *netmask)
{
    return { QString::fromLatin1(name), ip(address), ip(netmask) };
}

} // namespace

class TestNetworkParsing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void normalizeMAC_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: rejected
        QTest::newRow("dashes upper") << "AA-BB-CC-DD-EE-FF"
                                      << "aa:bb:cc:dd:ee:ff";
        QTest::newRow("single digits") << "0:1a:2b:3:4:5e"
                                       << "00:1a:2b:03:04:5e";
        QTest::newRow("double colon is one separator") << "aa::bb:cc:dd:ee:ff"
                                                       << "aa:bb:cc:dd:ee:ff";
        QTest::newRow("five groups") << "aa:bb:cc:dd:ee"
                                     << "";
        QTest::newRow("not hex") << "ag:bb:cc:dd:ee:ff"
                                 << "";
        QTest::newRow("blank inside") << "aa:bb:cc:dd:ee: f"
                                      << "";
        QTest::newRow("sign") << "aa:bb:cc:dd:ee:+f"
                              << "";
        QTest::newRow("trailing newline") << "aa:bb:cc:dd:ee:ff\n"
                                          << "";
        QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0663"
                                                                 "4:5e:60:e1:02:03")
                                            << "";
    }

    void normalizeMAC()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const std::optional<QString> result = LocalNetwork::normalizeMAC(text);
        if (expected.isEmpty())
            QVERIFY2(!result, qPrintable(result.value_or(QString())));
        else
            QCOMPARE(result, std::optional<QString>(expected));
    }

    void parseARPOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short groups") << "? (192.168.1.50) at 0:1a:2b:3:4:5e on en0 ifscope [ethernet]\n"
                                      << "00:1a:2b:03:04:5e";
        QTest::newRow("linux -an") << "? (192.168.77.11) at 02:4c:41:42:00:01 [ether] on en0\n"
                                   << "02:4c:41:42:00:01";
        QTest::newRow("incomplete") << "? (192.168.77.99) at <incomplete> on en0\n"
                                    << "";
        QTest::newRow("linux table without at")
            << "Address HWtype HWaddress Flags Mask Iface\n192.168.1.50 ether 00:1a:2b:03:04:5e C en0\n"
            << "";
        QTest::newRow("run is not a MAC") << "? (10.0.0.1) at aa:bb:cc on en0\n"
                                          << "";
    }

    void parseARPOutput()
    {
        QFETCH(QString, output);
        QFETCH(QString, expected);
        const std::optional<QString> result = LocalNetwork::parseARPOutput(output);
        QCOMPARE(result.value_or(QString()), expected);
    }

    void parseProcNetARP()
    {
        const QString table
            = QStringLiteral("IP address       HW type     Flags       HW address            Mask     Device\n"
                             "192.168.77.99    0x1         0x0         00:00:00:00:00:00     *        en0\n"
                             "192.168.77.11    0x1         0x2         02:4C:41:42:00:01     *        en0\n"
                             "192.168.77.111   0x1         0x2         02:4c:41:42:00:6f     *        en0\n"
                             "192.168.77.21    0x1         0x0         a4:5e:60:e1:02:03     *        en0\n");
        QCOMPARE(LocalNetwork::parseProcNetARP(table, QStringLiteral("192.168.77.11")),
            std::optional<QString>("02:4c:41:42:00:01"));
        QCOMPARE(LocalNetwork::parseProcNetARP(table, QStringLiteral("192.168.77.111")),
            std::optional<QString>("02:4c:41:42:00:6f"));
        QVERIFY(!LocalNetwork::parseProcNetARP(table, QStringLiteral("192.168.77.99"))); // incomplete
        QVERIFY(
            !LocalNetwork::parseProcNetARP(table, QStringLiteral("192.168.77.21"))); // not complete, a MAC all the same
    }

    // Subnet matching and the down or IPv6-only cases run against real interfaces in test_netlab;
    // here the cases a lab cannot set up easily.
    void primaryInterfaceRules()
    {
        using LocalNetwork::primaryInterface;
        const QList<Interface> list { iface("en0", "192.168.1.10", "255.255.255.0"),
            iface("en5", "10.0.0.2", "255.0.0.0") };
        QCOMPARE(primaryInterface(list, QStringLiteral("tv.local"))->name, QStringLiteral("en0")); // a name, no subnet
        QVERIFY(!primaryInterface({}, QStringLiteral("10.1.2.3")));
        const QList<Interface> noEthernet { iface("wg0", "10.8.0.2", "255.255.0.0"),
            iface("utun2", "10.9.0.2", "255.255.0.0") };
        QCOMPARE(primaryInterface(noEthernet, std::nullopt)->name, QStringLiteral("wg0"));
    }

    void searchDatagramBytes()
    {
        QCOMPARE(SSDPDiscovery::searchDatagram(),
            QByteArray("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                       "ST: urn:lge-com:service:webos-second-screen:1\r\nMX: 2\r\n\r\n"));
    }

    void parseHeaders()
    {
        const QHash<QString, QString> headers = SSDPDiscovery::parseHeaders(
            QStringLiteral("HTTP/1.1 200 OK\r\nLOCATION: \t http://h:1/d.xml \t\r\nCache-Control:max-age=1800\r\n"
                           "Host : x\r\nST: first\r\nst: second\r\nno colon here\r\nEXT:\r\n"));
        QCOMPARE(headers.value("location"), QStringLiteral("http://h:1/d.xml"));
        QCOMPARE(headers.value("cache-control"), QStringLiteral("max-age=1800"));
        QCOMPARE(headers.value("host "), QStringLiteral("x")); // names are not trimmed
        QCOMPARE(headers.value("st"), QStringLiteral("second"));
        QVERIFY(headers.contains("ext"));
        QCOMPARE(headers.size(), 5);
        // Lone line feeds do not split lines.
        QCOMPARE(SSDPDiscovery::parseHeaders(QStringLiteral("A: 1\nB: 2")).value("a"), QStringLiteral("1\nB: 2"));
    }

    void parseAnswer()
    {
        using SSDPDiscovery::Found;
        const Found found = SSDPDiscovery::parseAnswer(QStringLiteral("192.168.1.20"),
            QStringLiteral("HTTP/1.1 200 OK\r\nUSN: uuid:1234-abcd::urn:lge-com:service:webos-second-screen:1\r\n"
                           "Location: http://192.168.1.20:1234/\r\n\r\n"));
        QCOMPARE(
            found, (Found { "192.168.1.20", "1234-abcd", std::nullopt, std::nullopt, "http://192.168.1.20:1234/" }));

        const Found bare = SSDPDiscovery::parseAnswer(QStringLiteral("10.0.0.1"), QStringLiteral("garbage"));
        QCOMPARE(bare, (Found { "10.0.0.1", std::nullopt, std::nullopt, std::nullopt, std::nullopt }));

        QCOMPARE(SSDPDiscovery::parseAnswer(QStringLiteral("h"), QStringLiteral("usn: uuid:x-uuid:y")).uuid,
            std::optional<QString>("x-y"));
    }

    void extractTag()
    {
        const QString xml = QStringLiteral("<root><device><friendlyName>Living Room TV</friendlyName>"
                                           "<UDN>uuid:5678</UDN><modelName> OLED &amp; </modelName></device></root>");
        QCOMPARE(SSDPDiscovery::extractTag("friendlyName", xml), std::optional<QString>("Living Room TV"));
        QCOMPARE(SSDPDiscovery::extractTag("modelName", xml), std::optional<QString>(" OLED &amp; "));
        QVERIFY(!SSDPDiscovery::extractTag("udn", xml));
        QVERIFY(
            !SSDPDiscovery::extractTag("friendlyName", QStringLiteral("<friendlyName lang=\"en\">X</friendlyName>")));
        QCOMPARE(SSDPDiscovery::extractTag("a", QStringLiteral("</a><a>1</a><a>2</a>")), std::optional<QString>("1"));
        QCOMPARE(SSDPDiscovery::extractTag("a", QStringLiteral("<a></a>")), std::optional<QString>(""));
    }
};

QTEST_GUILESS_MAIN(TestNetworkParsing)
#include "test_networkparsing.moc"
