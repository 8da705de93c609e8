#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

// What the desktop tells an app over D-Bus: logind's sleep and shutdown announcements (system
// bus) and the screensaver's blanking (session bus, freedesktop or GNOME). Also holds logind's
// "delay" inhibitor lock, so that the app gets its say before the machine sleeps. Silent where
// there is no bus (tests, containers).
class SystemEvents : public QObject {
    Q_OBJECT

public:
    explicit SystemEvents(QObject *parent = nullptr);

    // Asks logind for a "sleep:shutdown" delay lock (answered later: sleepLockChanged); nothing
    // when one is held or asked for already.
    void takeSleepLock(const QString &why);
    // Closes the lock's descriptor, which lets a waiting suspend or shutdown go on.
    void releaseSleepLock();
    bool holdsSleepLock() const { return m_lock.isValid(); }

Q_SIGNALS:
    void aboutToSleep();
    void resumed();
    void aboutToShutDown();
    void shutdownCancelled();
    // Only on a change: desktops that offer both screensaver interfaces announce twice.
    void screenSaverActiveChanged(bool active);
    void sleepLockChanged(bool held);

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
    void prepareForShutdown(bool stopping);
    void screenSaverChanged(bool active);

private:
    QDBusUnixFileDescriptor m_lock;
    quint64 m_lockRequest = 0; // a release makes an answer still on its way stale
    bool m_lockPending = false;
    bool m_screenSaverActive = false;
};
