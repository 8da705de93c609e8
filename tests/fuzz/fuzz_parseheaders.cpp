// The header parser of SSDP answers, and the answer parser built on it.

#include "fuzzsupport.h"

#include "ssdpdiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(Fuzz::bytes(data, size));
    const QHash<QString, QString> headers = SSDPDiscovery::parseHeaders(text);
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        FUZZ_CHECK(it.key() == it.key().toLower());
        FUZZ_CHECK(!it.key().contains(QLatin1Char(':')));
        FUZZ_CHECK(!it.key().contains(QStringLiteral("\r\n")) && !it.value().contains(QStringLiteral("\r\n")));
        if (!it.value().isEmpty()) {
            FUZZ_CHECK(it.value().front() != u' ' && it.value().front() != u'\t');
            FUZZ_CHECK(it.value().back() != u' ' && it.value().back() != u'\t');
        }
    }

    const SSDPDiscovery::Found found = SSDPDiscovery::parseAnswer(QStringLiteral("192.0.2.7"), text);
    FUZZ_CHECK(found.host == QLatin1String("192.0.2.7"));
    FUZZ_CHECK(found.location.has_value() == headers.contains(QStringLiteral("location")));
    FUZZ_CHECK(found.uuid.has_value() == headers.contains(QStringLiteral("usn")));
    FUZZ_CHECK(!found.name && !found.model);
    return 0;
}
