#include "appcontroller.h"
#include "snapshotroutine.h"
#include "testenv.h"
#include "tvsimprocess.h"
#include "uiharness.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Kind = ConnectionState::Kind;

namespace {

bool pointerReceived(TVSimProcess &sim, const QString &fragment)
{
    const QJsonArray messages = sim.received(QStringLiteral("pointer"));
    for (const QJsonValue &message : messages) {
        if (message.toObject().value(QStringLiteral("text")).toString().contains(fragment))
            return true;
    }
    return false;
}

// The SSAP requests the emulator received whose URI ends so.
QList<QJsonObject> ssapSent(TVSimProcess &sim, const QString &uriEnd)
{
    QList<QJsonObject> found;
    for (const QJsonValue &m : sim.received(QStringLiteral("ssap"))) {
        const QJsonObject json = m.toObject().value(QStringLiteral("json")).toObject();
        if (json.value(QStringLiteral("uri")).toString().endsWith(uriEnd))
            found << json;
    }
    return found;
}

// The mean lightness of the image (0 black … 1 white), sampled.
double meanLightness(const QImage &image)
{
    double sum = 0;
    int samples = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4, ++samples)
            sum += QColor(image.pixel(x, y)).lightnessF();
    }
    return samples ? sum / samples : 0;
}

// The texts on screen that are cut off (elided or past their last line), as "objectName: text".
// Paths are shortened in their middle on purpose.
QStringList cutTexts(QQuickItem *item)
{
    QStringList cut;
    if (!item->isVisible())
        return cut;
    if (item->property("truncated").toBool() && item->property("elide").toInt() != Qt::ElideMiddle)
        cut << item->objectName() + QStringLiteral(": ") + item->property("text").toString();
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

    QString preferencesFile(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".conf")); }

private Q_SLOTS:
    // A session destroyed while connecting wakes its waiting coroutines through the event loop;
    // let them finish before the next test (or the end of the process) leaves them suspended.
    void cleanup()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    void initTestCase()
    {
        if (!inPrivateNetwork())
            QSKIP("start-up sends SSDP multicast: run inside a private network namespace (scripts/test does)");
    }

    // One TV from "-autoHost", paired at start, driven through every page.
    void autoHostPairsAndPagesActOnTheTV()
    {
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.30"),
            .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("200") } });
        QVERIFY(sim.start());
        sim.control(QStringLiteral("/set"), { { QStringLiteral("volume"), 23 } });
        const QString appsURI = QStringLiteral("com.webos.applicationManager/listLaunchPoints");
        sim.control(QStringLiteral("/fault"), { { "fail", QJsonObject { { "uri", appsURI } } } });
        const QString file = preferencesFile(QStringLiteral("autohost"));
        {
            UiApp app(file,
                { QStringLiteral("-autoHost"), QStringLiteral(" 127.0.0.30\t"), QStringLiteral("-mcpPort"),
                    QStringLiteral("18830") });
            QVERIFY(app.start());
            QTRY_COMPARE_WITH_TIMEOUT(app.session().stateKind(), Kind::Ready, 15000);
            QCOMPARE(app.store().devices().size(), 1);
            QCOMPARE(app.store().devices().constFirst().host, QStringLiteral("127.0.0.30"));
            QVERIFY(app.store().devices().constFirst().isPaired());
            QTRY_VERIFY(app.server().isRunning());

            // The remote page shows the connection and the TV's own volume.
            QCOMPARE(app.window.currentPage(), QStringLiteral("remote"));
            QTRY_COMPARE(app.text(QStringLiteral("statusBadge")), QStringLiteral("已连接"));
            QTRY_COMPARE_WITH_TIMEOUT(app.text(QStringLiteral("volumeText")), QStringLiteral("23"), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(app.session().hasPointer(), 5000);

            // Keys drive the TV while the page is shown...
            QQuickWindow *window = app.window.window();
            window->requestActivate();
            sim.clearReceived();
            QTest::keyClick(window, Qt::Key_Up);
            QTRY_VERIFY_WITH_TIMEOUT(pointerReceived(sim, QStringLiteral("name:UP")), 5000);
            // ...but not from inside the text box, whose Return sends the text instead.
            QQuickItem *textBox = app.item(QStringLiteral("textBox"));
            textBox->forceActiveFocus();
            sim.clearReceived();
            QTest::keyClick(window, 'h');
            QTest::keyClick(window, 'i');
            QTest::keyClick(window, Qt::Key_Down);
            QTest::keyClick(window, Qt::Key_Return);
            QTRY_COMPARE_WITH_TIMEOUT(ssapSent(sim, QStringLiteral("insertText")).size(), 1, 5000);
            QCOMPARE(ssapSent(sim, QStringLiteral("insertText"))
                         .constFirst()
                         .value(QStringLiteral("payload"))[QStringLiteral("text")]
                         .toString(),
                QStringLiteral("hi"));
            QCOMPARE(textBox->property("text").toString(), QString());
            // A click on empty space of a card gives the keys back to the TV.
            QVERIFY(textBox->hasActiveFocus());
            QQuickItem *up = app.item(QStringLiteral("keyUp"));
            QTest::mouseClick(
                window, Qt::LeftButton, Qt::NoModifier, up->mapToScene(QPointF(up->width() / 2, -40)).toPoint());
            QTRY_VERIFY(!textBox->hasActiveFocus());
            sim.clearReceived();
            QTest::keyClick(window, Qt::Key_Up);
            QTRY_VERIFY_WITH_TIMEOUT(pointerReceived(sim, QStringLiteral("name:UP")), 5000);
            QVERIFY(!pointerReceived(sim, QStringLiteral("name:DOWN")));

            const auto centreOf = [](QQuickItem *item, double fx = 0.5) {
                return item->mapToScene(QPointF(item->width() * fx, item->height() / 2)).toPoint();
            };
            const auto ssapCount = [&sim](const QString &uriEnd) { return ssapSent(sim, uriEnd).size(); };

            // Touchpad: a drag moves the pointer, a tap clicks.
            sim.clearReceived();
            QQuickItem *pad = app.item(QStringLiteral("touchpad"));
            QVERIFY(pad);
            const QPoint start = centreOf(pad);
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
            QTest::mouseMove(window, start + QPoint(8, 2));
            QTest::mouseMove(window, start + QPoint(16, 4));
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start + QPoint(16, 4));
            QTRY_VERIFY_WITH_TIMEOUT(pointerReceived(sim, QStringLiteral("type:move")), 5000);
            QVERIFY(!pointerReceived(sim, QStringLiteral("type:click")));
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, start);
            QTRY_VERIFY_WITH_TIMEOUT(pointerReceived(sim, QStringLiteral("type:click")), 5000);

            // Volume slider: dragging only moves the number; letting go sends it once.
            QQuickItem *slider = app.item(QStringLiteral("volumeSlider"));
            QVERIFY(slider);
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(slider, 0.2));
            QTest::mouseMove(window, centreOf(slider, 0.4));
            QTest::mouseMove(window, centreOf(slider, 0.6));
            app.session().setMute(false); // a marker on the same socket, after the drag
            QTRY_COMPARE_WITH_TIMEOUT(ssapCount(QStringLiteral("audio/setMute")), 1, 5000);
            QCOMPARE(ssapCount(QStringLiteral("audio/setVolume")), 0);
            const int dragged = app.session().volume();
            QVERIFY2(dragged > 40 && dragged < 80, qPrintable(QString::number(dragged)));
            QCOMPARE(app.text(QStringLiteral("volumeText")), QString::number(dragged));
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, centreOf(slider, 0.6));
            QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(QStringLiteral("volume")).toInt(), dragged, 5000);
            QCOMPARE(ssapCount(QStringLiteral("audio/setVolume")), 1);

            // Apps: a list that never came is offered again once the wait is over, and read anew.
            app.window.showPage(QStringLiteral("apps"));
            QTRY_VERIFY(app.item(QStringLiteral("appsRetry")));
            QQuickItem *retry = app.item(QStringLiteral("appsRetry"));
            auto *appsTimeout = retry->parentItem()->findChild<QObject *>(QStringLiteral("appsTimeout"));
            QVERIFY(appsTimeout);
            appsTimeout->setProperty("interval", 1); // ends the wait at once
            QTRY_VERIFY(retry->isVisible());
            sim.control(QStringLiteral("/fault"), { { "clear", true } });
            sim.clearReceived();
            QVERIFY(app.click(QStringLiteral("appsRetry")));
            QTRY_COMPARE_WITH_TIMEOUT(ssapCount(appsURI), 1, 5000);

            // Apps: locale-aware search, a card launches its app.
            QTRY_VERIFY(app.item(QStringLiteral("appGrid")));
            QTRY_VERIFY_WITH_TIMEOUT(app.item(QStringLiteral("appGrid"))->property("count").toInt() > 1, 10000);
            QString youtube;
            for (const TVApp &tvApp : app.session().apps()) {
                if (tvApp.title == u"YouTube")
                    youtube = tvApp.id;
            }
            QVERIFY(!youtube.isEmpty());
            app.item(QStringLiteral("appSearch"))->setProperty("text", QStringLiteral("youTUBE"));
            QTRY_COMPARE(app.item(QStringLiteral("appGrid"))->property("count").toInt(), 1);
            sim.clearReceived();
            QTRY_VERIFY(app.item(QStringLiteral("app-") + youtube));
            QVERIFY(app.click(QStringLiteral("app-") + youtube));
            QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(QStringLiteral("foregroundAppId")).toString(), youtube, 5000);
            QCOMPARE(ssapCount(QStringLiteral("system.launcher/launch")), 1);

            // An icon address with non-ASCII text is fetched as that very address.
            QUrl iconURL = *app.session().apps().constFirst().icon;
            iconURL.setQuery(QStringLiteral("name=电视 é"));
            QQmlComponent component(app.window.engine());
            component.setData("import QtQuick\nImage {}", QUrl());
            const std::unique_ptr<QObject> image(component.create());
            QVERIFY(image);
            image->setProperty("source", app.window.controller()->iconSource(iconURL.toString()));
            QTRY_COMPARE_WITH_TIMEOUT(image->property("status").toInt(), 1, 5000); // Image.Ready
            QVERIFY(app.session().cachedIcon(iconURL));

            // Other pages turn the keys off.
            app.window.showPage(QStringLiteral("devices"));
            QTRY_VERIFY(app.item(QStringLiteral("devicesPage")));
            sim.clearReceived();
            QTest::keyClick(window, Qt::Key_Left);
            app.session().press(QStringLiteral("RIGHT")); // a marker on the same socket, after the key
            QTRY_VERIFY_WITH_TIMEOUT(pointerReceived(sim, QStringLiteral("name:RIGHT")), 5000);
            QVERIFY(!pointerReceived(sim, QStringLiteral("name:LEFT")));

            // The TV's row changes in place when its status does: a reset would close an open
            // menu and lose the list's scroll.
            QQuickItem *deviceList = app.item(QStringLiteral("deviceList"));
            QQuickItem *firstRow = nullptr;
            QMetaObject::invokeMethod(deviceList, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstRow), Q_ARG(int, 0));
            QPointer<QQuickItem> row(firstRow);
            QVERIFY(row);

            // Disconnected, nothing of that TV stays on the pages: no inputs, no foreground.
            AppController &controller = *app.window.controller();
            QVERIFY(controller.inputs()->rowCount() > 0);
            QVERIFY(!controller.foregroundText().isEmpty());
            app.session().disconnect();
            QVERIFY(!app.session().inputs().isEmpty()); // the session keeps them for a reconnection
            QCOMPARE(controller.inputs()->rowCount(), 0);
            QCOMPARE(controller.foregroundText(), QString());
            QTRY_VERIFY(!row || row->property("status").toString() == QStringLiteral("已配对"));
            QVERIFY(row);
            QMetaObject::invokeMethod(deviceList, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstRow), Q_ARG(int, 0));
            QCOMPARE(firstRow, row.data());

            // Removing the paired TV asks first.
            app.window.showPage(QStringLiteral("settings"));
            QTRY_VERIFY(app.item(QStringLiteral("deleteButton")));
            QVERIFY(app.click(QStringLiteral("deleteButton")));
            QObject *confirm = app.window.window()->findChild<QObject *>(QStringLiteral("deleteConfirm"));
            QVERIFY(confirm);
            QTRY_VERIFY(confirm->property("visible").toBool());
            QCOMPARE(app.store().devices().size(), 1);
            QMetaObject::invokeMethod(confirm, "reject");
            QCOMPARE(app.store().devices().size(), 1);

            // Return in the name field saves, and says so.
            QQuickItem *name = app.item(QStringLiteral("nameField"));
            name->forceActiveFocus();
            for (char c : { 'D', 'e', 'n' })
                QTest::keyClick(window, c);
            QVERIFY(!app.item(QStringLiteral("savedNotice"))->isVisible());
            QTest::keyClick(window, Qt::Key_Return);
            QCOMPARE(app.store().devices().constFirst().name, QStringLiteral("Den"));
            QVERIFY(app.item(QStringLiteral("savedNotice"))->isVisible());

            // Settings: the MCP switch stops the service at once.
            QVERIFY(app.click(QStringLiteral("mcpSwitch")));
            QVERIFY(!app.server().isRunning());
            QCOMPARE(app.text(QStringLiteral("mcpStatus")), QStringLiteral("已停止"));
            QCOMPARE(app.preferences().boolean(QStringLiteral("mcpEnabled")), std::optional<bool>(false));
        }
        // The next start has no autoHost: the selected, paired TV is connected without a new pairing.
        UiApp again(file, { QStringLiteral("-mcpPort"), QStringLiteral("18831") });
        QVERIFY(again.start());
        QTRY_COMPARE_WITH_TIMEOUT(again.session().stateKind(), Kind::Ready, 15000);
        QCOMPARE(again.store().devices().size(), 1);
    }

    // Without preferences the MCP service starts on its default port and nothing connects; a
    // selected TV that was never paired is not connected either, until the primary button. That
    // TV refuses remote-control input: the page says so with the TV's reason, and volume still acts.
    void startsWithoutConnectingUnpairedTVs()
    {
        TVSimProcess sim({ .address = QStringLiteral("127.0.0.32"),
            .extraArgs = { QStringLiteral("--firmware"), QStringLiteral("2026") } });
        QVERIFY(sim.start());
        const QString file = preferencesFile(QStringLiteral("unpaired"));
        {
            UiApp app(file);
            QVERIFY(app.start()); // the routine has decided what to connect
            QCOMPARE(app.session().stateKind(), Kind::Offline);
            QTRY_VERIFY(app.server().isRunning());
            QCOMPARE(app.server().endpointURL(), QStringLiteral("http://127.0.0.1:8765/mcp"));
            QVERIFY(!app.window.snapshots()->isRunning()); // no snapshotDir, no timer

            // At the narrowest window the volume still shows "100" whole, and with no TV the
            // controls that need one are off while "发送文字" cannot clear the box.
            QQuickWindow *window = app.window.window();
            QVERIFY(window->minimumWidth() <= 900);
            window->resize(window->minimumWidth(), window->minimumHeight());
            app.window.controller()->volumeDragged(100);
            QQuickItem *volume = app.item(QStringLiteral("volumeText"));
            QCOMPARE(volume->property("text").toString(), QStringLiteral("100"));
            QTRY_VERIFY(volume->property("contentWidth").toReal() <= volume->width());
            QVERIFY(!app.item(QStringLiteral("keyBack"))->isEnabled());
            QQuickItem *textBox = app.item(QStringLiteral("textBox"));
            textBox->setProperty("text", QStringLiteral("abc"));
            QVERIFY(!app.item(QStringLiteral("sendButton"))->isEnabled());
            // As Return or the button would: nothing sent, so nothing cleared.
            QVERIFY(QMetaObject::invokeMethod(app.item(QStringLiteral("remotePage")), "sendText"));
            QCOMPARE(textBox->property("text").toString(), QStringLiteral("abc"));
            const TVDevice tv = app.store().upsertDiscovered(
                QStringLiteral("127.0.0.32"), std::nullopt, QStringLiteral("卧室"), std::nullopt);
            app.store().setSelectedID(tv.id);
        }
        UiApp app(file, { QStringLiteral("-mcpEnabled"), QStringLiteral("false") });
        QVERIFY(app.start());
        QCOMPARE(app.session().stateKind(), Kind::Offline);
        QVERIFY(!app.server().isRunning()); // switched off

        // Pairing from the devices page: the primary button connects the selected TV.
        app.window.showPage(QStringLiteral("devices"));
        QTRY_VERIFY(app.item(QStringLiteral("devicesPage")));
        QVERIFY(app.click(QStringLiteral("primaryButton")));
        QTRY_COMPARE_WITH_TIMEOUT(app.session().stateKind(), Kind::Ready, 15000);
        QVERIFY(app.store().selectedDevice()->isPaired());
        app.window.showPage(QStringLiteral("remote"));
        QTRY_VERIFY_WITH_TIMEOUT(app.session().pointerRefusal().has_value(), 5000);
        QQuickItem *bar = app.item(QStringLiteral("inputNoticeBar"));
        QVERIFY(bar && !bar->isVisible());
        QVERIFY(app.click(QStringLiteral("keyUp")));
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(app.text(QStringLiteral("inputNotice")),
            QStringLiteral("电视拒绝了遥控输入：401 insufficient "
                           "permissions。仍可使用音量、静音、频道、播放控制、应用、输入源和文字。"));
        const int volume = sim.state().value(QStringLiteral("volume")).toInt();
        QVERIFY(app.click(QStringLiteral("volumeUp")));
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(QStringLiteral("volume")).toInt(), volume + 1, 5000);
        QCOMPARE(sim.received(QStringLiteral("pointer")).size(), 0);
    }
    // The snapshot routine writes one PNG per page, in order, in light and in dark, in Chinese and
    // in English, at the narrowest width, where no text on any page is cut off.
    void fourPagesWritten_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::addColumn<QString>("language");
        QTest::newRow("light-zh") << "light"
                                  << "zh";
        QTest::newRow("dark-en") << "dark"
                                 << "en";
    }

    void fourPagesWritten()
    {
        QFETCH(QString, appearance);
        QFETCH(QString, language);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString folder = m_dir.filePath(QStringLiteral("shots/") + tag); // created by the routine
        UiApp app(m_dir.filePath(tag + QStringLiteral(".conf")),
            { QStringLiteral("-snapshotDir"), folder, QStringLiteral("-appearance"), appearance,
                QStringLiteral("-mcpEnabled"), QStringLiteral("false"), QStringLiteral("-language"), language },
            { .initialMs = 300, .pageMs = 400 });
        QSignalSpy finished(app.window.snapshots(), &SnapshotRoutine::finished);
        // A saved TV, paired, for the devices list: its status and address share one row.
        TVDevice saved;
        saved.id = QStringLiteral("6A1E3C2B-0000-4000-8000-000000000001");
        saved.model = QStringLiteral("LG OLED55C3PCA");
        saved.host = QStringLiteral("127.0.0.99");
        saved.clientKey = QStringLiteral("key");
        app.store().setDevices({ saved });
        QVERIFY(app.start());
        QVERIFY(app.window.snapshots()->isRunning());
        QQuickWindow *window = app.window.window();
        window->setWidth(window->minimumWidth());
        QVERIFY(finished.wait(20000));
        QCOMPARE(app.window.currentPage(), QStringLiteral("settings")); // the last one shown
        // The window in the language asked for; the log (below) stays Chinese.
        QCOMPARE(app.window.controller()->pickerLabel(),
            language == u"en" ? QStringLiteral("Choose TV") : QStringLiteral("选择电视"));

        QStringList logged;
        for (const QString &message : readLogMessages()) {
            if (message.startsWith(QStringLiteral("快照 ")) && message.contains(folder))
                logged << message;
        }
        QStringList expected;
        for (const QString &page : SnapshotRoutine::pageOrder())
            expected << QStringLiteral("快照 ") + QDir(folder).filePath(page + QStringLiteral(".png"));
        QCOMPARE(logged, expected);

        for (const QString &page : SnapshotRoutine::pageOrder()) {
            const QImage image(QDir(folder).filePath(page + QStringLiteral(".png")));
            QCOMPARE(image.size(), window->size() * window->devicePixelRatio());
            QVERIFY2(
                appearance == u"light" ? meanLightness(image) > 0.75 : meanLightness(image) < 0.3, qPrintable(page));
        }
        // Distinct pages, not one picture four times.
        QVERIFY(QImage(QDir(folder).filePath(QStringLiteral("remote.png")))
            != QImage(QDir(folder).filePath(QStringLiteral("settings.png"))));

        for (const QString &page : SnapshotRoutine::pageOrder()) {
            QSignalSpy drawn(window, &QQuickWindow::frameSwapped);
            app.window.showPage(page);
            QVERIFY(drawn.wait(5000));
            const QStringList cut = cutTexts(window->contentItem());
            QVERIFY2(cut.isEmpty(), qPrintable(page + QStringLiteral(": ") + cut.join(QStringLiteral(" | "))));
        }
    }
};

QTEST_MAIN(TestUiStartup)
#include "test_ui_startup.moc"
