// Pointer motion: a 1 kHz stream of move calls for a few seconds through the real session to
// the emulator. Measures the move messages the emulator receives per second, the lag from a
// move call to the message carrying it (read from the emulator's output as it prints it), and
// whether any motion is lost.
//
// bench_pointer --bin DIR --address 127.0.0.42 [--seconds 5]

#include "benchsupport.h"

#include "devicestore.h"
#include "preferences.h"
#include "testenv.h"
#include "tvsession.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <csignal>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

using Bench::Clock;

// The emulator with its standard output on a pipe; a thread stamps every line as it arrives.
class Emulator {
public:
    struct Line {
        Clock::time_point at;
        QByteArray text;
    };

    Emulator(const QString &program, const QStringList &arguments)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            Bench::fail(QStringLiteral("pipe failed"));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        QList<QByteArray> storage { program.toLocal8Bit() };
        for (const QString &argument : arguments)
            storage.append(argument.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &item : storage)
            argv.push_back(item.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            Bench::fail(QStringLiteral("cannot start ") + program);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_fd = fds[0];
        m_reader = std::thread([this] { read(); });
    }

    ~Emulator()
    {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_reader.join();
        ::close(m_fd);
    }

    std::vector<Line> lines()
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    bool ready()
    {
        std::lock_guard lock(m_mutex);
        return m_ready;
    }

private:
    void read()
    {
        QByteArray pending;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                QByteArray line = pending.left(end);
                pending.remove(0, end + 1);
                std::lock_guard lock(m_mutex);
                if (line.contains("tvsim ready"))
                    m_ready = true;
                if (line.contains("\"channel\":\"pointer\""))
                    m_lines.push_back({ now, std::move(line) });
            }
        }
    }

    pid_t m_pid = 0;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<Line> m_lines;
    bool m_ready = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestHome home;
    const QStringList arguments = QCoreApplication::arguments();
    const QString bin = Bench::option(arguments, QStringLiteral("bin"), binDir());
    const QString address = Bench::option(arguments, QStringLiteral("address"), QStringLiteral("127.0.0.42"));
    const double seconds = Bench::option(arguments, QStringLiteral("seconds"), QStringLiteral("5")).toDouble();

    QTemporaryDir state;
    Emulator emulator(bin + QStringLiteral("/tvsim"),
        { QStringLiteral("--address"), address, QStringLiteral("--state-dir"), state.path(),
            QStringLiteral("--pairing-delay"), QStringLiteral("0"), QStringLiteral("--control-port"),
            QStringLiteral("3081") });
    if (!Bench::spinUntil([&] { return emulator.ready(); }, 15000))
        Bench::fail(QStringLiteral("tvsim did not start"));

    Preferences preferences(home.path() + QStringLiteral("/bench.conf"));
    DeviceStore store(preferences);
    TVScanner scanner(store);
    TVSession session(store, scanner);
    const TVDevice device = store.upsertDiscovered(address, std::nullopt, std::nullopt, std::nullopt);
    session.connect(device.id);
    if (!Bench::spinUntil([&] { return session.isReady() && session.hasPointer(); }, 20000))
        Bench::fail(QStringLiteral("the session did not get ready: ") + session.statusText());
    Bench::spinFor(500); // the lists and subscriptions of the connection settle

    // One move per millisecond: fractional steps, so the remainders matter.
    const double stepX = 0.6;
    const double stepY = -0.35;
    std::vector<Clock::time_point> calls;
    const auto total = static_cast<size_t>(seconds * 1000.0);
    calls.reserve(total);
    const size_t linesBefore = emulator.lines().size();
    const Clock::time_point start = Clock::now();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        // Catch up when the timer fell behind, so the stream stays at 1 kHz on average.
        const auto due = static_cast<size_t>(Bench::ms(start, Clock::now())) + 1;
        while (calls.size() < std::min(due, total)) {
            calls.push_back(Clock::now());
            session.move(stepX, stepY);
        }
        if (calls.size() >= total)
            ticker.stop();
    });
    ticker.start();
    Bench::spinUntil([&] { return !ticker.isActive(); }, int(seconds * 1000) + 10000);
    const Clock::time_point streamEnd = Clock::now();
    Bench::spinFor(300); // the last flush reaches the emulator

    // The move messages: when each arrived and how far it went.
    struct Message {
        Clock::time_point at;
        long dx;
        long dy;
    };
    std::vector<Message> messages;
    const std::vector<Emulator::Line> lines = emulator.lines();
    for (size_t i = linesBefore; i < lines.size(); ++i) {
        const QJsonObject fields
            = QJsonDocument::fromJson(lines[i].text).object().value(QStringLiteral("fields")).toObject();
        if (fields.value(QStringLiteral("type")).toString() != QLatin1String("move"))
            continue;
        messages.push_back({ lines[i].at, fields.value(QStringLiteral("dx")).toString().toLong(),
            fields.value(QStringLiteral("dy")).toString().toLong() });
    }

    // Each call is delivered by the first message after which the motion sent so far covers it.
    std::vector<double> lags;
    long sentX = 0;
    size_t next = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        const double requested = stepX * double(i + 1);
        while (next < messages.size() && double(sentX) < requested - 0.5) {
            sentX += messages[next].dx;
            ++next;
        }
        if (double(sentX) < requested - 0.5)
            break; // never delivered: counted as lost motion below
        lags.push_back(Bench::ms(calls[i], messages[next - 1].at));
    }
    long totalX = 0;
    long totalY = 0;
    for (const Message &message : messages) {
        totalX += message.dx;
        totalY += message.dy;
    }
    const double requestedX = stepX * double(calls.size());
    const double requestedY = stepY * double(calls.size());
    const double streamSeconds = Bench::ms(start, streamEnd) / 1000.0;

    Bench::print({
        { QStringLiteral("moveCalls"), qint64(calls.size()) },
        { QStringLiteral("streamSeconds"), streamSeconds },
        { QStringLiteral("callRate"), double(calls.size()) / streamSeconds },
        { QStringLiteral("messages"), qint64(messages.size()) },
        { QStringLiteral("messagesPerSecond"), double(messages.size()) / streamSeconds },
        { QStringLiteral("lagP50Ms"), Bench::quantile(lags, 0.50) },
        { QStringLiteral("lagP99Ms"), Bench::quantile(lags, 0.99) },
        { QStringLiteral("lagMaxMs"), Bench::quantile(lags, 1.0) },
        { QStringLiteral("requestedDx"), requestedX },
        { QStringLiteral("sentDx"), qint64(totalX) },
        { QStringLiteral("requestedDy"), requestedY },
        { QStringLiteral("sentDy"), qint64(totalY) },
        { QStringLiteral("lostMotion"),
            std::max(std::abs(requestedX - double(totalX)), std::abs(requestedY - double(totalY))) },
    });
    session.disconnect();
    return 0;
}
