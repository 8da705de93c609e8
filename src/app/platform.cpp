#include "platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <QCoro/QCoroSignal>

namespace {

QString xdgDir(const char *variable, const QString &fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}

} // namespace

namespace Platform {

QString logDirectory()
{
    return xdgDir("XDG_STATE_HOME", QStringLiteral(".local/state")) + QStringLiteral("/CorvaneRemote");
}

QString settingsFilePath()
{
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/CorvaneRemote/CorvaneRemote.conf");
}

QString instanceLockPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime) + QStringLiteral("/CorvaneRemote/app.lock");
    return logDirectory() + QStringLiteral("/app.lock");
}

QString instanceServerName()
{
    const QString lock = instanceLockPath();
    const QString beside = QFileInfo(lock).absolutePath() + QStringLiteral("/app.socket");
    constexpr qsizetype socketPathMax = 107; // sun_path less its terminating zero
    if (QFile::encodeName(beside).size() <= socketPathMax)
        return beside;
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(lock), QCryptographicHash::Sha256);
    return QStringLiteral("corvane-remote-") + QString::fromLatin1(hash.toHex().left(32));
}

QString appKindWord()
{
    return QStringLiteral("desktop app");
}

QString executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

bool startApplicationDetached(const QStringList &arguments)
{
    const QString exe = executablePath();
    if (exe.isEmpty())
        return false;
    QProcess process;
    process.setProgram(exe);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

QCoro::Task<bool> revealInFileManager(QString path)
{
    const QUrl fileUrl = QUrl::fromLocalFile(path);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("ShowItems"));
    call << QStringList { fileUrl.toString() } << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // A file manager that is still starting answers late but does show the file: only a
        // failed call (no such service, an error, the bus's own time-out) opens the folder.
        QDBusPendingCallWatcher watcher(bus.asyncCall(call));
        if (!watcher.isFinished())
            co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
        if (!watcher.isError())
            co_return true;
    }
    co_return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace Platform
