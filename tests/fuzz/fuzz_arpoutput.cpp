// What arp -an prints and what /proc/net/arp holds. The input's first line is the host asked
// for; the whole input is also read as arp's output.

#include "fuzzsupport.h"

#include "localnetwork.h"

#include <QRegularExpression>

namespace {

void checkCanonical(const std::optional<QString> &mac)
{
    static const QRegularExpression canonical(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    if (mac)
        FUZZ_CHECK(canonical.match(*mac).hasMatch());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const QString text = QString::fromUtf8(input);

    const std::optional<QString> fromArp = LocalNetwork::parseARPOutput(text);
    checkCanonical(fromArp);
    if (fromArp)
        FUZZ_CHECK(text.contains(QStringLiteral("at ")));

    const auto [hostLine, table] = Fuzz::splitOnce(input, '\n');
    const QString host = QString::fromUtf8(hostLine).trimmed();
    const std::optional<QString> fromTable = LocalNetwork::parseProcNetARP(QString::fromUtf8(table), host);
    checkCanonical(fromTable);
    if (fromTable)
        FUZZ_CHECK(QString::fromUtf8(table).contains(host));
    return 0;
}
