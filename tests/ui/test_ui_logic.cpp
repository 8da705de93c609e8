#include "appcontroller.h"
#include "appearancepreference.h"
#include "applog.h"
#include "keyshortcuts.h"
#include "pagelogic.h"
#include "settingscontroller.h"
#include "testenv.h"
#include "theme.h"
#include "touchpadmodel.h"
#include "uiharness.h"
#include "windowlanguage.h"
#include "windowplatform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Kind = ConnectionState::Kind;
using namespace PageLogic;

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
    int m_files = 0;

    // The window's objects over a private preferences file, without loading any QML.
    std::unique_ptr<UiApp> makeApp(const QStringList &arguments = {})
    {
        return std::make_unique<UiApp>(m_dir.filePath(QStringLiteral("prefs%1.conf").arg(++m_files)), arguments);
    }

private Q_SLOTS:
    // A session destroyed while connecting wakes its waiting coroutines through the event loop;
    // let them finish before the next test (or the end of the process) leaves them suspended.
    void cleanup()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    // Which text and which primary button: pairing depends on a stored key, failures show their reason.
    void pairingStatusAndPrimaryButton()
    {
        TVDevice paired;
        paired.host = QStringLiteral("192.168.1.5");
        const TVDevice unpaired = paired;
        paired.clientKey = QStringLiteral("key");
        const struct {
            ConnectionState state;
            TVDevice tv;
            const char *text;
            PrimaryAction action;
        } rows[] { { ConnectionState::offline(), paired, "已配对，点击连接即可直接控制", PrimaryAction::Connect },
            { ConnectionState::offline(), unpaired, "点击连接后，请在电视上确认配对请求", PrimaryAction::Connect },
            { ConnectionState::awaitingApproval(true), unpaired, "请输入电视屏幕上显示的 PIN 码",
                PrimaryAction::Reconnect },
            { ConnectionState::ready(), paired, "已连接，可以开始遥控", PrimaryAction::Disconnect },
            { ConnectionState::error(QStringLiteral("电视响应超时")), paired, "电视响应超时",
                PrimaryAction::Connect } };
        for (const auto &row : rows) {
            QCOMPARE(pairingStatusText(row.state, row.tv), QString::fromUtf8(row.text));
            QCOMPARE(primaryAction(row.state.kind()), row.action);
        }
    }

    void touchpadGestures()
    {
        TouchpadModel pad;
        QSignalSpy clicks(&pad, &TouchpadModel::clickRequested);
        QSignalSpy moves(&pad, &TouchpadModel::moveRequested);
        pad.mouseDown();
        pad.mouseDragged(2, -1); // 3 points in total: still a tap
        QVERIFY(pad.mouseUp());
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

        // Scrolling collects points and sends whole steps of the opposite sign, keeping the rest.
        QSignalSpy steps(&pad, &TouchpadModel::scrollRequested);
        QCOMPARE(pad.scrollBy(-7), 0);
        QCOMPARE(pad.scrollBy(-1), 1);
        QCOMPARE(pad.scrollBy(-20), 2);
        QCOMPARE(pad.scrollAccumulator(), 4.0);
        QCOMPARE(pad.scrollBy(4), 0); // back to zero, nothing sent
        QCOMPARE(pad.scrollBy(20), -2);
        QCOMPARE(steps.count(), 3);
        // A wheel notch (no pixel delta) is worth one step; a touchpad's pixels count as points.
        TouchpadModel wheel;
        QCOMPARE(wheel.wheel(0, 120), -1);
        QCOMPARE(wheel.wheel(-5, -120), 0);
        QCOMPARE(wheel.scrollAccumulator(), 5.0);
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
        QObject *menu = window->findChild<QObject *>(QStringLiteral("menu"));
        QMetaObject::invokeMethod(menu, "open");
        QTRY_VERIFY(menu->property("opened").toBool());
        QTest::keyClick(window, Qt::Key_Down);
        QTest::keyClick(window, Qt::Key_Escape); // closes the menu
        QTRY_VERIFY(!menu->property("visible").toBool());
        QCOMPARE(triggered.count(), 0);
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
        auto objects = makeApp();
        DeviceStore &store = objects->store();
        const TVDevice added
            = store.upsertDiscovered(QStringLiteral("127.0.0.38"), std::nullopt, QStringLiteral("Old"), std::nullopt);
        store.setSelectedID(added.id);
        SettingsController &controller = *objects->window.settings();
        controller.resetSettingsPage();
        QCOMPARE(controller.nameField(), QStringLiteral("Old"));

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
        QCOMPARE(store.device(added.id)->mac, learnt.mac);

        // Blanks around a pasted MAC are not a mistake; a wrong MAC says what is wrong.
        controller.editNameField(QStringLiteral("  "));
        QVERIFY(!controller.macProblem(QStringLiteral("AA-BB-CC-DD-EE")).isEmpty());
        QCOMPARE(objects->window.controller()->ipProblem(QStringLiteral("192.168.1.300")),
            QStringLiteral("IP 地址应为四组 0–255 的数字，例如 192.168.1.105"));
        controller.editMACField(QStringLiteral("\tAA-BB-CC-DD-EE-FF "));
        controller.saveSelected();
        QCOMPARE(store.device(added.id)->displayName(), QStringLiteral("LG 电视"));
        QCOMPARE(store.device(added.id)->mac, std::optional<QString>(QStringLiteral("aa:bb:cc:dd:ee:ff")));

        controller.editNameField(QStringLiteral("\t客厅 \n"));
        controller.editMACField(QStringLiteral("a:b:c:d:e:f"));
        controller.saveSelected();
        QCOMPARE(controller.macField(), QStringLiteral("0a:0b:0c:0d:0e:0f")); // the fields show the record again
        // Blanks inside the MAC make it no MAC at all (the page keeps "保存" off for such text).
        QVERIFY(!controller.isValidMAC(QStringLiteral("a: b:c:d:e:f")));
        QCOMPARE(savedRecord(*store.device(added.id), std::nullopt, QStringLiteral("a: b:c:d:e:f")).mac, std::nullopt);

        // Saved, not just held in memory: a fresh store reads the same record.
        Preferences reread(objects->preferences().filePath());
        DeviceStore again(reread);
        QCOMPARE(again.device(added.id)->name, QStringLiteral("客厅"));
        QCOMPARE(again.device(added.id)->mac, std::optional<QString>(QStringLiteral("0a:0b:0c:0d:0e:0f")));
    }

    // The window goes on while the file manager takes its time; only a failed call opens the folder.
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
        std::optional<bool> shown;
        QObject waiter; // gone before shown, should a failed check leave a call open
        for (const bool fails : { false, true }) {
            shown.reset();
            QCoro::connect(Platform::revealInFileManager(file), &waiter, [&](bool result) { shown = result; });
            QTRY_COMPARE(desktop.showItems.size(), fails ? 2 : 1);
            const QDBusMessage &call = desktop.showItems.constLast();
            QCOMPARE(call.arguments().value(0).toStringList(), QStringList { QUrl::fromLocalFile(file).toString() });
            QVERIFY(!shown);
            QVERIFY(fileManagerBus.send(
                fails ? call.createErrorReply(QDBusError::Failed, QStringLiteral("busy")) : call.createReply()));
            QTRY_VERIFY(shown);
            QCOMPARE(desktop.openedFolders.size(), fails ? 1 : 0);
        }
        QCOMPARE(desktop.openedFolders.constFirst(), QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("logs"))));
    }

    // "记录通信（诊断）": off at start; on writes a new file beside the log (or the file given with
    // "-trace"), which the page still shows once it is off, for the bug report.
    void traceSwitch()
    {
        auto objects = makeApp();
        SettingsController &controller = *objects->window.settings();
        QVERIFY(!controller.tracing());
        QSignalSpy changed(&controller, &SettingsController::traceChanged);
        controller.setTracing(true);
        QVERIFY(controller.tracing());
        QVERIFY(!changed.isEmpty());
        changed.clear();
        const QString file = controller.tracePath();
        QCOMPARE(QFileInfo(file).absolutePath(), QFileInfo(logFileURL()).absolutePath());
        QVERIFY(QFileInfo::exists(file));
        controller.setTracing(false);
        QVERIFY(!controller.tracing());
        QVERIFY(!changed.isEmpty());
        QCOMPARE(controller.tracePath(), file);

        const QString chosen = m_dir.filePath(QStringLiteral("chosen.jsonl"));
        auto launched = makeApp({ QStringLiteral("-trace"), chosen });
        launched->window.settings()->setTracing(true);
        QVERIFY(QFileInfo::exists(chosen));
        launched->window.settings()->setTracing(false);
        // A file that cannot be written leaves the switch off.
        auto unwritable = makeApp({ QStringLiteral("-trace"), m_dir.filePath(QStringLiteral("no/such/dir/t.jsonl")) });
        unwritable->window.settings()->setTracing(true);
        QVERIFY(!unwritable->window.settings()->tracing());
    }

    void appearanceChoicePersistedAndApplied()
    {
        auto objects = makeApp();
        SettingsController &controller = *objects->window.settings();
        Theme &theme = *objects->window.theme();
        QCOMPARE(controller.appearance(), QStringLiteral("system")); // nothing stored yet
        controller.setAppearanceChoice(QStringLiteral("dark"));
        QCOMPARE(objects->preferences().string(QStringLiteral("appearance")),
            std::optional<QString>(QStringLiteral("dark")));
        QVERIFY(theme.dark());
        controller.setAppearanceChoice(QStringLiteral("light"));
        QVERIFY(!theme.dark());
        controller.setAppearanceChoice(QStringLiteral("system"));
        QCOMPARE(theme.mode(), AppearancePreference::System);
        // Only the exact raw values count.
        controller.setAppearanceChoice(QStringLiteral("Dark"));
        QCOMPARE(controller.appearance(), QStringLiteral("system"));
        objects->preferences().setString(QStringLiteral("appearance"), QStringLiteral("Dark"));
        QCOMPARE(storedAppearance(objects->preferences()), AppearancePreference::System);
    }

    void rowsSelectAndRemove()
    {
        auto objects = makeApp();
        AppController &controller = *objects->window.controller();
        DeviceStore &store = objects->store();
        const TVDevice a
            = store.upsertDiscovered(QStringLiteral("127.0.0.36"), std::nullopt, QStringLiteral("A"), std::nullopt);
        const TVDevice b
            = store.upsertDiscovered(QStringLiteral("127.0.0.37"), std::nullopt, std::nullopt, std::nullopt);

        // Clicking a row only selects it.
        controller.selectDevice(b.id);
        QCOMPARE(store.selectedID(), std::optional<QString>(b.id));
        QCOMPARE(objects->session().stateKind(), Kind::Offline);
        // Removing the selected TV moves the selection to the first one left.
        controller.removeDevice(b.id);
        QCOMPARE(store.selectedID(), std::optional<QString>(a.id));
        objects->window.settings()->deleteSelected();
        QVERIFY(store.devices().isEmpty());
        QVERIFY(!controller.hasSelection());
        // With nothing selected the page's buttons do nothing.
        controller.primaryAction();
        objects->window.settings()->editNameField(QStringLiteral("x"));
        objects->window.settings()->saveSelected();
        QCOMPARE(objects->session().stateKind(), Kind::Offline);
    }

    // Chinese systems get the source texts, every other one English; "-language" overrides.
    // The session keeps its Chinese texts (the log reads them); the window translates them,
    // and describes Qt's socket failures in its own language.
    void failuresShownInTheWindowLanguage()
    {
        const Preferences none(m_dir.filePath(QStringLiteral("lang.conf")));
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("zh-Hans-CN"), QStringLiteral("en-US") }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("zh-TW") }), u"zh");
        QCOMPARE(WindowLanguage::choose(none, { QStringLiteral("de-DE"), QStringLiteral("zh-CN") }), u"en");
        QCOMPARE(WindowLanguage::choose(none, {}), u"en");
        const Preferences chinese(m_dir.filePath(QStringLiteral("lang.conf")),
            { QStringLiteral("corvane-remote"), QStringLiteral("-language"), QStringLiteral("zh") });
        QCOMPARE(WindowLanguage::choose(chinese, { QStringLiteral("en-US") }), u"zh");
        // The power button wakes a TV in standby, as it does one that is off.
        QCOMPARE(powerAction(Kind::Ready, true), PowerAction::Wake);
        QCOMPARE(powerAction(Kind::Ready, false), PowerAction::PowerOff);

        for (const QString &language : { QStringLiteral("en"), QStringLiteral("zh") }) {
            const bool en = language == u"en";
            auto objects = makeApp({ QStringLiteral("-language"), language });
            AppController &controller = *objects->window.controller();
            // Without a ready TV the text stays in the box (the page clears it only on success).
            QVERIFY(!controller.sendText(QStringLiteral("abc")));
            QVERIFY(!controller.tvReady());
            QVERIFY(!controller.submitPin(QStringLiteral("1234"))); // no protocol client
            if (!en)
                QCOMPARE(controller.needsTVReason(), QStringLiteral("未连接电视，请先在设备管理中连接"));
            // The slider writes the field, truncated, without sending.
            controller.volumeDragged(42.9);
            QCOMPARE(controller.volumeText(), QStringLiteral("42"));
            // Waking with no TV selected is the session's error, shown on both pages.
            controller.powerButton();
            QCOMPARE(objects->session().state().message(), QStringLiteral("未记录电视 MAC，无法网络唤醒"));
            QCOMPARE(controller.pairingStatus(),
                en ? QStringLiteral("No MAC address saved for this TV: cannot wake it over the network")
                   : QStringLiteral("未记录电视 MAC，无法网络唤醒"));
            QCOMPARE(controller.inputNotice(), controller.pairingStatus());
            QCOMPARE(controller.statusBadge(), en ? QStringLiteral("Connection failed") : QStringLiteral("连接失败"));

            // A TV added by address: only an exact IPv4 address, connected at once; nothing listens
            // there, and the window shows the real refusal, not Qt's English text.
            for (const QString &bad :
                { QStringLiteral(" 127.0.0.39"), QStringLiteral("127.0.0.256"), QStringLiteral("１２７.0.0.39"),
                    QStringLiteral("127.0.0.39") + QChar(0), QStringLiteral("tv.local") })
                QVERIFY2(!controller.addManualHost(bad), qPrintable(bad));
            QVERIFY(objects->store().devices().isEmpty());
            QVERIFY(controller.addManualHost(QStringLiteral("127.0.0.39")));
            const QString id = objects->store().devices().constFirst().id;
            QCOMPARE(objects->store().selectedID(), std::optional<QString>(id));
            QTRY_COMPARE_WITH_TIMEOUT(objects->session().stateKind(), Kind::Error, 10000);
            QVERIFY(objects->session().state().message().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
            QCOMPARE(controller.pairingStatus(),
                en ? QStringLiteral("The TV refused the connection") : QStringLiteral("电视拒绝了连接"));
            QVERIFY(controller.pairingStatusIsError());
            QCOMPARE(controller.inputNotice(), controller.pairingStatus());
            QVERIFY(controller.addManualHost(QStringLiteral("127.0.0.39"))); // same host: same record
            QCOMPARE(objects->store().devices().size(), 1);
            QCOMPARE(objects->store().devices().constFirst().id, id);
            objects->session().disconnect();
        }
    }
};

QTEST_MAIN(TestUiLogic)
#include "test_ui_logic.moc"
