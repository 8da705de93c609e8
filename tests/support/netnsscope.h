#pragma once

#include <QString>

// Moves the calling thread into another network namespace until destroyed. Sockets keep the
// namespace they were created in, and child processes start in the thread's namespace, so a
// test can open a listener "on the TV" and then go back to the "PC" side.
class NetnsScope {
public:
    explicit NetnsScope(const QString &name); // a namespace under /run/netns
    ~NetnsScope();
    NetnsScope(const NetnsScope &) = delete;
    NetnsScope &operator=(const NetnsScope &) = delete;

    bool entered() const { return m_entered; }

private:
    int m_previous = -1;
    bool m_entered = false;
};
