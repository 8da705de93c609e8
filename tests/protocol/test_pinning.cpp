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

#include <memory>

namespace {

const QString tvHost = QStringLiteral("127.4.2.1");
const QString mismatchLine = QStringLiteral("TLS 证书指纹不匹配，拒绝连接");

int mismatchLines()
{
    return int(readLogMessages().count(mismatchLine));
}

// A one-shot HTTPS responder for icon downloads; it records every byte it is sent.
class IconServer
{
public:
    explicit IconServer(const TestIdentity &identity)
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(identity.chain);
        config.setPrivateKey(identity.key);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(config);
        QObject::connect(&m_server, &QSslServer::pendingConnectionAvailable, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received += socket->readAll();
                    if (!received.contains("\r\n\r\n"))
                        return;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 9\r\n"
                                  "Connection: close\r\n\r\nPNG-BYTES");
                    socket->disconnectFromHost();
                });
            }
        });
        m_server.listen(QHostAddress(tvHost));
    }
    QUrl url() const { return QUrl(QStringLiteral("https://%1:%2/icon.png").arg(tvHost).arg(m_server.serverPort())); }
    QByteArray received;

private:
    QSslServer m_server;
};

} // namespace

class TestPinning : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

    std::unique_ptr<TestTVServer> serve(const TestIdentity &identity)
    {
        auto server = std::make_unique<TestTVServer>(identity);
        if (!server->listen(QHostAddress(tvHost), 3001))
            return {};
        return server;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestCertificates::selfSigned().isValid());
        QVERIFY(TestCertificates::otherSelfSigned().isValid());
        QVERIFY(TestCertificates::chained().isValid());
        QCOMPARE(TestCertificates::chained().chain.size(), 2);
    }

    void otherPinsRefuse_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::newRow("another certificate") << TestCertificates::otherSelfSigned().leafFingerprint;
        QTest::newRow("upper case") << TestCertificates::selfSigned().leafFingerprint.toUpper();
    }

    void otherPinsRefuse()
    {
        QFETCH(QString, pin);
        const TestIdentity &tv = TestCertificates::selfSigned();
        auto server = serve(tv);
        QVERIFY(server);
        const int before = mismatchLines();
        SSAPClient client(pin);
        QList<std::optional<SSAPError>> closes;
        client.onClose = [&](const std::optional<SSAPError> &error) { closes << error; };
        auto greeting = start(client.connect(tvHost));
        QTRY_VERIFY(greeting->done());
        QVERIFY(greeting->error);
        QCOMPARE(greeting->error->kind(), SSAPError::Kind::Platform);
        QTRY_COMPARE(closes.size(), 1);
        QCOMPARE(*closes[0], *greeting->error);
        QVERIFY(!client.hasSocket());
        // The TV saw neither a WebSocket connection nor any message.
        QTest::qWait(100);
        QCOMPARE(server->connectionCount(), 0);
        QVERIFY(server->frames().isEmpty());
        QCOMPARE(client.tls().observedFingerprint(), std::optional<QString>(tv.leafFingerprint));
        QCOMPARE(mismatchLines(), before + 1);
    }

    // Only the leaf counts: no pin and the leaf's pin connect, the intermediate's refuses.
    void chainIsPinnedByItsLeaf()
    {
        const TestIdentity &tv = TestCertificates::chained();
        auto server = serve(tv);
        QVERIFY(server);
        const QList<std::pair<std::optional<QString>, bool>> cases{
            {std::nullopt, true}, {tv.leafFingerprint, true}, {tv.secondFingerprint, false}};
        for (const auto &[pin, accepted] : cases) {
            SSAPClient client(pin);
            auto greeting = start(client.connect(tvHost));
            QTRY_VERIFY(greeting->done());
            QVERIFY2(bool(greeting->value) == accepted, qPrintable(greeting->errorText()));
            QCOMPARE(client.tls().observedFingerprint(), std::optional<QString>(tv.leafFingerprint));
        }
        QCOMPARE(server->connectionCount(), 2);
    }

    void pointerSocketGoesThroughThePin()
    {
        const TestIdentity &tv = TestCertificates::selfSigned();
        auto server = serve(tv);
        QVERIFY(server);
        SSAPClient client(tv.leafFingerprint);
        auto greeting = start(client.connect(tvHost));
        QTRY_VERIFY(greeting->done());
        QVERIFY(greeting->value);

        // The pointer socket of a TV presenting another certificate is refused.
        TestTVServer impostor(TestCertificates::otherSelfSigned());
        QVERIFY(impostor.listen(QHostAddress(tvHost)));
        const int before = mismatchLines();
        PointerClient refused(client.createSocket(), QUrl(impostor.wssURL(QStringLiteral("/pointer"))));
        refused.button(QStringLiteral("HOME"));
        QTRY_VERIFY(!refused.isOpen());
        QTest::qWait(100);
        QCOMPARE(impostor.connectionCount(), 0);
        QVERIFY(impostor.frames().isEmpty());
        QCOMPARE(mismatchLines(), before + 1);
    }

    void downloadsGoThroughThePin()
    {
        IconServer icons(TestCertificates::selfSigned());
        SSAPClient client(TestCertificates::otherSelfSigned().leafFingerprint);
        const int before = mismatchLines();
        auto download = start(client.fetch(icons.url()));
        QTRY_VERIFY(download->done());
        QVERIFY(download->value && !*download->value);
        QVERIFY(icons.received.isEmpty()); // not even the request line
        QCOMPARE(mismatchLines(), before + 1);
    }
};

QTEST_GUILESS_MAIN(TestPinning)
#include "test_pinning.moc"
