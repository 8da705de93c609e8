#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// What reached the TV, in arrival order, for the control interface; every entry is also
// printed as one JSON line on standard output.
class MessageLog {
public:
    void record(const QString &channel, const QString &text, const QJsonObject &extra = {});
    QJsonArray messages() const;
    void clear();

    // One line on standard output, flushed at once so a reader sees it immediately.
    static void printLine(const QString &line);
    static void printEvent(const QString &event, const QJsonObject &details = {});
    static QString idText(const QJsonValue &id); // a message id as text: a string, or an integer in decimal

private:
    static constexpr qsizetype maxMessages = 50000;
    QJsonArray m_messages;
};
