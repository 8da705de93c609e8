#include "messagelog.h"

#include <QJsonValue>

#include <QJsonDocument>
#include <QJsonParseError>

#include <cstdio>

void MessageLog::record(const QString &channel, const QString &text, const QJsonObject &extra)
{
    QJsonObject entry = extra;
    entry.insert(QStringLiteral("channel"), channel);
    entry.insert(QStringLiteral("text"), text);
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error == QJsonParseError::NoError) {
        if (document.isObject())
            entry.insert(QStringLiteral("json"), document.object());
        else if (document.isArray())
            entry.insert(QStringLiteral("json"), document.array());
    }
    // A long benchmark must not grow the emulator without bound.
    if (m_messages.size() >= maxMessages)
        m_messages.removeFirst();
    m_messages.append(entry);
    printLine(QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact)));
}

QJsonArray MessageLog::messages() const
{
    return m_messages;
}

void MessageLog::clear()
{
    m_messages = QJsonArray();
}

void MessageLog::printLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void MessageLog::printEvent(const QString &event, const QJsonObject &details)
{
    QJsonObject line = details;
    line.insert(QStringLiteral("event"), event);
    printLine(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
}

QString MessageLog::idText(const QJsonValue &id)
{
    if (id.isString())
        return id.toString();
    if (id.isDouble())
        return QString::number(qint64(id.toDouble()));
    return {};
}
