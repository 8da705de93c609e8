#include "platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <algorithm>

namespace {

QString xdgDir(const char *variable, const QString &fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}

// One argument of a desktop entry's Exec key: quoted when it needs to be, with the quoting's
// own backslashes doubled again for the file's string escaping; "%" would be a field code.
QString execArgument(QString argument)
{
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool plain = !argument.isEmpty()
        && std::none_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    if (plain)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
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

QString autostartFilePath()
{
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config"))
        + QStringLiteral("/autostart/io.corvane.Remote.desktop");
}

bool setAutostart(bool enabled, const QStringList &arguments)
{
    const QString path = autostartFilePath();
    if (!enabled)
        return !QFileInfo::exists(path) || QFile::remove(path);
    const QString exe = executablePath();
    if (exe.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QStringList exec { execArgument(exe) };
    for (const QString &argument : arguments)
        exec << execArgument(argument);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Corvane Remote\n"
                                         "Comment=Keeps the TV in step with this computer\n"
                                         "Exec=%1\n"
                                         "Icon=io.corvane.Remote\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec.join(QLatin1Char(' ')));
    file.write(entry.toUtf8());
    return file.commit();
}

} // namespace Platform
