#pragma once

#include <QHostAddress>
#include <QPair>
#include <QString>

class QObject;
class QUdpSocket;

// UDP sockets several emulators can hold in one network namespace at once: SO_REUSEADDR and
// SO_REUSEPORT are set before bind, which QUdpSocket's own bind cannot do for both.
class UdpBinding
{
public:
    static QUdpSocket *bind(const QHostAddress &address, quint16 port, QObject *parent, QString *error);
    // Joins group on the interface with the given index (0: the system's choice).
    static bool joinGroup(QUdpSocket *socket, const QHostAddress &group, int interfaceIndex, QString *error);
    // Index, name and subnet of the interface whose address (or subnet) holds address; -1 when none.
    static int interfaceFor(const QHostAddress &address, QString *name, QPair<QHostAddress, int> *subnet = nullptr);
};
