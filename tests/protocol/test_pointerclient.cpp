// The pointer socket: exact frames, when isOpen turns false, and what a sender is told.

#include "pointerclient.h"
#include "ssapclient.h"
#include "testenv.h"
#include "testtvserver.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QHostAddress pointerHost(QStringLiteral("127.4.3.1"));

} // namespace

class TestPointerClient : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TestTVServer> m_server;
    std::unique_ptr<SSAPClient> m_client; // only its socket factory is used

    std::unique_ptr<PointerClient> openPointer(QWebSocket **socket = nullptr)
    {
        QWebSocket *created = m_client->createSocket();
        if (socket)
            *socket = created;
        return std::make_unique<PointerClient>(created, QUrl(m_server->wssURL(QStringLiteral("/resources/abc/netinput.pointer.sock"))));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(TestCertificates::selfSigned().isValid()); }

    void init()
    {
        m_server = std::make_unique<TestTVServer>(TestCertificates::selfSigned());
        QVERIFY(m_server->listen(pointerHost));
        m_client = std::make_unique<SSAPClient>(std::nullopt);
    }

    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    void framesByteForByte()
    {
        auto pointer = openPointer();
        QVERIFY(pointer->isOpen());
        // Sent before the socket is open: queued, then sent in order; the senders are told when.
        QList<bool> sent;
        const auto tell = [&sent](bool out) { sent << out; };
        pointer->button(QStringLiteral("HOME"), tell);
        pointer->move(-3, 12);
        pointer->scroll(0, -1);
        pointer->click(tell);
        QVERIFY(sent.isEmpty());
        QTRY_COMPARE(m_server->texts().size(), 4);
        QCOMPARE(sent, (QList<bool> { true, true }));
        pointer->move(-2147483647 - 1, 2147483647);
        QTRY_COMPARE(m_server->texts().size(), 5);

        const QStringList expected{
            QStringLiteral("type:button\nname:HOME\n\n"),
            QStringLiteral("type:move\ndx:-3\ndy:12\ndown:0\n\n"),
            QStringLiteral("type:scroll\ndx:0\ndy:-1\n\n"),
            QStringLiteral("type:click\n\n"),
            QStringLiteral("type:move\ndx:-2147483648\ndy:2147483647\ndown:0\n\n"),
        };
        QCOMPARE(m_server->texts(), expected);
        QCOMPARE(m_server->frames().size(), 5); // all text frames
        QCOMPARE(m_server->requestPath(), QStringLiteral("/resources/abc/netinput.pointer.sock"));
        QVERIFY(pointer->isOpen());
    }

    void closeEndsItForGood()
    {
        auto pointer = openPointer();
        pointer->click();
        QTRY_COMPARE(m_server->texts().size(), 1);
        QSignalSpy changed(pointer.get(), &PointerClient::isOpenChanged);
        pointer->close();
        QVERIFY(!pointer->isOpen());
        QCOMPARE(changed.size(), 1);
        QTRY_COMPARE(m_server->closeCodes().size(), 1);
        QCOMPARE(m_server->closeCodes()[0], QWebSocketProtocol::CloseCodeGoingAway);
        // Still attempted, never delivered, never open again.
        pointer->button(QStringLiteral("HOME"));
        pointer->close();
        QTest::qWait(100);
        QCOMPARE(m_server->texts().size(), 1);
        QVERIFY(!pointer->isOpen());
        QCOMPARE(changed.size(), 1);
    }

    // Closed or deleted before the socket is open: what was queued is never sent.
    void endedWhileOpeningSendsNothing()
    {
        QWebSocket *created = nullptr;
        QList<bool> sent;
        const auto tell = [&sent](bool out) { sent << out; };
        auto closed = openPointer();
        closed->button(QStringLiteral("HOME"), tell);
        closed->close();
        QVERIFY(!closed->isOpen());
        closed->click(tell);
        auto deleted = openPointer(&created);
        QPointer<QWebSocket> socket(created);
        deleted->button(QStringLiteral("HOME"), tell);
        deleted.reset();
        QCOMPARE(sent, (QList<bool> { false, false, false }));
        QTRY_VERIFY(socket.isNull());
        QTest::qWait(200);
        QVERIFY(m_server->texts().isEmpty());
    }

    void failedSendTurnsItFalse()
    {
        QWebSocket *socket = nullptr;
        auto pointer = openPointer(&socket);
        pointer->click();
        QTRY_COMPARE(m_server->texts().size(), 1);
        // The socket has ended but its end has not been reported to the client (as when the
        // report is still on its way): the next send fails, and that alone ends isOpen.
        QObject::disconnect(socket, nullptr, pointer.get(), nullptr);
        socket->abort();
        QVERIFY(pointer->isOpen());
        pointer->button(QStringLiteral("HOME"));
        QVERIFY(!pointer->isOpen());
        QTest::qWait(100);
        QCOMPARE(m_server->texts().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPointerClient)
#include "test_pointerclient.moc"
