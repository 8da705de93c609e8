#pragma once

#include <QList>
#include <QNetworkInterface>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// Local IPv4 interfaces, the TV's MAC from the ARP cache, MAC texts and Wake-on-LAN.
// Stateless; any thread may call (macAddress needs the thread's event loop).
namespace LocalNetwork {

struct Interface {
    QString name;
    quint32 address = 0; // network byte order
    quint32 netmask = 0; // network byte order
    bool operator==(const Interface &other) const = default;
};

// Up, non-loopback IPv4 interfaces with a netmask, in the system's order.
QList<Interface> interfaces();
// Up, non-loopback, multicast-capable interfaces with an IPv4 address, in the system's order:
// the links an SSDP search goes out on.
QList<QNetworkInterface> multicastInterfaces();
// The interface whose subnet holds host; else the first "en…" interface; else the first.
std::optional<Interface> primaryInterface(const std::optional<QString> &host);
std::optional<Interface> primaryInterface(const QList<Interface> &candidates, const std::optional<QString> &host);
QString ipv4Text(quint32 address);

// Debian's arp (net-tools).
QString defaultARPProgram();
// The MAC the ARP cache holds for host: runs arpProgram -an HOST, or reads /proc/net/arp when
// that program is missing. Waits for arp on the caller's event loop and ends it after 10 s.
QCoro::Task<std::optional<QString>> macAddress(QString host, QString arpProgram = defaultARPProgram());
// The first "at ([0-9a-fA-F:]+)" match of arp's output, normalised.
std::optional<QString> parseARPOutput(const QString &output);
// The MAC for host in the text of /proc/net/arp.
std::optional<QString> parseProcNetARP(const QString &table, const QString &host);

// Six groups of one or two hex digits separated by ":" or "-" → aa:bb:cc:dd:ee:ff.
std::optional<QString> normalizeMAC(const QString &text);

// The 102-byte magic packet for a canonical MAC.
QByteArray magicPacket(const QString &canonicalMAC);
// Three magic packets to the directed broadcast of the interface facing host, port 9.
// Logs "WOL <mac> -> <address> sent=<true|false>".
bool sendWakeOnLAN(const QString &mac, const std::optional<QString> &host);

} // namespace LocalNetwork
