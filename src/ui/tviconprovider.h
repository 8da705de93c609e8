#pragma once

#include <QPointer>
#include <QQuickAsyncImageProvider>

class TVSession;

// "image://tvicon/ENCODED-URL": an app icon through the session's icon cache. Qt calls the
// provider from its loader threads; the session lives on the main thread, so each request hops
// there, awaits the session's icon(), and answers the loader with the image (or an error when
// the TV had none).
class TVIconProvider : public QQuickAsyncImageProvider {
public:
    explicit TVIconProvider(TVSession *session);

    QQuickImageResponse *requestImageResponse(const QString &id, const QSize &requestedSize) override;

    // The image source for an icon URL (empty for no URL).
    static QString sourceFor(const QString &iconURL);

private:
    QPointer<TVSession> m_session;
};
