#pragma once

#include <QJsonObject>
#include <QString>

class TVState;

// The SSAP services of the TV: reads and changes TVState and builds the reply payloads.
// Service paths come without the "ssap://" prefix.
class TVServices {
public:
    struct Reply {
        bool isError = false; // a message of type "error" carrying errorMessage
        QString errorMessage;
        QJsonObject payload;
    };

    // resourceBase: "http://ADDRESS:PORT", where icons are served.
    TVServices(TVState *state, const QString &resourceBase);

    Reply call(const QString &path, const QJsonObject &payload, bool subscribe);

    // Paths whose subscriptions receive pushes when the state changes.
    static bool isVolume(const QString &path);
    static bool isForegroundApp(const QString &path);
    static bool isPowerState(const QString &path);
    static bool isKeyboard(const QString &path);

    QJsonObject volumePayload() const;
    QJsonObject foregroundAppPayload() const;
    QJsonObject powerStatePayload() const;
    QJsonObject keyboardPayload() const;

    QString iconURL(const QString &id, bool large) const;

private:
    static Reply ok(QJsonObject payload = {});
    static Reply badParameters(const QString &text);
    static Reply notFound();
    QJsonObject volumeChangeReply() const;

    TVState *m_state;
    QString m_resourceBase;
};
