#pragma once

#include "snapshotroutine.h"

#include <QObject>

#include <memory>

class AppController;
class KeyShortcuts;
class MCPServer;
class Preferences;
class QQmlApplicationEngine;
class QQuickWindow;
class SettingsController;
class TVSession;
class Theme;

// The one window: loads the QML, hands it the session, the store and the MCP server, and runs
// the start-up routine when the window's content is first on screen.
class MainWindow : public QObject {
    Q_OBJECT

public:
    // snapshotTimings: the waits of the snapshot routine (tests shorten them).
    MainWindow(TVSession &session, MCPServer &server, Preferences &preferences,
        SnapshotRoutine::Timings snapshotTimings = {}, QObject *parent = nullptr);
    ~MainWindow() override;

    // Loads the window and shows it (or keeps it hidden and runs the start-up routine at once);
    // false when the QML did not load.
    bool load(bool show = true);
    // The monitor mode object the settings page binds to; set before load().
    void setMonitorMode(QObject *monitorMode);

    QQuickWindow *window() const;
    QQmlApplicationEngine *engine() const { return m_engine.get(); }
    AppController *controller() const { return m_controller; }
    SettingsController *settings() const { return m_settings; }
    Theme *theme() const { return m_theme; }
    KeyShortcuts *keyShortcuts() const;
    SnapshotRoutine *snapshots() const { return m_snapshots; }
    bool startupDone() const { return m_startupDone; }

    // Selects a page by its raw value ("remote", "apps", "devices", "settings").
    void showPage(const QString &page);
    QString currentPage() const;

    // Shows the window (restored if minimized), raises it and asks for the focus.
    void bringToFront();

    // Log line, appearance, MCP service, TV connection, discovery scan; then the snapshots.
    void runStartup();

Q_SIGNALS:
    void startupFinished();

private:
    TVSession &m_session;
    MCPServer &m_server;
    Preferences &m_preferences;
    Theme *m_theme = nullptr;
    AppController *m_controller = nullptr;
    SettingsController *m_settings = nullptr;
    SnapshotRoutine *m_snapshots = nullptr;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    bool m_startupDone = false;
};
