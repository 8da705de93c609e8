#include "applog.h"

#include "platform.h"

#include <QDir>
#include <QFileInfo>
#include <QTime>

#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The log records what agents send: private to the user, like the preferences. A folder or file
// left readable by an earlier version is made private too.
QString computeLogFile()
{
    const QString dir = Platform::logDirectory();
    const QString file = dir + QStringLiteral("/app.log");
    if (QDir().mkpath(dir)) { // errors ignored: lines are then dropped silently
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        ::chmod(QFile::encodeName(file).constData(), 0600);
    }
    return file;
}

// One writer thread fed by a queue. The file is opened and closed per line so that a
// deleted or moved log file is recreated by the next line.
class LogWriter {
public:
    LogWriter()
        : m_path(QFile::encodeName(logFileURL()))
        , m_thread([this] { run(); })
    {
    }

    ~LogWriter()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void enqueue(QByteArray line)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(line));
            ++m_enqueued;
        }
        m_wake.notify_all();
    }

    void flush()
    {
        std::unique_lock lock(m_mutex);
        const quint64 target = m_enqueued;
        m_done.wait(lock, [&] { return m_written >= target; });
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty() && m_stopping)
                return;
            QByteArray line = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            write(line);
            lock.lock();
            ++m_written;
            m_done.notify_all();
        }
    }

    void write(const QByteArray &line) const
    {
        int fd = ::open(m_path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        qsizetype offset = 0;
        while (offset < line.size()) {
            const ssize_t n = ::write(fd, line.constData() + offset, size_t(line.size() - offset));
            if (n <= 0)
                break;
            offset += n;
        }
        ::close(fd);
    }

    const QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<QByteArray> m_queue;
    quint64 m_enqueued = 0;
    quint64 m_written = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

LogWriter &writer()
{
    static LogWriter instance; // thread-safe first use
    return instance;
}

} // namespace

QString logFileURL()
{
    static const QString path = computeLogFile();
    return path;
}

void appLog(const QString &message)
{
    QByteArray line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toUtf8();
    line += ' ';
    line += message.toUtf8();
    line += '\n';
    writer().enqueue(std::move(line));
}

void appLogFlush()
{
    writer().flush();
}
