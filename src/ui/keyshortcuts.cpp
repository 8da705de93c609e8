#include "keyshortcuts.h"

#include "tvsession.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQuickItem>
#include <QWindow>

KeyShortcuts::KeyShortcuts(TVSession *session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
}

KeyShortcuts::~KeyShortcuts()
{
    setActive(false);
}

void KeyShortcuts::setActive(bool active)
{
    if (active == m_installed || !qApp)
        return;
    // Installed once while the page is shown, removed when it goes away.
    if (active)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    m_installed = active;
    Q_EMIT activeChanged();
}

QString KeyShortcuts::actionForKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("CLICK");
    case Qt::Key_Backspace:
    case Qt::Key_Escape:
        return QStringLiteral("BACK");
    case Qt::Key_Left:
        return QStringLiteral("LEFT");
    case Qt::Key_Right:
        return QStringLiteral("RIGHT");
    case Qt::Key_Down:
        return QStringLiteral("DOWN");
    case Qt::Key_Up:
        return QStringLiteral("UP");
    default:
        break;
    }
    return {};
}

bool KeyShortcuts::focusTakesKeys(QObject *focusObject)
{
    if (!focusObject)
        return false;
    if (focusObject->inherits("QQuickTextInput") || focusObject->inherits("QQuickTextEdit"))
        return true;
    // Menus and other popups navigate with the same keys.
    for (auto *item = qobject_cast<QQuickItem *>(focusObject); item; item = item->parentItem()) {
        if (item->inherits("QQuickPopupItem"))
            return true;
    }
    return false;
}

bool KeyShortcuts::eventFilter(QObject *watched, QEvent *event)
{
    // A key event reaches the window first and then its items; deciding on the window's copy
    // acts once per key-down (auto-repeat included) and keeps a consumed key from the items.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    const QString action = actionForKey(keyEvent->key());
    if (action.isEmpty())
        return false;
    if (focusTakesKeys(static_cast<QWindow *>(watched)->focusObject()))
        return false;
    Q_EMIT triggered(action);
    if (m_session) {
        if (action == u"CLICK")
            m_session->click();
        else
            m_session->press(action);
    }
    return true;
}
