#include "wakelistener.h"

#include "messagelog.h"
#include "udpbinding.h"

#include <QJsonObject>
#include <QUdpSocket>

WakeListener::WakeListener(const QHostAddress &address, MessageLog *log, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_log(log)
{
}

bool WakeListener::start(QString *error)
{
    QUdpSocket *broadcast = UdpBinding::bind(QHostAddress::AnyIPv4, 9, this, error);
    if (!broadcast)
        return false;
    QUdpSocket *unicast = UdpBinding::bind(m_address, 9, this, error);
    if (!unicast)
        return false;
    connect(broadcast, &QUdpSocket::readyRead, this, [this, broadcast] { onReadyRead(broadcast); });
    connect(unicast, &QUdpSocket::readyRead, this, [this, unicast] { onReadyRead(unicast); });
    return true;
}

QString WakeListener::magicPacketMAC(const QByteArray &datagram)
{
    // Six 0xFF bytes, then one MAC sixteen times; anything after (a SecureOn password) is ignored.
    const QByteArray sync(6, char(0xff));
    for (qsizetype start = datagram.indexOf(sync); start >= 0 && start + 102 <= datagram.size();
         start = datagram.indexOf(sync, start + 1)) {
        const QByteArray mac = datagram.mid(start + 6, 6);
        bool repeated = true;
        for (int i = 1; i < 16 && repeated; ++i)
            repeated = datagram.mid(start + 6 + i * 6, 6) == mac;
        if (repeated)
            return QString::fromLatin1(mac.toHex(':'));
    }
    return {};
}

void WakeListener::onReadyRead(QUdpSocket *socket)
{
    while (const std::optional<UdpBinding::Datagram> datagram = UdpBinding::next(socket)) {
        const QString mac = magicPacketMAC(datagram->data);
        QJsonObject extra { { QStringLiteral("from"), datagram->from() },
            { QStringLiteral("size"), int(datagram->data.size()) } };
        extra.insert(QStringLiteral("mac"), mac.isEmpty() ? QJsonValue() : QJsonValue(mac));
        m_log->record(QStringLiteral("wol"), QString::fromLatin1(datagram->data.toHex()), extra);
        if (!mac.isEmpty())
            emit magicPacket(mac);
    }
}
