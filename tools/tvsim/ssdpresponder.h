#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPair>

class MessageLog;
class QUdpSocket;
class TVState;

// Answers SSDP searches for the second-screen service with a unicast reply from the TV's own
// address. Port 1900 is shared with other emulators in the same namespace.
class SSDPResponder : public QObject {
    Q_OBJECT
public:
    static const QString serviceType;

    SSDPResponder(const QHostAddress &address, TVState *state, MessageLog *log, QObject *parent = nullptr);

    bool start(quint16 httpPort, QString *error);
    void setAnswering(bool answering) { m_answering = answering; } // a TV in standby stays silent

private:
    void onReadyRead(QUdpSocket *socket);
    void answer(const QHostAddress &to, quint16 port, const QString &searchTarget);

    QHostAddress m_address;
    TVState *m_state;
    MessageLog *m_log;
    QUdpSocket *m_multicast = nullptr; // 0.0.0.0:1900, member of the SSDP group
    QUdpSocket *m_unicast = nullptr; // ADDRESS:1900, sends the answers and takes unicast searches
    QPair<QHostAddress, int> m_subnet { QHostAddress(), -1 };
    quint16 m_httpPort = 0;
    bool m_answering = true;
};
