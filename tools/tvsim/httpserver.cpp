#include "httpserver.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QByteArrayLiteral("OK");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 405:
        return QByteArrayLiteral("Method Not Allowed");
    case 409:
        return QByteArrayLiteral("Conflict");
    case 413:
        return QByteArrayLiteral("Payload Too Large");
    default:
        return QByteArrayLiteral("Error");
    }
}

void respond(QTcpSocket *socket, const HttpServer::Response &response)
{
    QByteArray data = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    data += "Content-Type: " + response.contentType + "\r\n";
    data += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    data += "Connection: close\r\n\r\n";
    data += response.body;
    socket->write(data);
    socket->disconnectFromHost();
}

} // namespace

HttpServer::HttpServer(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server->listen(address, port))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(m_server->errorString());
    return false;
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpServer::onReadyRead(QTcpSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    if (buffer.size() > maxRequestSize) {
        socket->setProperty("answered", true);
        respond(socket, { 413, "text/plain", "request too large\n" });
        return;
    }
    socket->setProperty("buffer", buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            contentLength = line.mid(colon + 1).trimmed().toLongLong();
    }
    if (contentLength < 0 || contentLength > maxRequestSize) {
        socket->setProperty("answered", true);
        respond(socket, { 413, "text/plain", "request too large\n" });
        return;
    }
    if (buffer.size() - headerEnd - 4 < contentLength)
        return;
    socket->setProperty("answered", true);
    if (requestLine.size() < 2) {
        respond(socket, { 400, "text/plain", "bad request\n" });
        return;
    }
    const QUrl url(QString::fromUtf8(requestLine.at(1)));
    Request request { requestLine.at(0), url.path(), url.query(), buffer.mid(headerEnd + 4, contentLength),
        QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()) };
    respond(socket, m_handler(request));
}
