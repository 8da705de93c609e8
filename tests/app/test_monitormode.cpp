// Monitor mode end to end: the session against the TV emulator, logind and the screensaver as
// stand-ins on a private D-Bus daemon, the sleep lock as the real descriptor logind would hold.
#include "applog.h"
#include "appparts.h"
#include "monitormode.h"
#include "platform.h"
#include "simmessages.h"
#include "systemevents.h"
#include "testawait.h"
#include "testenv.h"
#include "tvsimprocess.h"
#include "windowlanguage.h"

#include "localnetwork.h"

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

namespace {

const QString kHost = QStringLiteral("127.0.0.50");
const QString kStandIns = QStringLiteral("monitor-standins");

} // namespace

// logind's Manager as far as monitor mode uses it: Inhibit hands out one end of a pipe and the
// lock counts as released when every copy of that end is closed, as in logind.
class Login1StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    struct Lock {
        QStringList arguments; // what, who, why, mode
        bool released = false;
    };
    QList<Lock> locks;

    int held() const
    {
        return int(std::count_if(locks.begin(), locks.end(), [](const Lock &lock) { return !lock.released; }));
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {};
        const qsizetype index = locks.size();
        locks << Lock { { what, who, why, mode } };
        auto *notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, index, fd = fds[0]] {
            char byte;
            if (::read(fd, &byte, 1) != 0)
                return;
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
            locks[index].released = true;
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
    std::unique_ptr<TVSimProcess> m_sim;
    std::unique_ptr<AppParts> m_rig;
    Login1StandIn m_login1;
    QString m_id;
    std::unique_ptr<SystemEvents> m_events;
    std::unique_ptr<MonitorMode> m_monitor;

    TVSession &session() { return m_rig->session(); }
    TVSimProcess &sim() { return *m_sim; }
    QList<QJsonObject> requests(const QString &uri) { return ssapRequests(sim().received(), uri); }

    static void emitSignal(const QString &path, const QString &interface, const QString &name, bool value)
    {
        QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
        message << value;
        QDBusConnection(kStandIns).send(message);
    }
    static void prepareForSleep(bool sleeping)
    {
        emitSignal(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
            QStringLiteral("PrepareForSleep"), sleeping);
    }
    static void screenSaver(const QString &desktop, bool active) // "freedesktop" or "gnome"
    {
        emitSignal(QStringLiteral("/org/%1/ScreenSaver").arg(desktop),
            QStringLiteral("org.%1.ScreenSaver").arg(desktop), QStringLiteral("ActiveChanged"), active);
    }

    void showOnTV(const QString &appId)
    {
        sim().control(QStringLiteral("/set"), { { "foregroundAppId", appId } });
        QTRY_COMPARE(session().foregroundAppId(), appId);
    }

    // Every call on the app's system bus before this one has reached the stand-in.
    void flushSystemBus()
    {
        const QDBusMessage ping = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
            QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        QDBusPendingCallWatcher watcher(QDBusConnection::systemBus().asyncCall(ping));
        QTRY_VERIFY(watcher.isFinished());
    }

    QStringList monitorLog(int mark) { return logSince(mark, QStringLiteral("显示器模式：")); }

private Q_SLOTS:
    void initTestCase()
    {
        // The wake's broadcast must stay in this process's namespace: loopback only, whose
        // default route then carries it to the emulator.
        if (!LocalNetwork::interfaces().isEmpty())
            QSKIP("needs a private network namespace (run through ctest or scripts/isolated)");
        QCOMPARE(QProcess::execute(QStringLiteral("ip"),
                     { QStringLiteral("route"), QStringLiteral("replace"), QStringLiteral("default"),
                         QStringLiteral("dev"), QStringLiteral("lo") }),
            0);

        m_daemon.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY(m_daemon.canReadLine());
        const QByteArray address = m_daemon.readLine().trimmed();
        // One daemon stands in for both buses; the app's default connections are made later.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address), kStandIns);
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(
            bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &m_login1, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QVERIFY(bus.registerService(QStringLiteral("org.gnome.ScreenSaver")));

        m_sim = std::make_unique<TVSimProcess>(TVSimProcess::Options { .address = kHost });
        QVERIFY2(m_sim->start(), qPrintable(m_sim->output()));
        TVSession::Timings timings;
        timings.wakePause = 0.3;
        timings.wakePoll = 0.05;
        m_rig = std::make_unique<AppParts>(AppParts::Setup { .session = timings });
        m_id = m_rig->addTV(kHost);
    }

    // Each case: the TV on and showing the computer's input (HDMI 1), a fresh session connected
    // to it, monitor mode on and holding its lock.
    void init()
    {
        sim().control(QStringLiteral("/fault"), { { "clear", true } });
        sim().control(QStringLiteral("/wake")); // also ends a standby still closing its socket
        sim().control(QStringLiteral("/set"), { { "foregroundAppId", "com.webos.app.hdmi1" }, { "power", "Active" } });
        m_rig->renewSession();
        session().connect(m_id);
        QTRY_VERIFY_WITH_TIMEOUT(session().isReady(), 10000);
        QTRY_VERIFY(!session().inputs().isEmpty());
        QTRY_VERIFY(m_rig->record(m_id).mac.has_value());
        QTRY_COMPARE(session().foregroundAppId(), QStringLiteral("com.webos.app.hdmi1"));

        m_events = std::make_unique<SystemEvents>();
        m_monitor = std::make_unique<MonitorMode>(session(), m_rig->preferences(), *m_events);
        m_monitor->setInput(QStringLiteral("HDMI_1"));
        m_monitor->setEnabled(true);
        m_monitor->start(false);
        QTRY_VERIFY(m_events->holdsSleepLock());
        QCOMPARE(m_login1.held(), 1);
        sim().clearReceived();
    }

    void cleanup()
    {
        m_monitor->setEnabled(false);
        m_monitor.reset();
        m_events.reset();
        QTRY_COMPARE(m_login1.held(), 0);
        session().disconnect();
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_sim.reset();
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Off: no lock and no login entry; on: both; off again: both gone.
    void switchingTakesAndDropsLockAndAutostart()
    {
        const QString entry = Platform::autostartFilePath();
        QVERIFY(entry.startsWith(m_home.path()));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(
                     QStringLiteral("\nExec=") + Platform::executablePath() + QStringLiteral(" -background true\n")),
            qPrintable(text));
        const Login1StandIn::Lock &lock = m_login1.locks.last();
        QCOMPARE(lock.arguments.value(0), QStringLiteral("sleep:shutdown"));
        QCOMPARE(lock.arguments.value(3), QStringLiteral("delay"));

        m_monitor->setEnabled(false);
        QTRY_COMPARE(m_login1.held(), 0);
        QVERIFY(!m_events->holdsSleepLock());
        QVERIFY(!QFile::exists(entry));

        // A new start with the mode off asks logind for nothing.
        const qsizetype asked = m_login1.locks.size();
        m_monitor = std::make_unique<MonitorMode>(session(), m_rig->preferences(), *m_events);
        m_monitor->start(true);
        flushSystemBus();
        QCOMPARE(m_login1.locks.size(), asked);
        QVERIFY(!QFile::exists(entry));
    }

    // The suspend is let go once the TV answered the power off (it then reports standby); after
    // the resume: a new lock, the TV woken by Wake-on-LAN and switched back to HDMI 1. A TV that
    // never answers holds the suspend back no longer than the answer's wait.
    void suspendAndResume()
    {
        QStringList powerAtRelease;
        const QObject scope; // ends the connection however this function returns
        connect(&m_login1, &Login1StandIn::released, &scope,
            [&] { powerAtRelease << sim().state().value("power").toString(); });
        sim().control(
            QStringLiteral("/fault"), { { "delay", QJsonObject { { "uri", "system/turnOff" }, { "ms", 300 } } } });
        prepareForSleep(true);
        QTRY_COMPARE_WITH_TIMEOUT(powerAtRelease.size(), 1, 10000);
        QCOMPARE(powerAtRelease.first(), QStringLiteral("Active Standby"));
        QCOMPARE(requests(QStringLiteral("system/turnOff")).size(), 1);
        QTRY_VERIFY(!sim().state().value("listening").toBool());
        QTRY_VERIFY(!session().isReady());
        // The TV will come back on another source.
        sim().control(QStringLiteral("/set"), { { "foregroundAppId", "com.webos.app.livetv" } });
        sim().clearReceived();

        prepareForSleep(false);
        QTRY_COMPARE(m_login1.held(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(sim().state().value("listening").toBool(), 15000); // the magic packet woke it
        QTRY_VERIFY_WITH_TIMEOUT(!requests(QStringLiteral("tv/switchInput")).isEmpty(), 15000);
        QCOMPARE(ssapPayload(sim().received(), QStringLiteral("tv/switchInput")).value("inputId").toString(),
            QStringLiteral("HDMI_1"));
        QTRY_COMPARE(session().foregroundAppId(), QStringLiteral("com.webos.app.hdmi1"));
        QTRY_VERIFY(m_monitor->lastAction().contains(QStringLiteral("HDMI 1")));

        // The hanging TV, from a fresh start.
        cleanup();
        init();
        powerAtRelease.clear();
        sim().control(QStringLiteral("/fault"), { { "hang", true } });
        const int mark = logMark();
        prepareForSleep(true);
        QTRY_COMPARE_WITH_TIMEOUT(powerAtRelease.size(), 1, 10000);
        QCOMPARE(powerAtRelease.first(), QStringLiteral("Active"));
        QCOMPARE(requests(QStringLiteral("system/turnOff")).size(), 1);
        appLogFlush();
        const QStringList lines = monitorLog(mark);
        QVERIFY2(
            lines.size() == 1 && lines.first().contains(QStringLiteral("2 秒内未应答")), qPrintable(lines.join('\n')));
    }

    // Both desktops' screensaver names; a second announcement of the same state does nothing.
    void blankingSwitchesThePicture()
    {
        for (const QString &desktop : { QStringLiteral("freedesktop"), QStringLiteral("gnome") }) {
            screenSaver(desktop, true);
            QTRY_COMPARE(sim().state().value("power").toString(), QStringLiteral("Screen Off"));
            screenSaver(desktop, false);
            QTRY_COMPARE(sim().state().value("power").toString(), QStringLiteral("Active"));
        }
        QCOMPARE(requests(QStringLiteral("com.webos.service.tvpower/power/turnOffScreen")).size(), 2);
        QCOMPARE(requests(QStringLiteral("com.webos.service.tvpower/power/turnOnScreen")).size(), 2);
    }

    // Someone watches another input: neither the power nor the picture is touched, and the log
    // says why; the suspend is let go at once. An English window says it in English on the
    // settings page while the log stays Chinese.
    void anotherInputIsLeftAlone()
    {
        WindowLanguage::apply(QStringLiteral("en"));
        const auto chinese = qScopeGuard([] { WindowLanguage::apply(QStringLiteral("zh")); });
        showOnTV(QStringLiteral("com.webos.app.hdmi2"));
        const int mark = logMark();
        prepareForSleep(true);
        QTRY_COMPARE(m_login1.held(), 0);
        screenSaver(QStringLiteral("freedesktop"), true);
        QTRY_COMPARE(m_monitor->lastAction(),
            QStringLiteral("Monitor mode: Screen blanked; TV picture left on: the TV shows \"HDMI 2\", not the "
                           "computer's \"HDMI 1\""));
        appLogFlush();
        const QStringList lines = monitorLog(mark);
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines)
            QVERIFY2(line.contains(QStringLiteral("电视正在显示「HDMI 2」")), qPrintable(line));
        QVERIFY(requests(QStringLiteral("system/turnOff")).isEmpty());
        QVERIFY(requests(QStringLiteral("com.webos.service.tvpower/power/turnOffScreen")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMonitorMode)
#include "test_monitormode.moc"
