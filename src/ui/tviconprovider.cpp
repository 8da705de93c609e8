#include "tviconprovider.h"

#include "tvsession.h"

#include <QMutex>
#include <QMutexLocker>
#include <QQuickTextureFactory>

#include <memory>

namespace {

// What a request and its response share across threads: the response can be deleted by the
// loader (cancelled) while the main thread is still fetching.
struct IconRequest {
    QMutex mutex;
    QImage image;
    QString error;
    QQuickImageResponse *response = nullptr; // cleared when the response goes away
};

class IconResponse : public QQuickImageResponse {
public:
    explicit IconResponse(std::shared_ptr<IconRequest> request)
        : m_request(std::move(request))
    {
        QMutexLocker lock(&m_request->mutex);
        m_request->response = this;
    }

    ~IconResponse() override
    {
        QMutexLocker lock(&m_request->mutex);
        m_request->response = nullptr;
    }

    QQuickTextureFactory *textureFactory() const override
    {
        QMutexLocker lock(&m_request->mutex);
        return QQuickTextureFactory::textureFactoryForImage(m_request->image);
    }

    QString errorString() const override
    {
        QMutexLocker lock(&m_request->mutex);
        return m_request->error;
    }

private:
    std::shared_ptr<IconRequest> m_request;
};

void finish(const std::shared_ptr<IconRequest> &request, const std::optional<QImage> &image, const QSize &requestedSize)
{
    QMutexLocker lock(&request->mutex);
    if (image && !image->isNull()) {
        request->image = requestedSize.isValid() && !requestedSize.isEmpty()
            ? image->scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : *image;
    } else {
        request->error = QStringLiteral("no icon");
    }
    // Emitting under the lock keeps the response alive until the signal is queued.
    if (request->response)
        Q_EMIT request->response->finished();
}

// The session keeps an icon's bytes; the picture is made here.
std::optional<QImage> decoded(const std::optional<QByteArray> &bytes)
{
    QImage image;
    if (!bytes || !image.loadFromData(*bytes) || image.isNull())
        return std::nullopt;
    return image;
}

} // namespace

TVIconProvider::TVIconProvider(TVSession *session)
    : m_session(session)
{
}

QString TVIconProvider::sourceFor(const QString &iconURL)
{
    if (iconURL.isEmpty())
        return {};
    return QStringLiteral("image://tvicon/") + QString::fromLatin1(QUrl::toPercentEncoding(iconURL));
}

QQuickImageResponse *TVIconProvider::requestImageResponse(const QString &id, const QSize &requestedSize)
{
    auto request = std::make_shared<IconRequest>();
    auto *response = new IconResponse(request);
    // The engine hands over the id with non-ASCII characters already decoded.
    const QUrl url(QUrl::fromPercentEncoding(id.toUtf8()));
    TVSession *session = m_session.data();
    if (!session || !url.isValid()) {
        // Answer after returning: the loader connects to finished() only then.
        QMetaObject::invokeMethod(
            response, [request, requestedSize] { finish(request, std::nullopt, requestedSize); }, Qt::QueuedConnection);
        return response;
    }
    QMetaObject::invokeMethod(
        session,
        [session, url, request, requestedSize] {
            if (auto cached = session->cachedIcon(url)) {
                finish(request, decoded(cached), requestedSize);
                return;
            }
            QCoro::connect(
                session->icon(url), session, [request, requestedSize](const std::optional<QByteArray> &bytes) {
                    finish(request, decoded(bytes), requestedSize);
                });
        },
        Qt::QueuedConnection);
    return response;
}
