#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// One TV emulator (tvsim) run as a child process for a test. The blocking calls run a local
// event loop, so they can be used straight from Qt Test functions.
class TVSimProcess {
public:
    struct Options {
        QString address = QStringLiteral("127.0.0.2");
        QStringList extraArgs = {}; // further tvsim options, e.g. {"--pairing", "prompt-reject"}
        QString stateDir = {}; // empty: a private temporary directory kept for this object's life
        QString netns = {}; // a namespace under /run/netns: started through "ip netns exec",
                            // which also gives the emulator that namespace's /sys (its MAC)
    };

    TVSimProcess()
        : TVSimProcess(Options())
    {
    }
    explicit TVSimProcess(Options options);
    ~TVSimProcess() { stop(); }
    TVSimProcess(const TVSimProcess &) = delete;
    TVSimProcess &operator=(const TVSimProcess &) = delete;

    // Starts the emulator and waits for its "tvsim ready" line. May be called again after stop()
    // (same state directory: same certificate, device UUID and client keys).
    bool start();
    void stop(); // SIGTERM and wait (killed after a few seconds)
    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }

    QString address() const { return m_options.address; }
    QString stateDir() const { return m_options.stateDir; }
    QString fingerprint() const { return m_fingerprint; } // lower-case hex SHA-256 of the leaf certificate
    QString deviceUUID() const { return m_deviceUUID; }
    QString output() const; // everything the emulator printed so far (stdout and stderr)

    QJsonObject state(); // GET /state
    QJsonArray received(); // GET /received "messages"
    QJsonArray received(const QString &channel);
    void clearReceived(); // POST /received/clear
    QJsonObject control(const QString &path, const QJsonObject &body = {}); // POST path

    // Polls GET /received until a message of the channel satisfies the predicate (or 5 s pass).
    QJsonObject waitForReceived(const QString &channel, const std::function<bool(const QJsonObject &)> &match);

private:
    QByteArray http(const QByteArray &method, const QString &path, const QByteArray &body = {});

    Options m_options;
    QTemporaryDir m_dir; // the output file, and the state when no directory is given
    std::unique_ptr<QProcess> m_process;
    QString m_fingerprint;
    QString m_deviceUUID;
    int m_controlPort = 3080;
};
