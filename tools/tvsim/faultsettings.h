#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>

// Misbehaviour asked for through the control interface. Service paths are kept without the
// "ssap://" prefix.
class FaultSettings {
public:
    struct Failure {
        QString error;
        bool asReturnValue = false; // "returnValue": false with "errorText", else a message of type "error"
    };

    static QString servicePath(const QString &uri); // drops a leading "ssap://"

    int delayMs(const QString &path) const { return m_delays.value(path, 0); }
    void setDelay(const QString &path, int ms);
    const Failure *failure(const QString &path) const;
    void setFailure(const QString &path, const Failure &failure) { m_failures.insert(path, failure); }
    bool hang() const { return m_hang; }
    void setHang(bool hang) { m_hang = hang; }
    void setNextPairing(const QString &mode) { m_nextPairing = mode; }
    QString takeNextPairing(); // "accept" | "reject" | "ignore", or empty when none was set
    // Once: close the socket right after sending "registered", or when a request for a path
    // arrives (after letting `skip` of them through).
    void setCloseOn(const QString &event, int skip)
    {
        m_closeOn = event;
        m_closeOnSkip = skip;
    }
    bool takeCloseOn(const QString &event);
    void clear();

    QJsonObject toJson() const;

private:
    QHash<QString, int> m_delays;
    QHash<QString, Failure> m_failures;
    bool m_hang = false;
    QString m_nextPairing;
    QString m_closeOn;
    int m_closeOnSkip = 0;
};
