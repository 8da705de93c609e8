// MAC texts typed by people, read from ARP and from saved records.

#include "fuzzsupport.h"

#include "localnetwork.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(Fuzz::bytes(data, size));
    const std::optional<QString> mac = LocalNetwork::normalizeMAC(text);
    if (!mac)
        return 0;
    static const QRegularExpression canonical(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    FUZZ_CHECK(canonical.match(*mac).hasMatch());
    FUZZ_CHECK(LocalNetwork::normalizeMAC(*mac) == mac);
    FUZZ_CHECK(LocalNetwork::normalizeMAC(mac->toUpper()) == mac);

    // The magic packet: six 0xFF, then the address sixteen times.
    const QByteArray packet = LocalNetwork::magicPacket(*mac);
    FUZZ_CHECK(packet.size() == 102);
    FUZZ_CHECK(packet.left(6) == QByteArray(6, char(0xFF)));
    const QByteArray address = packet.mid(6, 6);
    FUZZ_CHECK(address.toHex(':') == mac->toLatin1());
    for (int i = 1; i < 16; ++i)
        FUZZ_CHECK(packet.mid(6 + 6 * i, 6) == address);
    return 0;
}
