#include "iconimageprovider.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImageReader>
#include <QPainter>

IconImageProvider::IconImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage IconImageProvider::render(const QString &name, const QColor &color, const QSize &size)
{
    QFile file(QStringLiteral(":/ui/icons/") + name + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    QBuffer buffer(&svg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(size);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (color.alpha() < 255) {
        // Translucent tints (disabled states) fade the whole drawing.
        QImage faded(image.size(), QImage::Format_ARGB32_Premultiplied);
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(color.alphaF());
        painter.drawImage(0, 0, image);
        painter.end();
        return faded;
    }
    return image;
}

QImage IconImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString name = slash < 0 ? id : id.left(slash);
    QColor color = slash < 0 ? QColor(Qt::black) : QColor(QLatin1Char('#') + id.mid(slash + 1));
    if (!color.isValid())
        color = Qt::black;
    int width = requestedSize.width() > 0 ? requestedSize.width() : requestedSize.height();
    int height = requestedSize.height() > 0 ? requestedSize.height() : requestedSize.width();
    if (width <= 0 || height <= 0)
        width = height = 24;
    const QImage image = render(name, color, QSize(width, height));
    if (size)
        *size = image.size();
    return image;
}
