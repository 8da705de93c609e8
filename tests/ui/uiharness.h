#pragma once

#include "appparts.h"
#include "mainwindow.h"

#include <QQuickItem>
#include <QString>
#include <QStringList>

// The window application built in-process exactly as the program builds it (store, session,
// MCP tools and server, then the window) over a preferences file of the test's choosing.
// Launch arguments ("-key", "value" pairs) override the file as on the command line; the window
// is Chinese unless they give "-language".
struct UiApp : AppParts {
    UiApp(const QString &preferencesFile, const QStringList &launchArguments = {},
        SnapshotRoutine::Timings snapshotTimings = {});

    MainWindow window;

    // Loads the window and waits until its start-up routine has run.
    bool start(int timeoutMs = 15000);
    // The first QML item with that objectName in the window's visual tree, or null.
    QQuickItem *item(const QString &objectName) const;
    // Its "text" property.
    QString text(const QString &objectName) const;
    // Clicks the item's centre with the mouse.
    bool click(const QString &objectName);
};
