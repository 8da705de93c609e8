#include "appcontroller.h"
#include "snapshotroutine.h"
#include "testenv.h"
#include "uiharness.h"

#include <QDir>
#include <QImage>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

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

// The snapshot routine writes one PNG per page, in order, in light and in dark, in Chinese and
// in English, at the narrowest width, where no text on any page is cut off.
class TestUiSnapshots : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        if (!inPrivateNetwork())
            QSKIP("start-up sends SSDP multicast: run inside a private network namespace (scripts/test does)");
    }

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
        app.store.setDevices({ saved });
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

QTEST_MAIN(TestUiSnapshots)
#include "test_ui_snapshots.moc"
