#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QUdpSocket;

// A plain UDP listener for the lab tests: records every datagram it receives (bytes, sender,
// destination) and can answer from its own socket or from extra sockets bound to other
// addresses. Create the sockets while the thread is inside the namespace they belong to.
class DatagramListener : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(DatagramListener &listener, const QNetworkDatagram &datagram, int index)>;

    explicit DatagramListener(QObject *parent = nullptr);
    ~DatagramListener() override;

    // Binds 0.0.0.0:port, joining group when one is given.
    bool listen(quint16 port, const QHostAddress &group = QHostAddress());
    // Another socket to answer from; returns its number for answer().
    int addSender(const QHostAddress &address);
    // Called for every received datagram with its 0-based number.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Sends data to the datagram's sender from socket sender (-1: the listening socket).
    void answer(const QNetworkDatagram &to, const QByteArray &data, int sender = -1);

    const QList<QNetworkDatagram> &received() const { return m_received; }
    void clear() { m_received.clear(); }

private:
    void readPending();

    std::unique_ptr<QUdpSocket> m_socket;
    std::vector<std::unique_ptr<QUdpSocket>> m_senders;
    QList<QNetworkDatagram> m_received;
    Handler m_handler;
};
