// Certificate pinning: the SSAP socket, the pointer socket and icon downloads all go through the
// client's decision, which looks at the leaf certificate only.

#include "pointerclient.h"
#include "ssapclient.h"
#include "testawait.h"
#include "testenv.h"
#include "testtvserver.h"

#include <QSslServer>
#include <QSslSocket>
#include <QTest>

namespace {

const QString tvHost = QStringLiteral("127.4.2.1");

int mismatchLines()
{
    return int(readLogMessages().count(QStringLiteral("TLS 证书指纹不匹配，拒绝连接")));
}

// An HTTPS responder for icon downloads; it records every byte it is sent.
class IconServer : public QSslServer {
public:
    explicit IconServer(const TestIdentity &identity)
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(identity.chain);
        config.setPrivateKey(identity.key);
        setSslConfiguration(config);
        connect(this, &QSslServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received += socket->readAll();
                    if (received.contains("\r\n\r\n"))
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nPNG");
                });
            }
        });
        listen(QHostAddress(tvHost));
    }
    QUrl url() const { return QUrl(QStringLiteral("https://%1:%2/icon.png").arg(tvHost).arg(serverPort())); }
    QByteArray received;
};

} // namespace

class TestPinning : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestCertificates::selfSigned().isValid());
        QVERIFY(TestCertificates::otherSelfSigned().isValid());
        QCOMPARE(TestCertificates::chained().chain.size(), 2);
    }

    // A refused TV sees no WebSocket connection, no message and no request line.
    void pinDecidesEverySocket_data()
    {
        QTest::addColumn<bool>("chained");
        QTest::addColumn<std::optional<QString>>("pin");
        QTest::addColumn<bool>("accepted");
        const TestIdentity &tv = TestCertificates::selfSigned();
        const TestIdentity &chain = TestCertificates::chained();
        QTest::newRow("no pin") << false << std::optional<QString>() << true;
        QTest::newRow("its pin") << false << std::optional(tv.leafFingerprint) << true;
        QTest::newRow("another certificate's")
            << false << std::optional(TestCertificates::otherSelfSigned().leafFingerprint) << false;
        QTest::newRow("upper case") << false << std::optional(tv.leafFingerprint.toUpper()) << false;
        QTest::newRow("chain, no pin") << true << std::optional<QString>() << true;
        QTest::newRow("chain, the leaf's") << true << std::optional(chain.leafFingerprint) << true;
        QTest::newRow("chain, the intermediate's") << true << std::optional(chain.secondFingerprint) << false;
    }

    void pinDecidesEverySocket()
    {
        QFETCH(bool, chained);
        QFETCH(std::optional<QString>, pin);
        QFETCH(bool, accepted);
        const TestIdentity &tv = chained ? TestCertificates::chained() : TestCertificates::selfSigned();
        TestTVServer server(tv);
        QVERIFY(server.listen(QHostAddress(tvHost), 3001));
        IconServer icons(tv);
        const int before = mismatchLines();

        SSAPClient client(pin);
        QList<std::optional<SSAPError>> closes;
        client.onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        auto greeting = start(client.connect(tvHost));
        auto download = start(client.fetch(icons.url()));
        QTRY_VERIFY(greeting->done() && download->done());
        QCOMPARE(client.tls().observedFingerprint(), std::optional<QString>(tv.leafFingerprint));
        PointerClient pointer(client.createSocket(), QUrl(server.wssURL(QStringLiteral("/pointer"))));
        pointer.click();
        if (accepted) {
            QVERIFY2(greeting->value, qPrintable(greeting->errorText()));
            QCOMPARE(download->value, std::optional<std::optional<QByteArray>>(QByteArray("PNG")));
            QTRY_COMPARE(server.texts().size(), 2); // the greeting and the click
            QVERIFY(pointer.isOpen());
            QCOMPARE(mismatchLines(), before);
            return;
        }
        QVERIFY(greeting->error);
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::Platform);
        QTRY_COMPARE(closes.size(), 1);
        QCOMPARE(*closes[0], *greeting->error);
        QVERIFY(!client.hasSocket());
        QVERIFY(download->value && !*download->value);
        QTRY_VERIFY(!pointer.isOpen());
        QCOMPARE(mismatchLines(), before + 3);
        // Marker: a client without a pin, connected after the refusals, is the TV's only one.
        SSAPClient trusting(std::nullopt);
        auto later = start(trusting.connect(tvHost));
        QTRY_VERIFY(later->done());
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(server.texts().size(), 1);
        QVERIFY(icons.received.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPinning)
#include "test_pinning.moc"
