#include "preferences.h"

#include "applog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<bool> parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"true" || t == u"yes" || t == u"1")
        return true;
    if (t == u"false" || t == u"no" || t == u"0")
        return false;
    return std::nullopt;
}

// A file QSettings cannot parse is replaced whole by the first write, with every saved TV and
// setting in it: keep its bytes beside it first, private like the file itself.
void keepUnparsableFile(const QSettings &settings)
{
    settings.allKeys(); // the file is parsed on first use; only then is its status known
    if (settings.status() != QSettings::FormatError)
        return;
    const QString path = settings.fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    QString kept = path + QStringLiteral(".unreadable");
    for (int n = 1; QFileInfo::exists(kept); ++n) {
        QFile earlier(kept);
        if (earlier.open(QIODevice::ReadOnly) && earlier.readAll() == bytes)
            return; // kept by an earlier start
        kept = path + QStringLiteral(".unreadable.%1").arg(n);
    }
    const int fd = ::open(QFile::encodeName(kept).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
    appLog(QStringLiteral("偏好设置文件无法读取，原始内容保留在 ") + kept);
}

} // namespace

Preferences::Preferences(const QString &filePath, const QStringList &arguments)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
    , m_arguments(parseLaunchArguments(arguments))
{
    keepUnparsableFile(*m_settings);
}

Preferences::~Preferences() = default;

QString Preferences::filePath() const
{
    return m_settings->fileName();
}

QHash<QString, QString> Preferences::parseLaunchArguments(const QStringList &arguments)
{
    QHash<QString, QString> pairs;
    // arguments[0] is the program itself.
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg.size() < 2 || !arg.startsWith(QLatin1Char('-')) || arg.startsWith(QLatin1String("--")))
            continue;
        pairs.insert(arg.mid(1), arguments.at(i + 1));
        ++i;
    }
    return pairs;
}

std::optional<QString> Preferences::launchArgument(const QString &key) const
{
    if (auto it = m_arguments.constFind(key); it != m_arguments.constEnd())
        return *it;
    return std::nullopt;
}

bool Preferences::contains(const QString &key) const
{
    return m_arguments.contains(key) || m_settings->contains(key);
}

QVariant Preferences::value(const QString &key) const
{
    if (auto it = m_arguments.constFind(key); it != m_arguments.constEnd())
        return *it;
    return m_settings->value(key);
}

std::optional<QString> Preferences::string(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return std::nullopt;
}

std::optional<bool> Preferences::boolean(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString)
        return parseBool(v.toString());
    return std::nullopt;
}

std::optional<qint64> Preferences::integer(const QString &key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toLongLong();
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QByteArray> Preferences::data(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return std::nullopt;
}

void Preferences::setString(const QString &key, const QString &value)
{
    write(key, value);
}

void Preferences::setBool(const QString &key, bool value)
{
    write(key, value);
}

void Preferences::setInteger(const QString &key, qint64 value)
{
    write(key, value);
}

void Preferences::setData(const QString &key, const QByteArray &value)
{
    write(key, value);
}

void Preferences::remove(const QString &key)
{
    if (!m_settings->contains(key))
        return;
    secureFile();
    m_settings->remove(key);
    m_settings->sync();
}

void Preferences::write(const QString &key, const QVariant &value)
{
    secureFile();
    m_settings->setValue(key, value);
    m_settings->sync();
    // QSettings replaces the file on save; make sure the replacement is private too.
    ::chmod(QFile::encodeName(filePath()).constData(), 0600);
}

void Preferences::secureFile()
{
    // Create the file with mode 0600 before QSettings first writes it, so that client keys
    // are never readable by other users, not even for a moment.
    const QString path = filePath();
    if (QFileInfo::exists(path))
        return;
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return;
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

bool Preferences::mcpEnabled() const
{
    return boolean(QStringLiteral("mcpEnabled")).value_or(true);
}

int Preferences::mcpPort() const
{
    const qint64 port = integer(QStringLiteral("mcpPort")).value_or(0);
    if (port >= 1 && port <= 65535)
        return int(port);
    return defaultMCPPort;
}

std::optional<QString> Preferences::autoHost() const
{
    return string(QStringLiteral("autoHost"));
}

std::optional<QString> Preferences::autotest() const
{
    return string(QStringLiteral("autotest"));
}

std::optional<QString> Preferences::snapshotDir() const
{
    return string(QStringLiteral("snapshotDir"));
}
