// The tag reader of device description documents. The input is the tag name, a NUL byte, then
// the document.

#include "fuzzsupport.h"

#include "ssdpdiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [tagBytes, xmlBytes] = Fuzz::splitOnce(Fuzz::bytes(data, size), '\0');
    const QString tag = QString::fromUtf8(tagBytes);
    const QString xml = QString::fromUtf8(xmlBytes);

    const std::optional<QString> value = SSDPDiscovery::extractTag(tag, xml);
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QStringLiteral("</") + tag + QLatin1Char('>');
    if (!value) {
        const qsizetype start = xml.indexOf(open);
        FUZZ_CHECK(start < 0 || xml.indexOf(close, start + open.size()) < 0);
        return 0;
    }
    // The value is what stands between the first opening tag and the next closing tag.
    const qsizetype start = xml.indexOf(open);
    FUZZ_CHECK(start >= 0);
    FUZZ_CHECK(xml.mid(start, open.size() + value->size() + close.size()) == open + *value + close);
    FUZZ_CHECK(!value->contains(close));

    // The three names discovery reads, in the same document.
    for (const char *name : {"friendlyName", "modelName", "UDN"})
        SSDPDiscovery::extractTag(QString::fromLatin1(name), xml);
    return 0;
}
