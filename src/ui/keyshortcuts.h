#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

class TVSession;

// The remote page's keyboard: while active, an application-wide filter turns arrows, Return,
// keypad Enter, Backspace and Escape into TV keys and consumes them. Keys pass through untouched
// while a text field (or an open popup such as the TV picker) has the focus.
class KeyShortcuts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("read from Controller")
    Q_PROPERTY(bool active READ isActive WRITE setActive NOTIFY activeChanged)

public:
    explicit KeyShortcuts(TVSession *session = nullptr, QObject *parent = nullptr);
    ~KeyShortcuts() override;

    bool isActive() const { return m_installed; }
    void setActive(bool active);

    // "UP", "DOWN", "LEFT", "RIGHT", "BACK" for buttons, "CLICK" for a pointer click, "" when the
    // key is not mapped.
    static QString actionForKey(int key);
    // Whether keys go to the focused object instead (text editing, open popups).
    static bool focusTakesKeys(QObject *focusObject);

Q_SIGNALS:
    void activeChanged();
    void triggered(const QString &action);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<TVSession> m_session;
    bool m_installed = false;
};
