#pragma once

#include <QHostAddress>
#include <QObject>

class MessageLog;
class QUdpSocket;

// Listens for Wake-on-LAN magic packets on UDP port 9: broadcasts on 0.0.0.0:9 (shared with
// other emulators) and unicasts on ADDRESS:9, so a unicast packet reaches this TV and no other.
class WakeListener : public QObject {
    Q_OBJECT
public:
    WakeListener(const QHostAddress &address, MessageLog *log, QObject *parent = nullptr);

    bool start(QString *error);

    // The MAC named by a magic packet (lower-case, colon-separated), or empty when it is none.
    static QString magicPacketMAC(const QByteArray &datagram);

signals:
    void magicPacket(const QString &mac);

private:
    void onReadyRead(QUdpSocket *socket);

    QHostAddress m_address;
    MessageLog *m_log;
};
