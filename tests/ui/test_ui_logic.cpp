#include "appcontroller.h"
#include "appearancepreference.h"
#include "applog.h"
#include "devicestore.h"
#include "mainwindow.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "pagelogic.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "settingscontroller.h"
#include "testenv.h"
#include "theme.h"
#include "touchpadmodel.h"
#include "tvsession.h"
#include "windowlanguage.h"
#include "windowplatform.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Kind = ConnectionState::Kind;
using namespace PageLogic;

namespace {

TVDevice device(const QString &host, bool paired, const QString &name = {})
{
    TVDevice d;
    d.id = QStringLiteral("ID-") + host;
    d.name = name;
    d.model = QStringLiteral("LG OLED55C1");
    d.host = host;
    if (paired) {
        d.clientKey = QStringLiteral("key");
        d.certFingerprint = QStringLiteral("ab");
    }
    return d;
}

ConnectionState stateOf(const QString &name)
{
    if (name == u"offline")
        return ConnectionState::offline();
    if (name == u"connecting")
        return ConnectionState::connecting();
    if (name == u"pin")
        return ConnectionState::awaitingApproval(true);
    if (name == u"prompt")
        return ConnectionState::awaitingApproval(false);
    if (name == u"ready")
        return ConnectionState::ready();
    if (name == u"waking")
        return ConnectionState::waking();
    return ConnectionState::error(QStringLiteral("电视响应超时"));
}

// The window's objects over a private preferences file, without loading any QML.
struct Controllers {
    explicit Controllers(const QString &file, const QStringList &commandLine = {})
        : preferences(file, commandLine)
        , store(preferences)
        , scanner(store)
        , session(store, scanner)
        , tools(session)
        , server(tools, preferences)
        , window(session, server, preferences)
    {
    }
    Preferences preferences;
    DeviceStore store;
    TVScanner scanner;
    TVSession session;
    MCPTools tools;
    MCPServer server;
    MainWindow window;
    AppController &controller() { return *window.controller(); }
    SettingsController &settings() { return *window.settings(); }
};

// The desktop on a private session bus: a file manager that holds each ShowItems call until
// the test answers it, and the opener of folders.
class FakeDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QDBusMessage> showItems;
    QList<QUrl> openedFolders;

public Q_SLOTS:
    Q_SCRIPTABLE void ShowItems(const QStringList &, const QString &, const QDBusMessage &message)
    {
        message.setDelayedReply(true);
        showItems << message;
    }
    void openFolder(const QUrl &url) { openedFolders << url; }
};

} // namespace

// The decisions of the pages, table by table, and the actions bound to a real store and session.
class TestUiLogic : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    QTemporaryDir m_dir;
    int m_files = 0;

    std::unique_ptr<Controllers> makeControllers(const QString &language = QStringLiteral("zh"))
    {
        return std::make_unique<Controllers>(m_dir.filePath(QStringLiteral("prefs%1.conf").arg(++m_files)),
            QStringList { QStringLiteral("corvane-remote"), QStringLiteral("-language"), language });
    }

private Q_SLOTS:
    // A session destroyed while connecting wakes its waiting coroutines through the event loop;
    // let them finish before the next test (or the end of the process) leaves them suspended.
    void cleanup()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    void pairingStatusTable_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("selected"); // 0 none, 1 unpaired, 2 paired
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("action"); // of the primary button
        const int reconnect = int(PrimaryAction::Reconnect);
        const int connect = int(PrimaryAction::Connect);
        QTest::newRow("offline, paired") << "offline" << 2 << "已配对，点击连接即可直接控制" << connect;
        QTest::newRow("offline, unpaired") << "offline" << 1 << "点击连接后，请在电视上确认配对请求" << connect;
        QTest::newRow("connecting") << "connecting" << 1 << "正在连接 192.168.1.5…" << reconnect;
        QTest::newRow("awaiting PIN") << "pin" << 1 << "请输入电视屏幕上显示的 PIN 码" << reconnect;
        QTest::newRow("ready") << "ready" << 2 << "已连接，可以开始遥控" << int(PrimaryAction::Disconnect);
        QTest::newRow("waking") << "waking" << 2 << "已发送网络唤醒，等待电视上线…" << connect;
        QTest::newRow("error") << "error" << 2 << "电视响应超时" << connect;
    }

    void pairingStatusTable()
    {
        QFETCH(QString, state);
        QFETCH(int, selected);
        QFETCH(QString, text);
        QFETCH(int, action);
        std::optional<TVDevice> tv;
        if (selected)
            tv = device(QStringLiteral("192.168.1.5"), selected == 2);
        QCOMPARE(pairingStatusText(stateOf(state), tv), text);
        QCOMPARE(int(primaryAction(stateOf(state).kind())), action);
    }

    void addressValidation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "192.168.1.5" << true;
        QTest::newRow("trailing blank") << "192.168.1.5 " << false;
        QTest::newRow("out of range") << "192.168.1.256" << false;
        QTest::newRow("NUL inside") << QStringLiteral("192.168.1.5") + QChar(0) + QStringLiteral("x") << false;
        QTest::newRow("full-width digits") << "１９２.168.1.5" << false;
    }

    void addressValidation()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(isValidIPv4(text), valid);
    }

    void remotePageTexts()
    {
        // The power button: off only when connected and awake.
        QCOMPARE(powerAction(Kind::Ready, false), PowerAction::PowerOff);
        QCOMPARE(powerAction(Kind::Ready, true), PowerAction::Wake);
    }

    void touchpadTapAndDrag()
    {
        TouchpadModel pad;
        QSignalSpy clicks(&pad, &TouchpadModel::clickRequested);
        QSignalSpy moves(&pad, &TouchpadModel::moveRequested);
        pad.mouseDown();
        pad.mouseDragged(2, -1); // 3 points in total
        QVERIFY(pad.mouseUp());
        QCOMPARE(clicks.count(), 1);
        pad.mouseDown(); // resets the distance
        pad.mouseDragged(1, 1);
        pad.mouseDragged(-1, 1); // 4 points: a move, not a click
        QVERIFY(!pad.mouseUp());
        QCOMPARE(clicks.count(), 1);
        moves.clear();
        pad.mouseDown();
        pad.mouseDragged(10, -4);
        QCOMPARE(moves.count(), 1);
        QCOMPARE(moves.at(0).at(0).toDouble(), 15.0);
        QCOMPARE(moves.at(0).at(1).toDouble(), -6.0);
    }

    void touchpadScrollSteps()
    {
        TouchpadModel pad;
        QSignalSpy steps(&pad, &TouchpadModel::scrollRequested);
        QCOMPARE(pad.scrollBy(-7), 0);
        QCOMPARE(steps.count(), 0);
        QCOMPARE(pad.scrollBy(-1), 1); // the opposite sign of the delta
        QCOMPARE(pad.scrollAccumulator(), 0.0);
        QCOMPARE(pad.scrollBy(-20), 2);
        QCOMPARE(pad.scrollAccumulator(), 4.0);
        QCOMPARE(pad.scrollBy(4), 0); // back to zero, nothing sent
        QCOMPARE(pad.scrollBy(20), -2);
        QCOMPARE(pad.scrollAccumulator(), -4.0);
        QCOMPARE(steps.count(), 3);
        QCOMPARE(steps.last().at(0).toInt(), -2);
        // A wheel notch (no pixel delta) is worth one step; a touchpad's pixels count as points.
        TouchpadModel wheel;
        QCOMPARE(wheel.wheel(0, 120), -1);
        QCOMPARE(wheel.wheel(-5, -120), 0);
        QCOMPARE(wheel.scrollAccumulator(), 5.0);
    }

    void configurationTexts()
    {
        QCOMPARE(httpConfiguration(QStringLiteral("http://127.0.0.1:8765/mcp")).toUtf8(),
            QByteArray(
                "{\n  \"mcpServers\": {\n    \"corvane-remote\": { \"url\": \"http://127.0.0.1:8765/mcp\" }\n  }\n}"));
        QCOMPARE(stdioConfiguration(QStringLiteral("/opt/corvane/bin/corvane-remote")).toUtf8(),
            QByteArray(
                "{\n  \"mcpServers\": {\n    \"corvane-remote\": { \"command\": \"/opt/corvane/bin/corvane-remote\", "
                "\"args\": [\"--mcp-stdio\"] }\n  }\n}"));
        QVERIFY(stdioConfiguration({}).contains(QStringLiteral("\"command\": \"CorvaneRemote\",")));
    }

    void settingsSaveTrimsAndNormalises()
    {
        auto objects = makeControllers();
        DeviceStore &store = objects->store;
        const TVDevice added
            = store.upsertDiscovered(QStringLiteral("127.0.0.38"), std::nullopt, QStringLiteral("Old"), std::nullopt);
        store.setSelectedID(added.id);
        SettingsController &controller = objects->settings();
        controller.resetSettingsPage();
        QCOMPARE(controller.nameField(), QStringLiteral("Old"));
        QCOMPARE(controller.macField(), QString());

        // Renamed while the session learns the MAC: the untouched MAC field follows the record,
        // and saving keeps the learnt MAC.
        controller.editNameField(QStringLiteral("卧室"));
        TVDevice learnt = *store.device(added.id);
        learnt.mac = QStringLiteral("02:1a:2b:3c:4d:5e");
        store.update(learnt);
        QCOMPARE(controller.macField(), QStringLiteral("02:1a:2b:3c:4d:5e"));
        QCOMPARE(controller.nameField(), QStringLiteral("卧室"));
        controller.saveSelected();
        QCOMPARE(store.device(added.id)->name, QStringLiteral("卧室"));
        QCOMPARE(store.device(added.id)->mac, std::optional<QString>(QStringLiteral("02:1a:2b:3c:4d:5e")));

        controller.editNameField(QStringLiteral("  "));
        // Blanks around a pasted MAC are not a mistake; a wrong MAC says what is wrong.
        QVERIFY(!controller.macProblem(QStringLiteral("AA-BB-CC-DD-EE")).isEmpty());
        QCOMPARE(objects->controller().ipProblem(QStringLiteral("192.168.1.300")),
            QStringLiteral("IP 地址应为四组 0–255 的数字，例如 192.168.1.105"));
        QCOMPARE(objects->controller().ipProblem(QString()), QString());
        QVERIFY(controller.isValidMAC(QStringLiteral("\tAA-BB-CC-DD-EE-FF ")));
        controller.editMACField(QStringLiteral("\tAA-BB-CC-DD-EE-FF "));
        controller.saveSelected();
        QCOMPARE(store.device(added.id)->name, QString());
        QCOMPARE(store.device(added.id)->displayName(), QStringLiteral("LG 电视"));
        QCOMPARE(store.device(added.id)->mac, std::optional<QString>(QStringLiteral("aa:bb:cc:dd:ee:ff")));

        controller.editNameField(QStringLiteral("\t客厅 \n"));
        controller.editMACField(QStringLiteral("a:b:c:d:e:f"));
        controller.saveSelected();
        QCOMPARE(store.device(added.id)->name, QStringLiteral("客厅"));
        QCOMPARE(controller.macField(), QStringLiteral("0a:0b:0c:0d:0e:0f")); // the fields show the record again
        // Blanks inside the MAC make it no MAC at all (the page keeps "保存" off for such text).
        QVERIFY(!controller.isValidMAC(QStringLiteral("a: b:c:d:e:f")));
        QCOMPARE(savedRecord(*store.device(added.id), std::nullopt, QStringLiteral("a: b:c:d:e:f")).mac, std::nullopt);

        // Saved, not just held in memory: a fresh store reads the same record.
        Preferences reread(objects->preferences.filePath());
        DeviceStore again(reread);
        QCOMPARE(again.device(added.id)->name, QStringLiteral("客厅"));
        QCOMPARE(again.device(added.id)->mac, std::optional<QString>(QStringLiteral("0a:0b:0c:0d:0e:0f")));
    }

    void revealWaitsForTheFileManager()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("needs dbus-daemon for a private session bus");
        QProcess busDaemon;
        busDaemon.start(daemon,
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                QStringLiteral("--address=unix:path=") + m_dir.filePath(QStringLiteral("bus")) });
        QVERIFY(busDaemon.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", busDaemon.readLine().trimmed());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDBusConnection fileManagerBus
            = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fm"));
        FakeDesktop desktop;
        QVERIFY(fileManagerBus.registerObject(
            QStringLiteral("/org/freedesktop/FileManager1"), &desktop, QDBusConnection::ExportScriptableSlots));
        QVERIFY(fileManagerBus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "openFolder");
        const auto restore = qScopeGuard([&] {
            QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
            QDBusConnection::disconnectFromBus(QStringLiteral("fm"));
            busDaemon.kill();
            busDaemon.waitForFinished();
        });
        const QString file = m_dir.filePath(QStringLiteral("logs/app.log"));

        // The window goes on while the file manager takes its time; its late success is enough.
        std::optional<bool> shown;
        QObject waiter; // gone before shown, should a failed check leave a call open
        QCoro::connect(Platform::revealInFileManager(file), &waiter, [&](bool result) { shown = result; });
        QTRY_COMPARE(desktop.showItems.size(), 1);
        QCOMPARE(desktop.showItems[0].arguments().value(0).toStringList(),
            QStringList { QUrl::fromLocalFile(file).toString() });
        QVERIFY(!shown);
        QVERIFY(fileManagerBus.send(desktop.showItems[0].createReply()));
        QTRY_VERIFY(shown);
        QVERIFY(*shown);
        QVERIFY(desktop.openedFolders.isEmpty());

        // Only a failed call opens the folder instead.
        shown.reset();
        QCoro::connect(Platform::revealInFileManager(file), &waiter, [&](bool result) { shown = result; });
        QTRY_COMPARE(desktop.showItems.size(), 2);
        QVERIFY(fileManagerBus.send(desktop.showItems[1].createErrorReply(QDBusError::Failed, QStringLiteral("busy"))));
        QTRY_VERIFY(shown);
        QCOMPARE(desktop.openedFolders, QList<QUrl> { QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("logs"))) });
    }

    // "记录通信（诊断）": off at start; on writes a new file beside the log (or the file given with
    // "-trace"), which the page still shows once it is off, for the bug report.
    void traceSwitch()
    {
        auto objects = makeControllers();
        SettingsController &controller = objects->settings();
        QVERIFY(!controller.tracing());
        QSignalSpy changed(&controller, &SettingsController::traceChanged);
        controller.setTracing(true);
        QVERIFY(controller.tracing());
        QVERIFY(!changed.isEmpty());
        const QString file = controller.tracePath();
        QCOMPARE(QFileInfo(file).absolutePath(), QFileInfo(logFileURL()).absolutePath());
        QVERIFY(QFileInfo::exists(file));
        changed.clear();
        controller.setTracing(false);
        QVERIFY(!controller.tracing());
        QVERIFY(!changed.isEmpty());
        QCOMPARE(controller.tracePath(), file);

        const QString chosen = m_dir.filePath(QStringLiteral("chosen.jsonl"));
        Controllers launched(m_dir.filePath(QStringLiteral("traced.conf")),
            { QStringLiteral("corvane-remote"), QStringLiteral("-trace"), chosen });
        launched.settings().setTracing(true);
        QCOMPARE(launched.settings().tracePath(), chosen);
        QVERIFY(QFileInfo::exists(chosen));
        launched.settings().setTracing(false);
        // A file that cannot be written leaves the switch off.
        Controllers unwritable(m_dir.filePath(QStringLiteral("unwritable.conf")),
            { QStringLiteral("corvane-remote"), QStringLiteral("-trace"),
                m_dir.filePath(QStringLiteral("no/such/dir/t.jsonl")) });
        unwritable.settings().setTracing(true);
        QVERIFY(!unwritable.settings().tracing());
    }

    void appearanceChoicePersistedAndApplied()
    {
        auto objects = makeControllers();
        SettingsController &controller = objects->settings();
        Theme &theme = *objects->window.theme();
        QCOMPARE(controller.appearance(), QStringLiteral("system")); // nothing stored yet

        controller.setAppearanceChoice(QStringLiteral("dark"));
        QCOMPARE(
            objects->preferences.string(QStringLiteral("appearance")), std::optional<QString>(QStringLiteral("dark")));
        QVERIFY(theme.dark());
        QCOMPARE(theme.window(), Theme::darkPalette().window);
        QCOMPARE(controller.appearance(), QStringLiteral("dark"));

        controller.setAppearanceChoice(QStringLiteral("light"));
        QVERIFY(!theme.dark());
        QCOMPARE(theme.text(), Theme::lightPalette().text);

        controller.setAppearanceChoice(QStringLiteral("system"));
        QCOMPARE(theme.mode(), AppearancePreference::System);

        // Only the exact raw values count.
        controller.setAppearanceChoice(QStringLiteral("Dark"));
        QCOMPARE(controller.appearance(), QStringLiteral("system"));
        objects->preferences.setString(QStringLiteral("appearance"), QStringLiteral("Dark"));
        QCOMPARE(storedAppearance(objects->preferences), AppearancePreference::System);
    }

    void manualAddValidatesReusesAndConnects()
    {
        auto objects = makeControllers();
        AppController &controller = objects->controller();
        DeviceStore &store = objects->store;
        // Nothing listens on this loopback address: the attempt fails fast and stays local.
        QVERIFY(!controller.addManualHost(QStringLiteral(" 127.0.0.39")));
        QVERIFY(!controller.addManualHost(QStringLiteral("tv.local")));
        QCOMPARE(store.devices().size(), 0);

        QVERIFY(controller.addManualHost(QStringLiteral("127.0.0.39")));
        QCOMPARE(store.devices().size(), 1);
        const QString id = store.devices().constFirst().id;
        QCOMPARE(store.selectedID(), std::optional<QString>(id));
        QVERIFY(objects->session.stateKind() != Kind::Offline); // connecting (or already failed)
        QTRY_COMPARE_WITH_TIMEOUT(objects->session.stateKind(), Kind::Error, 10000);
        QCOMPARE(controller.pairingStatus(), QStringLiteral("电视拒绝了连接")); // not Qt's English text
        QVERIFY(controller.pairingStatusIsError());

        QVERIFY(controller.addManualHost(QStringLiteral("127.0.0.39"))); // same host: same record
        QCOMPARE(store.devices().size(), 1);
        QCOMPARE(store.devices().constFirst().id, id);
        objects->session.disconnect();
    }

    void rowsSelectAndRemove()
    {
        auto objects = makeControllers();
        AppController &controller = objects->controller();
        DeviceStore &store = objects->store;
        const TVDevice a
            = store.upsertDiscovered(QStringLiteral("127.0.0.36"), std::nullopt, QStringLiteral("A"), std::nullopt);
        const TVDevice b
            = store.upsertDiscovered(QStringLiteral("127.0.0.37"), std::nullopt, std::nullopt, std::nullopt);

        // Clicking a row only selects it.
        controller.selectDevice(b.id);
        QCOMPARE(store.selectedID(), std::optional<QString>(b.id));
        QCOMPARE(objects->session.stateKind(), Kind::Offline);

        // Removing the selected TV moves the selection to the first one left.
        controller.removeDevice(b.id);
        QCOMPARE(store.devices().size(), 1);
        QCOMPARE(store.selectedID(), std::optional<QString>(a.id));
        objects->settings().deleteSelected();
        QVERIFY(store.devices().isEmpty());
        QCOMPARE(store.selectedID(), std::nullopt);
        QVERIFY(!controller.hasSelection());
        // With nothing selected the page's buttons do nothing.
        controller.primaryAction();
        objects->settings().editNameField(QStringLiteral("x"));
        objects->settings().saveSelected();
        QCOMPARE(objects->session.stateKind(), Kind::Offline);
    }

    void remoteActionsWithoutTV()
    {
        auto objects = makeControllers();
        AppController &controller = objects->controller();
        // Without a ready TV the text stays in the box (the page clears it only on success).
        QVERIFY(!controller.sendText(QStringLiteral("abc")));
        QVERIFY(!controller.tvReady());
        QCOMPARE(controller.needsTVReason(), QStringLiteral("未连接电视，请先在设备管理中连接"));
        QVERIFY(!controller.submitPin(QStringLiteral("1234"))); // no protocol client
        // The slider writes the field, truncated, without sending.
        QSignalSpy volume(&objects->session, &TVSession::volumeChanged);
        controller.volumeDragged(42.9);
        QCOMPARE(objects->session.volume(), 42);
        controller.volumeDragged(42.2);
        QCOMPARE(volume.count(), 1);
        QCOMPARE(controller.volumeText(), QStringLiteral("42"));
        // Waking with no TV selected is the session's error, shown on the page.
        controller.powerButton();
        QCOMPARE(objects->session.stateKind(), Kind::Error);
        QCOMPARE(controller.pairingStatus(), QStringLiteral("未记录电视 MAC，无法网络唤醒"));
        // The remote page says why, too.
        QCOMPARE(controller.inputNotice(), QStringLiteral("未记录电视 MAC，无法网络唤醒"));
    }

    // Chinese systems get the source texts, every other one English; "-language" overrides.
    // The session keeps its Chinese texts (the log reads them); the window translates them,
    // and describes Qt's socket failures in its own language.
    void windowLanguage()
    {
        const Preferences none(m_dir.filePath(QStringLiteral("lang.conf")));
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("zh-Hans-CN"), QStringLiteral("en-US") }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("zh-TW") }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("de-DE"), QStringLiteral("zh-CN") }), u"en");
        QCOMPARE(WindowLanguage::choose(none, {}), u"en");
        const Preferences chinese(m_dir.filePath(QStringLiteral("lang.conf")),
            { QStringLiteral("corvane-remote"), QStringLiteral("-language"), QStringLiteral("zh") });
        QCOMPARE(WindowLanguage::choose(chinese, { QStringLiteral("en-US") }), u"zh");

        for (const QString &language : { QStringLiteral("en"), QStringLiteral("zh") }) {
            const bool en = language == u"en";
            auto objects = makeControllers(language);
            AppController &controller = objects->controller();
            controller.powerButton(); // no TV: the session's own error
            QCOMPARE(objects->session.state().message(), QStringLiteral("未记录电视 MAC，无法网络唤醒"));
            QCOMPARE(controller.pairingStatus(),
                en ? QStringLiteral("No MAC address saved for this TV: cannot wake it over the network")
                   : QStringLiteral("未记录电视 MAC，无法网络唤醒"));
            QCOMPARE(controller.statusBadge(), en ? QStringLiteral("Connection failed") : QStringLiteral("连接失败"));
            QCOMPARE(PageLogic::failureText(QStringLiteral("The remote host closed the connection")),
                en ? QStringLiteral("The TV closed the connection") : QStringLiteral("电视关闭了连接"));
            QCOMPARE(PageLogic::failureText(QStringLiteral("SSL handshake failed: error:0A000086")),
                en ? QStringLiteral("TLS handshake failed") : QStringLiteral("TLS 握手失败"));
            QCOMPARE(PageLogic::failureText(QStringLiteral("Socket operation timed out")),
                en ? QStringLiteral("Connecting to the TV timed out") : QStringLiteral("连接电视超时"));

            // A real refused connection (nothing listens on loopback), as the window shows it.
            const TVDevice tv = objects->store.upsertDiscovered(
                QStringLiteral("127.0.0.1"), std::nullopt, std::nullopt, std::nullopt);
            QSignalSpy state(&objects->session, &TVSession::stateChanged);
            controller.selectDevice(tv.id);
            controller.primaryAction();
            QTRY_COMPARE_WITH_TIMEOUT(objects->session.stateKind(), Kind::Error, 10000);
            QVERIFY(objects->session.state().message().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
            QCOMPARE(controller.pairingStatus(),
                en ? QStringLiteral("The TV refused the connection") : QStringLiteral("电视拒绝了连接"));
            QCOMPARE(controller.inputNotice(), controller.pairingStatus());
        }
    }
};

QTEST_MAIN(TestUiLogic)
#include "test_ui_logic.moc"
