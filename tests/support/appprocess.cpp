#include "appprocess.h"

#include "testenv.h"

#include <QTest>

#include <filesystem>

QProcessEnvironment AppProcess::environment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

AppProcess::Run AppProcess::run(const QStringList &arguments, const QProcessEnvironment &env, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binDir() + QStringLiteral("/corvane-remote"), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs))
        return {}; // QProcess kills it on destruction
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromLocal8Bit(process.readAllStandardOutput()),
        QString::fromLocal8Bit(process.readAllStandardError()) };
}

bool AppProcess::start(const QStringList &arguments, QProcess::ProcessChannelMode channels)
{
    stop();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(channels);
    m_process->setProcessEnvironment(environment());
    m_process->start(binDir() + QStringLiteral("/corvane-remote"), arguments);
    return m_process->waitForStarted(10000);
}

bool AppProcess::startWithMCP(const QStringList &arguments, quint16 port)
{
    return start(arguments + QStringList { QStringLiteral("-mcpPort"), QString::number(port) })
        && waitForLog(QStringLiteral("MCP 服务已启动 http://127.0.0.1:%1/mcp").arg(port));
}

bool AppProcess::waitForLog(const QString &message, int count) const
{
    return QTest::qWaitFor([&] { return !isRunning() || readLogMessages().count(message) >= count; }, 30000)
        && readLogMessages().count(message) >= count;
}

void AppProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000))
            kill();
    }
    m_process.reset();
}

void AppProcess::kill()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

int AppProcess::openFiles() const
{
    if (!isRunning())
        return 0;
    std::error_code error;
    int count = 0;
    const std::string fds = QStringLiteral("/proc/%1/fd").arg(m_process->processId()).toStdString();
    for (std::filesystem::directory_iterator it(fds, error), end; !error && it != end; it.increment(error)) {
        std::error_code gone; // closed since the listing
        count += std::filesystem::read_symlink(it->path(), gone).string().starts_with("socket:");
    }
    return count;
}
