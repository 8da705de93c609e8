#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;
class QTemporaryDir;

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

    TVSimProcess();
    explicit TVSimProcess(Options options);
    ~TVSimProcess();
    TVSimProcess(const TVSimProcess &) = delete;
    TVSimProcess &operator=(const TVSimProcess &) = delete;

    // Starts the emulator and waits for its "tvsim ready" line. May be called again after stop()
    // (same state directory: same certificate, device UUID and client keys).
    bool start(int timeoutMs = 15000);
    // SIGTERM and wait (killed after a few seconds); also done by the destructor.
    void stop();
    bool isRunning() const;

    QString address() const;
    QString stateDir() const;
    QString fingerprint() const; // lower-case hex SHA-256 of the leaf certificate (DER)
    QString deviceUUID() const;
    QString output() const; // everything the emulator printed so far (stdout and stderr)

    QJsonObject state(); // GET /state
    QJsonArray received(); // GET /received "messages"
    QJsonArray received(const QString &channel); // only those of one channel
    void clearReceived(); // POST /received/clear
    QJsonObject control(const QString &path, const QJsonObject &body = {}); // POST path

    // Polls GET /received until a message of the channel satisfies the predicate (or time-out).
    QJsonObject waitForReceived(
        const QString &channel, const std::function<bool(const QJsonObject &)> &match, int timeoutMs = 5000);

private:
    QByteArray http(const QByteArray &method, const QString &path, const QByteArray &body = {});

    Options m_options;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    std::unique_ptr<QTemporaryDir> m_outputDir;
    std::unique_ptr<QProcess> m_process;
    QString m_stateDir;
    QString m_outputFile;
    QString m_fingerprint;
    QString m_deviceUUID;
    int m_controlPort = 3080;
};
