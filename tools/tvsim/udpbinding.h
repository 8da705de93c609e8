#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPair>
#include <QString>

#include <optional>

class QObject;
class QUdpSocket;

// UDP sockets several emulators can hold in one network namespace at once: SO_REUSEADDR and
// SO_REUSEPORT are set before bind, which QUdpSocket's own bind cannot do for both.
class UdpBinding {
public:
    struct Datagram {
        QByteArray data;
        QHostAddress sender;
        quint16 senderPort = 0;
        QString from() const { return QStringLiteral("%1:%2").arg(sender.toString()).arg(senderPort); }
    };

    static QUdpSocket *bind(const QHostAddress &address, quint16 port, QObject *parent, QString *error);
    // Joins group on the interface with the given index (0: the system's choice).
    static bool joinGroup(QUdpSocket *socket, const QHostAddress &group, int interfaceIndex, QString *error);
    // Index, name and subnet of the interface whose address (or subnet) holds address; -1 when none.
    // The next datagram waiting on socket (unreadable ones are skipped); none when all are read.
    static std::optional<Datagram> next(QUdpSocket *socket);
    static int interfaceFor(const QHostAddress &address, QString *name, QPair<QHostAddress, int> *subnet = nullptr);
};
