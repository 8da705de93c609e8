#pragma once

#include "pointerclient.h"
#include "ssapclient.h"
#include "ssaperror.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class TVStateMirror;

// The remote's pointer socket beside a connection: buttons, clicks, coalesced motion and scroll,
// and what is shown when the TV refuses that socket. Asks for the socket when input needs one.
class PointerInput : public QObject {
    Q_OBJECT

public:
    // What became of a button press or click. Without an error it reached the TV: as a frame
    // that went out on an open pointer socket, or as the button's own request, answered. refused:
    // the TV refused the pointer socket and the input has no request of its own; the error then
    // carries the TV's reason.
    struct Outcome {
        std::optional<SSAPError> error;
        bool refused = false;
    };

    // currentClient: the connection the input belongs to (none while there is none).
    PointerInput(std::function<SSAPClient *()> currentClient, const TVStateMirror &mirror, int moveFlushMs,
        QObject *parent = nullptr);
    ~PointerInput() override;

    PointerClient *pointer() const { return m_pointer; }
    QString inputRefusal() const { return m_inputRefusal; }
    std::optional<QString> pointerRefusal() const;
    bool moveScheduled() const { return m_moveScheduled; } // motion waits for its flush

    QCoro::Task<std::optional<SSAPError>> connectPointer(); // why no pointer was installed
    void dropPointer();
    void shutDown(); // closes the socket quietly: the owner is going
    // Keepalive: pings an open pointer socket; one silent for longer than limitMs is dropped.
    void checkAlive(qint64 limitMs);
    void forgetStaleRefusal(); // what was shown belongs to the connection that refused

    QCoro::Task<Outcome> pressAsync(const QString &button);
    QCoro::Task<Outcome> clickAsync();
    void press(const QString &button);
    void click();
    void move(double dx, double dy);
    void scroll(int steps);

Q_SIGNALS:
    void pointerChanged();
    void inputRefusalChanged();

private:
    bool isCurrent(const QPointer<SSAPClient> &client) const { return client && m_currentClient() == client; }
    void showInputRefusal(const QString &reason);
    QCoro::Task<std::optional<SSAPError>> ensurePointer();
    QCoro::Task<Outcome> pointerInput(QString button, bool click);
    QCoro::Task<void> showRefusal(QCoro::Task<Outcome> input);
    QCoro::Task<void> flushMove();

    std::function<SSAPClient *()> m_currentClient;
    const TVStateMirror &m_mirror;
    int m_moveFlushMs;
    QPointer<PointerClient> m_pointer;
    QPointer<SSAPClient> m_pointerRefusedBy; // the connection whose TV refused the pointer socket
    QString m_pointerRefusal; // and its reason
    QString m_inputRefusal;
    double m_pendingMoveX = 0;
    double m_pendingMoveY = 0;
    bool m_moveScheduled = false;
};
