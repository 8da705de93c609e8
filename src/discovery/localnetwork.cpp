#include "localnetwork.h"

#include "applog.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <QCoro/QCoroProcess>

#include <algorithm>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LocalNetwork {

namespace {

const QString kARPProgram = QStringLiteral("/usr/sbin/arp");
const QString kProcNetARP = QStringLiteral("/proc/net/arp");
constexpr int kARPTimeoutMs = 10000;
constexpr quint16 kWakeOnLANPort = 9;
constexpr int kMagicPacketSize = 102;
constexpr int kATFCompleted = 0x2; // ATF_COM: the entry holds a resolved hardware address

std::optional<quint32> parseIPv4(const QString &text)
{
    in_addr address {};
    if (inet_pton(AF_INET, text.toLatin1().constData(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QList<Interface> interfaces()
{
    QList<Interface> result;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_netmask)
            continue;
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        if (entry->ifa_addr->sa_family != AF_INET)
            continue;
        Interface iface;
        iface.name = QString::fromLocal8Bit(entry->ifa_name);
        iface.address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr.s_addr;
        iface.netmask = reinterpret_cast<const sockaddr_in *>(entry->ifa_netmask)->sin_addr.s_addr;
        result.append(iface);
    }
    freeifaddrs(list);
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
    char buffer[INET_ADDRSTRLEN] = {};
    in_addr in {};
    in.s_addr = address;
    if (!inet_ntop(AF_INET, &in, buffer, sizeof buffer))
        return QString();
    return QString::fromLatin1(buffer);
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

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);

    sockaddr_in destination {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(kWakeOnLANPort);
    if (const std::optional<Interface> iface = primaryInterface(host))
        destination.sin_addr.s_addr = iface->address | ~iface->netmask;
    else
        destination.sin_addr.s_addr = INADDR_BROADCAST;

    bool sent = false;
    for (int i = 0; i < 3; ++i) {
        const ssize_t n = ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
            reinterpret_cast<const sockaddr *>(&destination), sizeof destination);
        sent = sent || n == kMagicPacketSize;
    }
    appLog(QStringLiteral("WOL %1 -> %2 sent=%3")
               .arg(*canonical, ipv4Text(destination.sin_addr.s_addr),
                   sent ? QStringLiteral("true") : QStringLiteral("false")));
    ::close(fd);
    return sent;
}

} // namespace LocalNetwork
