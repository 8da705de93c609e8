#include "appcontroller.h"
#include "applog.h"
#include "simmessages.h"
#include "snapshotroutine.h"
#include "testenv.h"
#include "tvsimprocess.h"
#include "uiharness.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWheelEvent>

using Kind = ConnectionState::Kind;
using namespace Qt::StringLiterals;

namespace {

// The texts on screen that are cut off (elided or past their last line), as "objectName: text".
// Paths are shortened in their middle on purpose.
QStringList cutTexts(QQuickItem *item)
{
    QStringList cut;
    if (!item->isVisible())
        return cut;
    if (item->property("truncated").toBool() && item->property("elide").toInt() != Qt::ElideMiddle)
        cut << item->objectName() + u": "_s + item->property("text").toString();
    for (QQuickItem *child : item->childItems())
        cut << cutTexts(child);
    return cut;
}

} // namespace

// The start-up routine of the real window against the TV emulator, offscreen. Start-up scans
// by SSDP multicast, so these run only inside a private network namespace.
class TestUiStartup : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    QTemporaryDir m_dir;

private Q_SLOTS:
    // A session destroyed while connecting wakes its waiting coroutines through the event loop.
    void cleanup() { drainPostedEvents(); }

    void initTestCase()
    {
        if (!inPrivateNetwork())
            QSKIP("start-up sends SSDP multicast: run inside a private network namespace (scripts/test does)");
    }

    // One TV from "-autoHost", paired at start, driven through every page.
    void autoHostPairsAndPagesActOnTheTV()
    {
        TVSimProcess sim({ .address = u"127.0.0.30"_s, .extraArgs = { u"--pairing-delay"_s, u"200"_s } });
        QVERIFY(sim.start());
        sim.control(u"/set"_s, { { u"volume"_s, 23 } });
        const QString appsURI = u"com.webos.applicationManager/listLaunchPoints"_s;
        sim.control(u"/fault"_s, { { "fail", QJsonObject { { "uri", appsURI } } } });
        const auto pointer = [&sim] { return pointerTexts(sim.received()).join(u'|'); };
        const auto sent = [&sim](const QString &uri) { return ssapRequests(sim.received(), uri).size(); };
        const auto centreOf = [](QQuickItem *item, double fx = 0.5) {
            return item->mapToScene(QPointF(item->width() * fx, item->height() / 2)).toPoint();
        };
        const QString file = m_dir.filePath(u"autohost.conf"_s);
        {
            UiApp app(file, { u"-autoHost"_s, u" 127.0.0.30\t"_s, u"-mcpPort"_s, u"18830"_s });
            QVERIFY(app.start());
            QTRY_COMPARE_WITH_TIMEOUT(app.session().stateKind(), Kind::Ready, 15000);
            QCOMPARE(app.store().devices().size(), 1);
            QCOMPARE(app.store().devices().constFirst().host, u"127.0.0.30"_s);
            QVERIFY(app.store().devices().constFirst().isPaired());
            QTRY_VERIFY(app.server().isRunning());

            QCOMPARE(app.window.currentPage(), u"remote"_s);
            QTRY_COMPARE(app.text(u"statusBadge"_s), u"已连接"_s);
            QTRY_COMPARE_WITH_TIMEOUT(app.text(u"volumeText"_s), u"23"_s, 5000);
            QTRY_VERIFY_WITH_TIMEOUT(app.session().hasPointer(), 5000);

            // Keys do not drive the TV from inside the text box, whose Return sends the text instead.
            QQuickWindow *window = app.window.window();
            window->requestActivate();
            QQuickItem *textBox = app.item(u"textBox"_s);
            textBox->forceActiveFocus();
            sim.clearReceived();
            for (const Qt::Key key : { Qt::Key_H, Qt::Key_I, Qt::Key_Down, Qt::Key_Return })
                QTest::keyClick(window, key);
            QTRY_COMPARE_WITH_TIMEOUT(sent(u"com.webos.service.ime/insertText"_s), 1, 5000);
            QCOMPARE(ssapPayload(sim.received(), u"com.webos.service.ime/insertText"_s)[u"text"_s], u"hi"_s);
            QCOMPARE(textBox->property("text").toString(), QString());
            // A click on empty space of a card gives the keys back to the TV, while the page is shown.
            QQuickItem *up = app.item(u"keyUp"_s);
            QTest::mouseClick(
                window, Qt::LeftButton, Qt::NoModifier, up->mapToScene(QPointF(up->width() / 2, -40)).toPoint());
            QTRY_VERIFY(!textBox->hasActiveFocus());
            QTest::keyClick(window, Qt::Key_Up);
            QTRY_VERIFY_WITH_TIMEOUT(pointer().contains(u"name:UP"_s), 5000);
            QVERIFY(!pointer().contains(u"name:DOWN"_s));

            // Touchpad: a drag moves the pointer half as far again, a press that travelled less
            // than 4 points clicks; scrolling sends whole steps of 8 points against the platform's
            // delta, keeping the rest for the next event; a wheel notch is one step.
            const QPoint start = centreOf(app.item(u"touchpad"_s));
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
            QTest::mouseMove(window, start + QPoint(2, 0));
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start + QPoint(2, 0));
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
            QTest::mouseMove(window, start + QPoint(2, 2));
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start + QPoint(2, 2));
            const auto wheel = [&](QPoint pixels, QPoint angle) {
                QWheelEvent event(start, window->mapToGlobal(start), pixels, angle, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
                QGuiApplication::sendEvent(window, &event);
            };
            wheel({ 0, -7 }, { 0, -7 });
            wheel({ 0, -1 }, { 0, -1 });
            wheel({ 0, 0 }, { 0, 120 });
            // Moves are merged while the socket is busy: their sum is what counts.
            const auto moved = [&sim] {
                QPoint sum;
                const QRegularExpression move(u"type:move\ndx:(-?\\d+)\ndy:(-?\\d+)"_s);
                for (const QRegularExpressionMatch &m : move.globalMatch(pointerTexts(sim.received()).join(u'|')))
                    sum += QPoint(m.captured(1).toInt(), m.captured(2).toInt());
                return sum;
            };
            QTRY_COMPARE_WITH_TIMEOUT(moved(), QPoint(6, 3), 5000);
            QTRY_COMPARE(pointerTexts(sim.received()).filter(u"type:scroll"_s),
                (QStringList { u"type:scroll\ndx:0\ndy:1\n\n"_s, u"type:scroll\ndx:0\ndy:-1\n\n"_s }));
            QCOMPARE(pointerTexts(sim.received()).filter(u"type:click"_s), QStringList { u"type:click\n\n"_s });

            sim.clearReceived();
            QStringList pressed;
            for (const QString &key : { u"Up"_s, u"Down"_s, u"Left"_s, u"Right"_s, u"Back"_s, u"Home"_s, u"Menu"_s }) {
                QVERIFY(app.click(u"key"_s + key));
                pressed << u"type:button\nname:"_s + key.toUpper() + u"\n\n"_s;
            }
            QTRY_COMPARE_WITH_TIMEOUT(pointerTexts(sim.received()), pressed, 5000);

            // Volume slider: dragging only moves the number; letting go sends it once.
            QQuickItem *slider = app.item(u"volumeSlider"_s);
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(slider, 0.2));
            QTest::mouseMove(window, centreOf(slider, 0.4));
            QTest::mouseMove(window, centreOf(slider, 0.6));
            app.session().setMute(false); // a marker on the same socket, after the drag
            QTRY_COMPARE_WITH_TIMEOUT(sent(u"audio/setMute"_s), 1, 5000);
            QCOMPARE(sent(u"audio/setVolume"_s), 0);
            const int dragged = app.session().volume();
            QVERIFY2(dragged > 40 && dragged < 80, qPrintable(QString::number(dragged)));
            QCOMPARE(app.text(u"volumeText"_s), QString::number(dragged));
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, centreOf(slider, 0.6));
            QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(u"volume"_s).toInt(), dragged, 5000);
            QCOMPARE(sent(u"audio/setVolume"_s), 1);

            // Apps: a list that never came is offered again once the wait is over, and read anew.
            app.window.showPage(u"apps"_s);
            QTRY_VERIFY(app.item(u"appsRetry"_s));
            QQuickItem *retry = app.item(u"appsRetry"_s);
            retry->parentItem()->findChild<QObject *>(u"appsTimeout"_s)->setProperty("interval", 1); // ends the wait
            QTRY_VERIFY(retry->isVisible());
            sim.control(u"/fault"_s, { { "clear", true } });
            sim.clearReceived();
            QVERIFY(app.click(u"appsRetry"_s));
            QTRY_COMPARE_WITH_TIMEOUT(sent(appsURI), 1, 5000);

            // Apps: locale-aware search, a card launches its app.
            QTRY_VERIFY_WITH_TIMEOUT(
                app.item(u"appGrid"_s) && app.item(u"appGrid"_s)->property("count").toInt() > 1, 10000);
            app.item(u"appSearch"_s)->setProperty("text", u"youTUBE"_s);
            QTRY_COMPARE(app.item(u"appGrid"_s)->property("count").toInt(), 1);
            sim.clearReceived();
            const QString youtube = u"youtube.leanback.v4"_s;
            QTRY_VERIFY(app.item(u"app-"_s + youtube));
            QVERIFY(app.click(u"app-"_s + youtube));
            QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(u"foregroundAppId"_s).toString(), youtube, 5000);
            QCOMPARE(sent(u"system.launcher/launch"_s), 1);

            // An icon address with non-ASCII text is fetched as that very address.
            QUrl iconURL = *app.session().apps().constFirst().icon;
            iconURL.setQuery(u"name=电视 é"_s);
            QQmlComponent component(app.window.engine());
            component.setData("import QtQuick\nImage {}", QUrl());
            const std::unique_ptr<QObject> image(component.create());
            image->setProperty("source", app.window.controller()->iconSource(iconURL.toString()));
            QTRY_COMPARE_WITH_TIMEOUT(image->property("status").toInt(), 1, 5000); // Image.Ready
            QVERIFY(app.session().cachedIcon(iconURL));

            // Other pages turn the keys off.
            app.window.showPage(u"devices"_s);
            QTRY_VERIFY(app.item(u"devicesPage"_s));
            sim.clearReceived();
            QTest::keyClick(window, Qt::Key_Left);
            app.session().press(u"RIGHT"_s); // a marker on the same socket, after the key
            QTRY_VERIFY_WITH_TIMEOUT(pointer().contains(u"name:RIGHT"_s), 5000);
            QVERIFY(!pointer().contains(u"name:LEFT"_s));

            // Disconnected, nothing of that TV stays on the pages (no inputs, no foreground), and
            // its row changes in place: a reset would close an open menu and lose the list's scroll.
            QQuickItem *deviceList = app.item(u"deviceList"_s);
            QQuickItem *firstRow = nullptr;
            QMetaObject::invokeMethod(deviceList, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstRow), Q_ARG(int, 0));
            QPointer<QQuickItem> row(firstRow);
            AppController &controller = *app.window.controller();
            QVERIFY(controller.inputs()->rowCount() > 0);
            QVERIFY(!controller.foregroundText().isEmpty());
            app.session().disconnect();
            QCOMPARE(controller.inputs()->rowCount(), 0);
            QCOMPARE(controller.foregroundText(), QString());
            QTRY_VERIFY(!row || row->property("status").toString() == u"已配对"_s);
            QVERIFY(row);

            // Removing the paired TV asks first.
            app.window.showPage(u"settings"_s);
            QTRY_VERIFY(app.item(u"deleteButton"_s));
            QVERIFY(app.click(u"deleteButton"_s));
            QObject *confirm = window->findChild<QObject *>(u"deleteConfirm"_s);
            QTRY_VERIFY(confirm->property("visible").toBool());
            QMetaObject::invokeMethod(confirm, "reject");
            QCOMPARE(app.store().devices().size(), 1);

            app.item(u"nameField"_s)->forceActiveFocus();
            for (char c : { 'D', 'e', 'n' })
                QTest::keyClick(window, c);
            QVERIFY(!app.item(u"savedNotice"_s)->isVisible());
            QTest::keyClick(window, Qt::Key_Return);
            QVERIFY(app.item(u"savedNotice"_s)->isVisible());

            // Settings: the MCP switch stops the service at once.
            QVERIFY(app.click(u"mcpSwitch"_s));
            QVERIFY(!app.server().isRunning());
            QCOMPARE(app.text(u"mcpStatus"_s), u"已停止"_s);
        }
        // The next start, without autoHost, reads what was saved (the name, the MCP switch) and
        // connects the selected, paired TV without a new pairing.
        UiApp again(file, { u"-mcpPort"_s, u"18831"_s });
        QCOMPARE(again.store().devices().size(), 1);
        QCOMPARE(again.store().devices().constFirst().name, u"Den"_s);
        // Another paired TV, listed first, is not the selected one.
        TVDevice other = again.store().upsertDiscovered(u"127.0.0.31"_s, std::nullopt, std::nullopt, std::nullopt);
        other.clientKey = u"key"_s;
        again.store().setDevices({ other, again.store().devices().constFirst() });
        QVERIFY(again.start());
        QTRY_COMPARE_WITH_TIMEOUT(again.session().stateKind(), Kind::Ready, 15000);
        QVERIFY(!again.server().isRunning());
    }

    // A selected TV that was never paired is not connected at start, until the primary button.
    // That TV refuses remote-control input: the page says so with the TV's reason, and volume
    // still acts.
    void startsWithoutConnectingUnpairedTVs()
    {
        TVSimProcess sim({ .address = u"127.0.0.32"_s, .extraArgs = { u"--firmware"_s, u"2026"_s } });
        QVERIFY(sim.start());
        UiApp app(m_dir.filePath(u"unpaired.conf"_s));
        const TVDevice tv = app.store().upsertDiscovered(u"127.0.0.32"_s, std::nullopt, u"卧室"_s, std::nullopt);
        app.store().setSelectedID(tv.id);
        QVERIFY(app.start()); // the routine has decided what to connect
        QCOMPARE(app.session().stateKind(), Kind::Offline);
        QVERIFY(!app.window.snapshots()->isRunning()); // no snapshotDir, no timer

        app.window.showPage(u"devices"_s);
        QTRY_VERIFY(app.item(u"primaryButton"_s));
        QVERIFY(app.click(u"primaryButton"_s));
        QTRY_COMPARE_WITH_TIMEOUT(app.session().stateKind(), Kind::Ready, 15000);
        QVERIFY(app.store().selectedDevice()->isPaired());
        app.window.showPage(u"remote"_s);
        QTRY_VERIFY_WITH_TIMEOUT(app.session().pointerRefusal().has_value(), 5000);
        QQuickItem *bar = app.item(u"inputNoticeBar"_s);
        QVERIFY(!bar->isVisible());
        QVERIFY(app.click(u"keyUp"_s));
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(app.text(u"inputNotice"_s),
            u"电视拒绝了遥控输入：401 insufficient permissions。仍可使用音量、静音、频道、播放控制、应用、输入源和文字。"_s);
        const int volume = sim.state().value(u"volume"_s).toInt();
        QVERIFY(app.click(u"volumeUp"_s));
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(u"volume"_s).toInt(), volume + 1, 5000);
        QCOMPARE(sim.received(u"pointer"_s).size(), 0);
    }

    // The snapshot routine writes one PNG per page, in order, in light and in dark, in Chinese and
    // in English, at the narrowest width, where no text on any page is cut off.
    void fourPagesWritten_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::addColumn<QString>("language");
        QTest::newRow("light-zh") << u"light"_s << u"zh"_s;
        QTest::newRow("dark-en") << u"dark"_s << u"en"_s;
    }

    void fourPagesWritten()
    {
        QFETCH(QString, appearance);
        QFETCH(QString, language);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QDir folder(m_dir.filePath(u"shots/"_s + tag)); // created by the routine
        UiApp app(m_dir.filePath(tag + u".conf"_s),
            { u"-snapshotDir"_s, folder.path(), u"-appearance"_s, appearance, u"-mcpEnabled"_s, u"false"_s,
                u"-language"_s, language },
            { .initialMs = 300, .pageMs = 400 });
        QSignalSpy finished(app.window.snapshots(), &SnapshotRoutine::finished);
        // A saved TV, paired, for the devices list: its status and address share one row.
        TVDevice saved;
        saved.id = u"6A1E3C2B-0000-4000-8000-000000000001"_s;
        saved.model = u"LG OLED55C3PCA"_s;
        saved.host = u"127.0.0.99"_s;
        saved.clientKey = u"key"_s;
        app.store().setDevices({ saved });
        const int mark = logMark();
        QVERIFY(app.start());
        QQuickWindow *window = app.window.window();
        window->setWidth(window->minimumWidth());
        QVERIFY(finished.wait(20000));
        // The window in the language asked for; the log stays Chinese.
        QCOMPARE(app.window.controller()->pickerLabel(), language == u"en" ? u"Choose TV"_s : u"选择电视"_s);

        QStringList expected;
        for (const QString &page : SnapshotRoutine::pageOrder()) {
            const QString path = folder.filePath(page + u".png"_s);
            expected << u"快照 "_s + path;
            // The mean lightness, 0 black … 1 white.
            const QImage image(path);
            QCOMPARE(image.size(), window->size() * window->devicePixelRatio());
            const double light
                = image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0).lightnessF();
            QVERIFY2(appearance == u"light" ? light > 0.75 : light < 0.3, qPrintable(page));
        }
        appLogFlush();
        QCOMPARE(logSince(mark, u"快照 "_s), expected);
        // Distinct pages, not one picture four times.
        QVERIFY(QImage(folder.filePath(u"remote.png"_s)) != QImage(folder.filePath(u"settings.png"_s)));

        for (const QString &page : SnapshotRoutine::pageOrder()) {
            QSignalSpy drawn(window, &QQuickWindow::frameSwapped);
            app.window.showPage(page);
            QVERIFY(drawn.wait(5000));
            const QStringList cut = cutTexts(window->contentItem());
            QVERIFY2(cut.isEmpty(), qPrintable(page + u": "_s + cut.join(u" | "_s)));
        }

        // At the narrowest window the volume still shows "100" whole, and with no TV the controls
        // that need one are off while "发送文字" cannot clear the box.
        app.window.showPage(u"remote"_s);
        app.window.controller()->volumeDragged(100);
        QQuickItem *volume = app.item(u"volumeText"_s);
        QCOMPARE(volume->property("text").toString(), u"100"_s);
        QTRY_VERIFY(volume->property("contentWidth").toReal() <= volume->width());
        QVERIFY(!app.item(u"keyBack"_s)->isEnabled());
        QQuickItem *textBox = app.item(u"textBox"_s);
        textBox->setProperty("text", u"abc"_s);
        QVERIFY(!app.item(u"sendButton"_s)->isEnabled());
        // As Return or the button would: nothing sent, so nothing cleared.
        QVERIFY(QMetaObject::invokeMethod(app.item(u"remotePage"_s), "sendText"));
        QCOMPARE(textBox->property("text").toString(), u"abc"_s);
    }
};

QTEST_MAIN(TestUiStartup)
#include "test_ui_startup.moc"
