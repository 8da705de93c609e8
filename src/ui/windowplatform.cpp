#include "windowplatform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <QCoro/QCoroSignal>

namespace Platform {

QCoro::Task<bool> revealInFileManager(QString path)
{
    const QUrl fileUrl = QUrl::fromLocalFile(path);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("ShowItems"));
    call << QStringList { fileUrl.toString() } << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // A file manager that is still starting answers late but does show the file: only a
        // failed call (no such service, an error, the bus's own time-out) opens the folder.
        QDBusPendingCallWatcher watcher(bus.asyncCall(call));
        if (!watcher.isFinished())
            co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
        if (!watcher.isError())
            co_return true;
    }
    co_return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace Platform
