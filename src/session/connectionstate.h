#pragma once

#include <QObject>
#include <QString>

// The session's connection state. awaitingApproval carries whether PIN pairing was asked,
// error carries the message shown to the user.
class ConnectionState {
    Q_GADGET

public:
    enum class Kind { AwaitingApproval, Error, Offline, Connecting, Ready, Waking };
    Q_ENUM(Kind)

    ConnectionState() = default;

    static ConnectionState awaitingApproval(bool pin) { return { Kind::AwaitingApproval, pin, {} }; }
    static ConnectionState error(const QString &message) { return { Kind::Error, false, message }; }
    static ConnectionState offline() { return { Kind::Offline, false, {} }; }
    static ConnectionState connecting() { return { Kind::Connecting, false, {} }; }
    static ConnectionState ready() { return { Kind::Ready, false, {} }; }
    static ConnectionState waking() { return { Kind::Waking, false, {} }; }

    Kind kind() const { return m_kind; }
    bool pin() const { return m_pin; } // awaitingApproval only
    QString message() const { return m_message; } // error only

    // "等待配对", "连接失败", "未连接", "连接中", "已连接", "唤醒中"
    QString statusSource() const;
    // statusSource() in the window's language.
    QString statusText() const;

    bool operator==(const ConnectionState &other) const = default;

private:
    ConnectionState(Kind kind, bool pin, const QString &message)
        : m_kind(kind)
        , m_pin(pin)
        , m_message(message)
    {
    }

    Kind m_kind = Kind::Offline;
    bool m_pin = false;
    QString m_message;
};
