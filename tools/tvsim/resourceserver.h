#pragma once

#include "httpserver.h"

#include <QObject>

class MessageLog;
class TVState;

// What the TV serves over plain HTTP: its device description (named by the SSDP LOCATION)
// and the icons of launch points and inputs.
class ResourceServer : public QObject {
    Q_OBJECT
public:
    ResourceServer(TVState *state, MessageLog *log, QObject *parent = nullptr);

    // Tries the preferred port first, then lets the system choose.
    bool listen(const QHostAddress &address, quint16 preferredPort, QString *error);
    quint16 port() const { return m_http->port(); }
    static QString descriptionPath() { return QStringLiteral("/description.xml"); }

private:
    HttpServer::Response handle(const HttpServer::Request &request);
    QByteArray description() const;

    TVState *m_state;
    MessageLog *m_log;
    HttpServer *m_http;
};
