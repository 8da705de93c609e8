#pragma once

#include <QStringList>

// A fresh, empty network namespace (only a down loopback) that lives as long as this object.
// Enter it with NetnsScope(fd()). Needs root.
class PrivateNetns {
public:
    PrivateNetns();
    ~PrivateNetns();
    PrivateNetns(const PrivateNetns &) = delete;
    PrivateNetns &operator=(const PrivateNetns &) = delete;

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Runs "ip ARGS..." inside the namespace; the output of a failed command is kept in error().
    bool ip(const QStringList &arguments);
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};
