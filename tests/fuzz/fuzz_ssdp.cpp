// What comes back to a discovery search: the answer's headers, and the description document's
// tags. The input is read whole as an answer; split at its first NUL byte it is a tag name and a
// document.

#include "fuzzsupport.h"

#include "ssdpdiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const QString text = QString::fromUtf8(input);
    // Whatever is taken from the answer is a piece of it.
    const SSDPDiscovery::Found found = SSDPDiscovery::parseAnswer(QStringLiteral("192.0.2.7"), text);
    FUZZ_CHECK(found.uuid.value_or(QString()).size() <= text.size());
    FUZZ_CHECK(text.contains(found.location.value_or(QString())));

    const qsizetype nul = input.indexOf('\0');
    const QString tag = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QString xml = nul < 0 ? QString() : QString::fromUtf8(input.mid(nul + 1));
    // The value stands between an opening and a closing tag of the document.
    if (const std::optional<QString> value = SSDPDiscovery::extractTag(tag, xml))
        FUZZ_CHECK(xml.contains(QLatin1Char('<') + tag + QLatin1Char('>') + *value + QStringLiteral("</") + tag));
    return 0;
}
