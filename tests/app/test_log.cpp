#include "applog.h"
#include "protocoltrace.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <sys/stat.h>
#include <vector>

class TestLog : public QObject {
    Q_OBJECT

private:
    TestHome m_home; // constructed before the log location is first computed

    static int mode(const QString &path)
    {
        struct stat status { };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
    }

private Q_SLOTS:
    // "HH:MM:SS.mmm message", no date; the message goes in unchanged, a line break included.
    // Lines from many threads stay whole and keep each thread's order.
    void linesAreStampedPrivateAndWhole()
    {
        appLog(QStringLiteral("启动 Corvane Remote"));
        appLog(QStringLiteral("  padded\t"));
        appLog(QStringLiteral("first half\nsecond half"));
        QCOMPARE(readLogMessages(),
            QStringList({ QStringLiteral("启动 Corvane Remote"), QStringLiteral("  padded\t"),
                QStringLiteral("first half"), QStringLiteral("second half") }));
        // What agents send is in there: the user's own, like the preferences.
        QCOMPARE(mode(m_home.logFile()), 0600);
        QCOMPARE(mode(QFileInfo(m_home.logFile()).absolutePath()), 0700);
        // A deleted file is made again: the threads' lines below are all a new one holds.
        QVERIFY(QFile::remove(m_home.logFile()));

        constexpr int threads = 8;
        constexpr int perThread = 200;
        std::vector<std::unique_ptr<QThread>> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    appLog(QStringLiteral("thread %1 line %2 %3").arg(t).arg(i).arg(QString(100, QLatin1Char('x'))));
            }));
            workers.back()->start();
        }
        for (auto &w : workers)
            QVERIFY(w->wait(30000));
        const QStringList lines = readLogLines();
        QCOMPARE(lines.size(), threads * perThread);
        const QRegularExpression whole(
            QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d\\.\\d{3} thread (\\d) line (\\d+) x{100}$"));
        QList<int> nextPerThread(threads, 0);
        for (const QString &line : lines) {
            const auto m = whole.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            QCOMPARE(m.captured(3).toInt(), nextPerThread[m.captured(2).toInt()]++);
        }
    }

    // The protocol trace: a file beside the log, whole JSON lines from any thread, and a last
    // line when it reaches its size limit, after which nothing more is written.
    void traceEndsAtItsLimit()
    {
        ProtocolTrace &trace = ProtocolTrace::instance();
        const QString path = ProtocolTrace::defaultPath();
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(m_home.logFile()).absolutePath());
        QVERIFY2(QRegularExpression(QStringLiteral("/trace-\\d{8}-\\d{6}\\.jsonl$")).match(path).hasMatch(),
            qPrintable(path));
        QSignalSpy changed(&trace, &ProtocolTrace::activeChanged);
        QVERIFY(trace.start(path, 8192));

        std::atomic<int> sent = 0;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            while (trace.isActive() && sent < 10000) {
                ProtocolTrace::message(ProtocolTrace::Socket::Pointer, &sent, ProtocolTrace::Direction::Out,
                    QStringLiteral("type:move\ndx:%1\ndy:1\ndown:0\n\n").arg(sent++));
            }
        }));
        worker->start();
        QVERIFY(worker->wait(30000));
        QVERIFY(!trace.isActive());
        QVERIFY(sent > 10 && sent < 10000);
        QTRY_COMPARE(changed.size(), 2); // on, then off from the worker's thread
        const qint64 size = QFileInfo(path).size();
        QVERIFY(size <= 8192 && size > 7000);
        ProtocolTrace::message(
            ProtocolTrace::Socket::Pointer, &sent, ProtocolTrace::Direction::Out, QStringLiteral("x"));
        QCOMPARE(QFileInfo(path).size(), size);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.last().isEmpty());
        for (const QByteArray &line : lines.mid(0, lines.size() - 1))
            QVERIFY2(QJsonDocument::fromJson(line).object().contains("time"), line.constData());
        const QJsonObject last = QJsonDocument::fromJson(lines.value(lines.size() - 2)).object();
        QCOMPARE(last.value("event").toString(), QStringLiteral("limit"));
        QCOMPARE(last.value("message").toString(), QStringLiteral("trace stopped: size limit of 8192 bytes reached"));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "test_log.moc"
