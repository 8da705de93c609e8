#include "iconimage.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <array>

namespace {

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xffffffffu;
    for (char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + typed + bigEndian(crc32(typed));
}

} // namespace

QByteArray IconImage::png(const QString &id, int size)
{
    const QByteArray hash = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha256);
    const quint8 r = 60 + quint8(hash.at(0)) % 160, g = 60 + quint8(hash.at(1)) % 160,
                 b = 60 + quint8(hash.at(2)) % 160;
    QByteArray raw;
    raw.reserve((size * 3 + 1) * size);
    for (int y = 0; y < size; ++y) {
        raw.append('\0'); // no filter
        const bool band = y > size * 2 / 5 && y < size * 3 / 5;
        for (int x = 0; x < size; ++x) {
            raw.append(char(band ? 255 - (255 - r) / 3 : r));
            raw.append(char(band ? 255 - (255 - g) / 3 : g));
            raw.append(char(band ? 255 - (255 - b) / 3 : b));
        }
    }
    QByteArray header = bigEndian(quint32(size)) + bigEndian(quint32(size));
    header.append(char(8)).append(char(2)).append(char(0)).append(char(0)).append(char(0)); // 8-bit RGB
    // qCompress writes a zlib stream after a 4-byte length of its own.
    const QByteArray zlib = qCompress(raw).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", {});
}
