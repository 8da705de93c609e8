#include "datagramlistener.h"

#include <QUdpSocket>

DatagramListener::DatagramListener(QObject *parent)
    : QObject(parent)
    , m_socket(std::make_unique<QUdpSocket>())
{
    connect(m_socket.get(), &QUdpSocket::readyRead, this, &DatagramListener::readPending);
}

DatagramListener::~DatagramListener() = default;

bool DatagramListener::listen(quint16 port, const QHostAddress &group)
{
    if (!m_socket->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return false;
    return group.isNull() || m_socket->joinMulticastGroup(group);
}

int DatagramListener::addSender(const QHostAddress &address)
{
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(address, 0))
        return -2;
    m_senders.push_back(std::move(socket));
    return int(m_senders.size()) - 1;
}

void DatagramListener::answer(const QNetworkDatagram &to, const QByteArray &data, int sender)
{
    QUdpSocket *socket = sender < 0 ? m_socket.get() : m_senders.at(size_t(sender)).get();
    socket->writeDatagram(data, to.senderAddress(), quint16(to.senderPort()));
}

void DatagramListener::readPending()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        m_received.append(datagram);
        if (m_handler)
            m_handler(*this, datagram, int(m_received.size()) - 1);
    }
}
