#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One window app per user. The first launch holds a lock file and listens on a local socket;
// a later launch finds the lock held and asks the holder, over that socket, to show its window
// instead of opening a second one (with its own session, scan and copy of the saved TVs).
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        First, // this process holds the lock (or could not make one and runs unguarded)
        HandedOver, // another instance holds it and has shown its window
        Unanswered, // another instance holds it but did not answer
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock or hands over to its holder. A lock left by a process that is gone is
    // taken over. Blocks while a holder that is still starting gets to answer.
    Claim claim();

Q_SIGNALS:
    // A later launch asked for the window.
    void showRequested();

private:
    void listen();
    void answer(QLocalSocket *socket);
    static bool askHolderToShow();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
