// Local network, Wake-on-LAN, the SSDP exchange and discovery of TV emulators inside the network
// lab (needs root). The test process itself joins the lab's "pc" namespace; listeners are opened
// inside the TV namespaces, so every datagram crosses the lab's link.
#include "httpserver.h"
#include "localnetwork.h"
#include "netlab.h"
#include "netnsscope.h"
#include "ssdpdiscovery.h"
#include "testenv.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

using LocalNetwork::Interface;
using SSDPDiscovery::Found;

namespace {

const QHostAddress kSSDPGroup(QStringLiteral("239.255.255.250"));
const QString kMAC = QStringLiteral("aa:bb:cc:dd:ee:ff");

// A UDP port of a TV: bind it while inside the TV's namespace. Keeps every datagram (bytes,
// sender, destination) and hands it to onDatagram.
struct Listener {
    QUdpSocket socket;
    QList<QNetworkDatagram> received;
    std::function<void(const QNetworkDatagram &)> onDatagram;

    bool listen(quint16 port, const QHostAddress &group = QHostAddress())
    {
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                received.append(socket.receiveDatagram());
                if (onDatagram)
                    onDatagram(received.constLast());
            }
        });
        return socket.bind(QHostAddress::AnyIPv4, port) && (group.isNull() || socket.joinMulticastGroup(group));
    }
};

void answer(QUdpSocket &from, const QNetworkDatagram &search, const QByteArray &data)
{
    from.writeDatagram(data, search.senderAddress(), quint16(search.senderPort()));
}

} // namespace

class TestNetLab : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<NetLab> m_lab;

    QString ns(const QString &name) const { return m_lab->namespaceName(name); }

    bool ipIn(const QString &name, const QStringList &arguments) { return m_lab->ip(name, arguments); }

private Q_SLOTS:
    void initTestCase()
    {
        const QString reason = NetLab::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        m_lab = NetLab::withTVs(2);
        QVERIFY2(m_lab->error().isEmpty(), qPrintable(m_lab->error()));
    }

    void cleanupTestCase() { m_lab.reset(); }

    void interfaceRules()
    {
        QVERIFY2(m_lab->addNamespace("rules"), qPrintable(m_lab->error()));
        {
            // Nothing but a down loopback: no route for 255.255.255.255.
            NetnsScope inside(ns("rules"));
            QVERIFY(inside.entered());
            QVERIFY(LocalNetwork::interfaces().isEmpty());
            QVERIFY(!LocalNetwork::primaryInterface(QStringLiteral("192.168.1.50")));
            QVERIFY(!LocalNetwork::sendWakeOnLAN(kMAC, QStringLiteral("192.168.1.50")));
            QVERIFY(readLogMessages().contains(QStringLiteral("WOL aa:bb:cc:dd:ee:ff -> 255.255.255.255 sent=false")));
        }
        auto primary = [](const char *host) {
            const auto iface = LocalNetwork::primaryInterface(host ? std::optional<QString>(host) : std::nullopt);
            return iface ? iface->name : QString();
        };
        const auto setUp = [this](const QString &commands) {
            const QStringList list = commands.split(';');
            return std::all_of(
                list.begin(), list.end(), [this](const QString &c) { return ipIn("rules", c.split(' ')); });
        };
        QVERIFY2(setUp(QStringLiteral("link set lo up;link add ifb0 type ifb;link set ifb0 name utun2;"
                                      "addr add 10.9.0.2/16 brd + dev utun2;link set utun2 up")),
            qPrintable(m_lab->error()));
        {
            NetnsScope inside(ns("rules"));
            QCOMPARE(primary(nullptr), QStringLiteral("utun2")); // no en*: the first one
        }
        // en0 and en5 up with IPv4 addresses as well; en9 down with one; en8 up, IPv6 only.
        QVERIFY2(setUp(QStringLiteral("link add ifb1 type ifb;link set ifb1 name en0;"
                                      "addr add 192.168.1.10/24 brd + dev en0;link set en0 up;"
                                      "link add ifb2 type ifb;link set ifb2 name en5;"
                                      "addr add 10.0.0.2/8 brd + dev en5;link set en5 up;"
                                      "link add en9 type ifb;addr add 192.168.9.9/24 brd + dev en9;"
                                      "link add en8 type ifb;addr add fd00::8/64 dev en8 nodad;link set en8 up")),
            qPrintable(m_lab->error()));

        NetnsScope inside(ns("rules"));
        QVERIFY(inside.entered());
        QStringList names;
        for (const Interface &iface : LocalNetwork::interfaces())
            names << iface.name;
        QCOMPARE(names, (QStringList { "utun2", "en0", "en5" }));
        QCOMPARE(primary("10.1.2.3"), QStringLiteral("en5"));
        QCOMPARE(primary("10.9.1.1"), QStringLiteral("utun2")); // first subnet match in system order
        QCOMPARE(primary("172.16.0.1"), QStringLiteral("en0")); // utun2 comes first but is passed over
        QCOMPARE(primary("192.168.9.50"), QStringLiteral("en0")); // en9 is down
        QCOMPARE(primary("tv.local"), QStringLiteral("en0")); // a name: no subnet to match
        QCOMPARE(primary(nullptr), QStringLiteral("en0"));

        // The directed broadcast of the interface facing the TV.
        QVERIFY(LocalNetwork::sendWakeOnLAN(QStringLiteral("AA-BB-CC-DD-EE-FF"), QStringLiteral("192.168.1.50")));
        QVERIFY(LocalNetwork::sendWakeOnLAN(kMAC, QStringLiteral("10.1.2.3")));
        const QStringList log = readLogMessages();
        QVERIFY(log.contains(QStringLiteral("WOL aa:bb:cc:dd:ee:ff -> 192.168.1.255 sent=true")));
        QVERIFY(log.contains(QStringLiteral("WOL aa:bb:cc:dd:ee:ff -> 10.255.255.255 sent=true")));
    }

    void wakeOnLANReachesTVThenMACIsKnown()
    {
        const QString tv1 = m_lab->address("tv1");
        Listener listener;
        {
            NetnsScope tv(ns("tv1"));
            QVERIFY(tv.entered());
            QVERIFY(listener.listen(9));
        }
        const QString mac = m_lab->mac("tv1");
        const QByteArray packet = QByteArray(6, char(0xFF)) + QByteArray::fromHex(mac.toLatin1()).repeated(16);

        for (const std::optional<QString> &host : { std::optional<QString>(tv1), std::optional<QString>() }) {
            listener.received.clear();
            QVERIFY(LocalNetwork::sendWakeOnLAN(mac.toUpper().replace(':', '-'), host));
            QTRY_COMPARE(listener.received.size(), 3);
            for (const QNetworkDatagram &datagram : listener.received) {
                QCOMPARE(datagram.data(), packet);
                QCOMPARE(datagram.senderAddress(), QHostAddress(QStringLiteral("192.168.77.1")));
                QCOMPARE(datagram.destinationAddress(), QHostAddress(QStringLiteral("192.168.77.255")));
            }
            QCOMPARE(
                readLogMessages().count(QStringLiteral("WOL %1 -> 192.168.77.255 sent=true").arg(mac)), host ? 1 : 2);
        }

        // An invalid MAC sends nothing and logs nothing: the valid wake after it is all that arrives.
        listener.received.clear();
        const qsizetype logged = readLogMessages().size();
        QVERIFY(!LocalNetwork::sendWakeOnLAN(QStringLiteral("02:4c:41:42:00"), tv1));
        QVERIFY(LocalNetwork::sendWakeOnLAN(mac, tv1));
        QTRY_COMPARE(listener.received.size(), 3);
        QCOMPARE(readLogMessages().size(), logged + 1);

        // Once a datagram went to tv1 itself, its MAC is in the ARP cache.
        QUdpSocket socket;
        socket.writeDatagram("hello", QHostAddress(tv1), 9);
        QTRY_COMPARE(listener.received.size(), 4);
        QCOMPARE(QCoro::waitFor(LocalNetwork::macAddress(tv1)), std::optional<QString>(mac));
        QCOMPARE(QCoro::waitFor(LocalNetwork::macAddress(tv1, QStringLiteral("/nonexistent/arp"))),
            std::optional<QString>(mac)); // /proc/net/arp

        // Incomplete ARP entries are left to the parsing test; here a host never contacted, and one
        // that would pass as arp's option.
        QVERIFY(!QCoro::waitFor(LocalNetwork::macAddress(QStringLiteral("-a"))));
        QVERIFY(!QCoro::waitFor(LocalNetwork::macAddress(QStringLiteral("192.168.77.98"))));
    }

    // Every interface is searched: besides tv1 and tv2 on the wired subnet, a TV reached over Wi-Fi
    // (wl0) on another one.
    void searchAndAnswersOnTheWire()
    {
        QVERIFY2(m_lab->addNamespace("wifitv"), qPrintable(m_lab->error()));
        const QString tvSide = QStringLiteral("link set lo up;link add eth0 type veth peer name wl0 netns %1;"
                                              "addr add 192.168.78.10/24 brd + dev eth0;link set eth0 up;"
                                              "route add default dev eth0")
                                   .arg(ns("pc"));
        for (const QString &command : tvSide.split(';'))
            QVERIFY2(ipIn("wifitv", command.split(' ')), qPrintable(m_lab->error()));
        QVERIFY(ipIn("pc", { "addr", "add", "192.168.78.1/24", "brd", "+", "dev", "wl0" }));
        QVERIFY(ipIn("pc", { "link", "set", "wl0", "up" }));

        // tv1 answers from its own address and from four more it holds, tv2 with an empty datagram.
        const QStringList extraAddresses { "192.168.77.20", "192.168.77.105", "192.168.77.30", "192.168.77.31" };
        for (const QString &address : extraAddresses)
            QVERIFY(ipIn("tv1", { "addr", "add", address + "/24", "dev", "eth0" }));
        QTemporaryDir dir;
        const QString localFile = dir.filePath(QStringLiteral("desc.xml"));
        QFile file(localFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<root><friendlyName>Local File</friendlyName></root>");
        file.close();
        const QString fileURL = QStringLiteral("file://") + localFile;
        // Descriptions served with an error status still count.
        HttpServer descriptions([](const HttpServer::Request &request) {
            return HttpServer::Response { request.path == u"/404.xml" ? 404 : 500, "text/xml",
                "<root><friendlyName>卧室</friendlyName><modelName>OLED42</modelName><UDN>uuid:den</UDN></root>" };
        });

        Listener tv1;
        Listener tv2;
        std::map<QString, QUdpSocket> from; // tv1's other addresses
        {
            NetnsScope tv(ns("tv1"));
            QVERIFY(tv1.listen(1900, kSSDPGroup));
            for (const QString &address : extraAddresses)
                QVERIFY(from[address.section('.', 3)].bind(QHostAddress(address), 0));
            QVERIFY(descriptions.listen(QHostAddress(QStringLiteral("192.168.77.11")), 0, nullptr));
        }
        Listener wireless;
        for (const auto &[listener, tv] : { std::pair { &tv2, "tv2" }, std::pair { &wireless, "wifitv" } }) {
            NetnsScope inside(ns(tv));
            QVERIFY(listener->listen(1900, kSSDPGroup));
        }
        tv1.onDatagram = [&](const QNetworkDatagram &search) {
            // Answers to both searches: the second one from .11 replaces the first.
            answer(tv1.socket, search,
                QStringLiteral("HTTP/1.1 200 OK\r\nUSN: uuid:%1::urn:lge-com:service:webos-second-screen:1\r\n"
                               "LOCATION: http://192.168.77.11:9/a.xml\r\n\r\n")
                    .arg(tv1.received.size() == 1 ? "first" : "second")
                    .toLatin1());
            answer(from["20"], search, "garbage \xff");
            answer(from["105"], search,
                ("HTTP/1.1 200 OK\r\nUsn: uuid:abc\r\nLocation:  " + fileURL + "\r\n\r\n").toUtf8());
            for (const auto &[last, status] : { std::pair { "30", 404 }, std::pair { "31", 500 } })
                answer(from[last], search,
                    QStringLiteral(
                        "HTTP/1.1 200 OK\r\nUSN: uuid:e%1\r\nLOCATION: http://192.168.77.11:%2/%1.xml\r\n\r\n")
                        .arg(status)
                        .arg(descriptions.port())
                        .toLatin1());
        };
        tv2.onDatagram = [&](const QNetworkDatagram &search) { answer(tv2.socket, search, QByteArray()); };
        wireless.onDatagram = [&](const QNetworkDatagram &search) {
            answer(wireless.socket, search, "HTTP/1.1 200 OK\r\nUSN: uuid:tv\r\n\r\n");
        };

        // The refused fetch and the local file leave the names empty, the descriptions behind 404
        // and 500 are read all the same; the second answer of a host replaces its first.
        const QString url = QStringLiteral("http://192.168.77.11:%1/%2.xml").arg(descriptions.port());
        const QList<Found> expected {
            { "192.168.77.105", "abc", std::nullopt, std::nullopt, fileURL },
            { "192.168.77.11", "second", std::nullopt, std::nullopt, "http://192.168.77.11:9/a.xml" },
            { "192.168.77.20", std::nullopt, std::nullopt, std::nullopt, std::nullopt },
            { "192.168.77.30", "den", "卧室", "OLED42", url.arg(404) },
            { "192.168.77.31", "den", "卧室", "OLED42", url.arg(500) },
            { "192.168.78.10", "tv", std::nullopt, std::nullopt, std::nullopt },
        };
        QCOMPARE(QCoro::waitFor(SSDPDiscovery::discover(1.0)), expected);
        QVERIFY(readLogMessages().contains(QStringLiteral("SSDP 发现 6 台电视: [\"192.168.77.105\", \"192.168.77.11\", "
                                                          "\"192.168.77.20\", \"192.168.77.30\", \"192.168.77.31\", "
                                                          "\"192.168.78.10\"]")));
        // Twice on each link, from that link's own address.
        for (const auto &[listener, source] : { std::pair { &tv1, "192.168.77.1" }, std::pair { &tv2, "192.168.77.1" },
                 std::pair { &wireless, "192.168.78.1" } }) {
            QCOMPARE(listener->received.size(), 2);
            for (const QNetworkDatagram &search : listener->received) {
                QCOMPARE(search.data(), SSDPDiscovery::searchDatagram());
                QCOMPARE(search.senderAddress(), QHostAddress(QString::fromLatin1(source)));
                QCOMPARE(search.destinationAddress(), kSSDPGroup);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestNetLab)
#include "test_netlab.moc"
