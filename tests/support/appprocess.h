#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// The application (corvane-remote) as a child process of a test, offscreen, in the test's
// private home (TestHome): the one way the tests start the real program.
class AppProcess {
public:
    // The system's environment with the offscreen platform.
    static QProcessEnvironment environment();

    // Runs the program to its end with standard input closed (--help, --version, the bridge).
    struct Run {
        int exitCode = -1; // -1: it crashed or did not finish in time
        QString out;
        QString err;
    };
    static Run run(const QStringList &arguments, const QProcessEnvironment &env = environment(), int timeoutMs = 20000);

    AppProcess() = default;
    ~AppProcess() { stop(); }
    AppProcess(const AppProcess &) = delete;
    AppProcess &operator=(const AppProcess &) = delete;

    bool start(const QStringList &arguments, QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels);
    // Starts it with "-mcpPort port" and waits for its MCP service to listen.
    bool startWithMCP(const QStringList &arguments, quint16 port);
    // Waits (with the event loop running, up to 30 s) until the log holds message count times, or
    // the program ends.
    bool waitForLog(const QString &message, int count = 1) const;
    void stop(); // SIGTERM and wait (killed after a few seconds)
    void kill(); // SIGKILL: no clean-up runs

    QProcess &process() { return *m_process; }
    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    // Open sockets of the process (/proc/PID/fd): the log file, opened per line, is not counted.
    int openFiles() const;

private:
    std::unique_ptr<QProcess> m_process;
};
