#include "udpbinding.h"

#include <QNetworkInterface>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QUdpSocket *UdpBinding::bind(const QHostAddress &address, quint16 port, QObject *parent, QString *error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address.toIPv4Address());
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    auto *socket = new QUdpSocket(parent);
    if (!socket->setSocketDescriptor(fd, QAbstractSocket::BoundState, QIODevice::ReadWrite)) {
        *error = socket->errorString();
        delete socket;
        ::close(fd);
        return nullptr;
    }
    return socket;
}

bool UdpBinding::joinGroup(QUdpSocket *socket, const QHostAddress &group, int interfaceIndex, QString *error)
{
    // Only the groups joined here, not every group some other socket of the host joined.
    const int zero = 0;
    ::setsockopt(int(socket->socketDescriptor()), IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero);
    ip_mreqn request {};
    request.imr_multiaddr.s_addr = htonl(group.toIPv4Address());
    request.imr_ifindex = interfaceIndex > 0 ? interfaceIndex : 0;
    if (::setsockopt(int(socket->socketDescriptor()), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        *error
            = QStringLiteral("cannot join %1: %2").arg(group.toString(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

int UdpBinding::interfaceFor(const QHostAddress &address, QString *name, QPair<QHostAddress, int> *subnet)
{
    int subnetMatch = -1;
    QString subnetName;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if (entry.ip() == address) {
                if (name)
                    *name = interface.name();
                if (subnet)
                    *subnet = { entry.ip(), entry.prefixLength() };
                return interface.index();
            }
            if (subnetMatch < 0 && entry.prefixLength() > 0 && address.isInSubnet(entry.ip(), entry.prefixLength())) {
                subnetMatch = interface.index();
                subnetName = interface.name();
                if (subnet)
                    *subnet = { entry.ip(), entry.prefixLength() };
            }
        }
    }
    if (name)
        *name = subnetName;
    return subnetMatch;
}

std::optional<UdpBinding::Datagram> UdpBinding::next(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        Datagram datagram;
        datagram.data.resize(qMax<qint64>(socket->pendingDatagramSize(), 0));
        const qint64 size
            = socket->readDatagram(datagram.data.data(), datagram.data.size(), &datagram.sender, &datagram.senderPort);
        if (size < 0)
            continue;
        datagram.data.truncate(size);
        return datagram;
    }
    return std::nullopt;
}
