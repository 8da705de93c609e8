#include "localnetwork.h"

#include "applog.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QUdpSocket>

#include <QCoro/QCoroProcess>

#include <algorithm>

namespace LocalNetwork {

namespace {

const QString kARPProgram = QStringLiteral("/usr/sbin/arp");
const QString kProcNetARP = QStringLiteral("/proc/net/arp");
constexpr int kARPTimeoutMs = 10000;
constexpr quint16 kWakeOnLANPort = 9;
constexpr int kMagicPacketSize = 102;
constexpr int kATFCompleted = 0x2; // ATF_COM: the entry holds a resolved hardware address

// Only the plain dotted form counts (no "10.1" shorthand, no leading zeros): it must read back
// as the same text.
std::optional<quint32> parseIPv4(const QString &text)
{
    const QHostAddress address(text);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || address.toString() != text)
        return std::nullopt;
    return qToBigEndian(address.toIPv4Address());
}

quint32 networkOrder(const QHostAddress &address)
{
    return qToBigEndian(address.toIPv4Address());
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QList<Interface> interfaces()
{
    QList<Interface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        const QNetworkInterface::InterfaceFlags flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.netmask().isNull())
                continue;
            result.append({ iface.name(), networkOrder(entry.ip()), networkOrder(entry.netmask()) });
        }
    }
    return result;
}

QList<QNetworkInterface> multicastInterfaces()
{
    QList<QNetworkInterface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        const QNetworkInterface::InterfaceFlags flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)
            || !flags.testFlag(QNetworkInterface::CanMulticast))
            continue;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        if (std::any_of(entries.begin(), entries.end(), [](const QNetworkAddressEntry &entry) {
                return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
            }))
            result.append(iface);
    }
    return result;
}

std::optional<Interface> primaryInterface(const std::optional<QString> &host)
{
    return primaryInterface(interfaces(), host);
}

std::optional<Interface> primaryInterface(const QList<Interface> &candidates, const std::optional<QString> &host)
{
    if (host) {
        if (const std::optional<quint32> target = parseIPv4(*host)) {
            for (const Interface &iface : candidates) {
                if (((iface.address ^ *target) & iface.netmask) == 0)
                    return iface;
            }
        }
    }
    if (candidates.isEmpty())
        return std::nullopt;
    for (const Interface &iface : candidates) {
        if (iface.name.startsWith(QLatin1String("en")))
            return iface;
    }
    return candidates.constFirst();
}

QString ipv4Text(quint32 address)
{
    return QHostAddress(qFromBigEndian(address)).toString();
}

QString defaultARPProgram()
{
    return kARPProgram;
}

QCoro::Task<std::optional<QString>> macAddress(QString host, QString arpProgram)
{
    // The host comes from saved data: never let it pass as one of arp's options.
    if (host.isEmpty() || host.startsWith(QLatin1Char('-')))
        co_return std::nullopt;

    if (!QFileInfo(arpProgram).isExecutable()) {
        QFile table(kProcNetARP);
        if (!table.open(QIODevice::ReadOnly))
            co_return std::nullopt;
        co_return parseProcNetARP(QString::fromUtf8(table.readAll()), host);
    }

    QProcess arp;
    arp.setProcessChannelMode(QProcess::SeparateChannels);
    arp.setStandardInputFile(QProcess::nullDevice());
    // Linux's "arp -n HOST" prints a table; "-a" gives the "? (HOST) at MAC" form.
    const QStringList arguments { QStringLiteral("-an"), host };
    const bool started = co_await qCoro(arp).start(arpProgram, arguments);
    if (!started)
        co_return std::nullopt;
    if (arp.state() != QProcess::NotRunning) {
        co_await qCoro(arp).waitForFinished(kARPTimeoutMs);
        if (arp.state() != QProcess::NotRunning) {
            arp.kill();
            co_await qCoro(arp).waitForFinished();
            co_return std::nullopt;
        }
    }
    co_return parseARPOutput(QString::fromUtf8(arp.readAllStandardOutput()));
}

std::optional<QString> parseARPOutput(const QString &output)
{
    static const QRegularExpression pattern(QStringLiteral("at ([0-9a-fA-F:]+)"));
    const QRegularExpressionMatch match = pattern.match(output);
    if (!match.hasMatch())
        return std::nullopt;
    return normalizeMAC(match.captured(0).mid(3));
}

std::optional<QString> parseProcNetARP(const QString &table, const QString &host)
{
    // IP address  HW type  Flags  HW address  Mask  Device
    const QStringList lines = table.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList columns = lines.at(i).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (columns.size() < 4 || columns.at(0) != host)
            continue;
        bool ok = false;
        const int flags = columns.at(2).toInt(&ok, 16);
        if (!ok || !(flags & kATFCompleted))
            continue;
        if (std::optional<QString> mac = normalizeMAC(columns.at(3)))
            return mac;
    }
    return std::nullopt;
}

std::optional<QString> normalizeMAC(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[:-]"));
    const QStringList pieces = text.split(separators, Qt::SkipEmptyParts);
    if (pieces.size() != 6)
        return std::nullopt;
    QStringList groups;
    for (const QString &piece : pieces) {
        if (piece.size() > 2 || !std::all_of(piece.begin(), piece.end(), isHexDigit))
            return std::nullopt;
        groups.append(piece.toLower().rightJustified(2, QLatin1Char('0')));
    }
    return groups.join(QLatin1Char(':'));
}

QByteArray magicPacket(const QString &canonicalMAC)
{
    QByteArray mac;
    for (const QString &group : canonicalMAC.split(QLatin1Char(':')))
        mac.append(char(group.toUInt(nullptr, 16)));
    QByteArray packet(6, char(0xFF));
    for (int i = 0; i < 16; ++i)
        packet.append(mac);
    return packet;
}

bool sendWakeOnLAN(const QString &mac, const std::optional<QString> &host)
{
    const std::optional<QString> canonical = normalizeMAC(mac);
    if (!canonical)
        return false;
    const QByteArray packet = magicPacket(*canonical);

    quint32 destination = 0xFFFFFFFF; // 255.255.255.255, network order alike
    if (const std::optional<Interface> iface = primaryInterface(host))
        destination = iface->address | ~iface->netmask;
    const QHostAddress address(qFromBigEndian(destination));

    QUdpSocket socket; // Qt sets SO_BROADCAST on every UDP socket it makes
    socket.setProxy(QNetworkProxy::NoProxy); // the TV is on the local network
    if (!socket.bind(QHostAddress::AnyIPv4, 0))
        return false;
    bool sent = false;
    for (int i = 0; i < 3; ++i)
        sent = socket.writeDatagram(packet, address, kWakeOnLANPort) == kMagicPacketSize || sent;
    appLog(QStringLiteral("WOL %1 -> %2 sent=%3")
               .arg(*canonical, address.toString(), sent ? QStringLiteral("true") : QStringLiteral("false")));
    return sent;
}

} // namespace LocalNetwork
