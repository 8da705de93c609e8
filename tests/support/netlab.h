#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class NetnsScope;
class TVSimProcess;

// One network lab (scripts/netlab) for one test process. Every instance gets its own
// NETLAB_PREFIX, so tests that CTest runs side by side never share a namespace.
class NetLab {
public:
    // Empty when the lab can be built here, else why not (it needs root).
    static QString unavailableReason();

    explicit NetLab(int tvCount = 1);
    // A lab with tvCount TVs, the test inside "pc", and an emulator in tv1, tv2, ... for each
    // entry of tvArguments (its tvsim options). error() is empty when all of it came up.
    static std::unique_ptr<NetLab> withTVs(int tvCount, const QList<QStringList> &tvArguments = {});
    ~NetLab(); // netlab down
    NetLab(const NetLab &) = delete;
    NetLab &operator=(const NetLab &) = delete;

    bool isUp() const { return m_up; }
    QString error() const { return m_error; }
    QString prefix() const { return m_prefix; }

    // "pc", "tv1", ... → the namespace's full name under /run/netns.
    QString namespaceName(const QString &ns) const { return m_prefix + ns; }
    QString address(const QString &ns) const; // netlab addr
    QString mac(const QString &tv) const; // netlab mac

    // Runs "netlab ARGS..." with this lab's prefix; standard output, or an empty text on failure.
    QString run(const QStringList &arguments, bool *ok = nullptr) const;

    // Moves the calling thread into namespace ns (default the computer's side) until the lab
    // goes; false (and error()) when it could not.
    bool enter(const QString &ns = QStringLiteral("pc"));

    // A TV emulator started inside namespace tv at its lab address; null (error() says why) when
    // it did not come up.
    std::unique_ptr<TVSimProcess> startTV(const QString &tv, const QStringList &arguments = {});

    // The emulator started by withTVs in tv<k> (k from 1).
    TVSimProcess *tv(int k) const { return m_tvs.at(k - 1).get(); }

    // One more namespace of this lab, empty (only loopback, down), for a test to build its own
    // network in; removed with the lab.
    bool addNamespace(const QString &ns);
    // "ip ARGS..." inside namespace ns; the failure's output goes to error().
    bool ip(const QString &ns, const QStringList &arguments);

private:
    QString m_prefix;
    QStringList m_extraNamespaces;
    std::vector<std::unique_ptr<TVSimProcess>> m_tvs;
    bool m_up = false;
    mutable QString m_error;
    std::unique_ptr<NetnsScope> m_entered;
};
