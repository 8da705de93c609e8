#include "tracereplay.h"

#include "faultsettings.h"
#include "messagelog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>

namespace {

// The app's request time-out: a request the TV left unanswered for longer was never answered.
constexpr qint64 unansweredAfterMs = 8000;

const QString kHello = QStringLiteral("hello");
const QString kRegister = QStringLiteral("register");

} // namespace

bool TraceReplay::isRedacted(const QJsonValue &value)
{
    return value.isString() && value.toString().startsWith(QLatin1String("<redacted"));
}

bool TraceReplay::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the trace %1: %2").arg(path, file.errorString());
        return false;
    }

    struct Request {
        QString key;
        qsizetype index = 0;
        bool subscribe = false;
        QDateTime sent;
    };
    struct Connection {
        qsizetype hello = -1;
        qsizetype registration = -1;
        bool pinSent = false; // since the registration: its later messages follow the PIN
        QHash<QString, Request> requests;
        QDateTime closed;
    };
    QList<Connection> connections;
    QHash<int, qsizetype> current; // connection number -> its socket in connections
    QHash<int, qsizetype> pointers; // connection number -> index in m_pointerRefused
    QDateTime last;

    const auto newAnswer = [this](const QString &key) {
        QList<Answer> &list = m_answers[key];
        list.append(Answer());
        return list.size() - 1;
    };

    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            *error = QStringLiteral("%1:%2: not a JSON object").arg(path).arg(lineNumber);
            return false;
        }
        const QJsonObject entry = document.object();
        const QDateTime time = QDateTime::fromString(entry.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
        if (time.isValid())
            last = time;
        const QString socket = entry.value(QLatin1String("socket")).toString();
        const int number = entry.value(QLatin1String("conn")).toInt();
        const QString event = entry.value(QLatin1String("event")).toString();

        if (socket == QLatin1String("pointer")) {
            if (event == QLatin1String("open")) {
                pointers.insert(number, m_pointerRefused.size());
                m_pointerRefused.append(false);
            } else if (event == QLatin1String("connected")) {
                pointers.remove(number); // it opened: whatever ends it later is no refusal
            } else if (event == QLatin1String("closed") && pointers.contains(number)) {
                m_pointerRefused[pointers.take(number)] = true;
            }
            continue;
        }
        if (socket != QLatin1String("ssap"))
            continue;
        if (event == QLatin1String("open") || !current.contains(number)) {
            // A new socket, even should its number come again.
            current.insert(number, connections.size());
            connections.append(Connection());
        }
        Connection &connection = connections[current.value(number)];
        if (event == QLatin1String("open")) {
            if (m_host.isEmpty())
                m_host = QUrl(entry.value(QLatin1String("url")).toString()).host();
            continue;
        }
        if (event == QLatin1String("closed")) {
            connection.closed = time;
            continue;
        }
        const QJsonObject message = entry.value(QLatin1String("message")).toObject();
        if (message.isEmpty())
            continue;
        const QString type = message.value(QLatin1String("type")).toString();
        const QString id = MessageLog::idText(message.value(QLatin1String("id")));

        if (entry.value(QLatin1String("direction")).toString() == QLatin1String("out")) {
            const QString path = FaultSettings::servicePath(message.value(QLatin1String("uri")).toString());
            if (type == kHello) {
                connection.hello = newAnswer(kHello);
            } else if (type == kRegister) {
                connection.registration = newAnswer(kRegister);
                connection.pinSent = false;
            } else if (type == QLatin1String("request") || type == QLatin1String("subscribe")) {
                if (path == QLatin1String("pairing/setPin"))
                    connection.pinSent = true;
                connection.requests.insert(id, { path, newAnswer(path), type == QLatin1String("subscribe"), time });
            }
            continue;
        }

        if (id == QLatin1String("register_0")) {
            if (connection.registration >= 0) {
                Answer &answer = m_answers[kRegister][connection.registration];
                (connection.pinSent ? answer.afterPin : answer.messages).append(message);
            }
        } else if (type == kHello) {
            if (connection.hello >= 0 && m_answers[kHello][connection.hello].messages.isEmpty())
                m_answers[kHello][connection.hello].messages.append(message);
        } else if (const auto it = connection.requests.constFind(id); it != connection.requests.constEnd()) {
            QList<QJsonObject> &messages = m_answers[it->key][it->index].messages;
            // A request has one reply; a subscription its reply and then every push.
            if (messages.isEmpty() || it->subscribe)
                messages.append(message);
        }
    }

    // A request without a reply counts as unanswered only when the socket and the trace went on
    // past the app's time-out; one the trace simply ends on says nothing and is left out.
    QHash<QString, QList<qsizetype>> dropped;
    for (const Connection &connection : std::as_const(connections)) {
        for (const Request &request : connection.requests) {
            if (!m_answers[request.key][request.index].messages.isEmpty() || !request.sent.isValid())
                continue;
            const QDateTime until = connection.closed.isValid() ? std::min(connection.closed, last) : last;
            if (request.sent.msecsTo(until) < unansweredAfterMs)
                dropped[request.key].append(request.index);
        }
    }
    for (auto it = dropped.begin(); it != dropped.end(); ++it) {
        std::sort(it->begin(), it->end(), std::greater<>());
        for (const qsizetype index : std::as_const(*it))
            m_answers[it.key()].removeAt(index);
        if (m_answers[it.key()].isEmpty())
            m_answers.remove(it.key());
    }
    for (const QString &key : { kHello, kRegister }) {
        // A greeting or registration that never got an answer before the trace ended.
        if (m_answers.contains(key) && m_answers[key].constLast().messages.isEmpty()
            && m_answers[key].constLast().afterPin.isEmpty())
            m_answers[key].removeLast();
        if (m_answers.value(key).isEmpty())
            m_answers.remove(key);
    }
    return true;
}

int TraceReplay::answerCount() const
{
    int count = 0;
    for (const QList<Answer> &answers : m_answers)
        count += int(answers.size());
    return count;
}

std::optional<TraceReplay::Answer> TraceReplay::next(const QString &key)
{
    const auto it = m_answers.constFind(key);
    if (it == m_answers.constEnd()) {
        if (!m_fallbackSaid.contains(key)) {
            m_fallbackSaid.insert(key);
            MessageLog::printEvent(QStringLiteral("replay-fallback"),
                { { QStringLiteral("uri"), key },
                    { QStringLiteral("note"), QStringLiteral("not in the trace: the emulator answers") } });
        }
        return std::nullopt;
    }
    int &used = m_used[key];
    const Answer answer = it->at(std::min<qsizetype>(used, it->size() - 1));
    ++used;
    return answer;
}

bool TraceReplay::refusesPointer()
{
    if (m_pointerRefused.isEmpty())
        return false;
    return m_pointerRefused.at(std::min<qsizetype>(m_pointerUsed++, m_pointerRefused.size() - 1));
}
