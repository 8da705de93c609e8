// Monitor mode end to end: the session against the TV emulator, logind and the screensaver as
// stand-ins on a private D-Bus daemon, the sleep lock as the real descriptor logind would hold.
#include "applog.h"
#include "monitormode.h"
#include "pairedtv.h"
#include "platform.h"
#include "systemevents.h"
#include "testenv.h"
#include "windowlanguage.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// logind's Manager as far as monitor mode uses it: Inhibit hands out one end of a pipe and the
// lock counts as released when every copy of that end is closed, as in logind.
class Login1StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QList<QStringList> asked; // what, who, why, mode of each lock
    int held = 0;

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {};
        asked << QStringList { what, who, why, mode };
        ++held;
        auto *notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd = fds[0]] {
            char byte;
            if (::read(fd, &byte, 1) != 0)
                return;
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
            --held;
            Q_EMIT released();
        });
        const QDBusUnixFileDescriptor handed(fds[1]); // a copy; ours closes now
        ::close(fds[1]);
        return handed;
    }

Q_SIGNALS:
    void released();
};

class TestMonitorMode : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    QProcess m_daemon;
    std::unique_ptr<PairedTV> m_tv;
    Login1StandIn m_login1;
    QStringList m_powerAtRelease; // the TV's power state each time the lock was let go
    std::unique_ptr<SystemEvents> m_events;
    std::unique_ptr<MonitorMode> m_monitor;

    TVSession &session() { return m_tv->session(); }
    QString power() { return m_tv->sim->state().value("power").toString(); }

    // Signals of the stand-ins: logind's, and a desktop's screensaver ("freedesktop" or "gnome").
    static void prepareForSleep(bool sleeping)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
        QDBusConnection(u"standins"_s).send(signal << sleeping);
    }
    static void screenSaver(const QString &desktop, bool active)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            u"/org/%1/ScreenSaver"_s.arg(desktop), u"org.%1.ScreenSaver"_s.arg(desktop), u"ActiveChanged"_s);
        QDBusConnection(u"standins"_s).send(signal << active);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The wake's broadcast must stay in this process's namespace: loopback only, whose
        // default route then carries it to the emulator.
        if (!inPrivateNetwork())
            QSKIP("needs a private network namespace (run through ctest or scripts/isolated)");
        QCOMPARE(QProcess::execute(u"ip"_s, { u"route"_s, u"replace"_s, u"default"_s, u"dev"_s, u"lo"_s }), 0);

        const QByteArray address = startBusDaemon(m_daemon);
        QVERIFY(!address.isEmpty());
        // One daemon stands in for both buses; the app's default connections are made later.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address), u"standins"_s);
        QVERIFY(bus.registerObject(u"/org/freedesktop/login1"_s, &m_login1, QDBusConnection::ExportAllSlots));
        for (const QString &name :
            { u"org.freedesktop.login1"_s, u"org.freedesktop.ScreenSaver"_s, u"org.gnome.ScreenSaver"_s })
            QVERIFY(bus.registerService(name));

        m_tv = std::make_unique<PairedTV>(TVSimProcess::Options { .address = u"127.0.0.50"_s });
        QVERIFY(m_tv->start());
        connect(&m_login1, &Login1StandIn::released, this, [this] { m_powerAtRelease << power(); });
    }

    // Each case: the TV on and showing the computer's input (HDMI 1), a fresh session connected
    // to it, monitor mode on and holding its lock.
    void init()
    {
        m_tv->clearFaults();
        m_tv->sim->control(u"/wake"_s); // also ends a standby still closing its socket
        m_tv->set({ { "foregroundAppId", "com.webos.app.hdmi1" }, { "power", "Active" } });
        m_tv->parts.renewSession();
        QVERIFY(m_tv->pair());
        QTRY_COMPARE(session().foregroundAppId(), u"com.webos.app.hdmi1"_s);

        m_events = std::make_unique<SystemEvents>();
        m_monitor = std::make_unique<MonitorMode>(session(), m_tv->parts.preferences(), *m_events);
        m_monitor->setInput(u"HDMI_1"_s);
        m_monitor->setEnabled(true);
        m_monitor->start(false);
        QTRY_VERIFY(m_events->holdsSleepLock());
        QCOMPARE(m_login1.asked.last().value(0), u"sleep:shutdown"_s);
        QCOMPARE(m_login1.asked.last().value(3), u"delay"_s);
        m_tv->sim->clearReceived();
        m_powerAtRelease.clear();
    }

    // Switched off: the lock and the login entry are gone.
    void cleanup()
    {
        m_monitor->setEnabled(false);
        QTRY_COMPARE(m_login1.held, 0);
        QVERIFY(!QFile::exists(Platform::autostartFilePath()));
        m_monitor.reset();
        m_events.reset();
        session().disconnect();
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // On, the program starts at login in the background; a start at login with the mode off asks
    // logind for nothing.
    void loginEntry()
    {
        QFile entry(Platform::autostartFilePath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY2(text.contains(u"\nExec="_s + Platform::executablePath() + u" -background true\n"_s), qPrintable(text));

        m_monitor->setEnabled(false);
        const qsizetype asked = m_login1.asked.size();
        m_monitor = std::make_unique<MonitorMode>(session(), m_tv->parts.preferences(), *m_events);
        m_monitor->start(true);
        // Every call on the app's system bus before this one has reached the stand-in.
        const QDBusMessage ping = QDBusMessage::createMethodCall(u"org.freedesktop.login1"_s,
            u"/org/freedesktop/login1"_s, u"org.freedesktop.DBus.Introspectable"_s, u"Introspect"_s);
        QDBusPendingCallWatcher watcher(QDBusConnection::systemBus().asyncCall(ping));
        QTRY_VERIFY(watcher.isFinished());
        QCOMPARE(m_login1.asked.size(), asked);
    }

    // The suspend is let go once the TV answered the power off (it then reports standby); after
    // the resume: a new lock, the TV woken by Wake-on-LAN and switched back to HDMI 1. A TV that
    // never answers holds the suspend back no longer than the answer's wait.
    void suspendAndResume()
    {
        m_tv->sim->control(u"/fault"_s, { { "delay", QJsonObject { { "uri", "system/turnOff" }, { "ms", 300 } } } });
        prepareForSleep(true);
        QTRY_COMPARE_WITH_TIMEOUT(m_powerAtRelease, QStringList { u"Active Standby"_s }, 10000);
        QCOMPARE(m_tv->sent(u"system/turnOff"_s).size(), 1);
        QTRY_VERIFY(!m_tv->sim->state().value("listening").toBool());
        QTRY_VERIFY(!session().isReady());
        m_tv->set({ { "foregroundAppId", "com.webos.app.livetv" } }); // it comes back on another source

        prepareForSleep(false);
        QTRY_COMPARE(m_login1.held, 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_tv->sim->state().value("listening").toBool(), 15000); // the magic packet woke it
        QTRY_VERIFY_WITH_TIMEOUT(!m_tv->sent(u"tv/switchInput"_s).isEmpty(), 15000);
        QCOMPARE(m_tv->payload(u"tv/switchInput"_s).value("inputId").toString(), u"HDMI_1"_s);
        QTRY_COMPARE(session().foregroundAppId(), u"com.webos.app.hdmi1"_s);
        QTRY_VERIFY(m_monitor->lastAction().contains(u"HDMI 1"_s));

        // The next suspend, the TV hanging: held back no longer than the answer's wait.
        m_tv->sim->control(u"/fault"_s, { { "hang", true } });
        m_powerAtRelease.clear();
        const int mark = logMark();
        prepareForSleep(true);
        QTRY_COMPARE_WITH_TIMEOUT(m_powerAtRelease, QStringList { u"Active"_s }, 10000);
        appLogFlush();
        const QStringList lines = logSince(mark, u"显示器模式："_s);
        QVERIFY2(lines.size() == 1 && lines.first().contains(u"2 秒内未应答"_s), qPrintable(lines.join('\n')));
    }

    // The screensaver of either desktop turns the picture off and on. While someone watches another
    // input neither the power nor the picture is touched and the log says why; the suspend is let
    // go at once. An English window says it in English on the settings page, the log in Chinese.
    void blankingSwitchesThePictureOfTheComputersInputOnly()
    {
        for (const QString &desktop : { u"freedesktop"_s, u"gnome"_s }) {
            screenSaver(desktop, true);
            QTRY_COMPARE(power(), u"Screen Off"_s);
            screenSaver(desktop, false);
            QTRY_COMPARE(power(), u"Active"_s);
        }
        QCOMPARE(m_tv->sent(u"com.webos.service.tvpower/power/turnOffScreen"_s).size(), 2);
        QCOMPARE(m_tv->sent(u"com.webos.service.tvpower/power/turnOnScreen"_s).size(), 2);

        WindowLanguage::apply(u"en"_s);
        const auto chinese = qScopeGuard([] { WindowLanguage::apply(u"zh"_s); });
        m_tv->set({ { "foregroundAppId", "com.webos.app.hdmi2" } });
        QTRY_COMPARE(session().foregroundAppId(), u"com.webos.app.hdmi2"_s);
        const int mark = logMark();
        prepareForSleep(true);
        QTRY_COMPARE(m_login1.held, 0);
        screenSaver(u"freedesktop"_s, true);
        QTRY_COMPARE(m_monitor->lastAction(),
            u"Monitor mode: Screen blanked; TV picture left on: the TV shows \"HDMI 2\", not the computer's \"HDMI 1\""_s);
        appLogFlush();
        const QStringList lines = logSince(mark, u"显示器模式："_s);
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines)
            QVERIFY2(line.contains(u"电视正在显示「HDMI 2」"_s), qPrintable(line));
        QVERIFY(m_tv->sent(u"system/turnOff"_s).isEmpty());
        QCOMPARE(m_tv->sent(u"com.webos.service.tvpower/power/turnOffScreen"_s).size(), 2); // from the first part
    }
};

QTEST_GUILESS_MAIN(TestMonitorMode)
#include "test_monitormode.moc"
