#include "rawhttp.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

RawExchange rawExchange(quint16 port, const QList<QByteArray> &pieces, int pauseMs, int waitMs)
{
    RawExchange result;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000))
        return result;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { result.response += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [&] { result.closedByServer = true; });
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pauseMs > 0)
            QTest::qWait(pauseMs);
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.write(pieces.at(i));
        socket.flush();
    }
    (void)QTest::qWaitFor([&] { return result.closedByServer; }, waitMs);
    if (socket.isOpen())
        result.response += socket.readAll();
    // The socket's own end as it goes out of scope must not count as the server's close.
    QObject::disconnect(&socket, nullptr, &socket, nullptr);
    return result;
}

QByteArray postRequest(const QByteArray &body, const QByteArray &path, const QByteArray &extraHeaders)
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

RawResponse splitResponse(const QByteArray &bytes)
{
    RawResponse response;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return response;
    QList<QByteArray> lines = bytes.left(end).split('\n');
    for (QByteArray &line : lines)
        line = line.chopped(line.endsWith('\r') ? 1 : 0);
    response.statusLine = lines.takeFirst();
    response.headerLines = lines;
    response.body = bytes.mid(end + 4);
    return response;
}
