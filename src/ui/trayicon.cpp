#include "trayicon.h"

#include "appcontroller.h"
#include "mainwindow.h"
#include "pagelogic.h"
#include "tvsession.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(TVSession &session, MainWindow &window, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_window(window)
    , m_menu(new QMenu)
    , m_icon(new QSystemTrayIcon(QGuiApplication::windowIcon(), this))
{
    m_state = m_menu->addAction(QString());
    m_state->setEnabled(false);
    m_menu->addSeparator();
    m_menu->addAction(tr("显示窗口"), &window, &MainWindow::bringToFront);
    m_menu->addSeparator();
    m_mute = m_menu->addAction(QString(), &session, [this] { m_session.setMute(!m_session.muted()); });
    m_needReady << m_mute;
    m_needReady << m_menu->addAction(tr("音量 +"), &session, &TVSession::volumeUp);
    m_needReady << m_menu->addAction(tr("音量 −"), &session, &TVSession::volumeDown);
    m_needReady << m_menu->addAction(tr("关闭电视画面"), &session, &TVSession::screenOff);
    // Off while the TV is on, a wake otherwise: the remote page's power button.
    m_menu->addAction(tr("电源"), this, [this] { m_window.controller()->powerButton(); });
    m_menu->addSeparator();
    m_menu->addAction(tr("退出"), qApp, &QCoreApplication::quit);
    m_icon->setContextMenu(m_menu);
    m_icon->setToolTip(QStringLiteral("Corvane Remote"));
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_window.bringToFront();
    });

    for (auto changed : { &TVSession::stateChanged, &TVSession::mutedChanged, &TVSession::currentSourceNameChanged,
             &TVSession::isStandbyChanged })
        connect(&session, changed, this, &TrayIcon::update);
    update();
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}

void TrayIcon::setVisible(bool visible)
{
    if (m_icon->icon().isNull())
        m_icon->setIcon(QGuiApplication::windowIcon()); // the window sets it when it loads
    m_icon->setVisible(visible);
}

bool TrayIcon::isVisible() const
{
    return m_icon->isVisible();
}

QString TrayIcon::stateText() const
{
    QString text = tr("电视：") + m_session.statusText();
    if (m_session.isReady())
        text += QStringLiteral(" · ")
            + (m_session.isStandby() ? tr("待机") : PageLogic::sourceName(m_session.currentSourceName()));
    return text;
}

void TrayIcon::update()
{
    m_state->setText(stateText());
    m_icon->setToolTip(QStringLiteral("Corvane Remote\n") + stateText());
    m_mute->setText(m_session.muted() ? tr("取消静音") : tr("静音"));
    for (QAction *action : std::as_const(m_needReady))
        action->setEnabled(m_session.isReady());
}
