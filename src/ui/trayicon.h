#pragma once

#include <QObject>

class MainWindow;
class QAction;
class QMenu;
class QSystemTrayIcon;
class TVSession;

// The app's presence while its window is closed: a tray icon whose menu shows the TV's state
// and offers the remote's everyday actions, the window and quitting.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(TVSession &session, MainWindow &window, QObject *parent = nullptr);
    ~TrayIcon() override;

    void setVisible(bool visible);
    bool isVisible() const;
    QMenu *menu() const { return m_menu; }
    // "电视：已连接 · HDMI 1" and the like.
    QString stateText() const;

private:
    void update();

    TVSession &m_session;
    MainWindow &m_window;
    QMenu *m_menu;
    QSystemTrayIcon *m_icon;
    QAction *m_state;
    QAction *m_mute;
    QList<QAction *> m_needReady;
};
