#include "uiharness.h"

#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

UiApp::UiApp(
    const QString &preferencesFile, const QStringList &launchArguments, SnapshotRoutine::Timings snapshotTimings)
    : AppParts(Setup { .preferencesFile = preferencesFile,
        .launchArguments = launchArguments.contains(QStringLiteral("-language"))
            ? launchArguments
            : launchArguments + QStringList { QStringLiteral("-language"), QStringLiteral("zh") } })
    , window(session(), server(), preferences(), snapshotTimings)
{
}

bool UiApp::start(int timeoutMs)
{
    QSignalSpy started(&window, &MainWindow::startupFinished);
    if (!window.load())
        return false;
    return window.startupDone() || started.wait(timeoutMs);
}

namespace {

// The visual tree: view delegates have no QObject parent, so findChild() misses them.
QQuickItem *find(QQuickItem *item, const QString &objectName)
{
    if (item->objectName() == objectName)
        return item;
    const auto children = item->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = find(child, objectName))
            return found;
    }
    return nullptr;
}

} // namespace

QQuickItem *UiApp::item(const QString &objectName) const
{
    QQuickWindow *quick = window.window();
    return quick ? find(quick->contentItem(), objectName) : nullptr;
}

QString UiApp::text(const QString &objectName) const
{
    QQuickItem *found = item(objectName);
    return found ? found->property("text").toString() : QString();
}

bool UiApp::click(const QString &objectName)
{
    QQuickItem *found = item(objectName);
    if (!found || !found->isVisible() || !found->isEnabled())
        return false;
    const QPointF centre = found->mapToScene(QPointF(found->width() / 2, found->height() / 2));
    QTest::mouseClick(window.window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}
