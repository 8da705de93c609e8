#pragma once

#include "appparts.h"
#include "mainwindow.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>

// The window application built in-process as the program builds it (its parts, then the window)
// over a preferences file of the test's choosing. Launch arguments ("-key", "value" pairs)
// override the file as on the command line; the window is Chinese unless they give "-language".
struct UiApp : AppParts {
    UiApp(const QString &preferencesFile, const QStringList &launchArguments = {},
        SnapshotRoutine::Timings snapshotTimings = {})
        : AppParts(Setup { .preferencesFile = preferencesFile,
            .launchArguments = launchArguments.contains(QStringLiteral("-language"))
                ? launchArguments
                : launchArguments + QStringList { QStringLiteral("-language"), QStringLiteral("zh") } })
        , window(session(), server(), preferences(), snapshotTimings)
    {
    }

    MainWindow window;

    // Loads the window and waits until its start-up routine has run.
    bool start()
    {
        QSignalSpy started(&window, &MainWindow::startupFinished);
        return window.load() && (window.startupDone() || started.wait(15000));
    }

    // The first QML item with that objectName in the window's visual tree, or null (view
    // delegates have no QObject parent, so findChild() misses them).
    QQuickItem *item(const QString &objectName, QQuickItem *under = nullptr) const
    {
        if (!under)
            under = window.window() ? window.window()->contentItem() : nullptr;
        if (!under || under->objectName() == objectName)
            return under;
        for (QQuickItem *child : under->childItems()) {
            if (QQuickItem *found = item(objectName, child))
                return found;
        }
        return nullptr;
    }
    QString text(const QString &objectName) const
    {
        QQuickItem *found = item(objectName);
        return found ? found->property("text").toString() : QString();
    }
    // Clicks the item's centre with the mouse; false when it is not there to click.
    bool click(const QString &objectName)
    {
        QQuickItem *found = item(objectName);
        if (!found || !found->isVisible() || !found->isEnabled())
            return false;
        const QPointF centre = found->mapToScene(QPointF(found->width() / 2, found->height() / 2));
        QTest::mouseClick(window.window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        return true;
    }
};
