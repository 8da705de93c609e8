#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// The answers of a TV recorded in the app's protocol trace (one JSON object per line), so that
// the emulator can say what that TV said: its greeting, its registration outcome, and for every
// service path the replies it gave, one per request in the order they came (the last one
// repeats), a subscription's pushes after its reply, and its refusals. Keys are "hello",
// "register" and service paths without "ssap://".
class TraceReplay {
public:
    // What the TV sent for one request of the trace. No messages: it never answered.
    struct Answer {
        QList<QJsonObject> messages;
        QList<QJsonObject> afterPin; // registration: what followed an accepted "pairing/setPin"
    };

    bool load(const QString &path, QString *error);

    // The next answer for key; none when the trace does not cover it (said once per key on the
    // output: the emulator then answers as itself).
    std::optional<Answer> next(const QString &key);
    // Whether the next pointer socket is to be refused, as the traced TV refused its own.
    bool refusesPointer();

    // The traced TV's address, which its replies may carry in URLs.
    QString tracedHost() const { return m_host; }
    int answerCount() const;

    // The marker the trace puts in place of a secret.
    static bool isRedacted(const QJsonValue &value);

private:
    QHash<QString, QList<Answer>> m_answers;
    QHash<QString, int> m_used;
    QSet<QString> m_fallbackSaid;
    QList<bool> m_pointerRefused; // per pointer socket of the trace, in order
    int m_pointerUsed = 0;
    QString m_host;
};
