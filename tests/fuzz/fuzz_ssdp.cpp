// What comes back to a discovery search: the answer's headers, and the description document's
// tags. The input is read whole as an answer; split at its first NUL byte it is a tag name and a
// document.

#include "fuzzsupport.h"

#include "ssdpdiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const QString text = QString::fromUtf8(input);
    const QHash<QString, QString> headers = SSDPDiscovery::parseHeaders(text);
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        FUZZ_CHECK(it.key() == it.key().toLower());
        // Values without the blanks around them.
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

    const qsizetype nul = input.indexOf('\0');
    const QString tag = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QString xml = nul < 0 ? QString() : QString::fromUtf8(input.mid(nul + 1));
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QStringLiteral("</") + tag + QLatin1Char('>');
    const qsizetype start = xml.indexOf(open);
    // The value is what stands between the first opening tag and the next closing tag.
    if (const std::optional<QString> value = SSDPDiscovery::extractTag(tag, xml))
        FUZZ_CHECK(start >= 0 && xml.indexOf(open + *value + close) == start && !value->contains(close));
    else
        FUZZ_CHECK(start < 0 || xml.indexOf(close, start + open.size()) < 0);
    return 0;
}
