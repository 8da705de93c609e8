#include "testenv.h"

#include "applog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

TestHome::TestHome()
{
    qputenv("HOME", path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_STATE_HOME", (path() + QStringLiteral("/state")).toUtf8());
    // The one-instance lock and socket live here: apps of parallel tests must not meet.
    const QString runtime = path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
}

QStringList readLogLines()
{
    appLogFlush();
    QFile file(logFileURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList readLogMessages()
{
    QStringList messages;
    for (const QString &line : readLogLines())
        messages << (line.size() > 13 && line.at(12) == QLatin1Char(' ') ? line.mid(13) : line);
    return messages;
}

QByteArray startBusDaemon(QProcess &daemon)
{
    daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000))
        return {};
    return daemon.readLine().trimmed();
}

QString binDir()
{
    const QString dir = qEnvironmentVariable("CORVANE_BIN_DIR");
    return dir.isEmpty() ? QDir::currentPath() + QStringLiteral("/../bin") : dir;
}

void drainPostedEvents()
{
    // Each round may post the next step of a coroutine chain; a few rounds end any of ours.
    for (int round = 0; round < 8; ++round)
        QCoreApplication::sendPostedEvents();
}

int logMark()
{
    return readLogMessages().size();
}

QStringList logSince(int mark)
{
    return readLogMessages().mid(mark);
}

QStringList logSince(int mark, const QString &prefix)
{
    return logSince(mark).filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(prefix)));
}

bool inPrivateNetwork()
{
    return std::ranges::none_of(QNetworkInterface::allInterfaces(), [](const QNetworkInterface &interface) {
        return interface.flags().testFlag(QNetworkInterface::IsUp)
            && !interface.flags().testFlag(QNetworkInterface::IsLoopBack);
    });
}
