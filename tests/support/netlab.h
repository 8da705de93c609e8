#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class NetnsScope;
class TVSimProcess;

// One network lab (scripts/netlab) for one test process. Every instance gets its own
// NETLAB_PREFIX, so tests that CTest runs side by side never share a namespace.
class NetLab {
public:
    // Empty when the lab can be built here, else why not (it needs root).
    static QString unavailableReason();

    explicit NetLab(int tvCount = 1);
    // A lab with tvCount TVs and the test inside "pc"; error() is empty when all of it came up.
    static std::unique_ptr<NetLab> withTVs(int tvCount);
    ~NetLab();
    NetLab(const NetLab &) = delete;
    NetLab &operator=(const NetLab &) = delete;

    bool isUp() const { return m_up; }
    QString error() const { return m_error; }

    // "pc", "tv1", ... → the namespace's full name under /run/netns.
    QString namespaceName(const QString &ns) const { return m_prefix + ns; }
    QString address(const QString &ns) const { return run({ QStringLiteral("addr"), ns }).trimmed(); }
    QString mac(const QString &tv) const { return run({ QStringLiteral("mac"), tv }).trimmed(); }

    // Moves the calling thread into namespace ns (default the computer's side) until the lab
    // goes; false (and error()) when it could not.
    bool enter(const QString &ns = QStringLiteral("pc"));

    // A TV emulator started in namespace tv at its lab address; null (error() says why) if not.
    std::unique_ptr<TVSimProcess> startTV(const QString &tv, const QStringList &arguments = {});

    // One more namespace of this lab, empty (only loopback, down), for a test to build its own
    // network in; removed with the lab.
    bool addNamespace(const QString &ns);
    // "ip ARGS..." inside namespace ns; the failure's output goes to error().
    bool ip(const QString &ns, const QStringList &arguments);

private:
    // Runs "netlab ARGS..." with this lab's prefix: its standard output (error() says why it failed).
    QString run(const QStringList &arguments) const;

    QString m_prefix;
    QStringList m_extraNamespaces;
    bool m_up = false;
    mutable QString m_error;
    std::unique_ptr<NetnsScope> m_entered;
};
