#pragma once

#include <QString>

#include <exception>

// Failures of the SSAP client. `server` carries the TV's text; `platform` carries the
// description of a socket or TLS failure reported by Qt.
class SSAPError : public std::exception {
public:
    enum class Kind { Server, NotConnected, Timeout, Platform };

    static SSAPError server(const QString &text);
    static SSAPError notConnected(); // "未连接电视"
    static SSAPError timeout(); // "电视响应超时"
    static SSAPError platform(const QString &description);

    Kind kind() const { return m_kind; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

    bool operator==(const SSAPError &other) const
    {
        return m_kind == other.m_kind && m_description == other.m_description;
    }

private:
    SSAPError(Kind kind, const QString &description);

    Kind m_kind;
    QString m_description;
    QByteArray m_utf8;
};
