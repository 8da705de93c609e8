#include "ssdpresponder.h"

#include "messagelog.h"
#include "tvstate.h"
#include "udpbinding.h"

#include <QDateTime>
#include <QJsonObject>
#include <QLocale>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

const QString SSDPResponder::serviceType = QStringLiteral("urn:lge-com:service:webos-second-screen:1");

SSDPResponder::SSDPResponder(const QHostAddress &address, TVState *state, MessageLog *log, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_state(state)
    , m_log(log)
{
}

bool SSDPResponder::start(quint16 httpPort, QString *error)
{
    m_httpPort = httpPort;
    m_multicast = UdpBinding::bind(QHostAddress::AnyIPv4, 1900, this, error);
    if (!m_multicast)
        return false;
    m_unicast = UdpBinding::bind(m_address, 1900, this, error);
    if (!m_unicast)
        return false;
    QString interfaceName;
    const int index = UdpBinding::interfaceFor(m_address, &interfaceName, &m_subnet);
    if (!UdpBinding::joinGroup(m_multicast, QHostAddress(QStringLiteral("239.255.255.250")), index, error))
        return false;
    connect(m_multicast, &QUdpSocket::readyRead, this, [this] { onReadyRead(m_multicast); });
    connect(m_unicast, &QUdpSocket::readyRead, this, [this] { onReadyRead(m_unicast); });
    return true;
}

void SSDPResponder::onReadyRead(QUdpSocket *socket)
{
    while (const std::optional<UdpBinding::Datagram> datagram = UdpBinding::next(socket)) {
        const QHostAddress sender = datagram->sender;
        const quint16 senderPort = datagram->senderPort;
        const QString text = QString::fromUtf8(datagram->data);
        QJsonObject headers;
        for (const QString &line : text.split(QStringLiteral("\r\n"))) {
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            if (colon > 0)
                headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        // Our own answers to another emulator's search are not news.
        if (!text.startsWith(QStringLiteral("M-SEARCH")))
            continue;
        m_log->record(QStringLiteral("ssdp"), text,
            { { QStringLiteral("from"), datagram->from() }, { QStringLiteral("headers"), headers } });
        const QString target = headers.value(QStringLiteral("st")).toString();
        // Only searches from the TV's own network get an answer.
        if (m_subnet.second <= 0 || !sender.isInSubnet(m_subnet.first, m_subnet.second))
            continue;
        if (!m_answering || headers.value(QStringLiteral("man")).toString() != QStringLiteral("\"ssdp:discover\""))
            continue;
        if (target != serviceType && target != QStringLiteral("ssdp:all"))
            continue;
        // Real devices spread their answers over the MX window; a short spread keeps tests quick.
        const int delay = QRandomGenerator::global()->bounded(100);
        QTimer::singleShot(delay, this, [this, sender, senderPort] { answer(sender, senderPort, serviceType); });
    }
}

void SSDPResponder::answer(const QHostAddress &to, quint16 port, const QString &searchTarget)
{
    if (!m_answering)
        return;
    const QString date
        = QLocale::c().toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    const QString text = QStringLiteral("HTTP/1.1 200 OK\r\n"
                                        "CACHE-CONTROL: max-age=1800\r\n"
                                        "DATE: %1\r\n"
                                        "EXT:\r\n"
                                        "LOCATION: http://%2:%3/description.xml\r\n"
                                        "SERVER: WebOS/4.1.0 UPnP/1.0 webOSTV/1.0\r\n"
                                        "ST: %4\r\n"
                                        "USN: uuid:%5::%4\r\n"
                                        "\r\n")
                             .arg(date, m_address.toString())
                             .arg(m_httpPort)
                             .arg(searchTarget, m_state->deviceUUID());
    m_unicast->writeDatagram(text.toUtf8(), to, port);
}
