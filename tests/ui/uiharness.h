#pragma once

#include "appparts.h"
#include "mainwindow.h"

#include <QQuickItem>
#include <QString>
#include <QStringList>

// The window application built in-process as the program builds it (its parts, then the window)
// over a preferences file of the test's choosing. Launch arguments ("-key", "value" pairs)
// override the file as on the command line; the window is Chinese unless they give "-language".
struct UiApp : AppParts {
    UiApp(const QString &preferencesFile, const QStringList &launchArguments = {},
        SnapshotRoutine::Timings snapshotTimings = {});

    MainWindow window;

    // Loads the window and waits until its start-up routine has run.
    bool start(int timeoutMs = 15000);
    // The first QML item with that objectName in the window's visual tree (or null), its "text",
    // a mouse click on its centre (false when it is not there to click).
    QQuickItem *item(const QString &objectName) const;
    QString text(const QString &objectName) const;
    bool click(const QString &objectName);
};
