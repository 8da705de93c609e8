#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server: one request per connection, answered at once, then closed.
class HttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QString path; // without the query
        QString query;
        QByteArray body;
        QString peer;
    };
    struct Response {
        int status = 200;
        QByteArray contentType = QByteArrayLiteral("application/json");
        QByteArray body;
    };
    using Handler = std::function<Response(const Request &)>;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    static constexpr qsizetype maxRequestSize = 1024 * 1024;
    Handler m_handler;
    QTcpServer *m_server;
};
