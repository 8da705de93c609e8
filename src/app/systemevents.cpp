#include "systemevents.h"

#include "applog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString login1Service = QStringLiteral("org.freedesktop.login1");
const QString login1Path = QStringLiteral("/org/freedesktop/login1");
const QString login1Manager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

SystemEvents::SystemEvents(QObject *parent)
    : QObject(parent)
{
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        system.connect(login1Service, login1Path, login1Manager, QStringLiteral("PrepareForSleep"), this,
            SLOT(prepareForSleep(bool)));
        system.connect(login1Service, login1Path, login1Manager, QStringLiteral("PrepareForShutdown"), this,
            SLOT(prepareForShutdown(bool)));
    }
    // KDE, Xfce, Cinnamon, MATE and others offer the freedesktop name; GNOME only its own.
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        session.connect(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
            SLOT(screenSaverChanged(bool)));
        session.connect(QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver"),
            QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
            SLOT(screenSaverChanged(bool)));
    }
}

void SystemEvents::takeSleepLock(const QString &why)
{
    if (m_lock.isValid() || m_lockPending)
        return;
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected())
        return;
    QDBusMessage call
        = QDBusMessage::createMethodCall(login1Service, login1Path, login1Manager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown") << QStringLiteral("Corvane Remote") << why << QStringLiteral("delay");
    m_lockPending = true;
    const quint64 request = ++m_lockRequest;
    // Never a blocking call: logind may be slow to answer, and the window must not freeze.
    auto *watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, request] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (request != m_lockRequest)
            return; // released meanwhile: the descriptor closes with the reply
        m_lockPending = false;
        if (reply.isError() || !reply.value().isValid()) {
            appLog(QStringLiteral("无法获得休眠延迟锁: ") + reply.error().message());
            return;
        }
        m_lock = reply.value();
        Q_EMIT sleepLockChanged(true);
    });
}

void SystemEvents::releaseSleepLock()
{
    ++m_lockRequest;
    m_lockPending = false;
    if (!m_lock.isValid())
        return;
    m_lock = QDBusUnixFileDescriptor();
    Q_EMIT sleepLockChanged(false);
}

void SystemEvents::prepareForSleep(bool sleeping)
{
    if (sleeping)
        Q_EMIT aboutToSleep();
    else
        Q_EMIT resumed();
}

void SystemEvents::prepareForShutdown(bool stopping)
{
    if (stopping)
        Q_EMIT aboutToShutDown();
    else
        Q_EMIT shutdownCancelled();
}

void SystemEvents::screenSaverChanged(bool active)
{
    if (active == m_screenSaverActive)
        return;
    m_screenSaverActive = active;
    Q_EMIT screenSaverActiveChanged(active);
}
