#include "appcontroller.h"
#include "appearancepreference.h"
#include "applog.h"
#include "keyshortcuts.h"
#include "pagelogic.h"
#include "settingscontroller.h"
#include "testenv.h"
#include "theme.h"
#include "uiharness.h"
#include "windowlanguage.h"
#include "windowplatform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QScopeGuard>
#include <QTemporaryDir>

using Kind = ConnectionState::Kind;
using namespace PageLogic;
using namespace Qt::StringLiterals;

namespace {

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

private Q_SLOTS:
    // A session destroyed while connecting wakes its waiting coroutines through the event loop.
    void cleanup() { drainPostedEvents(); }

    // Which text and which primary button: pairing depends on a stored key, failures show their
    // reason; the power button wakes a TV in standby; Chinese systems get the source texts,
    // every other one English, and "-language" overrides; the MCP client configurations.
    void pageDecisions()
    {
        TVDevice paired;
        paired.host = u"192.168.1.5"_s;
        const TVDevice unpaired = paired;
        paired.clientKey = u"key"_s;
        QCOMPARE(pairingStatusText(ConnectionState::offline(), paired), u"已配对，点击连接即可直接控制"_s);
        QCOMPARE(pairingStatusText(ConnectionState::offline(), unpaired), u"点击连接后，请在电视上确认配对请求"_s);
        QCOMPARE(
            pairingStatusText(ConnectionState::awaitingApproval(true), unpaired), u"请输入电视屏幕上显示的 PIN 码"_s);
        QCOMPARE(pairingStatusText(ConnectionState::ready(), paired), u"已连接，可以开始遥控"_s);
        QCOMPARE(pairingStatusText(ConnectionState::error(u"电视响应超时"_s), paired), u"电视响应超时"_s);
        QCOMPARE(primaryAction(Kind::Offline), PrimaryAction::Connect);
        QCOMPARE(primaryAction(Kind::AwaitingApproval), PrimaryAction::Reconnect);
        QCOMPARE(primaryAction(Kind::Ready), PrimaryAction::Disconnect);
        QCOMPARE(primaryAction(Kind::Error), PrimaryAction::Connect);
        QCOMPARE(powerAction(Kind::Ready, true), PowerAction::Wake);
        QCOMPARE(powerAction(Kind::Ready, false), PowerAction::PowerOff);

        const Preferences none(m_dir.filePath(u"lang.conf"_s));
        QCOMPARE(WindowLanguage::choose(none, { u"zh-Hans-CN"_s, u"en-US"_s }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { u"zh-TW"_s }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { u"de-DE"_s, u"zh-CN"_s }), u"en");
        QCOMPARE(WindowLanguage::choose(none, {}), u"en");
        const Preferences chinese(m_dir.filePath(u"lang.conf"_s), { u"corvane-remote"_s, u"-language"_s, u"zh"_s });
        QCOMPARE(WindowLanguage::choose(chinese, { u"en-US"_s }), u"zh");

        // What the settings page copies for an MCP client.
        QCOMPARE(httpConfiguration(u"http://127.0.0.1:8765/mcp"_s),
            u"{\n  \"mcpServers\": {\n    \"corvane-remote\": { \"url\": \"http://127.0.0.1:8765/mcp\" }\n  }\n}"_s);
        QCOMPARE(stdioConfiguration(u"/opt/corvane/bin/corvane-remote"_s),
            u"{\n  \"mcpServers\": {\n    \"corvane-remote\": { \"command\": \"/opt/corvane/bin/corvane-remote\", "
            u"\"args\": [\"--mcp-stdio\"] }\n  }\n}"_s);
        QVERIFY(stdioConfiguration({}).contains(u"\"command\": \"CorvaneRemote\","_s));
    }

    // The remote page's keyboard filter on a real Qt Quick window: mapped keys act once per
    // key-down and are consumed; other keys, and every key while a popup is open, go on.
    void keyShortcuts()
    {
        QQmlApplicationEngine engine;
        engine.loadData(R"(
import QtQuick
import QtQuick.Controls.Basic
ApplicationWindow {
    id: window
    width: 400; height: 300; visible: true
    property int itemKeys: 0
    Item { focus: true; Keys.onPressed: (event) => { window.itemKeys++; event.accepted = true } }
    Menu { objectName: "menu"; MenuItem { text: "a" } MenuItem { text: "b" } }
})");
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        window->requestActivate();
        KeyShortcuts keys;
        keys.setActive(true);
        QSignalSpy triggered(&keys, &KeyShortcuts::triggered);
        const std::pair<Qt::Key, const char *> mapped[] { { Qt::Key_Return, "CLICK" }, { Qt::Key_Enter, "CLICK" },
            { Qt::Key_Backspace, "BACK" }, { Qt::Key_Escape, "BACK" } };
        for (const auto &[key, action] : mapped) {
            triggered.clear();
            QTest::keyPress(window, key);
            QTest::keyPress(window, key); // held
            QTest::keyRelease(window, key);
            QCOMPARE(triggered.count(), 2);
            QCOMPARE(triggered.at(0).at(0).toString(), QLatin1String(action));
        }
        triggered.clear();
        QTest::keyClick(window, Qt::Key_A);
        QTest::keyClick(window, Qt::Key_Space);
        QCOMPARE(window->property("itemKeys").toInt(), 2); // the mapped ones never reached the item
        QObject *menu = window->findChild<QObject *>(u"menu"_s);
        QMetaObject::invokeMethod(menu, "open");
        QTRY_VERIFY(menu->property("opened").toBool());
        QTest::keyClick(window, Qt::Key_Down);
        QTest::keyClick(window, Qt::Key_Escape); // closes the menu
        QTRY_VERIFY(!menu->property("visible").toBool());
        QCOMPARE(triggered.count(), 0);
    }

    // The devices and settings pages of an English window over a real store and preferences
    // file: selecting, saving (trimmed and normalised), removing, failures, the trace switch and
    // the appearance.
    void devicesAndSettingsPages()
    {
        UiApp app(m_dir.filePath(u"settings.conf"_s),
            { u"-language"_s, u"en"_s, u"-trace"_s, m_dir.filePath(u"chosen.jsonl"_s) });
        DeviceStore &store = app.store();
        AppController &devices = *app.window.controller();
        SettingsController &settings = *app.window.settings();
        const TVDevice a = store.upsertDiscovered(u"127.0.0.36"_s, std::nullopt, u"A"_s, std::nullopt);
        const TVDevice b = store.upsertDiscovered(u"127.0.0.37"_s, std::nullopt, u"Old"_s, std::nullopt);

        // Clicking a row only selects it.
        devices.selectDevice(b.id);
        QCOMPARE(store.selectedID(), std::optional<QString>(b.id));
        QCOMPARE(app.session().stateKind(), Kind::Offline);
        settings.resetSettingsPage();
        QCOMPARE(settings.nameField(), u"Old"_s);

        // Renamed while the session learns the MAC: the untouched MAC field follows the record,
        // and saving keeps the learnt MAC.
        settings.editNameField(u"卧室"_s);
        TVDevice learnt = *store.device(b.id);
        learnt.mac = u"02:1a:2b:3c:4d:5e"_s;
        store.update(learnt);
        QCOMPARE(settings.macField(), u"02:1a:2b:3c:4d:5e"_s);
        settings.saveSelected();
        QCOMPARE(store.device(b.id)->name, u"卧室"_s);
        QCOMPARE(store.device(b.id)->mac, learnt.mac);

        // Blanks around a pasted MAC are not a mistake; a wrong MAC or address says what is wrong.
        settings.editNameField(u"  "_s);
        QVERIFY(!settings.macProblem(u"AA-BB-CC-DD-EE"_s).isEmpty());
        QCOMPARE(devices.ipProblem(u"192.168.1.300"_s),
            u"An IP address is four numbers from 0 to 255, e.g. 192.168.1.105"_s);
        settings.editMACField(u"\tAA-BB-CC-DD-EE-FF "_s);
        settings.saveSelected();
        QCOMPARE(store.device(b.id)->displayName(), u"LG TV"_s);
        QCOMPARE(store.device(b.id)->mac, std::optional<QString>(u"aa:bb:cc:dd:ee:ff"_s));
        settings.editNameField(u"\t客厅 \n"_s);
        settings.editMACField(u"a:b:c:d:e:f"_s);
        settings.saveSelected();
        QCOMPARE(settings.macField(), u"0a:0b:0c:0d:0e:0f"_s); // the fields show the record again
        // Blanks inside the MAC make it no MAC at all (the page keeps "保存" off for such text).
        QVERIFY(!settings.isValidMAC(u"a: b:c:d:e:f"_s));
        QCOMPARE(savedRecord(*store.device(b.id), std::nullopt, u"a: b:c:d:e:f"_s).mac, std::nullopt);

        // Removing the selected TV moves the selection to the first one left.
        devices.removeDevice(b.id);
        QCOMPARE(store.selectedID(), std::optional<QString>(a.id));
        settings.deleteSelected();
        QVERIFY(store.devices().isEmpty());
        QVERIFY(!devices.hasSelection());
        // With nothing selected the page's buttons do nothing.
        devices.primaryAction();
        settings.editNameField(u"x"_s);
        settings.saveSelected();
        QCOMPARE(app.session().stateKind(), Kind::Offline);
        QVERIFY(!devices.submitPin(u"1234"_s)); // no protocol client

        // The session keeps its Chinese texts (the log reads them); the window translates them,
        // and describes Qt's socket failures in its own words. Waking with no TV selected is the
        // session's error, shown on both pages.
        devices.powerButton();
        QCOMPARE(app.session().state().message(), u"未记录电视 MAC，无法网络唤醒"_s);
        const QString noMAC = u"No MAC address saved for this TV: cannot wake it over the network"_s;
        QCOMPARE(devices.pairingStatus(), noMAC);
        QCOMPARE(devices.inputNotice(), noMAC);
        QCOMPARE(devices.statusBadge(), u"Connection failed"_s);

        // A TV added by address: only an exact IPv4 address, connected at once; nothing listens
        // there, and the window shows the real refusal, not Qt's English text.
        for (const QString &bad :
            { u" 127.0.0.39"_s, u"127.0.0.256"_s, u"１２７.0.0.39"_s, u"127.0.0.39"_s + QChar(0), u"tv.local"_s })
            QVERIFY2(!devices.addManualHost(bad), qPrintable(bad));
        QVERIFY(store.devices().isEmpty());
        QVERIFY(devices.addManualHost(u"127.0.0.39"_s));
        const QString id = store.devices().constFirst().id;
        QCOMPARE(store.selectedID(), std::optional<QString>(id));
        QTRY_COMPARE_WITH_TIMEOUT(app.session().stateKind(), Kind::Error, 10000);
        QCOMPARE(devices.pairingStatus(), u"The TV refused the connection"_s);
        QVERIFY(devices.pairingStatusIsError());
        QVERIFY(devices.addManualHost(u"127.0.0.39"_s)); // same host: same record
        QCOMPARE(store.devices().size(), 1);
        QCOMPARE(store.devices().constFirst().id, id);
        app.session().disconnect();

        // "记录通信（诊断）": off at start; on writes the file given with "-trace", which the
        // page still shows once it is off, for the bug report.
        QVERIFY(!settings.tracing());
        settings.setTracing(true);
        QVERIFY(settings.tracing());
        QVERIFY(QFileInfo::exists(m_dir.filePath(u"chosen.jsonl"_s)));
        settings.setTracing(false);
        QVERIFY(!settings.tracing());
        QCOMPARE(settings.tracePath(), m_dir.filePath(u"chosen.jsonl"_s));

        // Appearance: saved and applied; only the exact raw values count.
        Theme &theme = *app.window.theme();
        QCOMPARE(settings.appearance(), u"system"_s); // nothing stored yet
        settings.setAppearanceChoice(u"dark"_s);
        QCOMPARE(app.preferences().string(u"appearance"_s), std::optional<QString>(u"dark"_s));
        QVERIFY(theme.dark());
        settings.setAppearanceChoice(u"light"_s);
        QVERIFY(!theme.dark());
        settings.setAppearanceChoice(u"Dark"_s);
        QCOMPARE(settings.appearance(), u"light"_s);
        settings.setAppearanceChoice(u"system"_s);
        QCOMPARE(theme.mode(), AppearancePreference::System);
        app.preferences().setString(u"appearance"_s, u"Dark"_s);
        QCOMPARE(storedAppearance(app.preferences()), AppearancePreference::System);

        // Without "-trace" the trace is a new file beside the log; one that cannot be written
        // leaves the switch off.
        UiApp beside(m_dir.filePath(u"beside.conf"_s));
        beside.window.settings()->setTracing(true);
        const QFileInfo traced(beside.window.settings()->tracePath());
        QVERIFY(traced.exists());
        QCOMPARE(traced.absolutePath(), QFileInfo(logFileURL()).absolutePath());
        beside.window.settings()->setTracing(false);
        UiApp unwritable(m_dir.filePath(u"unwritable.conf"_s), { u"-trace"_s, m_dir.filePath(u"no/dir/t.jsonl"_s) });
        unwritable.window.settings()->setTracing(true);
        QVERIFY(!unwritable.window.settings()->tracing());
    }

    // The window goes on while the file manager takes its time; only a failed call opens the folder.
    void revealWaitsForTheFileManager()
    {
        QProcess busDaemon;
        const QByteArray address = startBusDaemon(busDaemon);
        if (address.isEmpty())
            QSKIP("needs dbus-daemon for a private session bus");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection fileManagerBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fm"_s);
        FakeDesktop desktop;
        QVERIFY(fileManagerBus.registerObject(
            u"/org/freedesktop/FileManager1"_s, &desktop, QDBusConnection::ExportScriptableSlots));
        QVERIFY(fileManagerBus.registerService(u"org.freedesktop.FileManager1"_s));
        QDesktopServices::setUrlHandler(u"file"_s, &desktop, "openFolder");
        const auto restore = qScopeGuard([&] {
            QDesktopServices::unsetUrlHandler(u"file"_s);
            QDBusConnection::disconnectFromBus(u"fm"_s);
            busDaemon.kill();
            busDaemon.waitForFinished();
        });
        const QString file = m_dir.filePath(u"logs/app.log"_s);
        std::optional<bool> shown;
        QObject waiter; // gone before shown, should a failed check leave a call open
        for (const bool fails : { false, true }) {
            shown.reset();
            QCoro::connect(Platform::revealInFileManager(file), &waiter, [&](bool result) { shown = result; });
            QTRY_COMPARE(desktop.showItems.size(), fails ? 2 : 1);
            const QDBusMessage &call = desktop.showItems.constLast();
            QCOMPARE(call.arguments().value(0).toStringList(), QStringList { QUrl::fromLocalFile(file).toString() });
            QVERIFY(!shown);
            QVERIFY(
                fileManagerBus.send(fails ? call.createErrorReply(QDBusError::Failed, u"busy"_s) : call.createReply()));
            QTRY_VERIFY(shown);
            QCOMPARE(desktop.openedFolders.size(), fails ? 1 : 0);
        }
        QCOMPARE(desktop.openedFolders.constFirst(), QUrl::fromLocalFile(m_dir.filePath(u"logs"_s)));
    }
};

QTEST_MAIN(TestUiLogic)
#include "test_ui_logic.moc"
