#pragma once

#include <QQuickImageProvider>

// "image://icon/NAME/RRGGBB": the bundled line icon NAME (src/ui/icons/NAME.svg) drawn in the
// colour RRGGBB at the requested size. The SVGs use currentColor, so one file serves every
// theme and state.
class IconImageProvider : public QQuickImageProvider {
public:
    IconImageProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The same, callable without an engine (tests, the window icon).
    static QImage render(const QString &name, const QColor &color, const QSize &size);
};
