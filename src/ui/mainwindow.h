#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class AppController;
class KeyShortcuts;
class MCPServer;
class Preferences;
class QQmlApplicationEngine;
class QQuickWindow;
class SnapshotRoutine;
class TVSession;
class Theme;

// The one window: loads the QML, hands it the session, the store and the MCP server, and runs
// the start-up routine when the window's content is first on screen.
class MainWindow : public QObject {
    Q_OBJECT

public:
    MainWindow(TVSession &session, MCPServer &server, Preferences &preferences, QObject *parent = nullptr);
    ~MainWindow() override;

    // Loads the window and shows it (or keeps it hidden and runs the start-up routine at once);
    // false when the QML did not load.
    bool load(bool show = true);
    // The monitor mode object the settings page binds to as "monitorMode"; set before load().
    void setMonitorMode(QObject *monitorMode) { m_monitorMode = monitorMode; }

    QQuickWindow *window() const;
    QQmlApplicationEngine *engine() const { return m_engine.get(); }
    AppController *controller() const { return m_controller; }
    Theme *theme() const { return m_theme; }
    KeyShortcuts *keyShortcuts() const { return m_keys; }
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
    KeyShortcuts *m_keys = nullptr;
    SnapshotRoutine *m_snapshots = nullptr;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    bool m_startupDone = false;
    QPointer<QObject> m_monitorMode;
};
