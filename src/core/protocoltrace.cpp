#include "protocoltrace.h"

#include "applog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QSysInfo>
#include <QThread>

#include <mutex>

std::atomic<bool> ProtocolTrace::s_active = false;

namespace {

QString socketName(ProtocolTrace::Socket socket)
{
    return socket == ProtocolTrace::Socket::SSAP ? QStringLiteral("ssap") : QStringLiteral("pointer");
}

QString directionName(ProtocolTrace::Direction direction)
{
    return direction == ProtocolTrace::Direction::In ? QStringLiteral("in") : QStringLiteral("out");
}

QJsonObject replacedMember(QJsonObject object, const QString &key)
{
    if (object.contains(key))
        object.insert(key, ProtocolTrace::redactionMarker(object.value(key)));
    return object;
}

} // namespace

// Everything behind the hooks, under one mutex: the SSDP answers arrive on a worker thread.
class ProtocolTrace::Writer {
public:
    std::mutex mutex;
    QFile file;
    QString lastPath;
    QSet<QString> tracedPaths; // files this process wrote to: continued, not truncated
    qint64 size = 0;
    qint64 limit = ProtocolTrace::sizeLimit;
    int nextConnection = 1;
    QHash<const void *, int> connections;
    QSet<QPair<int, QString>> systemInfoIDs; // connection and id of a "system/getSystemInfo" request

    int connection(const void *id)
    {
        auto it = connections.find(id);
        if (it == connections.end())
            it = connections.insert(id, nextConnection++);
        return it.value();
    }

    // Returns true when the size limit ended the trace.
    bool write(QJsonObject entry)
    {
        if (!file.isOpen())
            return false;
        const QByteArray line = encode(entry);
        const QByteArray last = encode({ { QStringLiteral("event"), QStringLiteral("limit") },
            { QStringLiteral("message"),
                QStringLiteral("trace stopped: size limit of %1 bytes reached").arg(limit) } });
        if (size + line.size() + last.size() > limit) {
            append(last);
            close();
            return true;
        }
        append(line);
        return false;
    }

    void append(const QByteArray &line)
    {
        file.write(line);
        file.flush();
        size += line.size();
    }

    void close()
    {
        file.close();
        connections.clear();
        systemInfoIDs.clear();
        ProtocolTrace::s_active.store(false);
    }

    // The time first, for a reader; the other members in QJsonObject's order.
    static QByteArray encode(const QJsonObject &entry)
    {
        const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
        const QByteArray rest = QJsonDocument(entry).toJson(QJsonDocument::Compact);
        return QByteArrayLiteral("{\"time\":\"") + time + QByteArrayLiteral("\",") + rest.mid(1) + '\n';
    }
};

ProtocolTrace &ProtocolTrace::instance()
{
    static ProtocolTrace *trace = new ProtocolTrace; // kept to the end: hooks may run at exit
    return *trace;
}

ProtocolTrace::Writer &ProtocolTrace::writer()
{
    static Writer *state = new Writer;
    return *state;
}

bool ProtocolTrace::start(const QString &path, qint64 limit)
{
    Writer &w = writer();
    {
        std::lock_guard lock(w.mutex);
        if (w.file.isOpen()) {
            w.write({ { QStringLiteral("event"), QStringLiteral("stop") } });
            w.close();
        }
        const bool continued = w.tracedPaths.contains(path);
        w.file.setFileName(path);
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | (continued ? QIODevice::Append : QIODevice::Truncate);
        const QFile::Permissions privateFile = QFile::ReadOwner | QFile::WriteOwner;
        if (!w.file.open(mode, privateFile)) {
            appLog(QStringLiteral("通信记录无法写入 ") + path + QStringLiteral(": ") + w.file.errorString());
            return false;
        }
        w.file.setPermissions(privateFile); // a file that was there already
        w.tracedPaths.insert(path);
        w.lastPath = path;
        w.limit = limit;
        w.size = w.file.size(); // connection numbers go on: a continued file keeps them unique
        s_active.store(true);
        w.write({ { QStringLiteral("event"), QStringLiteral("start") },
            { QStringLiteral("app"), QStringLiteral("Corvane Remote " CORVANE_VERSION) },
            { QStringLiteral("os"), QSysInfo::prettyProductName() },
            { QStringLiteral("qt"), QString::fromLatin1(qVersion()) } });
    }
    appLog(QStringLiteral("通信记录开始 ") + path);
    announce();
    return true;
}

void ProtocolTrace::stop()
{
    Writer &w = writer();
    {
        std::lock_guard lock(w.mutex);
        if (!w.file.isOpen())
            return;
        w.write({ { QStringLiteral("event"), QStringLiteral("stop") } });
        w.close();
    }
    announce();
}

QString ProtocolTrace::path() const
{
    Writer &w = writer();
    std::lock_guard lock(w.mutex);
    return w.lastPath;
}

QString ProtocolTrace::defaultPath()
{
    const QString folder = QFileInfo(logFileURL()).absolutePath(); // made private with the log
    return folder + QStringLiteral("/trace-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".jsonl");
}

void ProtocolTrace::announce()
{
    ProtocolTrace *trace = &instance();
    if (QThread::currentThread() == trace->thread())
        Q_EMIT trace->activeChanged();
    else
        QMetaObject::invokeMethod(
            trace, [trace] { Q_EMIT trace->activeChanged(); }, Qt::QueuedConnection);
}

// ---- hooks

void ProtocolTrace::opened(Socket socket, const void *id, const QString &url)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const int connection = w.nextConnection++;
    w.connections.insert(id, connection); // a new socket may reuse the address of an old one
    const bool ended
        = w.write({ { QStringLiteral("socket"), socketName(socket) }, { QStringLiteral("conn"), connection },
            { QStringLiteral("event"), QStringLiteral("open") }, { QStringLiteral("url"), url } });
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::connected(Socket socket, const void *id)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const bool ended = w.write({ { QStringLiteral("socket"), socketName(socket) },
        { QStringLiteral("conn"), w.connection(id) }, { QStringLiteral("event"), QStringLiteral("connected") } });
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::closed(Socket socket, const void *id, const QString &reason)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const bool ended
        = w.write({ { QStringLiteral("socket"), socketName(socket) }, { QStringLiteral("conn"), w.connection(id) },
            { QStringLiteral("event"), QStringLiteral("closed") }, { QStringLiteral("reason"), reason } });
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::message(Socket socket, const void *id, Direction direction, const QString &text)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    // SSAP messages are written as objects, without their secrets; anything else (pointer
    // lines, a TV's malformed frame) as the text it was.
    QJsonValue written = text;
    QJsonObject parsed;
    if (socket == Socket::SSAP) {
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
        if (document.isObject()) {
            parsed = document.object();
            written = redacted(parsed);
        }
    }
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const int connection = w.connection(id);
    bool ended = w.write({ { QStringLiteral("socket"), socketName(socket) }, { QStringLiteral("conn"), connection },
        { QStringLiteral("direction"), directionName(direction) }, { QStringLiteral("message"), written } });

    // The TV's identity, on a line of its own so that a reader finds it at once.
    const QString messageID = parsed.value(QLatin1String("id")).toVariant().toString();
    if (!ended && direction == Direction::Out
        && parsed.value(QLatin1String("uri")).toString().endsWith(QLatin1String("system/getSystemInfo"))) {
        w.systemInfoIDs.insert({ connection, messageID });
    } else if (!ended && direction == Direction::In) {
        const QJsonValue payload = parsed.value(QLatin1String("payload"));
        if (parsed.value(QLatin1String("type")).toString() == QLatin1String("hello"))
            ended = w.write(
                { { QStringLiteral("event"), QStringLiteral("tv") }, { QStringLiteral("greeting"), payload } });
        else if (w.systemInfoIDs.remove({ connection, messageID })
            && parsed.value(QLatin1String("type")).toString() != QLatin1String("error"))
            ended = w.write(
                { { QStringLiteral("event"), QStringLiteral("tv") }, { QStringLiteral("systemInfo"), payload } });
    }
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::ssdpAnswer(const QString &host, const QByteArray &datagram)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const bool ended = w.write(
        { { QStringLiteral("socket"), QStringLiteral("ssdp") }, { QStringLiteral("direction"), QStringLiteral("in") },
            { QStringLiteral("from"), host }, { QStringLiteral("message"), QString::fromUtf8(datagram) } });
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::description(const QString &url, const QString &body)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const bool ended = w.write({ { QStringLiteral("event"), QStringLiteral("description") },
        { QStringLiteral("url"), url }, { QStringLiteral("message"), body } });
    lock.unlock();
    if (ended)
        instance().announce();
}

void ProtocolTrace::connectionState(const QString &state, bool pin, const QString &message)
{
    if (!s_active.load(std::memory_order_relaxed))
        return;
    QJsonObject entry { { QStringLiteral("event"), QStringLiteral("state") }, { QStringLiteral("state"), state } };
    if (pin)
        entry.insert(QStringLiteral("pin"), true);
    if (!message.isEmpty())
        entry.insert(QStringLiteral("message"), message);
    Writer &w = writer();
    std::unique_lock lock(w.mutex);
    const bool ended = w.write(entry);
    lock.unlock();
    if (ended)
        instance().announce();
}

// ---- secrets

QString ProtocolTrace::redactionMarker(const QJsonValue &secret)
{
    QString text = secret.toString();
    if (!secret.isString()) {
        // A PIN sent as a number still counts by its digits.
        const QByteArray wrapped = QJsonDocument(QJsonArray { secret }).toJson(QJsonDocument::Compact);
        text = QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    }
    return QStringLiteral("<redacted: %1 characters>").arg(text.toUcs4().size());
}

QJsonObject ProtocolTrace::redacted(const QJsonObject &message)
{
    const QJsonValue payloadValue = message.value(QLatin1String("payload"));
    if (!payloadValue.isObject())
        return message;
    const QString uri = message.value(QLatin1String("uri")).toString();
    QJsonObject payload = replacedMember(payloadValue.toObject(), QStringLiteral("client-key"));
    if (uri.endsWith(QLatin1String("pairing/setPin")))
        payload = replacedMember(payload, QStringLiteral("pin"));
    if (uri.endsWith(QLatin1String("ime/insertText")))
        payload = replacedMember(payload, QStringLiteral("text"));
    QJsonObject result = message;
    result.insert(QStringLiteral("payload"), payload);
    return result;
}
