#pragma once

#include "httpserver.h"

#include <QObject>

class TVSimulator;

// The control interface tests use: state, received messages, state changes and faults,
// as HTTP+JSON on the emulator's address.
class ControlServer : public QObject {
    Q_OBJECT
public:
    explicit ControlServer(TVSimulator *simulator, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_http->port(); }

private:
    HttpServer::Response handle(const HttpServer::Request &request);
    HttpServer::Response set(const QJsonObject &body);
    HttpServer::Response fault(const QJsonObject &body);
    HttpServer::Response pairing(const QJsonObject &body);

    TVSimulator *m_simulator;
    HttpServer *m_http;
};
